#include "compute/pluginhost.h"

#include <chrono>
#include <cmath>
#include <cstring>

#include "compute/plugindocument.h"
#include "foundation/voxeltypes.h"
#include "model/label.h"
#include "model/rulelist.h"

namespace zun {

namespace {
constexpr std::uint16_t kFlagMask = 0xC000;
constexpr int kCompositionKind = 0;
constexpr int kPropertyKind = 2;
}  // namespace

PluginObjHost::PluginObjHost(PluginDocument& document, std::string pluginBaseName)
    : doc_(document), baseName_(std::move(pluginBaseName)) {
    title_ = doc_.Title();
    const auto dims = doc_.GridSize();
    for (int i = 0; i < 3; ++i) dims_[i] = dims[i];
    const int n = doc_.ChannelCount();
    names_.reserve(n > 0 ? n : 0);
    for (int ch = 0; ch < n; ++ch) {
        names_.push_back(doc_.ChannelName(ch));
        kinds_.push_back(doc_.ChannelKind(ch));
    }
    const std::int64_t seed = doc_.RandomSeed();
    seed_ = seed >= 0
                ? static_cast<std::uint64_t>(seed)
                : static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    random_.seed(seed_);
}

int PluginObjHost::InterfaceVersion() const {
    return zunplugin::kHostInterfaceVersion;
}
const char* PluginObjHost::PluginBaseName() const {
    return baseName_.c_str();
}
const char* PluginObjHost::DocumentTitle() const {
    return title_.c_str();
}

void PluginObjHost::GridSize(std::uint32_t dims[3]) const {
    if (!dims) return;
    for (int i = 0; i < 3; ++i) dims[i] = dims_[i];
}

void PluginObjHost::VoxelSize(double metres[3]) const {
    if (!metres) return;
    try {
        const auto size = doc_.VoxelSize();
        for (int i = 0; i < 3; ++i) metres[i] = size[i];
    } catch (...) {
        for (int i = 0; i < 3; ++i) metres[i] = 0.0;
    }
}

int PluginObjHost::ChannelCount() const {
    return static_cast<int>(names_.size());
}

int PluginObjHost::FindChannel(const char* name) const {
    if (!name) return -1;
    for (std::size_t i = 0; i < names_.size(); ++i)
        if (names_[i] == name) return static_cast<int>(i);
    return -1;
}

const char* PluginObjHost::ChannelName(int ch) const {
    return ValidChannel(ch) ? names_[ch].c_str() : nullptr;
}
int PluginObjHost::ChannelKind(int ch) const {
    return ValidChannel(ch) ? kinds_[ch] : -1;
}

int PluginObjHost::GetRange(int ch, float* min, float* max) const {
    if (!ValidChannel(ch) || !min || !max) return 1;
    try {
        doc_.GetRange(ch, *min, *max);
    } catch (...) {
        return 1;
    }
    return 0;
}

int PluginObjHost::SetRange(int ch, float min, float max) {
    // A range that is not finite or not increasing would make every word of the channel decode to
    // nonsense, so it is refused like a bad index.
    if (!ValidChannel(ch) || kinds_[ch] != kPropertyKind) return 1;
    if (!std::isfinite(min) || !std::isfinite(max) || !(min < max)) return 1;
    try {
        doc_.SetRange(ch, min, max);
    } catch (...) {
        return 1;
    }
    changed_ = true;
    return 0;
}

std::uint16_t* PluginObjHost::Block(int ch) const {
    if (!ValidChannel(ch)) return nullptr;
    try {
        return doc_.ChannelWords(ch);
    } catch (...) {
        return nullptr;
    }
}

const std::uint16_t* PluginObjHost::Words(int ch) const {
    if (!ValidChannel(ch)) return nullptr;
    return Block(ch);
}

std::uint16_t* PluginObjHost::WordsForWrite(int ch) {
    if (!ValidChannel(ch)) return nullptr;
    std::uint16_t* words = Block(ch);
    if (words) changed_ = true;
    return words;
}

std::uint16_t* PluginObjHost::SliceWords(int ch, std::uint32_t z) const {
    if (!ValidChannel(ch) || z >= dims_[2]) return nullptr;
    std::uint16_t* words = Block(ch);
    if (!words) return nullptr;
    return words + static_cast<std::uint64_t>(z) * dims_[0] * dims_[1];
}

int PluginObjHost::ReadSlice8(int ch, std::uint32_t z, std::uint8_t* out) const {
    const std::uint16_t* words = SliceWords(ch, z);
    if (!words || !out) return 1;
    const std::uint64_t n = static_cast<std::uint64_t>(dims_[0]) * dims_[1];
    for (std::uint64_t i = 0; i < n; ++i) {
        const std::uint32_t v = words[i] & kVoxelValueMask;
        out[i] = static_cast<std::uint8_t>((v * 255u + 8191u) / 16383u);
    }
    return 0;
}

int PluginObjHost::WriteSlice8(int ch, std::uint32_t z, const std::uint8_t* in) {
    std::uint16_t* words = SliceWords(ch, z);
    if (!words || !in) return 1;
    const std::uint64_t n = static_cast<std::uint64_t>(dims_[0]) * dims_[1];
    for (std::uint64_t i = 0; i < n; ++i) {
        const std::uint32_t v = (static_cast<std::uint32_t>(in[i]) * 16383u + 127u) / 255u;
        words[i] = static_cast<std::uint16_t>((words[i] & kFlagMask) | v);
    }
    changed_ = true;
    return 0;
}

int PluginObjHost::NormalizeVoxel(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    if (x >= dims_[0] || y >= dims_[1] || z >= dims_[2]) return 1;
    const std::uint64_t at = (static_cast<std::uint64_t>(z) * dims_[1] + y) * dims_[0] + x;
    std::vector<std::uint16_t*> words;
    try {
        for (int ch = 0; ch < ChannelCount(); ++ch) {
            if (kinds_[ch] != kCompositionKind) continue;
            std::uint16_t* block = Block(ch);
            if (!block) return 1;
            words.push_back(block + at);
        }
    } catch (...) {
        return 1;
    }
    if (words.empty()) return 1;
    const int last = static_cast<int>(words.size()) - 1;
    int fixedCount = 0, fixedSum = 0, freeCount = 0, freeSum = 0, parallelSum = 0;
    SumVoxelFractions(words.data(), last, nullptr, fixedCount, fixedSum, freeCount, freeSum, parallelSum);
    NormalizeVoxelFractions(words.data(), last, kVoxelValueMask, fixedSum, freeSum, fixedCount, freeCount);
    changed_ = true;
    return 0;
}

std::uint64_t PluginObjHost::LabelClusters(const std::uint8_t* mask, std::uint64_t* labels, int order) {
    if (!mask || !labels) return 0;
    try {
        return LabelLinkedClusters(mask, labels, dims_[0], dims_[1], dims_[2], order, 1);
    } catch (...) {
        return 0;
    }
}

void PluginObjHost::Log(const char* text) {
    if (!text) return;
    try {
        std::string line = text;
        if (line.empty() || line.back() != '\n') line += '\n';
        doc_.Log(line);
    } catch (...) {
        // A log line that cannot be written is not worth failing the plug-in for.
    }
}

bool PluginObjHost::Progress(float percent) {
    if (cancelled_) return true;
    if (!std::isfinite(percent)) percent = 0.0f;
    try {
        doc_.SetProgress(percent);
    } catch (...) {
        // The stop request arrives as an exception from the controller; it must not unwind
        // through plug-in code.
        cancelled_ = true;
    }
    return cancelled_;
}

double PluginObjHost::Random() {
    std::lock_guard<std::mutex> lock(randomLock_);
    if (!seedLogged_) {
        seedLogged_ = true;
        try {
            doc_.Log("Plugin '" + baseName_ + "' random seed " + std::to_string(seed_) + "\n");
        } catch (...) {
        }
    }
    return static_cast<double>(random_() >> 11) * 0x1.0p-53;
}

void PluginObjHost::MarkChanged() {
    changed_ = true;
}

}  // namespace zun
