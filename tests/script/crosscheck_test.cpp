#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "memorydocument.h"
#include "peakmemory.h"
#include "script/scalar.h"

namespace zun::script {
namespace {

void Populate(test::MemoryDocument& doc, std::vector<int32_t> dims) {
    test::FillPattern(doc.Add("a", dims, 0.0f, 16.0f), 1);
    test::FillPattern(doc.Add("b", dims, 10.0f, 20.0f), 2);
    test::FillPattern(doc.Add("c", dims, -5.0f, 5.0f), 3);
    // Some zero raw values so that remainders by a channel fail part-way.
    auto& c = doc.Get("c").words;
    c[c.size() / 3] &= 0xC000;
}

// Lines whose fast and element-wise evaluations must agree word for word and in print.
const char* const kCorpus[] = {
    "a = b * 0.5 + 0.25",
    "a = b * 0.5 + c",
    "a = max(b, c, 0.3)",
    "a = min(b, 5, c)",
    "a = sum(b, c)",
    "a.raw = b.raw + 20000",
    "a.log = b.log",
    "a.ro = b > 15",
    "a.err = b.raw == c.raw",
    "a[0 ..3][1][] = 7",
    "a[0 ..3] = a[3 ..0]",
    "sumt(a)",
    "maxt(a)",
    "mint(a.raw)",
    "sumt(a.log, b)",
    "a = -b",
    "a.raw = ~b.raw",
    "a.val = b.val",
    "a = b.raw",
    "a.raw *= 2",
    "a.raw /= 3",
    "a.raw %= 7",
    "a.raw <<= 1",
    "a.raw >>= 1",
    "a.raw &= c.raw",
    "a.raw |= 3",
    "a.raw ^= b.raw",
    "a += b",
    "a -= 0.1",
    "a *= c",
    "a /= b",
    "a.raw %= c.raw",
    "b * 2",
    "b.raw + 1",
    "b == c",
    "b < c",
    "b.ro && c.ro",
    "b.raw || c.raw",
    "!b.ro",
    "b ? 1 : 2",
    "b.raw ? c : 0.5",
    "(int)b",
    "(bool)b.raw",
    "(float)b.raw / 7",
    "++a",
    "a++",
    "a.raw--",
    "a = rand()",
    "a.raw = rand(100)",
    "a = shake(b)",
    "sumt(resamp(b, {4,4,4}))",
    "a[1][2][3]",
    "a[1][2][3].all",
    "a[1].data",
    "a[2][3].flags",
    "b.all",
    "a = b.data",
    "a.data = b.data",
    "a.flags = b.flags",
    "a.all = c.all",
    "c = b, a = c * 2",
    "a == a",
    "a = b.raw * 1.5 - 3000",
    "a.ro = !b.ro",
    "a.val = b.val % 1000",
    "a.raw = b.raw << 3",
    "a = b < 15 ? b : c",
    "a.log = a.log * 2",
    "a[1] = b[2]",
    "a[1][1] = b[2][2] + c[0][0]",
    "a[0] += 1",
    "a = max(b.raw, c.log)",
    "a[0][0] = {1,2}",
    "sum(a, b.raw, 1.5)",
    "a.raw = b.raw / 0",
    "a = (uint)b.raw - 20000",
    "a.raw = (short)b.val",
    "maxt(a.raw, b, 3)",
    "a = b > 15 ? 1 : 2.5",
    "a.raw = c.ro ? b.raw : c.val",
    "a.ro = b.ro ? c.err : true",
    "b < c ? b.log : c",
    "maxt(b.data)",
    "sumt(c.data) + mint(b.data)",
    "b.data",
    "(b * 2)[1]",
    // Whole expressions taken a chunk at a time: float temporaries rounded as stored, the
    // receiver among the operands, a mixed-type and a sub-array leaf, a zero divisor.
    "a = b * c * 1.5",
    "a = (b - c) / (b + 2) * 3",
    "a = a * 0.5 - b / c",
    "a.phys = b.raw * 0.001 + c",
    "a = b / (c - c)",
    "a[1] = b[2] * 2 + c[3]",
    "a.log = b.log * c.log - 0.25",
    "b = a + b * c",
    "a = b.ro * 2.5 + 1",
    "a = nosuch * 2 + 1",
    "a.raw = b.raw * 3 - c.raw / 7",
    "a.val = b.val / (c.raw - c.raw) + 5",
    "a = (b.raw + 30000) * 2 + (short)c.raw",
    "a.raw = b.raw + 2147483647 + 1",
    // Random values over channels are drawn as they are read, one draw per element in order,
    // whether a kernel reads them a chunk at a time or they join a whole expression.
    "a = rand(b)",
    "a = rand(b * 0 + 1)",
    "a.raw = rand(b.raw, c.raw)",
    "a.raw = rand(1000, c.raw)",
    "a = rand(b) * 2 - c",
    "a = c - rand(b, 0.5) / 3",
    "a.raw = rand(b.raw * 2) + rand(3)",
    "a = rand(rand(b))",
    "a = rand(b) + rand(c)",
    "a.raw += rand(b.raw)",
    "a.raw %= rand(b.raw) + 1",
    "a = max(rand(b), c)",
    "a = max(b * 2, c - 1, 3) + 1",
    "a = sum(b, c * 2) * 0.5",
    "a.raw = min(b.raw, c.raw * 2)",
    "sumt(rand(b))",
    "maxt(rand(b.raw, 7))",
    "rand(b) < 10",
    "(int)rand(b.raw)",
    "a = b > 15 ? rand(b) : c",
    "rand(b)[1][2]",
    "a = rand(1 .. 7)",
    "rand(1 .. 12) * 2",
    "{1, 2 .. 5, 3.5} * 2",
    "rand({1 .. 300, 7})",
    // Compound assignments of whole expressions.
    "a += b * 2",
    "a.raw -= rand(b.raw)",
    "a *= rand(b) + 0.5",
    "a /= c - b",
    "a.raw += b.raw / 3",
    "a -= rand(b, c)",
    "a.raw *= (b.raw + c.raw) / 2",
    "a.ro += b * 2",
};

struct Outcome {
    std::string text;
    std::vector<uint16_t> a, b, c;
    bool modified;
};

Outcome RunOne(const char* line, bool fast, std::vector<int32_t> dims) {
    test::MemoryDocument doc;
    Populate(doc, dims);
    SeedScriptRand(7);
    Outcome o;
    o.text = doc.Run(line, fast);
    o.a = doc.Get("a").words;
    o.b = doc.Get("b").words;
    o.c = doc.Get("c").words;
    o.modified = doc.modified;
    return o;
}

TEST(CrossCheck, FastPathMatchesElementWisePath) {
    for (std::vector<int32_t> dims : {std::vector<int32_t>{16, 16, 16}, std::vector<int32_t>{7, 5, 4}}) {
        for (const char* line : kCorpus) {
            const Outcome fast = RunOne(line, true, dims);
            const Outcome ref = RunOne(line, false, dims);
            EXPECT_EQ(fast.text, ref.text) << line;
            EXPECT_TRUE(fast.a == ref.a) << line;
            EXPECT_TRUE(fast.b == ref.b) << line;
            EXPECT_TRUE(fast.c == ref.c) << line;
            EXPECT_EQ(fast.modified, ref.modified) << line;
        }
    }
}

// Arithmetic on whole channels goes through the expression a chunk at a time: no temporary of the
// volume's size (8 bytes a voxel for a channel times a decimal number) is made on the way.
TEST(CrossCheck, ChannelArithmeticMakesNoVolumeTemporaries) {
    if (!zun::test::ResetPeakMemory()) GTEST_SKIP() << "the peak resident memory cannot be reset here";
    const std::vector<int32_t> dims = {96, 96, 96};
    test::MemoryDocument doc;
    Populate(doc, dims);
    const std::int64_t temporary = std::int64_t(96) * 96 * 96 * 8;
    for (const char* line :
         {"a = b * 0.5 + 0.25", "a = (b - c) / (b + 2) * 3", "a.raw = b.raw * 3 - c.raw / 7"}) {
        ASSERT_TRUE(zun::test::ResetPeakMemory());
        const std::int64_t before = zun::test::StatusBytes("VmRSS:");
        doc.Run(line);
        EXPECT_LT(zun::test::StatusBytes("VmHWM:") - before, temporary / 4) << line;
    }
}

// Lines checked against numpy; the Python mirror computes the words of "a" and the printed text.
const char* const kNumpyCorpus[] = {
    "a = b * 0.5 + 0.25",
    "a = b * 0.5 + c",
    "a = max(b, c, 0.3)",
    "a = min(b, c)",
    "a.raw = b.raw + 20000",
    "a.log = b.log",
    "a.ro = b > 12",
    "a[0 ..3][1][] = 2",
    "a[0 ..3] = a[3 ..0]",
    "sumt(a)",
    "maxt(a)",
    "mint(b)",
    "a = sum(b, c) / 2",
    "a.raw = b.raw * 3 % 1000",
    "a.val = b.val",
    "a += 1.5",
};

std::vector<uint16_t> ReadWords(const std::filesystem::path& p, size_t n) {
    std::vector<uint16_t> w(n);
    std::ifstream in(p, std::ios::binary);
    in.read(reinterpret_cast<char*>(w.data()), static_cast<std::streamsize>(n * 2));
    return w;
}

TEST(CrossCheck, ChannelsAgainstNumpy) {
    const std::vector<int32_t> dims = {64, 64, 64};
    const size_t n = 64 * 64 * 64;
    const auto dir = std::filesystem::path(ZUN_TEST_BINARY_DIR) / "crosscheck";
    std::filesystem::create_directories(dir);
    test::MemoryDocument doc;
    Populate(doc, dims);
    for (const char* name : {"a", "b", "c"}) {
        std::ofstream out(dir / (std::string(name) + ".raw"), std::ios::binary);
        const auto& w = doc.Get(name).words;
        out.write(reinterpret_cast<const char*>(w.data()), static_cast<std::streamsize>(n * 2));
    }
    {
        std::ofstream lines(dir / "lines.txt");
        for (const char* line : kNumpyCorpus) lines << line << "\n";
    }
    const std::string cmd = std::string(ZUN_PYTHON) + " " + ZUN_TEST_DIR + "/crosscheck.py " + dir.string();
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    int k = 0;
    for (const char* line : kNumpyCorpus) {
        for (bool fast : {true, false}) {
            if (!fast && k % 4 != 0) continue;  // the element-wise path is slow; a sample suffices
            test::MemoryDocument run;
            Populate(run, dims);
            const std::string text = run.Run(line, fast);
            std::ifstream t(dir / ("expected_" + std::to_string(k) + ".txt"));
            std::stringstream expected;
            expected << t.rdbuf();
            EXPECT_EQ(text, expected.str()) << line << (fast ? " fast" : " element-wise");
            const auto words = ReadWords(dir / ("expected_" + std::to_string(k) + ".raw"), n);
            const auto& a = run.Get("a").words;
            size_t differ = 0, first = n;
            for (size_t i = 0; i < n; ++i)
                if (a[i] != words[i]) {
                    ++differ;
                    if (first == n) first = i;
                }
            EXPECT_EQ(differ, 0u) << line << " first at " << first << ": " << (first < n ? a[first] : 0)
                                  << " vs " << (first < n ? words[first] : 0);
        }
        ++k;
    }
}

}  // namespace
}  // namespace zun::script
