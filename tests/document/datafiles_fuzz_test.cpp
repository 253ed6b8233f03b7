// Damaged text and binary data files: truncations, flipped bytes and spliced numbers must come back
// as a DataFileError or as a document whose channels hold exactly the grid's words, never as a
// crash, a read outside a buffer (the sanitizer run watches) or another exception.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>

#include "document/binarydatafile.h"
#include "document/textdatafile.h"
#include "testfiles.h"

namespace zun {
namespace {

using Bytes = std::vector<std::uint8_t>;

DataDocument Small() {
    DataDocument d;
    d.nx = 3;
    d.ny = 2;
    d.nz = 2;
    d.notes = "a note\n";
    const std::pair<const char*, int> chans[] = {{"Void", 0}, {"Al", 0}, {"ct", 1}, {"b", 3}};
    std::uint16_t w = 0;
    for (auto [name, kind] : chans) {
        DataChannel c;
        c.name = name;
        c.kind = kind;
        c.words.resize(std::size_t(d.nx) * d.ny * d.nz);
        for (auto& x : c.words) x = w += 4099;
        d.channels.push_back(std::move(c));
    }
    return d;
}

// Texts that make the readers take unusual paths when spliced in.
const char* const kSplices[] = {"-1",
                                "4294967296",
                                "99999999999999999999",
                                "1e308",
                                "nan",
                                "-inf",
                                "\"",
                                "#",
                                "\\",
                                "GRID",
                                "DATA",
                                "END",
                                "SLICES 0 0",
                                "65536",
                                "0x10",
                                "\n",
                                "\xff\xff\xff\x7f"};

Bytes Mutate(const Bytes& good, std::mt19937& rng) {
    Bytes b = good;
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits && !b.empty(); ++e) {
        const std::size_t at = rng() % b.size();
        switch (rng() % 4) {
            case 0:
                b[at] = static_cast<std::uint8_t>(rng());
                break;
            case 1:
                b.resize(at);
                break;
            case 2: {
                const char* s = kSplices[rng() % std::size(kSplices)];
                b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), s, s + std::strlen(s));
                break;
            }
            default:
                b.erase(b.begin() + static_cast<std::ptrdiff_t>(at),
                        b.begin() + static_cast<std::ptrdiff_t>(std::min(b.size(), at + 1 + rng() % 8)));
        }
    }
    return b;
}

// Reads one damaged file; whatever is accepted must be self-consistent.
template <class Read>
void ReadDamaged(const std::string& path, const Bytes& bytes, Read read, int& accepted) {
    WriteFileBytes(path, bytes);
    try {
        DataDocument d = read(path);
        ++accepted;
        const std::size_t words = d.PlaneWords() * d.PlaneCount();
        ASSERT_FALSE(d.channels.empty());
        for (const DataChannel& c : d.channels) ASSERT_EQ(c.words.size(), words);
    } catch (const DataFileError&) {
    } catch (const std::exception& e) {
        ADD_FAILURE() << "unexpected exception: " << e.what();
    }
}

void Fuzz(const Bytes& good, DataDocument (*read)(const std::string&), const std::string& path) {
    std::mt19937 rng(20261207);
    const auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int accepted = 0, tried = 0;
    for (std::size_t len = 0; len < good.size(); len += 1 + good.size() / 200, ++tried)
        ReadDamaged(path, Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(len)), read,
                    accepted);
    for (int t = 0; t < 4000 && std::chrono::steady_clock::now() < stop; ++t, ++tried)
        ReadDamaged(path, Mutate(good, rng), read, accepted);
    EXPECT_LT(accepted, tried);
}

TEST(DataFileFuzz, DamagedTextFiles) {
    TempDir dir;
    DataDocument d = Small();
    d.notes.clear();
    d.compounds = {{1, "Al", 2.7}};
    d.beamEnergies = {{2, 40}};
    d.accuracies = {{2, 0.01}};
    WriteTextDataFile(dir.File("good.txt"), d);
    Fuzz(ReadFileBytes(dir.File("good.txt")), ReadTextDataFile, dir.File("case.txt"));
}

TEST(DataFileFuzz, DamagedBinaryFiles) {
    TempDir dir;
    WriteBinaryDataFile(dir.File("good.bin"), Small());
    Fuzz(ReadFileBytes(dir.File("good.bin")), ReadBinaryDataFile, dir.File("case.bin"));
}

}  // namespace
}  // namespace zun
