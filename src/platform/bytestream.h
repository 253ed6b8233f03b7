#pragma once
// Byte streams the archive reads from and writes to: memory, files, and (in the document
// folder) the compressed document file.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zun {

class ByteStream {
public:
    virtual ~ByteStream() = default;
    // Reads up to n bytes; returns the number read (0 at the end of the stream).
    virtual std::size_t Read(void* data, std::size_t n) = 0;
    // Writes all n bytes or throws std::runtime_error.
    virtual void Write(const void* data, std::size_t n) = 0;
    virtual void Flush() {}
};

// A growable in-memory byte buffer with a read position.
class MemoryStream : public ByteStream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    std::size_t Read(void* data, std::size_t n) override;
    void Write(const void* data, std::size_t n) override;

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::vector<std::uint8_t>& Bytes() { return bytes_; }
    void Rewind() { pos_ = 0; }
    std::size_t Position() const { return pos_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

// A file opened with stdio; closes on destruction.
class FileStream : public ByteStream {
public:
    enum class Mode { Read, Write };
    // Throws std::runtime_error when the file cannot be opened.
    FileStream(const std::string& path, Mode mode);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    std::size_t Read(void* data, std::size_t n) override;
    void Write(const void* data, std::size_t n) override;
    void Flush() override;
    // Flushes and closes; throws when the data could not be written out.
    void Close();

private:
    std::FILE* file_ = nullptr;
    std::string path_;
};

}  // namespace zun
