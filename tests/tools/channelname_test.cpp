// The channel-name checks of the rename and insert dialogs.

#include <gtest/gtest.h>

#include "document/zundoc.h"
#include "platform/prompt.h"
#include "tools/channelname.h"

using namespace zun;

TEST(ChannelNames, RenameRules) {
    HeadlessPrompt prompt;
    CZunDoc doc(DocServices{&prompt});
    doc.OnNewDocument();
    doc.ResizeVolume({3, 3, 2}, {0, 0, 0});
    doc.InsertChannel(0, 1, "Iron");
    doc.InsertChannel(2, 2, "Density");
    const RenameChannelForm form(doc, 1);
    EXPECT_EQ(form.caption, "Rename channel 'Iron'");
    EXPECT_EQ(form.initialText, "Iron");
    struct Case {
        const char* typed;
        bool accepted;
        const char* result;  // the new name or the message
    } cases[] = {
        {"Iron", true, "Iron"},  // unchanged: nothing to do
        {"   ", false, namemsg::kEmpty},
        {"", false, namemsg::kEmpty},
        {"  Steel ", true, "Steel"},                             // blanks at the ends go
        {"Iron ", false, "Channel name 'Iron' already exists"},  // trimmed, it is its own name
        {"Density", false, "Channel name 'Density' already exists"},
        {"density", true, "density"},  // names differ in case
        {"a{b", false, namemsg::kBraces},
        {"a}", false, namemsg::kBraces},
        // Names the document could not find again.
        {"a\tb", false, chanmsg::kNameControl},
        {"line\nbreak", false, chanmsg::kNameControl},
        {"bell\a", false, chanmsg::kNameControl},
    };
    for (const Case& c : cases) {
        const RenameChannelForm::Outcome o = form.Check(c.typed);
        EXPECT_EQ(o.accepted, c.accepted) << c.typed;
        EXPECT_EQ(c.accepted ? o.name : o.message, c.result) << c.typed;
    }
    // "Use Default" on a composition gives nothing, which OK then refuses.
    EXPECT_EQ(form.DefaultName(), "");
    EXPECT_EQ(form.Check(form.DefaultName()).message, namemsg::kEmpty);
}

TEST(ChannelNames, InsertCaptionsAndBraces) {
    EXPECT_EQ(InsertChannelCaption(0), "Insert Composition Channel");
    EXPECT_EQ(InsertChannelCaption(1), "Insert X-ray CT Channel");
    EXPECT_EQ(InsertChannelCaption(2), "Insert Property Channel");
    EXPECT_EQ(InsertChannelCaption(3), "Insert Bound Channel");
    EXPECT_EQ(InsertChannelCaption(7), "Insert  Channel");
    EXPECT_EQ(CheckNewChannelName("ok name"), std::nullopt);
    EXPECT_EQ(CheckNewChannelName(""), std::nullopt);  // the insert operation decides
    EXPECT_EQ(CheckNewChannelName("x}"), std::string(namemsg::kBraces));
    EXPECT_EQ(CheckNewChannelName(" "), std::string(chanmsg::kNameEmpty));
    EXPECT_EQ(CheckNewChannelName("a\x7f"), std::string(chanmsg::kNameControl));
    EXPECT_EQ(CheckNewChannelName(std::string("a\0b", 3)), std::string(chanmsg::kNameControl));
}
