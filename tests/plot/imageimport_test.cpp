// The options of the image-import dialogs: the order of the checks and their messages, the
// multiplier, the fields that are read only when enabled, and the request the import gets.

#include "plot/imageimport.h"

#include <gtest/gtest.h>

#include "platform/prompt.h"

using namespace zun;

namespace {

ImageImportOptions Ct() {
    ImageImportOptions o;
    o.ctChannel = true;
    o.energy = 20.0f;
    o.Open();
    return o;
}

std::vector<std::string> Texts(const HeadlessPrompt& p) {
    std::vector<std::string> t;
    for (const auto& r : p.Requests()) t.push_back(r.text);
    return t;
}

TEST(ImageImportOptions, OpensWithTheStoredValuesAsText) {
    ImageImportOptions o = Ct();
    EXPECT_EQ(o.scaleText, "1.000000");
    EXPECT_EQ(o.offsetText, "0.000000");
    EXPECT_EQ(o.cropXText, "0");
    EXPECT_EQ(o.energyText, "20");
    EXPECT_EQ(std::string(o.FileTypes()), "Image files (*.tif *.tiff *.grd *.vod)");
    EXPECT_FALSE(o.CoefficientsEnabled());
    o.autoGenerate = false;
    EXPECT_TRUE(o.CoefficientsEnabled());
    o.limitsEditable = false;
    EXPECT_FALSE(o.CoefficientsEnabled());
    EXPECT_FALSE(o.RadiosEnabled());
    EXPECT_TRUE(o.NoteShown());
}

TEST(ImageImportOptions, ChecksInOrderAndStopsAtTheFirst) {
    HeadlessPrompt p;
    ImageImportOptions o = Ct();
    o.autoGenerate = false;
    o.lacZeroText = "x";
    o.applyScale = true;
    o.scaleText = "y";
    EXPECT_EQ(o.Accept(&p), ImageImportOptions::kLacZeroField);
    o.lacZeroText = "0.1";
    o.lacOneText = "";
    EXPECT_EQ(o.Accept(&p), ImageImportOptions::kLacOneField);
    o.lacOneText = "2.5";
    EXPECT_EQ(o.Accept(&p), ImageImportOptions::kScaleField);
    o.scaleText = "2";
    o.applyZeroOffset = true;
    o.offsetText = "-";
    EXPECT_EQ(o.Accept(&p), ImageImportOptions::kOffsetField);
    o.offsetText = "-0.5";
    o.crop = true;
    o.cropXText = "abc";
    EXPECT_EQ(o.Accept(&p), ImageImportOptions::kCropXField);
    o.cropXText = "-3";  // no range is checked
    o.cropYText = "";
    EXPECT_EQ(o.Accept(&p), ImageImportOptions::kCropYField);
    o.cropYText = "4";
    EXPECT_EQ(o.Accept(&p), ImageImportOptions::kNoField);
    EXPECT_EQ(Texts(p),
              (std::vector<std::string>{"Invalid attenuation coefficient", "Invalid attenuation coefficient",
                                        "Invalid pixel scale factor", "Invalid pixel zero offset",
                                        "Invalid X Offset for crop", "Invalid Y Offset for crop"}));
    for (const auto& r : p.Requests()) EXPECT_EQ(r.icon, PromptIcon::Warning);
    const ImageImportSettings s = o.ToSettings();
    EXPECT_FALSE(s.autoAttenuation);
    EXPECT_EQ(s.lacAtZero, 0.1f);
    EXPECT_EQ(s.lacAtOne, 2.5f);
    EXPECT_EQ(s.scaleFactor, 2.0f);
    EXPECT_EQ(s.zeroOffset, -0.5f);
    EXPECT_EQ(s.cropX, -3);
    EXPECT_EQ(s.cropY, 4);
}

TEST(ImageImportOptions, FieldsOfUncheckedOptionsAreNotRead) {
    HeadlessPrompt p;
    ImageImportOptions o = Ct();
    o.scaleText = "junk";
    o.offsetText = "junk";
    o.cropXText = "junk";
    o.lacZeroText = "junk";
    o.autoGenerate = false;
    o.limitsEditable = false;  // the limits exist: the coefficient edits are not read
    EXPECT_EQ(o.Accept(&p), ImageImportOptions::kNoField);
    EXPECT_TRUE(p.Requests().empty());
    EXPECT_EQ(o.scaleFactor, 1.0f);
}

TEST(ImageImportOptions, MultiplierRule) {
    HeadlessPrompt p;
    ImageImportOptions o = Ct();
    o.applyScale = true;
    o.scaleText = "2";
    ASSERT_EQ(o.Accept(&p), ImageImportOptions::kNoField);
    EXPECT_EQ(o.multiplier, 2.0f);
    o.rescale = true;
    ASSERT_EQ(o.Accept(&p), ImageImportOptions::kNoField);
    EXPECT_FLOAT_EQ(o.multiplier, static_cast<float>(2.0 * 20.0 * 4 * 3.14159265358979323846 * 1e8 / 12.396));
    EXPECT_TRUE(o.ToSettings().rescaleByEnergy);
    // A factor of 0 or below is accepted as typed.
    o.scaleText = "0";
    EXPECT_EQ(o.Accept(&p), ImageImportOptions::kNoField);
    EXPECT_EQ(o.multiplier, 0.0f);
    // Other channels neither rescale nor carry a multiplier of their own.
    ImageImportOptions plain;
    plain.rescale = true;
    plain.Open();
    EXPECT_EQ(plain.Accept(&p), ImageImportOptions::kNoField);
    EXPECT_EQ(plain.multiplier, 1.0f);
    EXPECT_FALSE(plain.ToSettings().rescaleByEnergy);
    EXPECT_EQ(std::string(plain.FileTypes()), "Image files (*.tif *.tiff)");
}

}  // namespace
