// What a line holds while it runs and after it: long vectors are numbers in a row, expressions over
// whole channels go a chunk at a time, and what a line took is given back when it ends.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>

#include "foundation/memoryguard.h"
#include "memorydocument.h"
#include "peakmemory.h"
#include "script/scalar.h"

namespace zun::script {
namespace {

struct Held {
    std::int64_t peak;   // above what the process held before the line
    std::int64_t after;  // held after the line, above what it held before
    std::string text;
};

Held Measure(test::MemoryDocument& doc, const std::string& line, bool fast = true) {
    EXPECT_TRUE(zun::test::ResetPeakMemory());
    const std::int64_t before = zun::test::StatusBytes("VmRSS:");
    Held h;
    h.text = doc.Run(line, fast);
    h.peak = zun::test::StatusBytes("VmHWM:") - before;
    h.after = zun::test::StatusBytes("VmRSS:") - before;
    return h;
}

// A million elements were a million value objects (about 300 bytes each with their results).
TEST(LineMemory, MillionElementVectorsCostMegabytes) {
    if (!zun::test::ResetPeakMemory()) GTEST_SKIP() << "the peak resident memory cannot be reset here";
    test::MemoryDocument doc;
    constexpr std::int64_t kLimit = 16 << 20;
    for (bool fast : {true, false}) {
        for (const char* line : {"rand(1 .. 1000000)", "(1 .. 1000000) * 2", "{0, 1 .. 1000000, 2}",
                                 "sumt(rand({0, 1 .. 1000000}))", "maxt(rand(1 .. 1000000, 5))",
                                 "sumt((float)(1 .. 1000000) / 3)"}) {
            const Held h = Measure(doc, line, fast);
            EXPECT_NE(h.text, "out of memory") << line;
            EXPECT_LT(h.peak, kLimit) << line << (fast ? " fast" : " element-wise");
        }
    }
}

// Operators over ranges and lists of ranges, and long selections from them, made a value object
// per element (a selection of two million elements took 470-550 MB): they cost their numbers now,
// on both paths, and say the same.
TEST(LineMemory, RangeLinesCostTheirNumbers) {
    if (!zun::test::ResetPeakMemory()) GTEST_SKIP() << "the peak resident memory cannot be reset here";
    test::MemoryDocument doc;
    constexpr std::int64_t kLimit = 64 << 20;
    for (const char* line :
         {"sumt({1 .. 2000000} * 2 + rand({0, 1 .. 1999999}) * 0)", "(1 .. 2000000)[0 .. 1999999] * 2",
          "sumt((1 .. 2000000)[{0, 1 .. 1999999}] - {0, 1 .. 1999999})", "maxt(-{3, 1 .. 2000000, 4})",
          "sumt((1 .. 2000000) % 3 == 0 ? 1 : 0)", "mint(max((2000000 .. 1) * 2, 1 .. 2000000))"}) {
        const Held fast = Measure(doc, line, true);
        const Held reference = Measure(doc, line, false);
        EXPECT_EQ(fast.text, reference.text) << line;
        EXPECT_NE(fast.text.find_first_of("0123456789"), std::string::npos) << line << ": " << fast.text;
        EXPECT_LT(fast.peak, kLimit) << line << " fast";
        EXPECT_LT(reference.peak, kLimit) << line << " element-wise";
    }
}

// A machine of the given size: what the blocks of the process hold counts against it.
class SmallMachine {
public:
    explicit SmallMachine(std::uint64_t bytes) {
        SetMemoryStatusSource([bytes](MemoryStatus& m) {
            const std::uint64_t used = VoxelBytesInUse();
            m.totalPhysical = bytes;
            m.availablePhysical = used < bytes ? bytes - used : 0;
            return true;
        });
    }
    ~SmallMachine() { SetMemoryStatusSource({}); }
    SmallMachine(const SmallMachine&) = delete;
    SmallMachine& operator=(const SmallMachine&) = delete;
};

// Ranges read by operators and built-ins were copied into blocks of their numbers before the type
// and size checks: a mismatched line took seconds and gigabytes before its message, or said "out
// of memory" instead of it, and a line whose result fits failed for its copies.
TEST(LineMemory, RangeOperandsAreCheckedFirstAndCostTheirResult) {
    test::MemoryDocument doc;
    for (bool fast : {true, false}) {
        {
            SmallMachine machine(std::uint64_t{64} << 20);
            EXPECT_EQ(doc.Run("(1 .. 500000000) + (1 .. 499999999)", fast),
                      "incompatible types for *,/,+,- expression");
            EXPECT_EQ(doc.Run("(1 .. 200000000) && true", fast), "incompatible types for &&,|| expression");
            EXPECT_EQ(doc.Run("(1 .. 2000000000) + \"a\"", fast),
                      "incompatible types for *,/,+,- expression");
            EXPECT_EQ(doc.Run("max({0, 1 .. 99999999}, 1 .. 100000001)", fast),
                      "max() args must have compatible size");
        }
        // Each on a machine with room for its result and not for a copy of its operands besides.
        for (auto [line, mib, text] : {std::tuple{"(1 .. 2000000) > 5", 4, "{false,...}"},
                                       {"{0, 1 .. 1999999} != 3", 4, "{true,...}"},
                                       {"(1 .. 2000000) * 2", 12, "{2,...}"},
                                       {"max(1 .. 2000000, 2000000 .. 1, 5)", 12, "{2000000,...}"}}) {
            SmallMachine machine(std::uint64_t(mib) << 20);
            EXPECT_EQ(doc.Run(line, fast), text) << line << (fast ? " fast" : " element-wise");
        }
    }
    if (!zun::test::ResetPeakMemory()) GTEST_SKIP() << "the peak resident memory cannot be reset here";
    const Held h = Measure(doc, "(1 .. 20000000) * 2");
    EXPECT_EQ(h.text, "{2,...}");
    EXPECT_LT(h.peak, 110 << 20) << "a result of 76 MiB";
}

// A caller's work limit refuses a line before the block or the value that would pass it is made:
// a chain of operators over a long vector, a long mixed list taken element by element, or a
// gravity over many masses.
TEST(LineMemory, ALineIsRefusedBeforeItPassesItsWorkLimit) {
    if (!zun::test::ResetPeakMemory()) GTEST_SKIP() << "the peak resident memory cannot be reset here";
    test::MemoryDocument doc;
    doc.workLimit = 1 << 20;
    std::string chain = "sumt({1 .. 100000}";
    for (int i = 0; i < 20; ++i) chain += " + 1";
    for (bool fast : {true, false}) {
        for (const std::string line :
             {chain + ")", std::string("(1 .. 100000000) * 2"), std::string("maxt({0.5, 1 .. 2000000} * 2)"),
              std::string("grav((0 .. 3999) % 2, (0 .. 3999) % 3)")}) {
            const Held h = Measure(doc, line, fast);
            EXPECT_EQ(h.text, "too many elements for one line") << line << (fast ? " fast" : " element-wise");
            EXPECT_LT(h.peak, 64 << 20) << line;
        }
        EXPECT_EQ(doc.Run("sumt((1 .. 1000) * 2), maxt(1 .. 200000000)", fast), "{1001000,200000000}");
        // The built-ins that copy a range's numbers take them whole, not one value object each.
        EXPECT_NE(doc.Run("maxt(rand({0, 1 .. 99999}))", fast),
                  "too many elements for one line");
    }
    doc.workLimit = 0;
    EXPECT_EQ(doc.Run("sumt({1 .. 100000} + 1 + 1)"), "705282704");
}

// The elements of a random vector draw as scalar rand() values read in element order do, and the
// generator goes on from there.
TEST(LineMemory, RandomVectorsDrawAsTheirElementsWould) {
    test::MemoryDocument doc;
    for (bool fast : {true, false}) {
        SeedScriptRand(5);
        const std::string vector = doc.Run("rand(1 .. 6, 0.5), rand(7), sumt(rand(2 .. 4))", fast);
        SeedScriptRand(5);
        const std::string scalars = doc.Run(
            "{rand(1, 0.5), rand(2, 0.5), rand(3, 0.5), rand(4, 0.5), rand(5, 0.5), rand(6, 0.5)}, rand(7), "
            "sumt({rand(2), rand(3), rand(4)})",
            fast);
        EXPECT_EQ(vector, scalars);
        SeedScriptRand(9);
        const std::string floats = doc.Run("(float)rand({10, 11 .. 13}, 0.25)", fast);
        SeedScriptRand(9);
        EXPECT_EQ(floats, doc.Run("{(float)rand(10, 0.25), (float)rand(11, 0.25), (float)rand(12, 0.25), "
                                  "(float)rand(13, 0.25)}",
                                  fast));
    }
}

// A random line over a whole channel made one random value object per voxel (gigabytes at 320^3,
// kept by the heap after the line), and its argument a volume temporary of eight bytes a voxel.
TEST(LineMemory, ChannelLinesMakeNoVolumeTemporariesAndGiveMemoryBack) {
    if (!zun::test::ResetPeakMemory()) GTEST_SKIP() << "the peak resident memory cannot be reset here";
    test::MemoryDocument doc;
    test::FillPattern(doc.Add("Void", {128, 128, 128}, 0.0f, 1.0f), 4);
    test::FillPattern(doc.Add("b", {128, 128, 128}, 0.0f, 2.0f), 5);
    const std::int64_t channel = std::int64_t(128) * 128 * 128 * 2;
    doc.Run("Void = rand(Void*0+1)");  // starts the threads
    for (const char* line : {"Void = rand(Void*0+1)", "Void = rand(Void*0+1)", "Void = rand(b) * 0.5 + b / 4",
                             "Void = rand(b, Void) - 0.5", "Void = max(b * 2, Void, 0.25)",
                             "Void = sum(rand(b), 1) / 2", "Void += rand(b) * 0.25"}) {
        const Held h = Measure(doc, line);
        EXPECT_LT(h.peak, channel / 4) << line;
        EXPECT_LT(h.after, channel / 8) << line;
    }
    // What must still go element by element gives its values back when the line ends.
    const Held h = Measure(doc, "sumt((0 .. 299999)[0 .. 299999])");
    EXPECT_EQ(h.text, "2050177040");
    EXPECT_LT(h.after, channel) << "peak " << h.peak;
}

}  // namespace
}  // namespace zun::script
