#include "view3d/imageexportoptions.h"

#include <gtest/gtest.h>

namespace zun {
namespace {

bool Exists(const std::string& p) {
    return p == "/out";
}

TEST(ImageExportPresenter, OpensOnPngColourXyWithMonoDisabled) {
    ImageExportPresenter p("/out");
    EXPECT_EQ(p.Options().directory, "/out");
    EXPECT_EQ(p.Options().format, 1);
    EXPECT_EQ(p.Options().colourMode, 1);
    EXPECT_EQ(p.Options().plane, 0);
    EXPECT_TRUE(p.FormatChecked(1));
    EXPECT_TRUE(p.TypeChecked(1));
    EXPECT_TRUE(p.PlaneChecked(0));
    EXPECT_FALSE(p.MonoEnabled());
    EXPECT_EQ(p.CheckExport(Exists), "");
}

TEST(ImageExportPresenter, MonoUnderTiffThenPngIsRefused) {
    ImageExportPresenter p("/out");
    p.OnTiff();
    EXPECT_TRUE(p.MonoEnabled());
    p.OnColourMode(3);
    EXPECT_TRUE(p.TypeChecked(3));
    EXPECT_EQ(p.CheckExport(Exists), "");
    p.OnPng();
    // The choice stays, but no type radio shows it.
    EXPECT_EQ(p.Options().colourMode, 3);
    for (int m = 1; m <= 3; ++m) EXPECT_FALSE(p.TypeChecked(m)) << m;
    EXPECT_FALSE(p.MonoEnabled());
    EXPECT_EQ(p.CheckExport(Exists), "Current PNG format does not support Mono colour.");
    p.OnColourMode(1);
    EXPECT_EQ(p.CheckExport(Exists), "");
}

TEST(ImageExportPresenter, FolderChecksAndBrowse) {
    ImageExportPresenter p("/gone");
    EXPECT_EQ(p.CheckExport(Exists), "Invalid directory input.");
    // The folder is checked before the format rule.
    p.OnTiff();
    p.OnColourMode(2);
    p.OnPng();
    EXPECT_EQ(p.CheckExport(Exists), "Invalid directory input.");
    p.OnBrowse("");
    EXPECT_EQ(p.Options().directory, "/gone");
    p.OnBrowse("/out");
    p.OnPlane(2);
    EXPECT_TRUE(p.PlaneChecked(2));
    EXPECT_EQ(p.CheckExport(Exists), "Current PNG format does not support Mono colour.");
    // The real file system: a folder passes, a plain file or nothing does not.
    ImageExportPresenter tmp("/tmp");
    EXPECT_EQ(tmp.CheckExport(), "");
    ImageExportPresenter file("/etc/hostname");
    EXPECT_EQ(file.CheckExport(), "Invalid directory input.");
    ImageExportPresenter empty("");
    EXPECT_EQ(empty.CheckExport(), "Invalid directory input.");
}

}  // namespace
}  // namespace zun
