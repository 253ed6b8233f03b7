#include "foundation/voxelarchive.h"
#include "platform/archiveio.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "foundation/foundationclasses.h"
#include "foundation/image.h"
#include "foundation/matrix.h"
#include "voxeltesting.h"

namespace zun {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::ScriptedMemory;

class VoxelArchive : public ::testing::Test {
protected:
    void SetUp() override { RegisterFoundationClasses(); }

    template <class F>
    static Bytes Store(F&& f) {
        MemoryStream ms;
        {
            Archive ar(ms, Archive::Mode::Store);
            f(ar);
            ar.Flush();
        }
        return ms.Bytes();
    }
    template <class F>
    static void Load(const Bytes& b, F&& f) {
        MemoryStream ms(b);
        Archive ar(ms, Archive::Mode::Load);
        f(ar);
    }
};

struct Writer {
    Bytes b;
    template <class T>
    Writer& operator<<(T v) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
        b.insert(b.end(), p, p + sizeof v);
        return *this;
    }
    Writer& Name(const char* name) {
        *this << std::uint16_t{0xFFFF} << std::uint16_t{0} << static_cast<std::uint16_t>(std::strlen(name));
        b.insert(b.end(), name, name + std::strlen(name));
        return *this;
    }
};

// The (2, 3, 4) image with one channel and keep-data off, as stored.
Bytes GoldenImage(std::int32_t stamp = 1908, bool wideCount = true) {
    Writer w;
    w << std::int32_t{3} << std::int32_t{2} << std::int32_t{3} << std::int32_t{4} << std::int32_t{1};
    w.Name("Chan3dimtype") << std::int32_t{3} << std::int32_t{2} << std::int32_t{3} << std::int32_t{4}
                           << std::int32_t{1908};
    w << stamp << std::uint8_t{0};
    if (wideCount)
        w << std::uint64_t{24};
    else
        w << std::uint32_t{24};
    for (int i = 0; i < 24; ++i) w << static_cast<imtype>(i * 1000 + 7);
    return w.b;
}

void MakeGoldenImage(Image3d<imtype>& im) {
    im.AddChannels(1);
    im.Resize({2, 3, 4});
    for (int i = 0; i < 24; ++i) im.GetChannel(0)->Data()[i] = static_cast<imtype>(i * 1000 + 7);
}

TEST_F(VoxelArchive, ImageLayoutIsByteExact) {
    Image3d<imtype> im;
    MakeGoldenImage(im);
    EXPECT_EQ(Store([&](Archive& ar) { im.Serialize(ar); }), GoldenImage());

    Image3d<imtype> empty;
    Writer w;
    w << std::int32_t{3} << std::int32_t{0} << std::int32_t{0} << std::int32_t{0} << std::int32_t{0}
      << std::int32_t{1908} << std::uint8_t{0};
    EXPECT_EQ(Store([&](Archive& ar) { empty.Serialize(ar); }), w.b);

    std::vector<float> three = {1, 2, 3};
    EXPECT_EQ(Store([&](Archive& ar) { SerializeFloatVector(ar, three); }).size(), 16u);
}

TEST_F(VoxelArchive, BothCountWidthsLoad) {
    for (bool old : {false, true}) {
        Image3d<imtype> im;
        Load(GoldenImage(old ? 1907 : 1908, !old), [&](Archive& ar) { im.Serialize(ar); });
        ASSERT_EQ(im.GetNumChannels(), 1);
        EXPECT_EQ(im.nz, 4);
        EXPECT_EQ(im.Plane(0), im.GetChannel(0)->Data());
        EXPECT_EQ(im.GetChannel(0)->GetRuntimeClass(), &Chan3d<imtype>::classInfo);
        EXPECT_EQ(static_cast<Chan3d<imtype>*>(im.GetChannel(0))->ny, 3);
        for (int i = 0; i < 24; ++i) EXPECT_EQ(im.GetChannel(0)->Data()[i], i * 1000 + 7);
        EXPECT_EQ(im.GetChannel(0)->Data()[24], 0);  // the spare
        EXPECT_EQ(im.GetChannel(0)->GetAllocator(), &im.GetAllocator());
    }
}

template <class T>
T Pattern(int i) {
    if constexpr (std::is_floating_point_v<T>)
        return static_cast<T>(i) * 0.25f - 3.0f;
    else
        return static_cast<T>(static_cast<ullong>(i) * 0x9E3779B97F4A7C15ull >> 7);
}

