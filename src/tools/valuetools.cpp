#include "tools/valuetools.h"

#include <ctime>

#include "foundation/clocale.h"
#include "model/importinfo.h"
#include "model/zunchan.h"

namespace zun {

std::string AscTimeNow() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return FormatTimeC("%a %b %e %H:%M:%S %Y\n", tm);
}

void ReplaceChannelNote(ZunChan& channel, const std::string& text) {
    channel.note.clear();
    LogText::AppendSection(&text, channel.note, nullptr);
}

}  // namespace zun
