// The imported-image properties over real imported slices: the common record and its texts,
// the field limits, changes that move the image in the plane at once, and Restore, Default,
// OK and Cancel.

#include "plot/importprops.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "model/sample.h"
#include "model/slice.h"
#include "platform/prompt.h"

using namespace zun;

namespace {

class ImportPropsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("importprops_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        const std::string cmd =
            "/usr/bin/python3 -c \"import sys, numpy as np, tifffile\n"
            "for z in range(2):\n"
            "    tifffile.imwrite(sys.argv[1] + '/i%d.tif' % z, "
            "np.arange(12, dtype=np.uint16).reshape(3, 4) * 1000 + z)\" '" +
            dir.string() + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        RegisterDocumentClasses();
        doc.OnNewDocument();
        ASSERT_EQ(doc.ResizeVolume({4, 3, 2}, {0, 0, 0}), 0);
        ASSERT_EQ(doc.InsertChannel(0, 1, "c"), 0);
        ImageImportSettings s;
        s.retain = true;
        ASSERT_EQ(doc.ImportImageStack("c", {0, 1}, dir.string(), {"i0.tif", "i1.tif"}, s), 2);
        chan = doc.GetSample().FindChan("c");
        doc.SetModifiedFlag(false);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    imtype Word(int x, int y, int z) const { return chan->Data()[z * 12 + y * 4 + x] & 0x3FFF; }

    std::filesystem::path dir;
    HeadlessPrompt prompt;
    CZunDoc doc{DocServices{&prompt}};
    ZunChan* chan = nullptr;
};

TEST_F(ImportPropsTest, CommonRecordTextsAndMixedValues) {
    chan->GetSlice(1)->import->cropOffset = {1, 0};
    ImportPropsModel m(doc, {chan}, &prompt);
    ASSERT_TRUE(m.Open());
    EXPECT_EQ(m.FileText(), "...");  // two files
    EXPECT_EQ(m.BitsText(), "16");
    EXPECT_EQ(m.ResolutionText(), "4x3");
    EXPECT_EQ(m.texts[ImportPropsModel::kScale], "1.000000");
    EXPECT_EQ(m.texts[ImportPropsModel::kCropRangeX], "4");
    EXPECT_EQ(m.texts[ImportPropsModel::kCropOffsetX], "...");
    EXPECT_EQ(m.texts[ImportPropsModel::kCropOffsetY], "0");
    EXPECT_FALSE(m.restoreEnabled);
    EXPECT_TRUE(m.defaultEnabled);  // slice 1 is cropped
    // OK with "..." untouched leaves each slice its own value.
    EXPECT_TRUE(m.Ok());
    EXPECT_EQ(chan->GetSlice(0)->import->cropOffset[0], 0);
    EXPECT_EQ(chan->GetSlice(1)->import->cropOffset[0], 1);
    EXPECT_TRUE(prompt.Requests().empty());
}

TEST_F(ImportPropsTest, FieldLimits) {
    struct Case {
        ImportPropsModel::Field field;
        const char* text;
        bool ok;
    } cases[] = {
        {ImportPropsModel::kCropRangeX, "2147483645", true},
        {ImportPropsModel::kCropRangeX, "2147483646", false},
        {ImportPropsModel::kCropOffsetY, "-1", false},
        {ImportPropsModel::kPositionX, "-1", true},
        {ImportPropsModel::kPositionY, "2147483646", false},
        {ImportPropsModel::kScale, "0", true},
        {ImportPropsModel::kScale, "-0.5", false},
        {ImportPropsModel::kScale, "abc", false},
        {ImportPropsModel::kCropOffsetX, "...", true},
        {ImportPropsModel::kCropOffsetX, "", false},
    };
    for (const Case& c : cases) {
        ImportInfo r;
        EXPECT_EQ(ImportPropsModel::ReadField(c.field, c.text, r), c.ok) << c.text;
    }
    ImportPropsModel m(doc, {chan}, &prompt);
    ASSERT_TRUE(m.Open());
    m.texts[ImportPropsModel::kCropRangeY] = "2147483646";
    EXPECT_FALSE(m.Ok());
    ASSERT_EQ(prompt.Requests().size(), 1u);
    EXPECT_EQ(prompt.Requests()[0].text, "Invalid value for Y Crop Range");
    EXPECT_EQ(prompt.Requests()[0].icon, PromptIcon::Information);
}

TEST_F(ImportPropsTest, ChangesMoveTheImageAtOnceAndCancelRestores) {
    const imtype corner = Word(0, 0, 1), third = Word(2, 0, 1);
    ImportPropsModel m(doc, {chan->GetSlice(1)}, &prompt);
    ASSERT_TRUE(m.Open());
    EXPECT_FALSE(m.defaultEnabled);
    m.OnFieldChanged(ImportPropsModel::kPositionX, "1");
    EXPECT_EQ(Word(1, 0, 1), corner);  // the image moved one voxel right
    EXPECT_EQ(Word(0, 0, 1), 0);
    EXPECT_EQ(m.texts[ImportPropsModel::kPositionX], "1");
    EXPECT_TRUE(m.restoreEnabled);
    EXPECT_TRUE(m.defaultEnabled);
    EXPECT_TRUE(doc.IsModified());
    // An unreadable text changes nothing but offers both buttons.
    m.OnFieldChanged(ImportPropsModel::kPositionY, "x");
    EXPECT_EQ(m.texts[ImportPropsModel::kPositionY], "0");
    m.Spin(ImportPropsModel::kPositionX, 1);
    EXPECT_EQ(Word(2, 0, 1), corner);
    m.Defaults();
    EXPECT_EQ(Word(0, 0, 1), corner);
    EXPECT_FALSE(m.defaultEnabled);
    EXPECT_FALSE(m.restoreEnabled);  // the defaults are what the slice held
    m.OnFieldChanged(ImportPropsModel::kCropOffsetX, "2");
    EXPECT_EQ(Word(0, 0, 1), third);
    m.Cancel();
    EXPECT_EQ(Word(0, 0, 1), corner);
    EXPECT_EQ(chan->GetSlice(1)->import->cropOffset[0], 0);
}

TEST_F(ImportPropsTest, NothingImportedDisablesEverything) {
    ASSERT_EQ(doc.InsertChannel(0, 2, "empty"), 0);
    ImportPropsModel m(doc, {doc.GetSample().FindChan("empty")}, &prompt);
    EXPECT_FALSE(m.Open());
    EXPECT_FALSE(m.HasInfo());
}

}  // namespace
