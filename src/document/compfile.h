#pragma once
// The compressed document file. A current file is the 8-byte header ("ZSTD" and a uint32 wrapper
// version) followed by a chain of Zstandard frames; an older file is one zlib stream. The archive
// of the document runs over this stream in both directions; neither direction holds the whole
// file in memory.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/bytestream.h"

namespace zun {

class AtomicFile;
class ProgressMeter;
class ProgressSink;

class CCompFile : public ByteStream {
public:
    enum class Mode { Read, Write };
    static constexpr std::uint32_t kWrapperVersion = 1;
    // Input bytes after which the writer closes a frame and starts the next one.
    static constexpr std::uint64_t kDefaultFrameInput = 256ull << 20;

    CCompFile();
    ~CCompFile() override;
    CCompFile(const CCompFile&) = delete;
    CCompFile& operator=(const CCompFile&) = delete;

    // Read: opens the file and recognises its form; a file in neither form throws
    // ArchiveException(generic) with the unexpected-format text. Write: starts a temporary file
    // beside the target (see AtomicFile). Both throw std::runtime_error when the file cannot be
    // opened or created.
    void Open(const std::string& path, Mode mode);
    // Read mode. A file that ends inside a frame throws ArchiveException(endOfFile), damaged
    // compressed data ArchiveException(generic).
    std::size_t Read(void* data, std::size_t n) override;
    // Write mode; throws std::runtime_error on a write failure.
    void Write(const void* data, std::size_t n) override;
    // Kept as a no-op: the archive flushes often, and ending a frame there would cost ratio.
    void Flush() override {}
    // Write mode: ends the last frame and puts the file in place of the target (an error throws
    // and leaves the target as it was). Read mode: closes the file.
    void Close();
    // Drops a file being written without touching the target.
    void Abandon();

    bool IsLegacyZlib() const { return legacy_; }
    std::uint32_t WrapperVersion() const { return wrapperVersion_; }
    void SetFrameInputLimit(std::uint64_t bytes) { frameLimit_ = bytes ? bytes : 1; }
    // Reports the file bytes read, or the bytes written, out of the total to the sink; its Cancel
    // throws ProgressCancelled from Read or Write (a file being written then never replaces the
    // target). Null: no reports.
    void SetProgress(ProgressSink* sink, std::uint64_t total);
    std::uint64_t FramesWritten() const { return frames_; }

private:
    struct Codec;
    std::size_t ReadZstd(std::uint8_t* out, std::size_t n);
    std::size_t ReadZlib(std::uint8_t* out, std::size_t n);
    bool RefillInput();
    void Compress(const std::uint8_t* data, std::size_t n, bool endFrame);

    Mode mode_ = Mode::Read;
    bool open_ = false;
    bool legacy_ = false;
    bool inputEnded_ = false;
    bool streamEnded_ = false;  // zlib: end of the stream seen
    bool frameOpen_ = false;    // zstd: inside a frame
    bool sawFrame_ = false;
    std::uint32_t wrapperVersion_ = 0;
    std::uint64_t frameLimit_ = kDefaultFrameInput;
    std::uint64_t frameInput_ = 0;
    std::uint64_t frames_ = 0;
    std::string path_;
    std::unique_ptr<FileStream> in_;
    std::unique_ptr<AtomicFile> out_;
    std::unique_ptr<Codec> codec_;
    std::vector<std::uint8_t> inBuf_;
    std::size_t inPos_ = 0;
    std::size_t inEnd_ = 0;
    std::vector<std::uint8_t> outBuf_;
    std::unique_ptr<ProgressMeter> meter_;
    std::uint64_t moved_ = 0;  // file bytes read, or bytes given to Write
};

}  // namespace zun
