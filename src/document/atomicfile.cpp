#include "document/atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace zun {

namespace {

std::string ErrorText(int err) {
    return err ? std::string(std::strerror(err)) : std::string("write error");
}

// Syncs the folder so that the rename itself survives a crash.
void SyncFolderOf(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

AtomicFile::AtomicFile(const std::string& path) : path_(path) {
    std::string pattern = path + ".tmpXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) throw std::runtime_error("Cannot write file " + path + ": " + ErrorText(errno));
    tempPath_ = name.data();
    // mkstemp creates the file readable by the owner only; a saved document gets ordinary rights.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        int err = errno;
        ::close(fd);
        ::unlink(tempPath_.c_str());
        throw std::runtime_error("Cannot write file " + path + ": " + ErrorText(err));
    }
}

AtomicFile::~AtomicFile() {
    if (!committed_) Discard();
}

void AtomicFile::Fail(const std::string& what, int err) {
    Discard();
    throw std::runtime_error(what + " " + path_ + ": " + ErrorText(err));
}

void AtomicFile::Write(const void* data, std::size_t n) {
    if (!file_) throw std::runtime_error("Cannot write file " + path_ + ": the file is closed");
    errno = 0;
    if (n && std::fwrite(data, 1, n, file_) != n) Fail("Cannot write file", errno);
}

void AtomicFile::Flush() {
    if (!file_) return;
    errno = 0;
    if (std::fflush(file_) != 0) Fail("Cannot write file", errno);
}

void AtomicFile::Commit() {
    if (!file_) throw std::runtime_error("Cannot write file " + path_ + ": the file is closed");
    errno = 0;
    if (std::fflush(file_) != 0) Fail("Cannot write file", errno);
    if (::fsync(::fileno(file_)) != 0 && errno != EINVAL) Fail("Cannot write file", errno);
    std::FILE* f = file_;
    file_ = nullptr;
    errno = 0;
    if (std::fclose(f) != 0) Fail("Cannot write file", errno);
    if (std::rename(tempPath_.c_str(), path_.c_str()) != 0) Fail("Cannot replace file", errno);
    committed_ = true;
    SyncFolderOf(path_);
}

void AtomicFile::Discard() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!tempPath_.empty() && !committed_) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

}  // namespace zun
