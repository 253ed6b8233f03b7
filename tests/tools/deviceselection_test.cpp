// Device selection: the summary row, spreading a total over the cores, refusals and what the
// document keeps.

#include <gtest/gtest.h>

#include "document/zundoc.h"
#include "platform/prompt.h"
#include "tools/deviceselection.h"

using namespace zun;

namespace {
std::vector<int> Threads(const ComputeDeviceSet& set) {
    std::vector<int> out;
    for (const auto& d : set.Devices()) out.push_back(d->threadCount);
    return out;
}
}  // namespace

TEST(DeviceSelection, SpreadsATotalRoundRobinOverTheCores) {
    ComputeDeviceSet set(8);
    DeviceSelection sel(set, {});
    ASSERT_EQ(sel.Rows().size(), 1u);
    EXPECT_EQ(sel.Rows()[0].name, "CPU cores (8)");
    EXPECT_EQ(sel.Rows()[0].threads, 8);
    EXPECT_FALSE(sel.CanSetDefault());
    EXPECT_EQ(sel.EditThreads(0, "10"), "");
    EXPECT_EQ(Threads(set), (std::vector<int>{2, 2, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(sel.Rows()[0].threads, 10);
    EXPECT_TRUE(sel.CanSetDefault());
    for (const char* bad : {"-1", "abc", "", "  ", "3x", "99999999999"}) {
        EXPECT_EQ(sel.EditThreads(0, bad), devicemsg::kThreadsInvalid) << bad;
        EXPECT_EQ(sel.Rows()[0].threads, 10) << bad;
    }
    // 0 is taken in the list but OK refuses it.
    EXPECT_EQ(sel.EditThreads(0, "0"), "");
    EXPECT_EQ(sel.Ok(), devicemsg::kNoThreads);
    sel.SetDefault();
    EXPECT_EQ(Threads(set), std::vector<int>(8, 1));
    EXPECT_FALSE(sel.CanSetDefault());
    EXPECT_EQ(sel.Ok(), "");
}

TEST(DeviceSelection, OneProcessorIsNamedWithoutANumber) {
    ComputeDeviceSet set(1);
    DeviceSelection sel(set, {});
    EXPECT_EQ(sel.Rows()[0].name, "CPU cores (1)");
    EXPECT_EQ(sel.EditThreads(0, "3"), "");
    EXPECT_EQ(Threads(set), std::vector<int>{3});
}

TEST(DeviceSelection, DocumentKeepsAChangedSelectionAndCancelRestoresTheSavedOne) {
    HeadlessPrompt prompt;
    CZunDoc doc(DocServices{&prompt});
    doc.OnNewDocument();
    doc.SetTitle("Rock");
    ComputeDeviceSet& set = doc.GetModel().Devices();
    const std::size_t n = set.Devices().size();
    ASSERT_GE(n, 1u);
    // A first OK stores the list; the same list again changes nothing.
    std::string caption;
    EXPECT_EQ(SelectComputationDevices(doc,
                                       [&](DeviceSelection& s) {
                                           caption = s.caption;
                                           return s.EditThreads(0, std::to_string(n + 1)).empty();
                                       }),
              1);
    EXPECT_EQ(caption, "Rock: Select Computation Devices");
    EXPECT_TRUE(doc.IsModified());
    const std::vector<ComputeDeviceEntry> saved = doc.DeviceSelection();
    doc.SetModifiedFlag(false);
    EXPECT_EQ(SelectComputationDevices(doc, [](DeviceSelection&) { return true; }), 1);
    EXPECT_FALSE(doc.IsModified());
    // Cancel after an edit: the devices are back at the saved selection.
    EXPECT_EQ(SelectComputationDevices(doc,
                                       [](DeviceSelection& s) {
                                           s.EditThreads(0, "0");
                                           return false;
                                       }),
              2);
    EXPECT_FALSE(doc.IsModified());
    std::vector<ComputeDeviceEntry> now;
    EXPECT_EQ(set.GetDeviceList(now), static_cast<int>(n + 1));
    EXPECT_EQ(doc.DeviceSelection().size(), saved.size());
}
