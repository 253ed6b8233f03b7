#pragma once
// The binary data file: "zun_file" and a NUL, a uint32 format version, the notes, the grid, the
// channel descriptions and the voxel blocks, all little-endian.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "document/datadocument.h"
#include "platform/progress.h"

namespace zun::binaryfile {
class Reader;
}  // namespace zun::binaryfile

namespace zun {

inline constexpr char kBinaryDataMagic[9] = {'z', 'u', 'n', '_', 'f', 'i', 'l', 'e', '\0'};

// 1 when the open file starts with the magic, 0 when not, -1 on a read error. The file position
// is left where it was.
int IsBinaryDataFile(std::FILE* file);

// Reads a binary data file a channel at a time into storage the caller gives (a document's
// channels), so that the words are held once. Throws DataFileError "Not a valid binary data file:
// <path> (<reason>)" on any refusal; with a progress sink, its Cancel throws ProgressCancelled.
// The file's size is checked against the grid before any word is read.
class BinaryDataReader {
public:
    // Reads and checks everything up to the words.
    explicit BinaryDataReader(const std::string& path, ProgressSink* progress = nullptr);
    ~BinaryDataReader();
    BinaryDataReader(const BinaryDataReader&) = delete;
    BinaryDataReader& operator=(const BinaryDataReader&) = delete;

    // The file without its words (the channels' words are empty).
    const DataDocument& Header() const { return header_; }
    std::size_t ChannelWordCount() const;
    // The words of the next channel.
    void ReadChannel(std::uint16_t* words);

private:
    std::unique_ptr<binaryfile::Reader> in_;
    DataDocument header_;
    std::uint64_t read_ = 0;
    ProgressMeter meter_{nullptr, 0};
};

// The whole file at once, refused as the reader refuses it.
DataDocument ReadBinaryDataFile(const std::string& path);
DataDocument ReadBinaryDataFile(const std::string& path, ProgressSink* progress);
// The words of channel c of a header, nx * ny * nz of them.
using ChannelWords = std::function<const std::uint16_t*(std::size_t channel)>;
// Written atomically, the words taken from where the caller keeps them (the header's own words are
// not used); throws std::runtime_error naming the path on failure, ProgressCancelled when the sink
// cancels (an earlier file of that name stays as it was).
void WriteBinaryDataChannels(const std::string& path, const DataDocument& header, const ChannelWords& words,
                             ProgressSink* progress = nullptr);
// The document's own words.
void WriteBinaryDataFile(const std::string& path, const DataDocument& doc);
void WriteBinaryDataFile(const std::string& path, const DataDocument& doc, ProgressSink* progress);

}  // namespace zun
