#pragma once
// A file that is written under a temporary name beside its target and renamed over the target
// only when everything was written and flushed to disk. Whatever fails before Commit leaves the
// old file untouched and removes the temporary.
//
// The target is the file a symbolic link points to (the link stays a link), a replaced file keeps
// its permission bits, and a file without any write permission is refused rather than replaced.
// The temporary is named after its target and the saving process, and locked while it is written,
// so that the next save of the same file can tell the leftovers of a killed save from a save still
// running and remove them; files it did not make are never touched.

#include <cstdio>
#include <string>

#include "platform/bytestream.h"

namespace zun {

class AtomicFile : public ByteStream {
public:
    // Creates the temporary file; throws std::runtime_error naming the path when it cannot, or
    // when the existing target could not be written by this user.
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

    // The path given, and the file that is really replaced (differs through symbolic links).
    const std::string& Path() const { return path_; }
    const std::string& TargetPath() const { return target_; }
    const std::string& TempPath() const { return tempPath_; }

    // Removes the temporaries of earlier saves of `target` whose process is gone (or is this one)
    // and that nobody holds locked; returns how many were removed.
    static int RemoveLeftovers(const std::string& target);

private:
    [[noreturn]] void Fail(const std::string& what, int err);

    std::string path_;
    std::string target_;
    std::string tempPath_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
};

}  // namespace zun