template <class I, class T>
void RoundTrip(I&& im, const Dims& dims) {
    const bool keep = im.GetKeepData();
    im.AddChannels(2);
    ASSERT_GE(im.Resize(dims), 0);
    for (int k = 0; k < 2; ++k)
        for (std::uint64_t i = 0; i < im.GetNumVoxels(); ++i)
            im.GetChannel(k)->Data()[i] = Pattern<T>(static_cast<int>(i) + 1000 * k);
    auto back = test::ArchiveRoundTrip<std::remove_cvref_t<I>>(im);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetRuntimeClass(), im.GetRuntimeClass());
    EXPECT_EQ(back->GetDims(), dims);
    EXPECT_EQ(back->GetKeepData(), keep);
    ASSERT_EQ(back->GetNumChannels(), 2);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(back->GetChannel(k)->GetRuntimeClass(), im.GetChannel(k)->GetRuntimeClass());
        EXPECT_EQ(
            std::memcmp(back->GetChannel(k)->Data(), im.GetChannel(k)->Data(), im.GetNumVoxels() * sizeof(T)),
            0);
    }
    if (keep) {
        ASSERT_NE(back->GetScratch(), nullptr);
        EXPECT_EQ(back->GetScratch()->GetNumVoxels(), 0u);  // no block held after the load
    }
}

TEST_F(VoxelArchive, EveryElementTypeRoundTrips) {
    RoundTrip<Image2d<imtype>, imtype>(Image2d<imtype>(), {5, 3});
    RoundTrip<Image2d<float>, float>(Image2d<float>(), {5, 3});
    RoundTrip<Image2d<uint8>, uint8>(Image2d<uint8>(), {7, 2});
    RoundTrip<Image2d<ullong>, ullong>(Image2d<ullong>(), {2, 9});
    RoundTrip<Image2d<int>, int>(Image2d<int>(), {4, 4});  // never made by the program, read alike
    RoundTrip<Image3d<imtype>, imtype>(Image3d<imtype>(true), {3, 4, 5});
    RoundTrip<Image3d<ullong>, ullong>(Image3d<ullong>(), {3, 4, 5});
    RoundTrip<Image3d<disptype>, disptype>(Image3d<disptype>(), {3, 4, 5});
    RoundTrip<Image<float>, float>(Image<float>(4, false), {3, 4, 5, 2});
    RoundTrip<Image<disptype>, disptype>(Image<disptype>(1, true), {6});
}

TEST_F(VoxelArchive, ChunkedTransferIsOneContiguousRun) {
    std::vector<imtype> v(11);
    for (int i = 0; i < 11; ++i) v[i] = static_cast<imtype>(i * 3);
    for (std::uint64_t chunk : {2ull, 4ull, 11ull, 12ull}) {
        std::uint64_t n = 11;
        imtype* p = v.data();
        Bytes b = Store([&](Archive& ar) { SerializeVoxelBlock(ar, &p, &n, 1908, nullptr, false, chunk); });
        ASSERT_EQ(b.size(), 8u + 22u);
        EXPECT_EQ(std::memcmp(b.data() + 8, v.data(), 22), 0);
        imtype* back = nullptr;
        std::uint64_t m = 0;
        VoxelAllocator a(0);
        Load(b, [&](Archive& ar) { SerializeVoxelBlock(ar, &back, &m, 1908, &a, true, chunk); });
        ASSERT_EQ(m, 11u);
        EXPECT_EQ(std::memcmp(back, v.data(), 22), 0);
        EXPECT_EQ(back[11], 0);
        VoxelAllocator::Free(back);
    }
    EXPECT_EQ(VoxelChunkElements<uint8>(), 0xFFFFFFFEull);
    EXPECT_EQ(VoxelChunkElements<imtype>(), 0x7FFFFFFEull);
    EXPECT_EQ(VoxelChunkElements<float>(), 0x3FFFFFFEull);
    EXPECT_EQ(VoxelChunkElements<ullong>(), 0x1FFFFFFEull);
}

TEST_F(VoxelArchive, LargeCountsAreJudgedByTheGuard) {
    // A count beyond 32 bits is not refused for its size alone: once the stream shows its first
    // voxels, the guard decides.
    Writer w;
    w << std::uint64_t{(1ull << 32) + 5};
    w.b.resize(w.b.size() + (1 << 20));
    ScriptedMemory mem(1ull << 40, 0);
    VoxelAllocator a(5);
    imtype* p = nullptr;
    std::uint64_t m = 0;
    EXPECT_THROW(Load(w.b, [&](Archive& ar) { SerializeVoxelBlock(ar, &p, &m, 1908, &a, true); }),
                 std::bad_alloc);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(mem.Queries(), 1);
}

