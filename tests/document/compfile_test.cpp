#include "document/compfile.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "document/atomicfile.h"
#include "document/docmessages.h"
#include "platform/archive.h"
#include "testfiles.h"

namespace zun {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Mixed content: runs that compress well and noise that does not.
Bytes SampleBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = (i / 4096) % 2 ? static_cast<std::uint8_t>(rng()) : i % 7;
    return b;
}

void WriteComp(const std::string& path, const Bytes& data, std::uint64_t frameLimit = 0) {
    CCompFile f;
    f.Open(path, CCompFile::Mode::Write);
    if (frameLimit) f.SetFrameInputLimit(frameLimit);
    // Uneven write sizes, like an archive's.
    std::size_t pos = 0, step = 1;
    while (pos < data.size()) {
        std::size_t n = std::min(step, data.size() - pos);
        f.Write(data.data() + pos, n);
        pos += n;
        step = step * 3 % 70001 + 1;
    }
    f.Close();
}

Bytes ReadComp(const std::string& path, bool* legacy = nullptr) {
    CCompFile f;
    f.Open(path, CCompFile::Mode::Read);
    if (legacy) *legacy = f.IsLegacyZlib();
    Bytes out;
    std::uint8_t buf[3001];
    while (std::size_t n = f.Read(buf, sizeof buf)) out.insert(out.end(), buf, buf + n);
    return out;
}

// True when opening and reading the whole file is refused with the unexpected-format text.
bool Refused(const std::string& path) {
    try {
        ReadComp(path);
    } catch (const ArchiveException& e) {
        return std::string(e.what()) == docmsg::kUnexpectedFileFormat;
    }
    return false;
}

TEST(CompFile, MultiFrameRoundTripAndCommandLineTool) {
    TempDir dir;
    Bytes data = SampleBytes(300000, 1);
    std::string path = dir.File("a.zun");
    {
        CCompFile f;
        f.Open(path, CCompFile::Mode::Write);
        f.SetFrameInputLimit(50000);
        f.Write(data.data(), data.size());
        f.Close();
        EXPECT_EQ(f.FramesWritten(), 6u);
    }
    Bytes file = ReadFileBytes(path);
    ASSERT_GE(file.size(), 8u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "ZSTD");
    EXPECT_EQ(file[4], 1);
    bool legacy = true;
    EXPECT_EQ(ReadComp(path, &legacy), data);
    EXPECT_FALSE(legacy);

    // The frames after the header are plain Zstandard: the command-line tool reads them.
    std::string plain = dir.File("plain.bin");
    std::string cmd = "tail -c +9 '" + path + "' | zstd -q -d -c > '" + plain + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(ReadFileBytes(plain), data);

    // An empty document body still makes one valid frame.
    WriteComp(path, {});
    EXPECT_TRUE(ReadComp(path).empty());
}

TEST(CompFile, ArchiveRunsOverItAndZlibFormOpens) {
    TempDir dir;
    std::string raw = dir.File("raw.bin");
    {
        MemoryStream mem;
        Archive ar(mem, Archive::Mode::Store);
        ar << std::uint32_t(2648) << std::string(300, 'x') << 1.5 << std::int16_t(-3);
        ar.Flush();
        WriteFileBytes(raw, mem.Bytes());
    }
    // Compressed by Python's zlib, not by our code.
    std::string legacyPath = dir.File("old.zun");
    RunPython(
        "import sys, zlib; open(sys.argv[2], 'wb').write(zlib.compress(open(sys.argv[1], 'rb').read(), 6))",
        {raw, legacyPath});
    std::string current = dir.File("new.zun");
    WriteComp(current, ReadFileBytes(raw), 17);

    for (const std::string& path : {legacyPath, current}) {
        CCompFile f;
        f.Open(path, CCompFile::Mode::Read);
        EXPECT_EQ(f.IsLegacyZlib(), path == legacyPath);
        Archive ar(f, Archive::Mode::Load);
        std::uint32_t stamp = 0;
        std::string s;
        double d = 0;
        std::int16_t w = 0;
        ar >> stamp >> s >> d >> w;
        EXPECT_EQ(stamp, 2648u);
        EXPECT_EQ(s, std::string(300, 'x'));
        EXPECT_EQ(d, 1.5);
        EXPECT_EQ(w, -3);
        std::uint8_t extra;
        EXPECT_THROW(ar >> extra, ArchiveException);
    }
}

