#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <sstream>

#include "document/binarydatafile.h"
#include "document/textdatafile.h"
#include "platform/progress.h"
#include "testfiles.h"

namespace zun {
namespace {

using Bytes = std::vector<std::uint8_t>;

DataDocument Sample(std::uint32_t nx, std::uint32_t ny, std::uint32_t nz) {
    DataDocument d;
    d.nx = nx;
    d.ny = ny;
    d.nz = nz;
    d.notes = "first line\nsecond \"quoted\" line\n";
    d.method = 2;
    d.coefficientKind = 1;
    d.multiplier = 0.25;
    d.sx = 1.5e-3;
    d.sy = 2.0 / 3.0;
    d.sz = 7;
    std::mt19937 rng(5);
    const std::pair<const char*, int> chans[] = {{"Void", 0},  {"Al 2O3", 0}, {"say \"hi\"", 0}, {"ct 1", 1},
                                                 {"ct\\2", 1}, {"prop", 2},   {"Bound", 3}};
    for (auto [name, kind] : chans) {
        DataChannel c;
        c.name = name;
        c.kind = kind;
        c.rangeMin = -0.125f * kind;
        c.rangeMax = 1.0f / 3.0f + kind;
        c.words.resize(std::size_t(nx) * ny * nz);
        for (auto& w : c.words) w = static_cast<std::uint16_t>(rng());  // flags included
        c.words[0] = 65535;
        c.words[1] = 0;
        d.channels.push_back(std::move(c));
    }
    d.compounds = {{0, "", 0}, {1, "Al2O3", 3.987}, {2, "H2O", 1.0 / 3.0}};
    d.beamEnergies = {{3, 33.17}, {4, 1e-6 * 123456789}};  // nine digits at most
    d.accuracies = {{1, 0.005}};
    return d;
}

// Large files are read and written with progress; Cancel drops what was being read and leaves an
// earlier file of the name as it was, with no temporary file beside it.
TEST(DataFiles, ProgressAndCancelOnReadAndWrite) {
    TempDir dir;
    DataDocument d = Sample(40, 30, 20);
    auto entries = [&dir] {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++n;
        return n;
    };
    for (const bool text : {true, false}) {
        SCOPED_TRACE(text ? "text" : "binary");
        const std::string path = dir.File(text ? "d.txt" : "d.dat");
        auto write = [&](ProgressSink* p) {
            text ? WriteTextDataFile(path, d, p) : WriteBinaryDataFile(path, d, p);
        };
        auto read = [&](ProgressSink* p) {
            return text ? ReadTextDataFile(path, p) : ReadBinaryDataFile(path, p);
        };
        HeadlessProgress all;
        write(&all);
        ASSERT_FALSE(all.Positions().empty());
        EXPECT_EQ(all.Positions().back(), 100);
        const std::string written = ReadFileText(path);
        const std::size_t files = entries();

        HeadlessProgress reading;
        EXPECT_EQ(read(&reading).channels[3].words, d.channels[3].words);
        EXPECT_EQ(reading.Positions().back(), 100);
        // Positions only grow, one report per percent at most.
        const std::vector<int> pos = reading.Positions();
        EXPECT_TRUE(std::is_sorted(pos.begin(), pos.end()));
        EXPECT_LE(pos.size(), 101u);

        HeadlessProgress cancelRead;
        cancelRead.CancelAtCall(5);
        EXPECT_THROW(read(&cancelRead), ProgressCancelled);

        DataDocument other = d;
        other.channels[0].words.assign(other.channels[0].words.size(), 7);
        HeadlessProgress cancelWrite;
        cancelWrite.CancelAtCall(3);
        EXPECT_THROW(text ? WriteTextDataFile(path, other, &cancelWrite)
                          : WriteBinaryDataFile(path, other, &cancelWrite),
                     ProgressCancelled);
        EXPECT_TRUE(ReadFileText(path) == written) << "the earlier file changed";
        EXPECT_EQ(entries(), files);
    }
}

TEST(BinaryDataFile, RoundTripProbeAndRefusals) {
    TempDir dir;
    DataDocument d = Sample(5, 3, 4);
    d.compounds.clear();  // the binary file carries no settings
    d.beamEnergies.clear();
    d.accuracies.clear();
    d.method = 1;
    d.coefficientKind = 0;
    d.multiplier = 1e-6;
    d.sx = d.sy = d.sz = 1;
    std::string path = dir.File("d.bin");
    WriteBinaryDataFile(path, d);
    EXPECT_EQ(ReadBinaryDataFile(path), d);

    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::fseek(f, 5, SEEK_SET);
    EXPECT_EQ(IsBinaryDataFile(f), 1);
    EXPECT_EQ(std::ftell(f), 5);  // position kept
    std::fclose(f);
    WriteFileText(dir.File("t.txt"), "TEXT 1\n");
    f = std::fopen(dir.File("t.txt").c_str(), "rb");
    EXPECT_EQ(IsBinaryDataFile(f), 0);
    std::fclose(f);
    EXPECT_EQ(IsBinaryDataFile(nullptr), -1);

    Bytes good = ReadFileBytes(path);
    auto refusal = [&](const Bytes& bytes) -> std::string {
        std::string bad = dir.File("bad.bin");
        WriteFileBytes(bad, bytes);
        try {
            ReadBinaryDataFile(bad);
        } catch (const DataFileError& e) {
            std::string prefix = "Not a valid binary data file: " + bad + " (";
            EXPECT_EQ(std::string(e.what()).rfind(prefix, 0), 0u) << e.what();
            std::string w = e.what();
            return w.substr(prefix.size(), w.size() - prefix.size() - 1);
        }
        return "accepted";
    };
    auto patched = [&](std::size_t at, std::uint32_t v) {
        Bytes b = good;
        std::memcpy(b.data() + at, &v, 4);
        return b;
    };
    std::size_t notesEnd = 9 + 4 + 4 + d.notes.size();
    std::size_t count = notesEnd + 12;
    std::size_t firstKind = count + 4 + 4 + 4;  // "Void": length, 4 bytes of name
    std::size_t secondKind = firstKind + 12 + 4 + 6;

    EXPECT_EQ(refusal(Bytes(good.begin(), good.begin() + 5)), "no binary data file header");
    Bytes foreign = good;
    foreign[0] = 'Z';
    EXPECT_EQ(refusal(foreign), "no binary data file header");
    EXPECT_EQ(refusal(patched(9, 2)), "unknown format version 2");
    EXPECT_EQ(refusal(patched(count, 0)), "no channels");
    EXPECT_EQ(refusal(patched(count, 1000)), "the file ends too early");
    EXPECT_EQ(refusal(patched(count, 0xFFFFFFFF)),
              "Too many channels (4294967295): a document holds at most 1024");
    EXPECT_EQ(refusal(patched(firstKind, 1)), "the first channel is not a composition channel");
    EXPECT_EQ(refusal(patched(secondKind, 2)), "channels are not ordered by kind");
    EXPECT_EQ(refusal(patched(secondKind, 7)), "channel kind out of range");
    EXPECT_EQ(refusal(patched(notesEnd, 6)), "the voxel data do not match the grid size");
    EXPECT_EQ(refusal(patched(notesEnd, 0x40000000)), "the voxel data do not match the grid size");
    EXPECT_EQ(refusal(patched(13, 0xFFFFFF00)), "the file ends too early");  // notes length
    EXPECT_EQ(refusal(Bytes(good.begin(), good.end() - 1)), "the voxel data do not match the grid size");
    std::string missing = dir.File("none.bin");
    EXPECT_THROW(ReadBinaryDataFile(missing), DataFileError);
}

TEST(TextDataFile, RoundTripKeepsEveryWordAndSetting) {
    TempDir dir;
    DataDocument d = Sample(6, 2, 3);
    std::string path = dir.File("d.txt");
    d.notes.clear();  // text files carry no notes
    WriteTextDataFile(path, d);
    EXPECT_TRUE(IsTextDataFile(path));
    DataDocument back = ReadTextDataFile(path);
    EXPECT_EQ(back, d);

    // A slice file holds only its planes.
    DataDocument s = d;
    s.slices = {2, 0};
    for (auto& c : s.channels) c.words.resize(2 * s.PlaneWords());
    WriteTextDataFile(path, s);
    EXPECT_EQ(ReadTextDataFile(path), s);

    // Names may hold quotes and backslashes, formulas any character; a line break inside quotes
    // must still read back.
    d.channels[1].name = "say \"two\" \\ lines";
    d.compounds[1].formula = "Al2O3\n";
    WriteTextDataFile(path, d);
    EXPECT_EQ(ReadTextDataFile(path), d);

    // A value the reader would refuse is refused when writing, and the old file stays.
    const std::vector<std::uint8_t> kept = ReadFileBytes(path);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int k = 0; k < 4; ++k) {
        DataDocument bad = d;
        if (k == 0) bad.channels[2].rangeMax = std::numeric_limits<float>::quiet_NaN();
        if (k == 1) bad.sy = -std::numeric_limits<double>::infinity();
        if (k == 2) bad.compounds[1].density = nan;
        if (k == 3) bad.beamEnergies[3] = nan;
        EXPECT_THROW(WriteTextDataFile(path, bad), std::runtime_error) << k;
        EXPECT_EQ(ReadFileBytes(path), kept) << k;
    }
}

// The words after `key` on the file's first line that starts with it.
std::vector<std::string> LineWords(const std::string& text, const std::string& key) {
    const std::size_t at = text.find("\n" + key);
    if (at == std::string::npos) return {};
    std::istringstream line(text.substr(at + 1, text.find('\n', at + 1) - at - 1));
    std::vector<std::string> words;
    for (std::string w; line >> w;) words.push_back(w);
    return words;
}

// Beam energies, accuracies, ranges and densities typed in single precision: each is written as
// the shortest text that reads back to the same float, never widened to double digits.
TEST(TextDataFile, SinglePrecisionValuesAreWrittenAsTheirShortestText) {
    TempDir dir;
    const std::string path = dir.File("f.txt");
    std::mt19937 rng(60);
    std::vector<float> values = {40.1f, 0.01f, 33.17f, 1e-7f, 123456.789f, 2.5e-3f, 0.1f, 7.0f, 3.4e38f};
    values.push_back(1.0f / 3.0f);
    values.push_back(std::numeric_limits<float>::denorm_min());
    for (int k = 0; k < 200; ++k) {
        float f = 0;
        const std::uint32_t bits = (rng() % 0xFE) << 23 | (rng() & 0x7FFFFF);  // finite, positive
        std::memcpy(&f, &bits, sizeof f);
        values.push_back(f);
    }
    // The "%g" text with the fewest significant digits that reads back to f, found by trying every
    // precision: the written text is no longer.
    auto shortestG = [](float f) {
        for (int p = 1;; ++p) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.*g", p, static_cast<double>(f));
            if (std::strtof(buf, nullptr) == f) return std::string(buf);
        }
    };
    DataDocument d = Sample(2, 1, 1);
    d.notes.clear();
    // Beam energies must lie where the attenuation source has data.
    std::uniform_real_distribution<float> keV(2.5f, 400.0f);
    for (float f : values) {
        const float e = f >= 2.5f && f <= 400.0f ? f : keV(rng);
        d.beamEnergies[3] = e;
        d.accuracies[1] = f;
        d.accuracies[4] = f;
        d.channels[5].rangeMax = f;
        d.compounds[1].density = f;
        WriteTextDataFile(path, d);
        const std::string text = ReadFileText(path);
        const auto beam = LineWords(text, "BEAM 3 "), ranges = LineWords(text, "RANGES "),
                   compounds = LineWords(text, "COMPOUNDS ");
        ASSERT_EQ(beam.size(), 3u) << text;
        ASSERT_EQ(ranges.size(), 15u) << text;
        ASSERT_EQ(compounds.size(), 10u) << text;
        std::vector<std::string> accuracies;
        for (std::size_t at = 0; (at = text.find("\nACCURACY ", at)) != std::string::npos; ++at)
            accuracies.push_back(LineWords(text.substr(at), "ACCURACY ").at(2));
        ASSERT_EQ(accuracies.size(), 2u) << text;
        for (const auto& [t, want] : {std::pair{beam[2], e},
                                      {ranges[12], f},
                                      {accuracies[0], f},
                                      {accuracies[1], f},
                                      {compounds[6], f}}) {
            EXPECT_EQ(std::strtof(t.c_str(), nullptr), want) << t;
            EXPECT_LE(t.size(), shortestG(want).size()) << t << " for " << static_cast<double>(want);
        }
        const DataDocument back = ReadTextDataFile(path);
        EXPECT_EQ(static_cast<float>(back.beamEnergies.at(3)), e);
        EXPECT_EQ(static_cast<float>(back.accuracies.at(1)), f);
        EXPECT_EQ(back.channels[5].rangeMax, f);
        EXPECT_EQ(static_cast<float>(back.compounds[1].density), f);
    }
    // A value held in double precision keeps every digit it needs.
    d = Sample(2, 1, 1);
    d.notes.clear();
    d.beamEnergies[3] = 1e-6 * 123456789;
    d.accuracies[1] = 0.1;
    d.compounds[1].density = 2.7100000000000004;
    WriteTextDataFile(path, d);
    EXPECT_EQ(LineWords(ReadFileText(path), "BEAM 3 ").at(2), "123.456789");
    EXPECT_EQ(ReadTextDataFile(path), d);
}

