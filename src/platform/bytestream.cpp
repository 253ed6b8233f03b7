#include "platform/bytestream.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace zun {

std::size_t MemoryStream::Read(void* data, std::size_t n) {
    std::size_t avail = bytes_.size() - pos_;
    if (n > avail) n = avail;
    if (n) std::memcpy(data, bytes_.data() + pos_, n);
    pos_ += n;
    return n;
}

void MemoryStream::Write(const void* data, std::size_t n) {
    if (!n) return;
    auto p = static_cast<const std::uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + n);
}

FileStream::FileStream(const std::string& path, Mode mode) : path_(path) {
    file_ = std::fopen(path.c_str(), mode == Mode::Read ? "rb" : "wb");
    if (!file_) throw std::runtime_error("Cannot open file " + path + ": " + std::strerror(errno));
}

FileStream::~FileStream() {
    if (file_) std::fclose(file_);
}

std::size_t FileStream::Read(void* data, std::size_t n) {
    return file_ ? std::fread(data, 1, n, file_) : 0;
}

void FileStream::Write(const void* data, std::size_t n) {
    if (!file_ || std::fwrite(data, 1, n, file_) != n)
        throw std::runtime_error("Cannot write file " + path_);
}

void FileStream::Flush() {
    if (file_ && std::fflush(file_) != 0) throw std::runtime_error("Cannot write file " + path_);
}

void FileStream::Close() {
    if (!file_) return;
    std::FILE* f = file_;
    file_ = nullptr;
    bool ok = std::fflush(f) == 0;
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) throw std::runtime_error("Cannot write file " + path_);
}

}  // namespace zun