TEST_F(VoxelArchive, AHugeGridInAShortStreamIsDamageNotAShortageOfMemory) {
    // A 40000 x 40000 grid with keep-data set and a few voxels: nothing grid-sized is asked of
    // the guard (no scratch block, no voxel block) before the stream runs out.
    Writer w;
    w << std::int32_t{3} << std::int32_t{40000} << std::int32_t{40000} << std::int32_t{1} << std::int32_t{1};
    w.Name("Chan3dimtype") << std::int32_t{3} << std::int32_t{40000} << std::int32_t{40000} << std::int32_t{1}
                           << std::int32_t{1908};
    w << std::int32_t{1908} << std::uint8_t{1} << std::uint64_t{1600000000};
    for (int i = 0; i < 100; ++i) w << imtype{7};
    ScriptedMemory mem(1ull << 40, 1ull << 20);
    Image3d<imtype> im;
    try {
        Load(w.b, [&](Archive& ar) { im.Serialize(ar); });
        ADD_FAILURE() << "accepted";
    } catch (const ArchiveException& e) {
        EXPECT_EQ(e.cause(), ArchiveException::endOfFile);
    } catch (const std::bad_alloc&) {
        ADD_FAILURE() << "reported as a shortage of memory";
    }
    EXPECT_EQ(mem.Queries(), 0);
    EXPECT_EQ(im.GetNumChannels(), 0);

    // Keep-data with no channel at all cannot show its grid: refused.
    Writer none;
    none << std::int32_t{3} << std::int32_t{40000} << std::int32_t{40000} << std::int32_t{1}
         << std::int32_t{0} << std::int32_t{1908} << std::uint8_t{1};
    Image3d<imtype> empty;
    EXPECT_THROW(Load(none.b, [&](Archive& ar) { empty.Serialize(ar); }), ArchiveException);
    EXPECT_EQ(mem.Queries(), 0);
}

TEST_F(VoxelArchive, DamagedImagesAreRefusedCleanly) {
    const Bytes good = GoldenImage();
    // Every truncation: refused by the archive, and whatever channels remain are complete.
    for (std::size_t len = 0; len < good.size(); ++len) {
        Image3d<imtype> im;
        Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(len));
        EXPECT_THROW(Load(cut, [&](Archive& ar) { im.Serialize(ar); }), ArchiveException) << len;
        EXPECT_EQ(im.GetNumChannels(), 0) << len;
    }
    // A voxel count that does not match the image.
    Bytes badCount = good;
    badCount[good.size() - 48 - 8] = 23;
    Image3d<imtype> im;
    EXPECT_THROW(Load(badCount, [&](Archive& ar) { im.Serialize(ar); }), ArchiveException);
    EXPECT_EQ(im.GetNumChannels(), 0);
    // A channel whose extents differ from the image's.
    Bytes badChan = good;
    badChan[4 * 5 + 18 + 8] = 9;  // the channel's second extent
    EXPECT_THROW(Load(badChan, [&](Archive& ar) { im.Serialize(ar); }), ArchiveException);
    // Negative counts and extents.
    Bytes negAxes = good;
    negAxes[3] = 0x80;
    EXPECT_THROW(Load(negAxes, [&](Archive& ar) { im.Serialize(ar); }), ArchiveException);
    Bytes negExtent = good;
    negExtent[7] = 0xFF;
    EXPECT_THROW(Load(negExtent, [&](Archive& ar) { im.Serialize(ar); }), ArchiveException);
    // A 3-D image stored with two axes.
    Writer w;
    w << std::int32_t{2} << std::int32_t{2} << std::int32_t{3} << std::int32_t{0} << std::int32_t{1908}
      << std::uint8_t{0};
    EXPECT_THROW(Load(w.b, [&](Archive& ar) { im.Serialize(ar); }), ArchiveException);
    // Random damage never reads or writes out of bounds (the sanitizer run watches).
    std::mt19937 rng(7);
    for (int t = 0; t < 300; ++t) {
        Bytes b = good;
        for (int k = 0; k < 3; ++k) b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
        Image3d<imtype> r;
        try {
            Load(b, [&](Archive& ar) { r.Serialize(ar); });
        } catch (const ArchiveException&) {
        } catch (const std::bad_alloc&) {
        }
        for (int k = 0; k < r.GetNumChannels(); ++k)
            EXPECT_EQ(r.GetChannel(k)->GetNumVoxels(), r.GetNumVoxels());
    }
}

