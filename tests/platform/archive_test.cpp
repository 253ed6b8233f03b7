#include "platform/archive.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zun {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Two small archived classes for the object-record tests.
class TestLeaf : public Serializable {
    ZUN_DECLARE_SERIAL(TestLeaf)
public:
    std::int32_t value = 0;
    void Serialize(Archive& ar) override {
        if (ar.IsStoring())
            ar << value;
        else
            ar >> value;
    }
};
ZUN_IMPLEMENT_SERIAL(TestLeaf, Serializable, 0)

class TestNode : public Serializable {
    ZUN_DECLARE_SERIAL(TestNode)
public:
    TestLeaf* a = nullptr;  // not owned in this test class: the archive or the test owns them
    TestLeaf* b = nullptr;
    void Serialize(Archive& ar) override {
        if (ar.IsStoring()) {
            ar.WriteObject(a);
            ar.WriteObject(b);
        } else {
            a = static_cast<TestLeaf*>(ar.ReadObject(&TestLeaf::classInfo));
            b = static_cast<TestLeaf*>(ar.ReadObject(&TestLeaf::classInfo));
        }
    }
};
ZUN_IMPLEMENT_SERIAL(TestNode, Serializable, 3)

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClassRegistry::Instance().Register(&TestLeaf::classInfo);
        ClassRegistry::Instance().Register(&TestNode::classInfo);
    }
    template <class F>
    Bytes Store(F&& f) {
        MemoryStream ms;
        {
            Archive ar(ms, Archive::Mode::Store);
            f(ar);
            ar.Flush();
        }
        return ms.Bytes();
    }
};

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST_F(ArchiveTest, ScalarsAreLittleEndianAndBoolIsOneByte) {
    Bytes b = Store([](Archive& ar) {
        ar << std::int32_t{0x01020304} << std::uint16_t{0xABCD} << true << false << 1.0 << 2.5f
           << std::uint64_t{0x1122334455667788ull};
    });
    Bytes expect = {0x04, 0x03, 0x02, 0x01, 0xCD, 0xAB, 1,    0,    0,    0,    0,    0,    0,    0,
                    0xF0, 0x3F, 0,    0,    0x20, 0x40, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
    EXPECT_EQ(b, expect);

    // Any non-zero byte loads as true.
    MemoryStream ms(Bytes{7});
    Archive ar(ms, Archive::Mode::Load);
    bool v = false;
    ar >> v;
    EXPECT_TRUE(v);
}

TEST_F(ArchiveTest, StringLengthPrefixesAtEveryEscape) {
    struct Case {
        std::size_t n;
        Bytes prefix;
    };
    const Case cases[] = {
        {0, {0x00}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {65533, {0xFF, 0xFD, 0xFF}},
        {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
    };
    for (const Case& c : cases) {
        std::string s(c.n, 'x');
        for (std::size_t i = 0; i < c.n; ++i) s[i] = static_cast<char>('a' + i % 26);
        Bytes b = Store([&](Archive& ar) { ar << s; });
        ASSERT_EQ(b.size(), c.prefix.size() + c.n) << c.n;
        EXPECT_TRUE(std::equal(c.prefix.begin(), c.prefix.end(), b.begin())) << c.n;
        EXPECT_EQ(0, std::memcmp(b.data() + c.prefix.size(), s.data(), c.n)) << c.n;

        MemoryStream ms(b);
        Archive ar(ms, Archive::Mode::Load);
        EXPECT_EQ(ar.ReadString(), s) << c.n;
    }
}

TEST_F(ArchiveTest, WideStringIsReadAsUtf8) {
    // 0xFF 0xFFFE marks UTF-16; then the length 3 and "aμ" plus a surrogate pair (U+1F600).
    Bytes b = {0xFF, 0xFE, 0xFF, 0x04, 'a', 0x00, 0xBC, 0x03, 0x3D, 0xD8, 0x00, 0xDE};
    MemoryStream ms(b);
    Archive ar(ms, Archive::Mode::Load);
    EXPECT_EQ(ar.ReadString(), "a\xCE\xBC\xF0\x9F\x98\x80");
}

TEST_F(ArchiveTest, ObjectGraphUsesClassAndObjectBackReferences) {
    TestLeaf shared, other;
    shared.value = 7;
    other.value = 9;
    TestNode node;
    node.a = &shared;
    node.b = &shared;
    TestNode node2;
    node2.a = &other;
    node2.b = nullptr;

    Bytes b = Store([&](Archive& ar) {
        ar.WriteObject(&node);
        ar.WriteObject(&node2);
        ar.WriteObject(&shared);
    });
    auto cls = [](std::uint16_t schema, const char* name) {
        Bytes r = {0xFF,
                   0xFF,
                   static_cast<std::uint8_t>(schema),
                   static_cast<std::uint8_t>(schema >> 8),
                   static_cast<std::uint8_t>(std::strlen(name)),
                   0};
        for (const char* c = name; *c; ++c) r.push_back(static_cast<std::uint8_t>(*c));
        return r;
    };
    // Numbers: 1 class TestNode, 2 node, 3 class TestLeaf, 4 shared, 5 node2, 6 other.
    Bytes expect = Concat({cls(3, "TestNode"),
                           cls(0, "TestLeaf"),
                           {7, 0, 0, 0},
                           {0x04, 0x00},  // b: back-reference to object 4
                           {0x01, 0x80},  // node2: new object of class 1
                           {0x03, 0x80},
                           {9, 0, 0, 0},    // other: new object of class 3
                           {0x00, 0x00},    // null
                           {0x04, 0x00}});  // shared again
    EXPECT_EQ(b, expect);

    MemoryStream ms(b);
    Archive ar(ms, Archive::Mode::Load);
    auto* n1 = static_cast<TestNode*>(ar.ReadObject(&TestNode::classInfo));
    auto* n2 = static_cast<TestNode*>(ar.ReadObject(nullptr));
    auto* s = ar.ReadObject(&TestLeaf::classInfo);
    ASSERT_NE(n1, nullptr);
    ASSERT_NE(n2, nullptr);
    EXPECT_EQ(n1->a, n1->b);
    EXPECT_EQ(n1->a, s);
    EXPECT_EQ(n1->a->value, 7);
    EXPECT_EQ(n2->a->value, 9);
    EXPECT_EQ(n2->b, nullptr);
    EXPECT_EQ(n1->GetRuntimeClass(), &TestNode::classInfo);
}

TEST_F(ArchiveTest, ObjectSchemaIsHandedToTheBody) {
    TestNode node;
    Bytes b = Store([&](Archive& ar) { ar.WriteObject(&node); });
    b[2] = 42;  // stored schema
    struct Probe : TestNode {};
    MemoryStream ms(b);
    Archive ar(ms, Archive::Mode::Load);
    ar.ReadObject(nullptr);  // versionable: any stored schema is accepted
    EXPECT_EQ(ar.GetObjectSchema(), -1);
}

TEST_F(ArchiveTest, OwnedObjectsCanBeTakenOnceOnly) {
    TestLeaf leaf;
    leaf.value = 5;
    Bytes b = Store([&](Archive& ar) {
        ar.WriteObject(&leaf);
        ar.WriteObject(&leaf);
    });
    MemoryStream ms(b);
    Archive ar(ms, Archive::Mode::Load);
    std::unique_ptr<TestLeaf> p = ar.ReadOwnedObject<TestLeaf>();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->value, 5);
    EXPECT_THROW(ar.ReadOwnedObject<TestLeaf>(), ArchiveException);
}

ArchiveException::Cause LoadCause(const Bytes& b, const ClassInfo* required = nullptr) {
    MemoryStream ms(b);
    Archive ar(ms, Archive::Mode::Load);
    try {
        for (int i = 0; i < 4; ++i) ar.ReadObject(required);
    } catch (const ArchiveException& e) {
        return e.cause();
    }
    return ArchiveException::generic;
}

TEST_F(ArchiveTest, DamagedStreamsAreRefusedWithTheirCause) {
    TestNode node;
    TestLeaf leaf;
    node.a = &leaf;
    Bytes good = Store([&](Archive& ar) { ar.WriteObject(&node); });

    // Truncated anywhere: end of file.
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        Bytes t(good.begin(), good.begin() + cut);
        EXPECT_EQ(LoadCause(t), ArchiveException::endOfFile) << cut;
    }
    // Unknown class name.
    Bytes unknown = good;
    unknown[6] = 'X';
    EXPECT_EQ(LoadCause(unknown), ArchiveException::badClass);
    // A class of the wrong kind.
    EXPECT_EQ(LoadCause(good, &TestLeaf::classInfo), ArchiveException::badClass);
    // A name of 64 characters or more.
    Bytes longName = {0xFF, 0xFF, 0, 0, 64, 0};
    longName.resize(longName.size() + 64, 'a');
    EXPECT_EQ(LoadCause(longName), ArchiveException::badClass);
    // Back-references to indices not yet defined.
    EXPECT_EQ(LoadCause(Bytes{0x05, 0x00}), ArchiveException::badIndex);
    EXPECT_EQ(LoadCause(Bytes{0x05, 0x80}), ArchiveException::badIndex);
    EXPECT_EQ(LoadCause(Bytes{0xFF, 0x7F, 0x09, 0, 0, 0}), ArchiveException::badIndex);
    EXPECT_EQ(LoadCause(Bytes{0xFF, 0x7F, 0x09, 0, 0, 0x80}), ArchiveException::badIndex);
}

// Owns what it reads, and drops the first child part way through its body, as loaders that
// replace or discard a record do.
class TestOwner : public Serializable {
    ZUN_DECLARE_SERIAL(TestOwner)
public:
    std::unique_ptr<TestLeaf> kept;
    void Serialize(Archive& ar) override {
        if (ar.IsStoring()) return;
        std::unique_ptr<TestLeaf> first = ar.ReadOwnedObject<TestLeaf>();
        first.reset();
        kept = ar.ReadOwnedObject<TestLeaf>();
    }
};
ZUN_IMPLEMENT_SERIAL(TestOwner, Serializable, 0)

// Reads one child that it owns; used to build a record that refers to itself.
class TestSelf : public Serializable {
    ZUN_DECLARE_SERIAL(TestSelf)
public:
    std::unique_ptr<Serializable> child;
    void Serialize(Archive& ar) override {
        if (ar.IsLoading()) {
            Serializable* p = ar.ReadObject(nullptr);
            if (p) child = ar.TakeOwnership(p);
        }
    }
};
ZUN_IMPLEMENT_SERIAL(TestSelf, Serializable, 0)

TEST_F(ArchiveTest, ReferencesToObjectsNoLongerHeldAreRefusedAsDamage) {
    ClassRegistry::Instance().Register(&TestOwner::classInfo);
    ClassRegistry::Instance().Register(&TestSelf::classInfo);
    auto cls = [](const char* name) {
        Bytes r = {0xFF, 0xFF, 0, 0, static_cast<std::uint8_t>(std::strlen(name)), 0};
        for (const char* c = name; *c; ++c) r.push_back(static_cast<std::uint8_t>(*c));
        return r;
    };
    // 1 class TestOwner, 2 owner, 3 class TestLeaf, 4 first leaf (taken and destroyed), then a
    // back-reference to 4 where the second leaf belongs.
    Bytes dangling = Concat({cls("TestOwner"), cls("TestLeaf"), {1, 0, 0, 0}, {0x04, 0x00}});
    EXPECT_EQ(LoadCause(dangling), ArchiveException::badIndex);
    // The same reference after the owner's body: the leaf went with its owner's reader.
    Bytes later =
        Concat({cls("TestOwner"), cls("TestLeaf"), {1, 0, 0, 0}, {0x03, 0x80}, {2, 0, 0, 0}, {0x04, 0x00}});
    EXPECT_EQ(LoadCause(later), ArchiveException::badIndex);
    // An object whose body refers to the object itself.
    Bytes self = Concat({cls("TestSelf"), {0x02, 0x00}});
    EXPECT_EQ(LoadCause(self), ArchiveException::badIndex);
    // A class number used as an object, and an object number used as a class.
    EXPECT_EQ(LoadCause(Concat({cls("TestLeaf"), {1, 0, 0, 0}, {0x01, 0x00}})), ArchiveException::badIndex);
    EXPECT_EQ(LoadCause(Concat({cls("TestLeaf"), {1, 0, 0, 0}, {0x02, 0x80}})), ArchiveException::badIndex);

    // Objects the archive still holds can be referred to again, and taken once.
    MemoryStream ms(Concat({cls("TestLeaf"), {5, 0, 0, 0}, {0x02, 0x00}}));
    Archive ar(ms, Archive::Mode::Load);
    Serializable* p = ar.ReadObject(nullptr);
    EXPECT_EQ(ar.ReadObject(&TestLeaf::classInfo), p);
    auto taken = ar.TakeOwnership(p);
    EXPECT_THROW(ar.TakeOwnership(p), ArchiveException);
}

TEST_F(ArchiveTest, NonVersionableClassNeedsItsOwnSchema) {
    static const ClassInfo fixed{"TestFixedSchema", 2, false, &MakeSerializable<TestLeaf>, nullptr};
    ClassRegistry::Instance().Register(&fixed);
    Bytes b = {0xFF, 0xFF, 0x03, 0x00, 15, 0};
    const char* name = "TestFixedSchema";
    for (const char* c = name; *c; ++c) b.push_back(static_cast<std::uint8_t>(*c));
    for (std::uint8_t v : {1, 0, 0, 0}) b.push_back(v);
    EXPECT_EQ(LoadCause(b), ArchiveException::badSchema);
    b[2] = 2;
    MemoryStream ms(b);
    Archive ar(ms, Archive::Mode::Load);
    EXPECT_NE(ar.ReadObject(nullptr), nullptr);
}

TEST_F(ArchiveTest, LargeIndicesUseTheEscape) {
    // 0x7FFF objects force the 32-bit form for later back-references.
    std::vector<TestLeaf> leaves(0x8000);
    Bytes b = Store([&](Archive& ar) {
        for (auto& l : leaves) ar.WriteObject(&l);
        ar.WriteObject(&leaves.back());
    });
    // The last record: 0x7FFF then the object's 32-bit index (class is 1, objects 2..0x8001).
    Bytes tail(b.end() - 6, b.end());
    EXPECT_EQ(tail, (Bytes{0xFF, 0x7F, 0x01, 0x80, 0x00, 0x00}));
    MemoryStream ms(b);
    Archive ar(ms, Archive::Mode::Load);
    Serializable* last = nullptr;
    for (std::size_t i = 0; i < leaves.size(); ++i) last = ar.ReadObject(nullptr);
    EXPECT_EQ(ar.ReadObject(nullptr), last);
}

TEST_F(ArchiveTest, CountsAndLargeBlocks) {
    std::vector<std::uint8_t> block(300000);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7);
    Bytes b = Store([&](Archive& ar) {
        ar.WriteCount(3);
        ar.WriteCount(70000);
        ar << std::uint8_t{1};
        ar.Write(block.data(), block.size());
    });
    MemoryStream ms(b);
    Archive ar(ms, Archive::Mode::Load);
    EXPECT_EQ(ar.ReadCount(), 3u);
    EXPECT_EQ(ar.ReadCount(), 70000u);
    std::uint8_t one = 0;
    ar >> one;
    std::vector<std::uint8_t> back(block.size());
    ar.Read(back.data(), back.size());
    EXPECT_EQ(back, block);
    std::uint8_t extra;
    EXPECT_THROW(ar >> extra, ArchiveException);
}

}  // namespace
}  // namespace zun
