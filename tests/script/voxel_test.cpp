#include <gtest/gtest.h>

#include <cmath>

#include "memorydocument.h"
#include "script/voxel.h"

namespace zun::script {
namespace {

TEST(SetVoxelWordFromValue, CodesAndRounding) {
    uint16_t w = 0xC000;
    EXPECT_EQ(SetVoxelWordFromValue(&w, 15.0f, 20.0f, 10.0f), 0);
    EXPECT_EQ(w, 0xC000 | 8192);
    EXPECT_EQ(SetVoxelWordFromValue(&w, 25.0f, 20.0f, 10.0f), 2);
    EXPECT_EQ(w, 0xC000 | 16383);
    EXPECT_EQ(SetVoxelWordFromValue(&w, 5.0f, 20.0f, 10.0f), 3);
    EXPECT_EQ(w, 0xC000);
    w = 0x4123;
    EXPECT_EQ(SetVoxelWordFromValue(&w, 5.0f, 5.0f, 5.0f), 1);
    EXPECT_EQ(w, 0x4000);
    // Inside the tolerance above the range counts as the top.
    w = 0;
    EXPECT_EQ(SetVoxelWordFromValue(&w, 20.0000001f, 20.0f, 10.0f), 0);
    EXPECT_EQ(w, 16383);
}

class VoxelTest : public ::testing::Test {
protected:
    Value* Voxel(uint16_t* word) { return pool.Make<ZunValue>(word, 10.0f, 20.0f); }
    std::string Error(auto fn) {
        try {
            fn();
        } catch (const ScriptError& e) {
            return e.text;
        }
        return "";
    }
    ValuePool pool;
};

TEST_F(VoxelTest, ViewsOfOneWord) {
    uint16_t w = 0x4064;
    Value* v = Voxel(&w);
    EXPECT_EQ(v->Field("val")->GetUShort(), 16484);
    EXPECT_EQ(v->Field("raw")->GetUShort(), 100);
    EXPECT_TRUE(v->Field("ro")->GetBool());
    EXPECT_FALSE(v->Field("err")->GetBool());
    EXPECT_EQ(v->Field("log")->GetFloat(), static_cast<float>(100 / 16383.0));
    EXPECT_EQ(v->GetUShort(), 16484);
    EXPECT_EQ(v->Field("phys"), v->Field("phys"));
    EXPECT_EQ(v->Field("data")->Field("phys"), v->Field("phys"));
    EXPECT_EQ(v->Field("data")->Element(0), v->Field("phys"));
    EXPECT_EQ(v->Field("all")->Field("flags")->Field("ro"), v->Field("ro"));
    EXPECT_EQ(Error([&] { v->Field("Phys"); }), "field does not exist");
    EXPECT_EQ(Error([&] { v->Field("data")->Field("ro"); }), "field does not exist");
    EXPECT_EQ(Error([&] { v->Field("phys")->Field("raw"); }), "cannot apply a field to a scalar");
    EXPECT_EQ(v->Field("val")->ToString(true), "16484");
    EXPECT_EQ(v->Field("ro")->ToString(true), "true");
    EXPECT_TRUE(v->IsDocumentData());
    EXPECT_TRUE(v->Field("flags")->IsDocumentData());
}

TEST_F(VoxelTest, WritesKeepFlagsAndClamp) {
    uint16_t w = 0xC000;
    Value* v = Voxel(&w);
    v->Field("raw")->PutInt(20000);
    EXPECT_EQ(w, 0xC000 | 3616);
    v->Field("val")->PutDouble(-1.0);
    EXPECT_EQ(w, 0xC000 | 16383);
    Value* log = v->Field("log");
    log->PutDouble(0.5);
    EXPECT_EQ(w & kValueBits, 8192);
    log->PutDouble(2.0);
    EXPECT_EQ(w & kValueBits, 16383);
    log->PutInt(-1);
    EXPECT_EQ(w & kValueBits, 0);
    log->PutDouble(std::nan(""));
    EXPECT_EQ(w & kValueBits, 16383);
    Value* phys = v->Field("phys");
    EXPECT_EQ(phys->GetFloat(), 20.0f);
    phys->PutInt(15);
    EXPECT_EQ(w & kValueBits, 8192);
    phys->PutFloat(25.0f);
    EXPECT_EQ(w & kValueBits, 16383);
    phys->PutInt(5);
    EXPECT_EQ(w & kValueBits, 0);
    phys->PutDouble(std::nan(""));
    EXPECT_EQ(w & kValueBits, 16383);
    EXPECT_EQ(w & 0xC000, 0xC000);
    uint16_t flat = 0x1234;
    Value* same = pool.Make<ZunValue>(&flat, 5.0f, 5.0f);
    same->Field("phys")->PutDouble(7.0);
    EXPECT_EQ(flat, 0);
    // The bare voxel is the whole word.
    v->PutInt(70000);
    EXPECT_EQ(w, 4464);
    v->PutInt(5);
    EXPECT_EQ(w, 5);
}

TEST_F(VoxelTest, FlagViewsTakeOnlyBools) {
    uint16_t w = 0x0123;
    Value* v = Voxel(&w);
    v->Field("err")->PutBool(true);
    EXPECT_EQ(w, 0x8123);
    v->Field("ro")->PutBool(true);
    v->Field("err")->PutBool(false);
    EXPECT_EQ(w, 0x4123);
    EXPECT_EQ(Error([&] { v->Field("err")->PutInt(1); }), "cannot put an int into this value");
    EXPECT_EQ(Error([&] { v->Field("ro")->GetDouble(); }), "cannot get this value as a double");
    EXPECT_EQ(Error([&] { v->Field("ro")->GetUShort(); }), "cannot get this value as an unsigned short");
    EXPECT_EQ(Error([&] { v->Field("ro")->Clear(); }), "cannot put an int into this value");
    EXPECT_EQ(Error([&] { v->Field("phys")->GetBool(); }), "cannot get this value as a bool");
    EXPECT_EQ(Error([&] { v->Field("raw")->PutBool(true); }), "cannot put a bool into this value");
    EXPECT_EQ(Error([&] { v->Field("log")->GetString(); }), "cannot get this value as a string");
    EXPECT_EQ(Error([&] { v->Field("val")->PutString("x"); }), "cannot put a string into this value");
    EXPECT_EQ(Error([&] { v->PutBool(true); }), "cannot put a bool into this value");
    EXPECT_EQ(w, 0x4123) << "failed writes leave the word";
    v->Field("phys")->Clear();
    EXPECT_EQ(w, 0x4000) << "physical 0 clamps to the bottom of the range";
}

TEST_F(VoxelTest, Selectors) {
    uint16_t w = 16383;
    Value* v = Voxel(&w);
    ValueList none;
    EXPECT_EQ(v->ApplySelectors(none, 0), v->Field("phys"));
    Value* name = pool.Make<ScalarRO>(kString);
    name->PutString("raw");
    Value* phys = pool.Make<ScalarRO>(kString);
    phys->PutString("phys");
    EXPECT_EQ(Error([&] {
                  v->ApplySelectors({nullptr, phys, name}, 1);
              }),
              "cannot apply a subscript or field to a scalar");
    EXPECT_EQ(v->ApplySelectors({nullptr, name}, 1)->GetUShort(), 16383);
}

}  // namespace
}  // namespace zun::script
