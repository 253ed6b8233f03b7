#pragma once
// The text data file: a keyword header starting "TEXT", then the raw voxel words as decimal
// numbers, one line per row (x fastest), channel by channel and plane by plane, then "END".
// Formulas must parse; BEAM energies (keV, one per X-ray CT channel) must lie in the range of the
// SOURCE; densities are not negative and no RANGES minimum lies above its maximum.
// Blanks separate tokens, "#" starts a comment up to the end of the line, names are in double
// quotes (\" and \\ inside, a line break after a backslash), numbers are C-locale decimals.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "document/datadocument.h"
#include "platform/progress.h"

namespace zun::textfile {

inline constexpr const char* kCannotOpen = "Cannot open file";
inline constexpr const char* kNotTextFile = "Not a text data file";
inline constexpr const char* kGridMismatch = "Grid size does not match the document";
inline constexpr const char* kCountMismatch = "Channel count does not match the selection";
inline constexpr const char* kCannotRead = "Cannot read data";
inline constexpr const char* kFlaggedCtWords = "X-ray CT words read as flagged voxels";

// "<message>: <path>", with " (<detail>)" when a detail is given.
std::string Message(const char* message, const std::string& path, const std::string& detail = {});

class Tokenizer;

}  // namespace zun::textfile

namespace zun {

// True when the file starts with "TEXT".
bool IsTextDataFile(const std::string& path);

// Reads a text data file a channel at a time into storage the caller gives (a document's
// channels), so that the data are held once. Every call throws DataFileError with one of the
// textfile messages, and with a progress sink ProgressCancelled once it answers Cancel. The
// channel order is not checked here: files of selected channels may hold any kinds in any order.
class TextDataReader {
public:
    // Reads and checks everything up to the words.
    // The sink (when given) follows the words read, all of them being 100 %.
    explicit TextDataReader(const std::string& path, ProgressSink* progress = nullptr);
    ~TextDataReader();
    TextDataReader(const TextDataReader&) = delete;
    TextDataReader& operator=(const TextDataReader&) = delete;

    // The file without its words (the channels' words are empty).
    const DataDocument& Header() const { return header_; }
    // Words of each channel: PlaneWords() * PlaneCount() of the header.
    std::size_t ChannelWordCount() const;
    // The next `count` words, channel by channel and plane by plane as the file holds them.
    void ReadWords(std::uint16_t* words, std::size_t count);
    // The words of the next channel.
    void ReadChannel(std::uint16_t* words);
    // After the last channel: the file must end there.
    void Finish();

private:
    std::unique_ptr<textfile::Tokenizer> in_;
    DataDocument header_;
    std::size_t read_ = 0;
    ProgressMeter meter_{nullptr, 0};
};

// The whole file at once.
DataDocument ReadTextDataFile(const std::string& path);
DataDocument ReadTextDataFile(const std::string& path, ProgressSink* progress);

// Words above 16383 among `count` words.
std::size_t CountFlaggedWords(const std::uint16_t* words, std::size_t count);
// A channel's name and its words above 16383.
using FlaggedWords = std::pair<std::string, std::size_t>;
// A warning for X-ray CT words above 16383 (their top bits are read as flags, which 16-bit CT
// data written as it stands would set): the channels and their counts, and how RANGES maps the
// values. Empty when there are none.
std::string FlaggedCtWordsWarning(const std::vector<FlaggedWords>& channels, const std::string& path);
// The X-ray CT channels of a whole file.
std::string FlaggedCtWordsWarning(const DataDocument& doc, const std::string& path);

// The PlaneWords() words of plane p (counted among the file's planes) of channel c.
using PlaneWords = std::function<const std::uint16_t*(std::size_t channel, std::size_t plane)>;
// Written atomically, the words taken a plane at a time (the channels' own words are not
// used); throws std::runtime_error naming the path on failure, ProgressCancelled when the sink
// cancels (an earlier file of that name stays as it was).
void WriteTextDataPlanes(const std::string& path, const DataDocument& header, const PlaneWords& planeWords,
                         ProgressSink* progress = nullptr);
// The document's own words.
void WriteTextDataFile(const std::string& path, const DataDocument& doc);
void WriteTextDataFile(const std::string& path, const DataDocument& doc, ProgressSink* progress);

}  // namespace zun
