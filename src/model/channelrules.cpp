#include "model/channelrules.h"

#include <cmath>
#include <cstdio>

#include "model/attenuation.h"

namespace zun {

std::string CheckChannelCount(std::size_t count) {
    if (count <= static_cast<std::size_t>(kMaxChannels)) return {};
    return "Too many channels (" + std::to_string(count) + "): a document holds at most " +
           std::to_string(kMaxChannels);
}

std::string CheckChannelName(const std::string& name) {
    bool onlyBlanks = true;
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) return chanmsg::kNameControl;
        if (c != ' ') onlyBlanks = false;
    }
    return onlyBlanks ? chanmsg::kNameEmpty : std::string();
}

std::string CheckBeamEnergy(int method, double keV) {
    if (!(keV > 0) || !std::isfinite(keV)) return "beam energy must be above 0 keV";
    double lo = 0, hi = 0;
    if (!AttenEnergyRange(method, lo, hi)) return {};
    // The tables are looked up in single precision: their last key, read as a decimal, lies a
    // little above its float.
    const double looked = static_cast<float>(keV);
    if (looked >= lo && looked <= hi) return {};
    char text[128];
    std::snprintf(text, sizeof text,
                  "beam energy %g keV is outside %g..%g keV, the range of the attenuation source", keV, lo,
                  hi);
    return text;
}

}  // namespace zun
