#pragma once
// What the value tools (threshold segmentation, set data, map channel data) share: the time text
// of their history records and the replacement of a channel's note.

#include <string>

namespace zun {

class ZunChan;

// The local time as the C library's asctime writes it ("Wed Jan  2 02:03:55 1980\n"), with
// English names whatever the user's locale.
std::string AscTimeNow();

// The text becomes the channel's whole history note, as one section.
void ReplaceChannelNote(ZunChan& channel, const std::string& text);

}  // namespace zun
