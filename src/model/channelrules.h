#pragma once
// The rules on channel names and channel counts that every road into a document shares: the data
// file readers, the document file, the remote commands and the dialogs.

#include <cstddef>
#include <string>

namespace zun {

// The most channels a document holds. Each composition channel adds a row and a column to the
// twelve square interaction planes of the parameter set (three energy tables of four shells, n x n
// floats each), which the document file carries too: at this count they take 48 MiB, and a file
// of that many channels opens in well under a second.
inline constexpr int kMaxChannels = 1024;

namespace chanmsg {
inline constexpr const char* kNameEmpty = "Channel name cannot be empty";
inline constexpr const char* kNameControl = "Channel name cannot contain control characters";
}  // namespace chanmsg

// "" when a document may hold `count` channels, else the refusal naming the limit.
std::string CheckChannelCount(std::size_t count);

// "" when the text can name a channel, else the refusal. A name must be findable again however it
// travels (a remote word, a C string, a quoted field of a text file): no control character (NUL,
// line breaks, tabs, DEL) and not only blanks.
std::string CheckChannelName(const std::string& name);

// "" when an X-ray CT channel's monochromatic beam energy (keV) lies where the attenuation source
// of the method has data, else the refusal ("beam energy ... is outside lo..hi keV, ..."):
// elsewhere every coefficient of the channel would be 0 or not a number.
std::string CheckBeamEnergy(int method, double keV);

}  // namespace zun
