#include "model/channelrules.h"

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

}  // namespace zun
