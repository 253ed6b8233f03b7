#include "tools/toolsupport.h"

#include <omp.h>

#include <cmath>
#include <cstdarg>
#include <ctime>
#include <utility>

#include "document/zundoc.h"
#include "foundation/threadcount.h"
#include "model/zunchan.h"

namespace zun {

bool ComputationBusy(const CZunDoc& doc) {
    const Model& model = doc.GetModel();
    return model.RunInProgress() || model.ToolStepRunning();
}

int ToolThreads() {
    omp_set_dynamic(0);
    return TeamThreads();
}

std::string ToolFormat(const char* format, ...) {
    va_list a;
    va_start(a, format);
    va_list b;
    va_copy(b, a);
    const int n = std::vsnprintf(nullptr, 0, format, a);
    va_end(a);
    std::string s(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(s.data(), s.size() + 1, format, b);
    va_end(b);
    return s;
}

void ReadPhysical(const ZunChan& chan, std::vector<float>& out) {
    const std::int64_t n = static_cast<std::int64_t>(chan.GetNumVoxels());
    out.resize(static_cast<std::size_t>(n));
    const long double min = chan.range.size() > 0 ? chan.range[0] : 0.0f;
    const long double max = chan.range.size() > 1 ? chan.range[1] : 1.0f;
    const std::uint16_t* w = chan.Data();
    float* o = out.data();
#pragma omp parallel for schedule(static) num_threads(ToolThreads())
    for (std::int64_t i = 0; i < n; ++i)
        o[i] = static_cast<float>(min + (max - min) * ((w[i] & 0x3FFF) / 16383.0L));
}

void WritePhysical(const std::vector<float>& values, ZunChan& chan, float min, float max) {
    const std::int64_t n = static_cast<std::int64_t>(chan.GetNumVoxels());
    std::uint16_t* w = chan.Data();
    const float* v = values.data();
    const bool flat = !(max - min > 0.0f);
#pragma omp parallel for schedule(static) num_threads(ToolThreads())
    for (std::int64_t i = 0; i < n; ++i) {
        int raw = 0;
        if (!flat) {
            const float t = static_cast<float>((v[i] - min) / (max - min));
            const float r = t * 16383.0f;
            raw = std::isnan(r) ? 0 : (r <= 0.0f ? 0 : (r >= 16383.0f ? 16383 : static_cast<int>(r)));
        }
        w[i] = static_cast<std::uint16_t>((w[i] & 0xC000) | raw);
    }
}

void ToolProgress::SetText(const std::string& text) {
    std::lock_guard lock(mutex_);
    text_ = text;
}

std::string ToolProgress::Text() const {
    std::lock_guard lock(mutex_);
    return text_;
}

void ToolProgress::AddMessage(const std::string& text) {
    std::lock_guard lock(mutex_);
    messages_.push_back(text);
}

std::vector<std::string> ToolProgress::TakeMessages() {
    std::lock_guard lock(mutex_);
    return std::exchange(messages_, {});
}

}  // namespace zun
