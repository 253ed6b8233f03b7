#pragma once
// Movies of the 3-D view: an AVI file of 24-bit frames, either stored as they are or compressed
// with the Microsoft Video 1 codec. The writer behind this interface is FFmpeg's; nothing else of
// the program sees it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zun {

enum class MovieCodec { kUncompressed = 0, kMsVideo1 = 1 };

struct MovieFormat {
    int width = 0;   // a multiple of 4
    int height = 0;  // a multiple of 4
    int framesPerSecond = 25;
    MovieCodec codec = MovieCodec::kMsVideo1;
};

// Why Open failed: the file could not be made, the codec would not start, or the header could
// not be written. `code` is the library's error number.
enum class MovieError { kNone, kCreate, kCodec, kFormat, kWrite };

class MovieWriter {
public:
    virtual ~MovieWriter() = default;
    // Writes to a temporary name beside path; Close renames it into place, so an older movie of
    // that name stays until the new one is complete, and Discard leaves no file behind.
    virtual MovieError Open(const std::string& path, const MovieFormat& format, int& code) = 0;
    // One frame: width x height blue-green-red pixels, bottom row first (as read back from the
    // framebuffer), rows packed. `index` is the frame's number; numbers that are skipped stay
    // empty frames of the movie. False when the frame could not be written; the caller closes.
    virtual bool WriteFrame(int index, const std::uint8_t* bgrBottomUp) = 0;
    // Finishes the file and puts it in place (also after a failed write: the frames written so
    // far are kept). False when finishing or renaming failed. Does nothing when not open.
    virtual bool Close() = 0;
    // Drops the movie being written (the user cancelled): the temporary goes, an older movie of
    // the name stays as it was. Does nothing when not open.
    virtual void Discard() = 0;
    virtual bool IsOpen() const = 0;
    virtual const MovieFormat& Format() const = 0;
};

std::unique_ptr<MovieWriter> MakeMovieWriter();
// A writer that encodes and writes each frame on a thread of its own while the caller takes the
// next one (one frame waits at most). A frame that fails there makes the next WriteFrame, or
// Close, return false.
std::unique_ptr<MovieWriter> MakeBackgroundMovieWriter(
    std::unique_ptr<MovieWriter> inner = MakeMovieWriter());

// The frame size the movie uses for a viewport: each side rounded up to a multiple of 4.
int RoundUpToMultipleOf4(int n);
// Copies a bottom-up image of srcWidth x srcHeight pixels (3 bytes each, srcStride bytes a row)
// into a bottom-up frame of width x height; what the image does not cover (columns on the right,
// rows on top) gets the colour 0x00BBGGRR.
void FitFrame(const std::uint8_t* src, int srcWidth, int srcHeight, std::ptrdiff_t srcStride, int width,
              int height, std::uint32_t colour, std::vector<std::uint8_t>& frame);
// "<base>_000012.jpg" for frame 12.
std::string FrameFileName(const std::string& baseName, int index);
// The path without its extension (text before the last '.', when that follows the last slash).
std::string BaseNameOf(const std::string& path);
// The folder of a path: the text before the last '/' or '\' (empty when there is none).
std::string FolderOf(const std::string& path);

}  // namespace zun
