// The edit-data language over a real document: what a line does to the document's state and
// what its views are told.

#include <gtest/gtest.h>

#include "../document/dochelpers.h"
#include "script/docscript.h"

namespace zun::script {
namespace {

using Lines = std::vector<std::string>;

struct ScriptDocFixture : DocFixture {
    ScriptDocFixture() {
        doc.ResizeVolume({4, 3, 2}, {0, 0, 0});
        doc.InsertChannel(ZunChan::kXrayCt, 1, "ct");
        doc.InsertChannel(ZunChan::kProperty, 2, "prop");
        Chan("ct").range = {0.0f, 2.0f};
        for (int v = 0; v < 24; ++v) Chan("ct").Data()[v] = static_cast<imtype>(10 * v);
        doc.SetModifiedFlag(false);
        doc.GetSample().modified = false;
        for (const char* n : {"ct", "prop"}) Chan(n).modified = false;
        Params().structureChanged = false;
        hints.Take();
    }
    ZunChan& Chan(const char* name) { return *doc.GetSample().FindChan(name); }
    zun::Params& Params() { return doc.GetModel().GetParams(); }
    std::string Run(const std::string& line) { return ExecuteDocumentLine(doc, line); }
};

const Lines kStatsHint{"2 Stats 0 all"};

TEST(DocScript, AssignmentEditsTheDocument) {
    ScriptDocFixture f;
    EXPECT_EQ(f.Run("ct.raw = ct.raw + 1, ct[0][0][3].raw"),
              "\n{{{{1,11,21,31},{41,51,61,71},{81,91,101,111}},"
              "{{121,131,141,151},{161,171,181,191},"
              "{201,211,221,231}}},31}");
    EXPECT_EQ(f.Chan("ct").Data()[23], 231);
    EXPECT_TRUE(f.doc.IsModified());
    EXPECT_TRUE(f.doc.GetSample().modified);
    EXPECT_TRUE(f.Chan("ct").modified);
    EXPECT_FALSE(f.Chan("prop").modified);  // not named by the line
    // A measured channel changed: the next computation starts over.
    EXPECT_TRUE(f.Params().structureChanged);
    EXPECT_EQ(f.hints.Take(), kStatsHint);
}

TEST(DocScript, PropertyEditLeavesTheComputationAlone) {
    ScriptDocFixture f;
    EXPECT_EQ(f.Run("prop.raw = 5, prop[1][2][3].raw"),
              "\n{{{{5,5,5,5},{5,5,5,5},{5,5,5,5}},{{5,5,5,5},{5,5,5,5},{5,5,5,5}}},5}");
    EXPECT_EQ(f.Chan("prop").Data()[7], 5);
    EXPECT_TRUE(f.doc.IsModified());
    EXPECT_TRUE(f.Chan("prop").modified);
    EXPECT_FALSE(f.Params().structureChanged);
    EXPECT_EQ(f.hints.Take(), kStatsHint);
}

TEST(DocScript, ReadingAndFailingLinesChangeNothing) {
    ScriptDocFixture f;
    std::vector<imtype> before(f.Chan("ct").Data(), f.Chan("ct").Data() + 24);
    EXPECT_EQ(f.Run("sumt(ct.raw + 1)"), "\n2784");
    EXPECT_EQ(f.hints.Take(), kStatsHint);  // the views refresh after every evaluated line
    EXPECT_EQ(f.Run("nosuch = 1"), "\nvariable does not exist: 'nosuch'");
    EXPECT_EQ(f.hints.Take(), kStatsHint);
    EXPECT_EQ(f.Run("ct.raw = 5 % 0"), "\ndivision by zero");
    EXPECT_EQ(f.Run("ct = ("), "\nsyntax error");
    EXPECT_EQ(f.hints.Take(), kStatsHint);  // only once: a line that does not parse is not evaluated
    EXPECT_EQ(std::vector<imtype>(f.Chan("ct").Data(), f.Chan("ct").Data() + 24), before);
    EXPECT_FALSE(f.doc.IsModified());
    EXPECT_FALSE(f.doc.GetSample().modified);
    EXPECT_FALSE(f.Chan("ct").modified);
    EXPECT_FALSE(f.Params().structureChanged);
}

TEST(DocScript, RefusedWhileComputing) {
    ScriptDocFixture f;
    f.doc.GetModel().SetState(kRunning, true, nullptr);
    f.hints.Take();
    EXPECT_EQ(f.Run("ct.raw = 0"), "\nThe data cannot be edited while a computation is running.");
    EXPECT_EQ(f.Chan("ct").Data()[5], 50);
    EXPECT_FALSE(f.doc.IsModified());
    EXPECT_TRUE(f.hints.Take().empty());
    f.doc.GetModel().SetState(kStopped, true, nullptr);
    EXPECT_EQ(f.Run("ct[0][1][1].raw = 0"), "\n0");
    EXPECT_TRUE(f.doc.IsModified());
}

}  // namespace
}  // namespace zun::script
