#pragma once
// The binary data file: "zun_file" and a NUL, a uint32 format version, the notes, the grid, the
// channel descriptions and the voxel blocks, all little-endian.

#include <cstdio>
#include <string>

#include "document/datadocument.h"

namespace zun {

class ProgressSink;

inline constexpr char kBinaryDataMagic[9] = {'z', 'u', 'n', '_', 'f', 'i', 'l', 'e', '\0'};

// 1 when the open file starts with the magic, 0 when not, -1 on a read error. The file position
// is left where it was.
int IsBinaryDataFile(std::FILE* file);

// Throws DataFileError "Not a valid binary data file: <path> (<reason>)" on any refusal.
// With a progress sink, its Cancel throws ProgressCancelled.
DataDocument ReadBinaryDataFile(const std::string& path);
DataDocument ReadBinaryDataFile(const std::string& path, ProgressSink* progress);
// Written atomically; throws std::runtime_error naming the path on failure, ProgressCancelled
// when the sink cancels (an earlier file of that name stays as it was).
void WriteBinaryDataFile(const std::string& path, const DataDocument& doc);
void WriteBinaryDataFile(const std::string& path, const DataDocument& doc, ProgressSink* progress);

}  // namespace zun
