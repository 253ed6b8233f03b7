#include "document/dispspec.h"

#include <gtest/gtest.h>

#include <cstring>

#include "document/changehints.h"
#include "document/docclasses.h"

namespace zun {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(DatcolSpec, DefaultsSpreadAndEquality) {
    DatcolBitSpec unset;
    EXPECT_TRUE(unset.HasUnsetEntry());
    EXPECT_EQ(unset.colours[5], kUnsetColour);

    DatcolBitSpec bits;
    bits.AssignDefault();
    EXPECT_FALSE(bits.HasUnsetEntry());
    EXPECT_EQ(bits.colours[0], 0x0000FFu);   // red
    EXPECT_EQ(bits.colours[2], 0xFF0000u);   // blue
    EXPECT_EQ(bits.colours[13], 0x37C837u);  // palette 13 (55, 200, 55)
    ASSERT_EQ(bits.enabledColours.size(), 14u);

    // Derived lists follow the enabled entries only and take no part in equality.
    DatcolBitSpec other = bits;
    other.enables[3] = 0;
    other.RebuildDerivedLists();
    EXPECT_EQ(other.enabledColours.size(), 13u);
    EXPECT_EQ(other.enabledColours[3], bits.colours[4]);
    EXPECT_NE(other, bits);
    other.enables[3] = 1;
    EXPECT_EQ(other, bits);

    DatcolValueSpec v1, v2;
    v1.AssignDefault();
    v2.Assign(v1);
    EXPECT_EQ(v1, v2);
    v2.toValue = 100;
    EXPECT_NE(v1, v2);

