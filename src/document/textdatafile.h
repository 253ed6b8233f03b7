#pragma once
// The text data file: a keyword header starting "TEXT", then the raw voxel words as decimal
// numbers, one line per row (x fastest), channel by channel and plane by plane, then "END".
// Formulas must parse; BEAM energies (keV, one per X-ray CT channel) must lie in the range of the
// SOURCE; densities are not negative and no RANGES minimum lies above its maximum.
// Blanks separate tokens, "#" starts a comment up to the end of the line, names are in double
// quotes (\" and \\ inside, a line break after a backslash), numbers are C-locale decimals.

#include <string>

#include "document/datadocument.h"

namespace zun::textfile {

inline constexpr const char* kCannotOpen = "Cannot open file";
inline constexpr const char* kNotTextFile = "Not a text data file";
inline constexpr const char* kGridMismatch = "Grid size does not match the document";
inline constexpr const char* kCountMismatch = "Channel count does not match the selection";
inline constexpr const char* kCannotRead = "Cannot read data";
inline constexpr const char* kFlaggedCtWords = "X-ray CT words read as flagged voxels";

// "<message>: <path>", with " (<detail>)" when a detail is given.
std::string Message(const char* message, const std::string& path, const std::string& detail = {});

}  // namespace zun::textfile

namespace zun {

class ProgressSink;

// True when the file starts with "TEXT".
bool IsTextDataFile(const std::string& path);
// Throws DataFileError with one of the textfile messages. The channel order is not checked here:
// files of selected channels may hold any kinds in any order.
// With a progress sink, its Cancel throws ProgressCancelled.
DataDocument ReadTextDataFile(const std::string& path);
DataDocument ReadTextDataFile(const std::string& path, ProgressSink* progress);
// A warning for X-ray CT words above 16383 (their top bits are read as flags, which 16-bit CT
// data written as it stands would set): the channels and their counts, and how RANGES maps the
// values. Empty when there are none.
std::string FlaggedCtWordsWarning(const DataDocument& doc, const std::string& path);
// Written atomically; throws std::runtime_error naming the path on failure, ProgressCancelled
// when the sink cancels (an earlier file of that name stays as it was).
void WriteTextDataFile(const std::string& path, const DataDocument& doc);
void WriteTextDataFile(const std::string& path, const DataDocument& doc, ProgressSink* progress);

}  // namespace zun
