#pragma once
// A file that is written under a temporary name beside its target and renamed over the target
// only when everything was written and flushed to disk. Whatever fails before Commit leaves the
// old file untouched and removes the temporary.

#include <cstdio>
#include <string>

#include "platform/bytestream.h"

namespace zun {

class AtomicFile : public ByteStream {
public:
    // Creates the temporary file; throws std::runtime_error naming the path when it cannot.
    explicit AtomicFile(const std::string& path);
    ~AtomicFile() override;  // discards the temporary unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    std::size_t Read(void*, std::size_t) override { return 0; }
    // Throws std::runtime_error naming the path (disk full, write error).
    void Write(const void* data, std::size_t n) override;
    void Flush() override;
    // Flushes, syncs and renames the temporary over the target; throws on failure, which leaves
    // the target as it was.
    void Commit();
    // Removes the temporary without touching the target.
    void Discard();

    const std::string& Path() const { return path_; }
    const std::string& TempPath() const { return tempPath_; }

private:
    [[noreturn]] void Fail(const std::string& what, int err);

    std::string path_;
    std::string tempPath_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
};

}  // namespace zun
