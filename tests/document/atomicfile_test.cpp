// Saves that are killed, saves over protected files and saves through symbolic links.

#include "document/atomicfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "document/compfile.h"
#include "testfiles.h"

namespace zun {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes Noise(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& v : b) v = static_cast<std::uint8_t>(rng());
    return b;
}

void Save(const std::string& path, const Bytes& data) {
    CCompFile f;
    f.Open(path, CCompFile::Mode::Write);
    for (std::size_t at = 0; at < data.size(); at += 65536)
        f.Write(data.data() + at, std::min<std::size_t>(65536, data.size() - at));
    f.Close();
}

Bytes Load(const std::string& path) {
    CCompFile f;
    f.Open(path, CCompFile::Mode::Read);
    Bytes out;
    std::uint8_t buf[65536];
    while (std::size_t n = f.Read(buf, sizeof buf)) out.insert(out.end(), buf, buf + n);
    return out;
}

int Leftovers(const TempDir& dir) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir.Path()))
        n += e.path().filename().string().find(".zun-save-") != std::string::npos;
    return n;
}

unsigned Mode(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(AtomicFile, SavesKilledAtRandomMomentsLeaveTheOldFileAndTheNextSaveCleansUp) {
    TempDir dir;
    const std::string path = dir.File("doc.zun");
    const Bytes oldData = Noise(100000, 1);
    const Bytes newData = Noise(24 << 20, 2);
    Save(path, oldData);

    // How long one whole save takes here, to spread the kills over it.
    auto t0 = std::chrono::steady_clock::now();
    Save(dir.File("timing.zun"), newData);
    const auto whole = std::chrono::steady_clock::now() - t0;
    fs::remove(dir.File("timing.zun"));
    const auto wholeUs = std::chrono::duration_cast<std::chrono::microseconds>(whole).count();

    std::mt19937 rng(42);
    int killedBeforeTheEnd = 0, leftBehind = 0;
    for (int i = 0; i < 20; ++i) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            Save(path, newData);
            _exit(0);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % (wholeUs + 1)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        killedBeforeTheEnd += WIFSIGNALED(status);
        leftBehind += Leftovers(dir) > 0;
        // The file is always one whole save: the old one, or (when the kill came after the rename)
        // the new one.
        const Bytes now = Load(path);
        ASSERT_TRUE(now == oldData || now == newData) << "kill " << i;
        if (now == newData) Save(path, oldData);
    }
    // Most kills land inside a save (the timing of a busy machine varies), and those left their
    // temporaries, which the next save removes.
    EXPECT_GE(killedBeforeTheEnd, 1);
    EXPECT_GE(leftBehind, 1);
    Save(path, oldData);
    EXPECT_EQ(Leftovers(dir), 0);
    EXPECT_EQ(Load(path), oldData);
}

TEST(AtomicFile, ASaveStillRunningKeepsItsTemporary) {
    TempDir dir;
    const std::string path = dir.File("d.txt");
    AtomicFile first(path);
    first.Write("one", 3);
    {
        AtomicFile second(path);
        second.Write("two", 3);
        second.Commit();
    }
    EXPECT_TRUE(fs::exists(first.TempPath()));
    first.Commit();
    EXPECT_EQ(ReadFileText(path), "one");
    EXPECT_EQ(Leftovers(dir), 0);
    // Leftovers of another file's saves are not ours to remove.
    const std::string me = std::to_string(::getpid());
    WriteFileText(dir.File("other.txt.zun-save-" + me + "-AbC123"), "x");
    WriteFileText(dir.File("d.txt.zun-save-" + me + "-AbC12"), "short");
    WriteFileText(dir.File("d.txt.zun-save-" + me + "-Ab-123"), "odd");
    AtomicFile third(path);
    third.Commit();
    EXPECT_EQ(Leftovers(dir), 3);
}

