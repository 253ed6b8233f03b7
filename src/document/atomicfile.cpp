#include "document/atomicfile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <stdexcept>
#include <vector>

namespace zun {

namespace fs = std::filesystem;

namespace {

// A temporary is "<target name>.zun-save-<pid>-XXXXXX": a name no user picks by chance, and the
// process that owns it. Users keep files such as "notes.zun.tmpBackup" beside their documents.
constexpr const char* kTempInfix = ".zun-save-";
constexpr std::size_t kTempRandom = 6;  // the XXXXXX of mkstemp
constexpr std::size_t kTempPidDigits = 10;

// The part of the target's name a temporary begins with. A name that leaves no room for the rest
// within the file system's limit on one name is cut short, so that a document whose own name is
// allowed can always be saved; its leftovers are still found by the same cut.
std::string TempBase(const std::string& name) {
    constexpr std::size_t kNameMax = 255;
    constexpr std::size_t room =
        kNameMax - std::char_traits<char>::length(kTempInfix) - kTempPidDigits - 1 - kTempRandom;
    return name.size() <= room ? name : name.substr(0, room);
}

std::string ErrorText(int err) {
    return err ? std::string(std::strerror(err)) : std::string("write error");
}

std::string FolderOf(const std::string& path) {
    std::string folder = fs::path(path).parent_path().string();
    return folder.empty() ? std::string(".") : folder;
}

// Syncs the folder so that the rename itself survives a crash.
void SyncFolderOf(const std::string& path) {
    int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The file a chain of symbolic links ends at (which need not exist yet). Renaming over the link
// itself would replace it with a plain file and leave the file it points to old.
std::string FollowLinks(const std::string& path) {
    fs::path p = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) return p.string();
        fs::path to = fs::read_symlink(p, ec);
        if (ec) return p.string();
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    throw std::runtime_error("Cannot write file " + path + ": " + ErrorText(ELOOP));
}

// The pid of the save that made `name`, a temporary of `base`; 0 when the name is not one.
pid_t TempOwner(const std::string& name, const std::string& base) {
    const std::string prefix = TempBase(base) + kTempInfix;
    if (name.size() <= prefix.size() + 1 + kTempRandom || name.compare(0, prefix.size(), prefix) != 0)
        return 0;
    const std::size_t dash = name.size() - kTempRandom - 1;
    if (name[dash] != '-' || dash == prefix.size() || dash - prefix.size() > kTempPidDigits) return 0;
    long long pid = 0;
    for (std::size_t i = prefix.size(); i < dash; ++i) {
        const char c = name[i];
        if (c < '0' || c > '9') return 0;
        pid = pid * 10 + (c - '0');
    }
    for (std::size_t i = dash + 1; i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return 0;
    }
    return pid > 0 && pid <= 0x7FFFFFFF ? static_cast<pid_t>(pid) : 0;
}

// Another process that may still be writing its temporary. This process's own temporaries are
// told apart by their locks alone (a killed earlier run may have had the same pid).
bool OwnerRunning(pid_t pid) {
    if (pid == ::getpid()) return false;
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace

int AtomicFile::RemoveLeftovers(const std::string& target) {
    const fs::path t = target;
    const std::string base = t.filename().string();
    int removed = 0;
    std::error_code ec;
    fs::directory_iterator it(FolderOf(target), ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const pid_t owner = TempOwner(name, base);
        if (owner == 0 || OwnerRunning(owner)) continue;
        const std::string file = it->path().string();
        int fd = ::open(file.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) continue;
        struct stat st {};
        // A save in progress holds the lock on its temporary; a killed one left it free.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (::unlink(file.c_str()) == 0) ++removed;
        }
        ::close(fd);
    }
    return removed;
}

AtomicFile::AtomicFile(const std::string& path) : path_(path), target_(FollowLinks(path)) {
    struct stat old {};
    const bool exists = ::stat(target_.c_str(), &old) == 0;
    if (exists) {
        if (!S_ISREG(old.st_mode))
            throw std::runtime_error("Cannot write file " + path + ": not a regular file");
        // A file nobody may write is read-only on purpose, whatever rights this user has.
        if ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(target_.c_str(), W_OK) != 0)
            throw std::runtime_error("Cannot write file " + path + ": " + ErrorText(EACCES));
    }
    RemoveLeftovers(target_);

    const fs::path target = target_;
    std::string pattern = (target.parent_path() / TempBase(target.filename().string())).string() +
                          kTempInfix + std::to_string(::getpid()) + "-" + std::string(kTempRandom, 'X');
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("Cannot write file " + path + ": " + ErrorText(errno));
    tempPath_ = name.data();
    // Held until the file is closed after its rename; never contended at creation.
    ::flock(fd, LOCK_EX | LOCK_NB);
    if (exists) {
        ::fchmod(fd, old.st_mode & 07777);
        // Keeps the owner where this user may (root saving another user's file); else the saver
        // owns the new file, as with any file it creates.
        [[maybe_unused]] const int owned = ::fchown(fd, old.st_uid, old.st_gid);
    } else {
        // mkstemp creates the file readable by the owner only; a new document gets ordinary rights.
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
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
    // Renamed while still open (and locked), so no other save takes it for a leftover meanwhile.
    if (std::rename(tempPath_.c_str(), target_.c_str()) != 0) Fail("Cannot replace file", errno);
    committed_ = true;
    std::FILE* f = file_;
    file_ = nullptr;
    std::fclose(f);  // everything was flushed and synced above
    SyncFolderOf(target_);
}

void AtomicFile::Discard() {
    if (!tempPath_.empty() && !committed_) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

}  // namespace zun