TEST(TextDataFile, ReadsAFileWrittenByHandWithCommentsInAnyOrder) {
    TempDir dir;
    std::string path = dir.File("hand.txt");
    RunPython(R"(
import sys
nx, ny, nz = 3, 2, 2
out = ["TEXT 1   # written by a script", "CHANNELS 5", "GRID %d %d %d" % (nx, ny, nz)]
out += ['NAMES "Void" "Water" "Bone" "ct low" "ct high"', "TYPES 0 0 0 1 1"]
out += ["RANGES 0 1 0 1 0 1 0 0.5 0 0.25", "SOURCE 1 0", "BEAM 3 40", "BEAM 4 80.5"]
out += ['COMPOUNDS 1 "H2O" 1.0 2 "Ca5(PO4)3OH" 3.16', "ACCURACY 2 0.01", "DATA"]
for c in range(5):
    for z in range(nz):
        for y in range(ny):
            out.append(" ".join(str(c * 1000 + z * 100 + y * 10 + x) for x in range(nx)) + "  # row")
out.append("END")
open(sys.argv[1], "w").write("\n".join(out) + "\n")
)",
              {path});
    DataDocument d = ReadTextDataFile(path);
    EXPECT_EQ(d.nx, 3u);
    ASSERT_EQ(d.channels.size(), 5u);
    EXPECT_EQ(d.channels[4].name, "ct high");
    EXPECT_EQ(d.channels[4].rangeMax, 0.25f);
    EXPECT_EQ(d.channels[2].words[3 * 2 + 3 + 2], 2112);  // z 1, y 1, x 2
    EXPECT_EQ(d.beamEnergies.at(4), 80.5);
    EXPECT_EQ(d.compounds[1].formula, "Ca5(PO4)3OH");
    EXPECT_EQ(d.accuracies.at(2), 0.01);
}