TEST_F(VoxelArchive, RefusedBlockKeepsTheChannelsReadBefore) {
    Image3d<imtype> src;
    src.AddChannels(3);
    src.Resize({4, 4, 4});
    for (int k = 0; k < 3; ++k) src.GetChannel(k)->Data()[5] = static_cast<imtype>(k + 1);
    Bytes b = Store([&](Archive& ar) { src.Serialize(ar); });
    Image3d<imtype> im;
    im.GetAllocator().remainPercent = 10;
    ScriptedMemory mem(1ull << 32, 1ull << 31, 3);  // the third block is refused
    EXPECT_THROW(Load(b, [&](Archive& ar) { im.Serialize(ar); }), std::bad_alloc);
    ASSERT_EQ(im.GetNumChannels(), 2);
    EXPECT_EQ(im.GetChannel(1)->Data()[5], 2);
    EXPECT_EQ(im.Plane(1), im.GetChannel(1)->Data());
}

TEST_F(VoxelArchive, KeepDataByteMakesAScratch) {
    Bytes b = GoldenImage();
    b[b.size() - 48 - 8 - 1] = 5;  // any non-zero byte is set
    Image3d<imtype> im;
    Load(b, [&](Archive& ar) { im.Serialize(ar); });
    EXPECT_TRUE(im.GetKeepData());
    ASSERT_NE(im.GetScratch(), nullptr);
    EXPECT_EQ(im.GetScratch()->GetNumVoxels(), 0u);
}

TEST_F(VoxelArchive, ChannelsOfAnotherTypeAreRefused) {
    Image2d<float> f;
    f.AddChannels(1);
    f.Resize({2, 2});
    Bytes b = Store([&](Archive& ar) { f.Serialize(ar); });
    Image2d<imtype> im;
    try {
        Load(b, [&](Archive& ar) { im.Serialize(ar); });
        FAIL();
    } catch (const ArchiveException& e) {
        EXPECT_EQ(e.cause(), ArchiveException::badClass);
    }
    EXPECT_EQ(im.GetNumChannels(), 0);
}

TEST_F(VoxelArchive, ClassNamesAndKindOfChains) {
    const char* names[] = {
        "Imageimtype",  "Imagefloat",    "Imageuint8",    "Imageullong",     "Imagedisptype",
        "Imageint",     "Image2dimtype", "Image2dfloat",  "Image2duint8",    "Image2dullong",
        "Image2dint",   "Image3dimtype", "Image3dullong", "Image3ddisptype", "Chanimtype",
        "Chanfloat",    "Chanuint8",     "Chanullong",    "Chandisptype",    "Chanint",
        "ChanXdimtype", "ChanXdfloat",   "ChanXduint8",   "ChanXdullong",    "ChanXddisptype",
        "ChanXdint",    "Chan2dimtype",  "Chan2dfloat",   "Chan2duint8",     "Chan2dullong",
        "Chan2dint",    "Chan3dimtype",  "Chan3dullong",  "Chan3ddisptype",  "Matrixfloat"};
    ASSERT_EQ(std::size(names), 35u);
    for (const char* n : names) {
        const ClassInfo* c = ClassRegistry::Instance().Find(n);
        ASSERT_NE(c, nullptr) << n;
        EXPECT_STREQ(c->name, n);
        EXPECT_TRUE(c->versionable);
        EXPECT_EQ(c->schema, 0u);
        auto obj = c->CreateObject();
        ASSERT_TRUE(obj) << n;
        EXPECT_EQ(obj->GetRuntimeClass(), c);
    }
    for (const char* absent : {"Image2ddisptype", "Image3dfloat", "Chan3duint8", "Chan2ddisptype"})
        EXPECT_EQ(ClassRegistry::Instance().Find(absent), nullptr);

    EXPECT_EQ(Chan3d<imtype>::classInfo.base, &ChanXd<imtype>::classInfo);
    EXPECT_EQ(Chan2d<int>::classInfo.base, &ChanXd<int>::classInfo);
    EXPECT_EQ(ChanXd<float>::classInfo.base, &Chan<float>::classInfo);
    EXPECT_EQ(Chan<uint8>::classInfo.base, &Serializable::classSerializable);
    EXPECT_EQ(Image3d<disptype>::classInfo.base, &Image<disptype>::classInfo);
    EXPECT_EQ(Image<ullong>::classInfo.base, &Serializable::classSerializable);
    EXPECT_EQ(Matrix<float>::classInfo.base, &Serializable::classSerializable);
    EXPECT_TRUE(Chan3d<imtype>::classInfo.IsDerivedFrom(&Chan<imtype>::classInfo));
    EXPECT_FALSE(Chan3d<imtype>::classInfo.IsDerivedFrom(&Chan<ullong>::classInfo));

    // Factory shells: no axes, no block.
    Chan3d<ullong> shell;
    EXPECT_EQ(shell.GetNumVoxels(), 0u);
    EXPECT_EQ(shell.Data(), nullptr);
    EXPECT_EQ(shell.nz, 0);
    Image3d<imtype> im;
    EXPECT_EQ(im.GetDims(), (Dims{0, 0, 0}));
    EXPECT_EQ(Image<int>().GetDims().size(), 0u);
}

