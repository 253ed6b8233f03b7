#include "memorydocument.h"

namespace zun::script::test {

MemoryDocument::Channel& MemoryDocument::Add(const std::string& name, std::vector<int32_t> dims, float min,
                                             float max) {
    Channel c;
    size_t n = 1;
    for (int32_t d : dims) n *= static_cast<size_t>(d);
    c.words.assign(n, 0);
    c.dims = std::move(dims);
    c.min = min;
    c.max = max;
    return channels_[name] = std::move(c);
}

bool MemoryDocument::FindChannel(const std::string& name, ChannelData& out) {
    auto it = channels_.find(name);
    if (it == channels_.end()) return false;
    out.words = it->second.words.data();
    out.dims = it->second.dims;
    out.min = it->second.min;
    out.max = it->second.max;
    return true;
}

std::string MemoryDocument::Run(const std::string& line, bool fast) {
    EditDataOptions options;
    options.fast = fast;
    options.threads = 4;
    options.workLimit = workLimit;
    std::string out = ExecuteLine(*this, line, options);
    if (!out.empty() && out[0] == '\n') out.erase(0, 1);
    return out;
}

void FillPattern(MemoryDocument::Channel& c, uint32_t seed, bool flags) {
    uint32_t x = seed * 2654435761u + 12345u;
    for (auto& w : c.words) {
        x = x * 1664525u + 1013904223u;
        uint16_t v = static_cast<uint16_t>((x >> 8) & 0x3FFF);
        if (flags) v |= static_cast<uint16_t>((x >> 28) & 0x3) << 14;
        w = v;
    }
}

}  // namespace zun::script::test