TEST(TextDataFile, RefusalsNameTheFileAndTheFault) {
    TempDir dir;
    std::string path = dir.File("t.txt");
    const std::string head =
        "TEXT 1\nGRID 2 1 1\nCHANNELS 2\nNAMES \"a\" \"b\"\nTYPES 0 1\nRANGES 0 1 0 1\nBEAM 1 30\n";
    auto message = [&](const std::string& text) -> std::string {
        WriteFileText(path, text);
        try {
            ReadTextDataFile(path);
        } catch (const DataFileError& e) {
            return e.what();
        }
        return "accepted";
    };
    auto starts = [&](const std::string& text, const char* msg) {
        std::string m = message(text);
        EXPECT_EQ(m.rfind(std::string(msg) + ": " + path, 0), 0u) << text << " -> " << m;
    };
    EXPECT_EQ(message(head + "DATA\n1 2\n3 4\nEND\n"), "accepted");
    std::string missing = dir.File("missing.txt");
    try {
        ReadTextDataFile(missing);
        ADD_FAILURE();
    } catch (const DataFileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file: " + missing);
    }
    starts("TEXTURE 1\n", textfile::kNotTextFile);
    starts("TEXT 2\n", textfile::kNotTextFile);
    starts("zun_file", textfile::kNotTextFile);
    starts("TEXT 1\nGRID 2 1 1\nDATA\n", textfile::kNotTextFile);
    starts("TEXT 1\nCOLOUR 3\n", textfile::kNotTextFile);
    starts(head + "NAMES \"a\" \"\"\nDATA\n", textfile::kNotTextFile);
    starts(head + "TYPES 0 4\nDATA\n", textfile::kCannotRead);
    starts(head + "NAMES \"a\" \"a\"\nDATA\n", textfile::kNotTextFile);
    starts(head + "COMPOUNDS 1 \"H2O\" 1\nDATA\n", textfile::kNotTextFile);
    starts(head + "BEAM 0 30\nDATA\n", textfile::kNotTextFile);
    starts(head + "SLICES 1\nDATA\n", textfile::kNotTextFile);
    starts(head + "DATA\n1 2\n3 65536\nEND\n", textfile::kCannotRead);
    starts(head + "DATA\n1 2\n3 -4\nEND\n", textfile::kCannotRead);
    starts(head + "DATA\n1 2\n3 4x\nEND\n", textfile::kCannotRead);
    starts(head + "DATA\n1 2\n3\n", textfile::kCannotRead);
    starts(head + "DATA\n1 2\n3 4 5\nEND\n", textfile::kCannotRead);
    starts(head + "DATA\n1 2\n3 4\n", textfile::kCannotRead);
    starts("TEXT 1\nGRID 0 1 1\n", textfile::kCannotRead);
    starts("TEXT 1\nNAMES \"open\n", textfile::kCannotRead);
    // Numbers are decimals: not-a-number and infinity would pass into the ranges and scales.
    const std::string data = "DATA\n1 2\n3 4\nEND\n";
    for (const char* bad : {"SCALES -inf 1 1 1\n", "SCALES 1e-6 1 -nan 1\n",
                            "COMPOUNDS 0 \"H2O\" -infinity\n", "BEAM 1 -NaN\n", "ACCURACY 0 -inf\n"})
        starts(head + bad + data, textfile::kCannotRead);
    starts("TEXT 1\nGRID 2 1 1\nCHANNELS 2\nNAMES \"a\" \"b\"\nTYPES 0 1\nRANGES 0 -nan 0 1\n" + data,
           textfile::kCannotRead);
    EXPECT_EQ(message(head + "DATA\n1 2 # comment 99\n3 4#x\nEND"), "accepted");

    // What the document could not use is refused with the line that holds it (line 8 here),
    // rather than imported as an empty compound or computed at a meaningless energy.
    auto refused = [&](const std::string& lines, const char* msg, const std::string& detail) {
        const std::string m = message(head + lines + data);
        EXPECT_EQ(m.rfind(std::string(msg) + ": " + path + " (line 8: " + detail, 0), 0u) << lines << " -> " << m;
    };
    refused("COMPOUNDS 0 \"Zz\" 1\n", textfile::kCannotRead, "formula \"Zz\": Invalid character");
    refused("COMPOUNDS 0 \"H2Oo\" 1\n", textfile::kCannotRead, "formula \"H2Oo\": Invalid character");
    refused("COMPOUNDS 0 \"O1e39\" 1\n", textfile::kCannotRead, "formula \"O1e39\": Abundance value too large");
    refused("COMPOUNDS 0 \"H2O\" -1\n", textfile::kCannotRead, "negative density");
    refused("BEAM 1 0\n", textfile::kCannotRead, "beam energy must be above 0 keV");
    refused("BEAM 1 -40\n", textfile::kCannotRead, "beam energy must be above 0 keV");
    refused("BEAM 1 40\n", textfile::kNotTextFile, "BEAM repeated");
    refused("RANGES 0 1 2 1\n", textfile::kCannotRead, "range minimum above its maximum");
    // The energy must lie in the range of the attenuation source, whichever line names the source.
    for (const auto& [source, energy] : std::vector<std::pair<int, const char*>>{
             {1, "150.5"}, {1, "0.9"}, {2, "2"}, {2, "433"}, {3, "2000.1"}, {0, "2001"}}) {
        const std::string m = message("TEXT 1\nGRID 2 1 1\nCHANNELS 2\nNAMES \"a\" \"b\"\nTYPES 0 1\n"
                                      "RANGES 0 1 0 1\nBEAM 1 " + std::string(energy) + "\nSOURCE " +
                                      std::to_string(source) + " 0\n" + data);
        EXPECT_EQ(m.rfind(std::string(textfile::kCannotRead) + ": " + path + " (line 7: beam energy " + energy +
                              " keV is outside",
                          0),
                  0u)
            << m;
    }
    for (const auto& [source, energy] :
         std::vector<std::pair<int, const char*>>{
             {1, "1"}, {1, "150"}, {2, "2.0807"}, {2, "432.9451"}, {3, "2000"}, {0, "0.5"}})
        EXPECT_EQ(message("TEXT 1\nGRID 2 1 1\nCHANNELS 2\nNAMES \"a\" \"b\"\nTYPES 0 1\nRANGES 0 1 0 1\n"
                          "SOURCE " + std::to_string(source) + " 0\nBEAM 1 " + energy + "\n" + data),
                  "accepted")
            << source << " " << energy;
    // A CT channel without its energy would be computed at the set-up's default.
    EXPECT_EQ(message("TEXT 1\nGRID 2 1 1\nCHANNELS 2\nNAMES \"a\" \"b\"\nTYPES 0 1\nRANGES 0 1 0 1\n" + data),
              textfile::Message(textfile::kNotTextFile, path, "line 7: no BEAM line for X-ray CT channel \"b\""));
}