TEST_F(VoxelArchive, VectorHelpers) {
    std::vector<int> iv = {3, -1, 7};
    std::vector<NamedValue> nv = {{1.5f, "a"}, {-2.0f, "bb"}};
    std::vector<std::string> sv = {"x", "", "yz"};
    Bytes b = Store([&](Archive& ar) {
        SerializeIntVector(ar, iv);
        SerializeNamedValues(ar, nv);
        SerializeStringVector(ar, sv);
    });
    EXPECT_EQ(b.size(), 16u + (4 + 4 + 2 + 4 + 3) + (4 + 2 + 1 + 3));
    std::vector<int> iv2 = {9};
    std::vector<NamedValue> nv2;
    std::vector<std::string> sv2 = {"old"};
    Load(b, [&](Archive& ar) {
        SerializeIntVector(ar, iv2);
        SerializeNamedValues(ar, nv2);
        SerializeStringVector(ar, sv2);
    });
    EXPECT_EQ(iv2, iv);
    ASSERT_EQ(nv2.size(), 2u);
    EXPECT_EQ(nv2[1].name, "bb");
    EXPECT_EQ(nv2[1].value, -2.0f);
    EXPECT_EQ(sv2, sv);
    // A huge count in a short archive ends at the end of the data.
    Writer w;
    w << std::int32_t{0x7FFFFFFF} << std::int32_t{1};
    EXPECT_THROW(Load(w.b, [&](Archive& ar) { SerializeIntVector(ar, iv2); }), ArchiveException);
}

TEST_F(VoxelArchive, FloatMatrix) {
    Matrix<float> m;
    m.Resize(2, 3);
    for (int i = 0; i < 6; ++i) m[i / 3][i % 3] = static_cast<float>(i + 1);
    Writer w;
    w << std::int32_t{2} << std::int32_t{3};
    for (int i = 1; i <= 6; ++i) w << static_cast<float>(i);
    EXPECT_EQ(Store([&](Archive& ar) { m.Serialize(ar); }), w.b);
    Matrix<float> back;
    Load(w.b, [&](Archive& ar) { back.Serialize(ar); });
    EXPECT_EQ(back(1, 0), 4.0f);
    EXPECT_EQ(back.Rows(), 2);

    Matrix<float> empty;
    empty.Resize(0, 5);
    Bytes e = Store([&](Archive& ar) { empty.Serialize(ar); });
    EXPECT_EQ(e.size(), 8u);
    Load(e, [&](Archive& ar) { back.Serialize(ar); });
    EXPECT_EQ(back.Cols(), 5);
    EXPECT_EQ(back.Data(), nullptr);

    Matrix<float> a, b3, b2;
    a.Resize(3, 3);
    b3.Resize(3, 3);
    b2.Resize(2, 3);
    for (int i = 0; i < 9; ++i) a[i / 3][i % 3] = static_cast<float>(i);
    const float* keep = b3.Data();
    b3 = a;
    EXPECT_EQ(b3.Data(), keep);
    EXPECT_EQ(b3(2, 2), 8.0f);
    b2 = a;
    EXPECT_EQ(b2.Rows(), 3);
    EXPECT_EQ(b2(2, 1), 7.0f);
    Matrix<float> copy(a);
    EXPECT_EQ(copy(1, 2), 5.0f);

    // Negative or oversized sizes are refused without taking memory for them.
    Writer neg;
    neg << std::int32_t{-1} << std::int32_t{3};
    EXPECT_THROW(Load(neg.b, [&](Archive& ar) { back.Serialize(ar); }), ArchiveException);
    Writer huge;
    huge << std::int32_t{0x7FFFFFFF} << std::int32_t{0x7FFFFFFF} << 1.0f;
    EXPECT_THROW(Load(huge.b, [&](Archive& ar) { back.Serialize(ar); }), ArchiveException);
    EXPECT_EQ(back.Cols(), 5);
}

}  // namespace
}  // namespace zun