// A pid no process has any more.
pid_t GonePid() {
    const pid_t pid = fork();
    if (pid == 0) _exit(0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid;
}

TEST(AtomicFile, ASaveRemovesOnlyTheTemporariesOfSavesWhoseProcessIsGone) {
    TempDir dir;
    const std::string path = dir.File("notes.zun");
    WriteFileText(path, "old");
    // The user's own files, named like temporaries of other programs.
    const std::vector<std::string> users = {"notes.zun.tmpBackup", "notes.zun.tmp202412",
                                            "notes.zun.tmpAbC123", "notes.zun.bak",
                                            "notes.zun.zun-save-backup"};
    for (const std::string& n : users) WriteFileText(dir.File(n), "mine");
    // A killed save of a process that is gone; one of a process still running (which may be
    // writing it over a file system without locks).
    const std::string gone = "notes.zun.zun-save-" + std::to_string(GonePid()) + "-Xy12Zq";
    const std::string running = "notes.zun.zun-save-" + std::to_string(::getppid()) + "-Ab34Cd";
    WriteFileText(dir.File(gone), "left");
    WriteFileText(dir.File(running), "busy");

    AtomicFile f(path);
    EXPECT_NE(
        fs::path(f.TempPath()).filename().string().find(".zun-save-" + std::to_string(::getpid()) + "-"),
        std::string::npos);
    f.Write("new", 3);
    f.Commit();
    EXPECT_EQ(ReadFileText(path), "new");
    for (const std::string& n : users) EXPECT_EQ(ReadFileText(dir.File(n)), "mine") << n;
    EXPECT_FALSE(fs::exists(dir.File(gone)));
    EXPECT_TRUE(fs::exists(dir.File(running)));
}

TEST(AtomicFile, ADocumentWithTheLongestNameAllowedIsSavedAndItsLeftoversCleaned) {
    TempDir dir;
    const std::string base(251, 'c');
    const std::string path = dir.File(base + ".zun");  // 255 bytes: the most one name may hold
    for (const char* text : {"first", "second"}) {
        AtomicFile f(path);
        EXPECT_LE(fs::path(f.TempPath()).filename().string().size(), 255u);
        f.Write(text, std::strlen(text));
        f.Commit();
        EXPECT_EQ(ReadFileText(path), text);
    }
    // What a killed save of that name leaves is found by the next one, and a shorter name that
    // shares its beginning is not taken for a temporary.
    const std::string cut = fs::path(AtomicFile(path).TempPath()).filename().string();
    const std::string gone =
        cut.substr(0, cut.find(".zun-save-")) + ".zun-save-" + std::to_string(GonePid()) + "-Xy12Zq";
    WriteFileText(dir.File(gone), "left");
    WriteFileText(dir.File(base), "mine");
    AtomicFile f(path);
    f.Write("third", 5);
    f.Commit();
    EXPECT_FALSE(fs::exists(dir.File(gone)));
    EXPECT_EQ(ReadFileText(dir.File(base)), "mine");
    EXPECT_EQ(Leftovers(dir), 0);
}

TEST(AtomicFile, AReplacedFileKeepsItsModeAndAReadOnlyFileIsRefused) {
    TempDir dir;
    const std::string path = dir.File("private.zun");
    Save(path, Noise(1000, 3));
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    Save(path, Noise(1000, 4));
    EXPECT_EQ(Mode(path), 0600u);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    Save(path, Noise(1000, 5));
    EXPECT_EQ(Mode(path), 0640u);

    // A file no one may write stays as it is, for root as well.
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    try {
        Save(path, Noise(1000, 6));
        ADD_FAILURE() << "a read-only file was replaced";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot write file " + path + ": Permission denied");
    }
    EXPECT_EQ(Load(path), Noise(1000, 5));
    EXPECT_EQ(Mode(path), 0444u);
    EXPECT_EQ(Leftovers(dir), 0);
    // A new file gets ordinary rights.
    const mode_t mask = ::umask(022);
    Save(dir.File("new.zun"), Noise(10, 7));
    ::umask(mask);
    EXPECT_EQ(Mode(dir.File("new.zun")), 0644u);
}

TEST(AtomicFile, ASaveThroughASymbolicLinkWritesTheFileItPointsTo) {
    TempDir dir;
    fs::create_directory(dir.File("real"));
    const std::string target = dir.File("real/doc.zun");
    Save(target, Noise(100, 1));
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    fs::create_symlink("real/doc.zun", dir.File("link.zun"));
    fs::create_symlink(dir.File("link.zun"), dir.File("link2.zun"));

    Save(dir.File("link2.zun"), Noise(100, 2));
    EXPECT_TRUE(fs::is_symlink(dir.File("link.zun")));
    EXPECT_TRUE(fs::is_symlink(dir.File("link2.zun")));
    EXPECT_EQ(Load(target), Noise(100, 2));
    EXPECT_EQ(Mode(target), 0600u);
    AtomicFile f(dir.File("link2.zun"));
    EXPECT_EQ(f.TargetPath(), target);
    f.Discard();

    // A link to a file not there yet creates it; a loop of links is refused.
    fs::create_symlink("real/later.zun", dir.File("dangling.zun"));
    Save(dir.File("dangling.zun"), Noise(10, 3));
    EXPECT_TRUE(fs::is_symlink(dir.File("dangling.zun")));
    EXPECT_EQ(Load(dir.File("real/later.zun")), Noise(10, 3));
    fs::create_symlink("loop2", dir.File("loop1"));
    fs::create_symlink("loop1", dir.File("loop2"));
    EXPECT_THROW(Save(dir.File("loop1"), Noise(10, 4)), std::runtime_error);
}

}  // namespace
}  // namespace zun