TEST(CompFile, RefusesTruncatedCorruptedAndForeignFiles) {
    TempDir dir;
    Bytes data = SampleBytes(200000, 2);
    std::string good = dir.File("good.zun");
    WriteComp(good, data, 64000);
    Bytes file = ReadFileBytes(good);

    std::string legacy = dir.File("legacy.zun");
    WriteFileBytes(dir.File("raw"), data);
    RunPython(
        "import sys, zlib; open(sys.argv[2], 'wb').write(zlib.compress(open(sys.argv[1], 'rb').read()))",
        {dir.File("raw"), legacy});
    Bytes legacyFile = ReadFileBytes(legacy);

    std::string bad = dir.File("bad.zun");
    auto refusedWith = [&](Bytes bytes) {
        WriteFileBytes(bad, bytes);
        return Refused(bad);
    };
    for (std::size_t cut :
         {std::size_t(0), std::size_t(3), std::size_t(8), std::size_t(20), file.size() / 2, file.size() - 1})
        EXPECT_TRUE(refusedWith(Bytes(file.begin(), file.begin() + cut))) << "zstd cut at " << cut;
    for (std::size_t cut : {std::size_t(1), std::size_t(2), legacyFile.size() / 2, legacyFile.size() - 5})
        EXPECT_TRUE(refusedWith(Bytes(legacyFile.begin(), legacyFile.begin() + cut)))
            << "zlib cut at " << cut;

    for (std::size_t at : {std::size_t(12), file.size() / 3, file.size() - 2}) {
        Bytes damaged = file;
        damaged[at] ^= 0x5A;
        EXPECT_TRUE(refusedWith(damaged)) << "zstd damaged at " << at;
    }
    Bytes damaged = legacyFile;
    damaged.at(legacyFile.size() / 2) ^= 0xFF;
    damaged.at(legacyFile.size() / 2 + 1) ^= 0xFF;
    EXPECT_TRUE(refusedWith(damaged));

    Bytes trailing = file;
    std::string junk = "junk!!!!!";
    trailing.insert(trailing.end(), junk.begin(), junk.end());
    EXPECT_TRUE(refusedWith(trailing));

    std::string png = "\x89PNG\r\n\x1a\n0000";
    EXPECT_TRUE(refusedWith(Bytes(png.begin(), png.end())));
    std::string text = "TEXT 1\nGRID 1 1 1\n";
    EXPECT_TRUE(refusedWith(Bytes(text.begin(), text.end())));
    std::string magic = std::string("zun_file") + '\0' + "abcdefgh";
    EXPECT_TRUE(refusedWith(Bytes(magic.begin(), magic.end())));
}

TEST(CompFile, FailedSaveLeavesTheOldFile) {
    TempDir dir;
    std::string path = dir.File("doc.zun");
    Bytes oldData = SampleBytes(1000, 3);
    WriteComp(path, oldData);
    Bytes oldFile = ReadFileBytes(path);
    Bytes big = SampleBytes(4 << 20, 4);  // noise halves compress poorly: about 2 MiB on disk

    // A save abandoned half-way (an exception while storing) never touches the target.
    {
        CCompFile f;
        f.Open(path, CCompFile::Mode::Write);
        f.Write(big.data(), big.size() / 2);
    }
    EXPECT_EQ(ReadFileBytes(path), oldFile);

    // Full disk: the file-size limit makes the writes fail with EFBIG in a child process.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{256 * 1024, 256 * 1024};
        setrlimit(RLIMIT_FSIZE, &lim);
        try {
            WriteComp(path, big);
        } catch (const std::runtime_error& e) {
            _exit(std::string(e.what()).find(path) != std::string::npos ? 0 : 2);
        }
        _exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed save must throw with the path";
    EXPECT_EQ(ReadFileBytes(path), oldFile);

    // Read-only folder: the temporary cannot be made, so the save fails before any change. Root
    // ignores folder rights, so the attempt runs as an unprivileged user.
    ASSERT_EQ(chmod(dir.Path().c_str(), 0555), 0);
    pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0) {
            passwd* nobody = getpwnam("nobody");
            if (!nobody || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) _exit(3);
        }
        try {
            WriteComp(path, big);
        } catch (const std::runtime_error&) {
            _exit(0);
        }
        _exit(1);
    }
    waitpid(pid, &status, 0);
    chmod(dir.Path().c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFileBytes(path), oldFile);

    // Nothing is left behind beside the document.
    int entries = 0;
    for (const auto& e : fs::directory_iterator(dir.Path())) entries += e.path().filename() != "doc.zun";
    EXPECT_EQ(entries, 0);

    // A successful save replaces it.
    WriteComp(path, big);
    EXPECT_EQ(ReadComp(path), big);
}

// A block far larger than the buffers streams through in chunks in both directions without the
// file ever being held in memory.
TEST(CompFile, LargeBlockStreamsWithoutHoldingTheFile) {
    TempDir dir;
    std::string path = dir.File("big.zun");
    constexpr std::size_t kChunk = 1 << 20;
    constexpr std::size_t kChunks = 320;  // crosses the 256 MiB frame boundary
    auto fill = [](std::vector<std::uint16_t>& block, std::size_t c) {
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<std::uint16_t>((i * 2654435761u + c * 40503u) >> 7);
    };
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    std::vector<std::uint16_t> block(kChunk / 2), back(kChunk / 2);
    {
        CCompFile f;
        f.Open(path, CCompFile::Mode::Write);
        for (std::size_t c = 0; c < kChunks; ++c) {
            fill(block, c);
            f.Write(block.data(), kChunk);
        }
        f.Close();
        EXPECT_EQ(f.FramesWritten(), 2u);
    }
    {
        CCompFile f;
        f.Open(path, CCompFile::Mode::Read);
        for (std::size_t c = 0; c < kChunks; ++c) {
            fill(block, c);
            ASSERT_EQ(f.Read(back.data(), kChunk), kChunk);
            ASSERT_EQ(back, block) << "chunk " << c;
        }
        std::uint8_t extra;
        EXPECT_EQ(f.Read(&extra, 1), 0u);
    }
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 96 * 1024) << "kilobytes of peak growth";
}

}  // namespace
}  // namespace zun
