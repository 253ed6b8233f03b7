// What the harnesses stand on: the classes they register read every document the program saves
// (else every such seed is refused at its first unknown record and the fuzzing never gets deeper),
// and their memory guard counts the blocks held, so that it bounds what an input may take.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/startup.h"
#include "compute/model.h"
#include "document/zundoc.h"
#include "energyopt/dialogvars.h"
#include "fuzz/fuzzsupport.h"
#include "platform/archive.h"
#include "platform/bytestream.h"
#include "platform/prompt.h"

namespace zun {
namespace {

const std::string kCorpus = ZUN_FUZZ_CORPUS;

TEST(FuzzSeeds, EveryDocumentTheProgramSavedOpensWithTheClassesTheHarnessesRegister) {
    RegisterSavedClasses();
    for (const char* name : {"empty.zun", "small.zun", "full.zun"}) {
        SCOPED_TRACE(name);
        HeadlessPrompt prompt;
        CZunDoc doc{DocServices{&prompt, nullptr, nullptr}};
        doc.OnNewDocument();
        ASSERT_TRUE(doc.OnOpenDocument(kCorpus + "/document/" + name));
        EXPECT_NE(dynamic_cast<EnergyOpt::DialogVars*>(doc.EnergyOptVars()), nullptr);
    }
    // The seed with everything a user's document carries reaches its last records.
    HeadlessPrompt prompt;
    CZunDoc doc{DocServices{&prompt, nullptr, nullptr}};
    doc.OnNewDocument();
    ASSERT_TRUE(doc.OnOpenDocument(kCorpus + "/document/full.zun"));
    EXPECT_EQ(doc.Settings().notes, "seed\nsecond line\n");
    EXPECT_TRUE(doc.GetSample().boundaryMaskOn);
    EXPECT_EQ(doc.GetModel().SavedPluginSettings().size(), 2u);
    const auto* vars = dynamic_cast<EnergyOpt::DialogVars*>(doc.EnergyOptVars());
    ASSERT_NE(vars, nullptr);
    EXPECT_EQ(vars->maxIterations, 7);
    EXPECT_EQ(vars->optimisedEnergies.size(), 2u);
    // The same document as the archive harness sees it.
    const std::vector<std::uint8_t> bytes = [] {
        std::FILE* f = std::fopen((kCorpus + "/archive/full").c_str(), "rb");
        std::vector<std::uint8_t> b;
        if (!f) return b;
        for (int c; (c = std::fgetc(f)) != EOF;) b.push_back(static_cast<std::uint8_t>(c));
        std::fclose(f);
        return b;
    }();
    ASSERT_FALSE(bytes.empty());
    CZunDoc again{DocServices{&prompt, nullptr, nullptr}};
    again.OnNewDocument();
    MemoryStream stream(bytes);
    Archive ar(stream, Archive::Mode::Load);
    ar.SetContext(&again);
    EXPECT_NO_THROW(again.Serialize(ar));
    EXPECT_EQ(again.Settings().notes, "seed\nsecond line\n");
}

TEST(FuzzSeeds, TheHarnessesGuardCountsTheBlocksHeld) {
    fuzz::GuardMemory();
    VoxelAllocator allocator;
    constexpr std::uint64_t kBlock = 16ull << 20;
    std::vector<void*> held;
    // Half of the harnesses' 512 MB may be held at once; each block on its own always passes.
    for (int i = 0; i < 64; ++i) {
        void* b = allocator.Allocate<std::uint8_t>(kBlock);
        if (!b) break;
        held.push_back(b);
    }
    EXPECT_GE(held.size(), 8u);
    EXPECT_LE(held.size() * kBlock, fuzz::kFuzzMemory / 2);
    // What is given back may be taken again.
    VoxelAllocator::Free(held.back());
    held.back() = allocator.Allocate<std::uint8_t>(kBlock);
    EXPECT_NE(held.back(), nullptr);
    for (void* b : held) VoxelAllocator::Free(b);
    SetMemoryStatusSource({});
    SetMemoryPolicy({});
}

}  // namespace
}  // namespace zun