    DatcolMultiSpec spectrum;
    EXPECT_TRUE(spectrum.stopValues.empty());
    spectrum.AssignDefault();
    EXPECT_EQ(spectrum.stopValues, (std::vector<std::uint16_t>{1, 3276, 6553, 9829, 13106, 16383}));
    EXPECT_EQ(spectrum.stopColours.front(), 0xFF0000u);
    spectrum.enables = {0, 1, 0, 0, 1, 0};
    DataDisplaySpreadColourStops(spectrum, 20000, 100);  // clamped and ordered
    EXPECT_EQ(spectrum.stopValues, (std::vector<std::uint16_t>{100, 16383}));
    spectrum.enables = {0, 0, 1, 0, 0, 0};
    DataDisplaySpreadColourStops(spectrum, 0, 0);
    EXPECT_EQ(spectrum.stopValues, (std::vector<std::uint16_t>{1}));
    spectrum.enables.fill(0);
    DataDisplaySpreadColourStops(spectrum, 0, 16383);
    EXPECT_TRUE(spectrum.stopValues.empty() && spectrum.stopColours.empty());
}

DispSpec Unusual() {
    std::vector<float> opacity{0.2f, 0.9f, 0.1f, 0.7f};
    DataDisplaySettings settings;
    settings.valueSpec.fromEnabled = 1;
    settings.valueSpec.fromValue = 77;
    settings.multiSpec.enables[2] = 0;
    DataDisplaySpreadColourStops(settings.multiSpec, 10, 9000);
    DispSpec s(DispSpec::kItemData | DispSpec::kItemErr, DispSpec::kColAve | DispSpec::kColN,
               DispSpec::kChannel, &opacity, &settings, 3, true, true, 0x123456);
    s.shown.maskState = 2;
    s.shown.maskName = "Bound 1";
    s.shown.colourKind = 2;
    s.shown.includeFlags = 2 | 32;
    s.shown.bitSpec.enables[7] = 0;
    s.shown.bitSpec.colours[1] = 0xABCDEF;
    s.statMin = -1.5f;
    s.statMax = 2.5f;
    s.statCount = 1ull << 40;
    s.statSumSq = 1e30;
    s.statStale = 0;
    return s;
}

TEST(DispSpec, ConstructorDefaultsAndArchiveRoundTrip) {
    RegisterDocumentClasses();
    DispSpec plain(DispSpec::kItemData, 0, DispSpec::kSlice);
    EXPECT_EQ(plain.shown.opacity, (std::vector<float>{0.05f, 1.0f, 0.0f, 1.0f}));
    EXPECT_EQ(MakeDefaultOpacity(2), (std::vector<float>{0.0f, 1.0f, 0.0f, 1.0f}));
    EXPECT_EQ(plain.shown.displayColours, (std::vector<std::uint32_t>{0x37C837, 0x0080FF, 0x8000FF}));
    EXPECT_EQ(plain.shown.includeFlags, 16);
    EXPECT_EQ(plain.shown.maskName, "");
    EXPECT_TRUE(plain.statStale);
    EXPECT_FALSE(plain.shown.bitSpec.HasUnsetEntry());

    DispSpec s = Unusual();
    MemoryStream mem;
    {
        Archive ar(mem, Archive::Mode::Store);
        ar.WriteObject(&s);
        ar.WriteObject(&plain);
    }
    // The body starts with the version stamp, kind, display items, columns and type.
    const Bytes& b = mem.Bytes();
    std::size_t body = 2 + 2 + 2 + std::string("DispSpec").size();
    std::uint32_t words[5];
    std::memcpy(words, b.data() + body, sizeof words);
    EXPECT_EQ(words[0], 2648u);
    EXPECT_EQ(words[1], 1u);
    EXPECT_EQ(words[2], 5u);
    EXPECT_EQ(words[3], 20u);
    EXPECT_EQ(words[4], 3u);

    mem.Rewind();
    Archive in(mem, Archive::Mode::Load);
    auto a = in.ReadOwnedObject<DispSpec>();
    auto p = in.ReadOwnedObject<DispSpec>();
    ASSERT_TRUE(a && p);
    EXPECT_TRUE(a->SameContent(s));
    EXPECT_TRUE(p->SameContent(plain));
    EXPECT_EQ(a->shown.valueSpec.fromValue, 77);
    EXPECT_EQ(a->shown.multiSpec.stopValues, s.shown.multiSpec.stopValues);
    // After a load the saved copy equals what was read and the derived lists are rebuilt.
    EXPECT_EQ(a->saved.maskName, "Bound 1");
    EXPECT_EQ(a->shown.bitSpec.enabledColours.size(), 13u);

    // A damaged count runs into the end of the data instead of allocating gigabytes.
    Bytes cut(b.begin(), b.begin() + body + 30);
    std::uint32_t huge = 0x7FFFFFF0;
    std::memcpy(cut.data() + body + 22, &huge, 4);  // the opacity count
    MemoryStream damaged(cut);
    Archive bad(damaged, Archive::Mode::Load);
    try {
        bad.ReadOwnedObject<DispSpec>();
        ADD_FAILURE() << "no error";
    } catch (const ArchiveException& e) {
        EXPECT_EQ(e.cause(), ArchiveException::endOfFile);
    }
}

TEST(DispSpec, TreeRecordCarriesTheOldExtraWord) {
    RegisterDocumentClasses();
    TreeRecord tree;
    tree.items = {DispSpec(1, 0, DispSpec::kRoot), Unusual(), DispSpec(1, 0, DispSpec::kSlice)};
    tree.viewOption = 3;
    MemoryStream mem;
    {
        Archive ar(mem, Archive::Mode::Store);
        tree.Serialize(ar, 2648);
        ar << std::int32_t(99);
    }
    mem.Rewind();
    TreeRecord back;
    back.items.resize(3);
    Archive ar(mem, Archive::Mode::Load);
    back.Serialize(ar, 2648);
    EXPECT_EQ(back.viewOption, 3);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(back.items[i].SameContent(tree.items[i])) << i;
    std::int32_t tail = 0;
    ar >> tail;
    EXPECT_EQ(tail, 99);

    // An older file reads one more word before the view option.
    MemoryStream old;
    {
        Archive w(old, Archive::Mode::Store);
        w.WriteObject(&tree.items[0]);
        w << std::int32_t(12345) << std::int32_t(7);
    }
    old.Rewind();
    TreeRecord one;
    one.items.resize(1);
    Archive r(old, Archive::Mode::Load);
    one.Serialize(r, 2000);
    EXPECT_EQ(one.viewOption, 7);
}

// Records what it was told; may remove another view while being told.
struct RecordingView : DocView {
    std::vector<std::pair<unsigned, const ChangeHint*>> calls;
    std::vector<int>* order = nullptr;
    int id = 0;
    DocViewList* list = nullptr;
    DocView* removeOnUpdate = nullptr;
    void OnUpdate(DocView*, unsigned hint, const ChangeHint* h) override {
        calls.push_back({hint, h});
        if (order) order->push_back(id);
        if (removeOnUpdate) list->Remove(removeOnUpdate);
    }
};

TEST(DocViewList, CallsEveryViewButTheSenderInOrder) {
    DocViewList list;
    std::vector<int> order;
    RecordingView a, b, c;
    for (auto [v, id] : {std::pair{&a, 1}, {&b, 2}, {&c, 3}}) {
        v->order = &order;
        v->id = id;
        v->list = &list;
        list.Add(v);
    }
    list.Add(&a);  // registering twice changes nothing
    RenameDocMod hint("name");
    list.UpdateAllViews(&b, kHintRename, &hint);
    EXPECT_EQ(order, (std::vector<int>{1, 3}));
    ASSERT_EQ(a.calls.size(), 1u);
    EXPECT_EQ(a.calls[0].second, &hint);

    order.clear();
    a.removeOnUpdate = &c;  // c goes away during the round and is not told
    list.UpdateAllViews(nullptr, kHintStructure);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(list.Size(), 2u);
}

}  // namespace
}  // namespace zun