TEST(TextDataFile, TheWriterSaysHowToReadTheWords) {
    TempDir dir;
    const std::string path = dir.File("d.txt");
    WriteTextDataFile(path, Sample(2, 2, 1));
    const std::string text = ReadFileText(path);
    const std::size_t data = text.find("\nDATA\n");
    ASSERT_NE(data, std::string::npos);
    const std::string comment = text.substr(data + 6, text.find('\n', data + 6) - data - 6);
    EXPECT_EQ(comment,
              "# channel by channel, then z, then y; one row of x per line. Word: bits 0-13 value v, bit 14 "
              "read-only, bit 15 error; physical = min + (max - min) * v / 16383 (RANGES)");
    DataDocument want = Sample(2, 2, 1);
    want.notes.clear();  // text files carry no notes
    EXPECT_EQ(ReadTextDataFile(path), want);
}

TEST(TextDataFile, CtWordsAboveFourteenBitsAreCountedPerChannel) {
    DataDocument d = Sample(4, 2, 1);
    for (DataChannel& c : d.channels) std::fill(c.words.begin(), c.words.end(), 100);
    EXPECT_EQ(FlaggedCtWordsWarning(d, "f.txt"), "");
    d.channels[3].words[1] = 16384;
    d.channels[3].words[5] = 65535;
    d.channels[4].words[0] = 40000;
    d.channels[0].words[0] = 40000;  // a composition's flags are its own business
    d.channels[3].words[2] = 16383;
    EXPECT_EQ(FlaggedCtWordsWarning(d, "f.txt"),
              "X-ray CT words read as flagged voxels: f.txt\n"
              "X-ray CT channel \"ct 1\": 2 words above 16383\n"
              "X-ray CT channel \"ct\\2\": 1 words above 16383\n"
              "Bits 14 and 15 of a word are flags (read-only, error); only bits 0-13 are the value v, which RANGES "
              "maps to min + (max - min) * v / 16383. The words are kept as given.");
}

TEST(TextDataFile, AHugeGridInATinyFileIsRefusedBeforeAllocating) {
    TempDir dir;
    std::string path = dir.File("huge.txt");
    // 2^34 words per channel would take 32 GiB; the file holds a handful of bytes.
    WriteFileText(path,
                  "TEXT 1\nGRID 65536 65536 4\nCHANNELS 2\nNAMES \"a\" \"b\"\nTYPES 0 0\n"
                  "RANGES 0 1 0 1\nDATA\n0 0\nEND\n");
    try {
        ReadTextDataFile(path);
        ADD_FAILURE() << "accepted";
    } catch (const DataFileError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(std::string(textfile::kCannotRead) + ": " + path, 0), 0u)
            << e.what();
    }
}

}  // namespace
}  // namespace zun
