// Edit-data lines: scanned and parsed always; evaluated on a small document of two channels.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fuzzsupport.h"
#include "script/editdata.h"
#include "script/scriptdocument.h"
#include "script/syntax.h"

namespace {

class SmallDocument : public zun::script::ScriptDocument {
public:
    SmallDocument() {
        Add("a", {4, 3, 2}, 0.0f, 1.0f);
        Add("ct", {2, 2, 1}, -1.0f, 3.5f);
    }
    bool FindChannel(const std::string& name, zun::script::ChannelData& out) override {
        auto it = channels_.find(name);
        if (it == channels_.end()) return false;
        out.words = it->second.words.data();
        out.dims = it->second.dims;
        out.min = it->second.min;
        out.max = it->second.max;
        return true;
    }
    void SetModified() override {}
    void DataEdited() override {}

private:
    struct Channel {
        std::vector<std::uint16_t> words;
        std::vector<std::int32_t> dims;
        float min, max;
    };
    void Add(const std::string& name, std::vector<std::int32_t> dims, float min, float max) {
        std::size_t n = 1;
        for (std::int32_t d : dims) n *= static_cast<std::size_t>(d);
        Channel c{std::vector<std::uint16_t>(n), std::move(dims), min, max};
        for (std::size_t i = 0; i < n; ++i) c.words[i] = static_cast<std::uint16_t>(i * 4099 + 17);
        channels_[name] = std::move(c);
    }
    std::map<std::string, Channel> channels_;
};

constexpr std::uint64_t kWorkLimit = std::uint64_t{1} << 23;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zun::fuzz::GuardMemory();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 8192) return 0;
    const std::string line(reinterpret_cast<const char*>(data), size);
    std::string messages;
    zun::script::ParseLine(line, messages);
    SmallDocument doc;
    zun::script::EditDataOptions options;
    options.threads = 1;
    // What the instrumented build runs well within the fuzzer's time limit on each path: about a
    // million value objects or eight million dense elements.
    options.workLimit = kWorkLimit;
    for (bool fast : {true, false}) {
        options.fast = fast;
        zun::script::ExecuteLine(doc, line, options);
    }
    return 0;
}
