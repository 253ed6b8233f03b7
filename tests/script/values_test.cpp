#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "memorydocument.h"
#include "script/scalar.h"
#include "script/vector.h"

namespace zun::script {
namespace {

struct Reads {
    int8_t c;
    uint16_t us;
    int16_t s;
    uint32_t ui;
    int32_t i;
    float f;
    double d;
    bool b;
};

class ScalarTest : public ::testing::Test {
protected:
    Value* Make(int type) { return pool.Make<ScalarRW>(type); }
    Reads ReadAll(Value* v) {
        return {v->GetChar(), v->GetUShort(), v->GetShort(),  v->GetUInt(),
                v->GetInt(),  v->GetFloat(),  v->GetDouble(), v->GetBool()};
    }
    void ExpectReads(Value* v, Reads e, const char* what) {
        Reads r = ReadAll(v);
        EXPECT_EQ(r.c, e.c) << what;
        EXPECT_EQ(r.us, e.us) << what;
        EXPECT_EQ(r.s, e.s) << what;
        EXPECT_EQ(r.ui, e.ui) << what;
        EXPECT_EQ(r.i, e.i) << what;
        EXPECT_EQ(v->GetLong(), e.i) << what;
        EXPECT_EQ(r.f, e.f) << what;
        EXPECT_EQ(r.d, e.d) << what;
        EXPECT_EQ(r.b, e.b) << what;
    }
    ValuePool pool;
};

TEST_F(ScalarTest, ReadConversionsByStoredType) {
    Value* v = Make(kChar);
    v->PutChar(-5);
    ExpectReads(v, {-5, 65531, -5, 4294967291u, -5, -5.0f, -5.0, true}, "char");
    v = Make(kUShort);
    v->PutUShort(65535);
    ExpectReads(v, {-1, 65535, -1, 65535u, 65535, 65535.0f, 65535.0, true}, "ushort");
    v = Make(kShort);
    v->PutShort(-2);
    ExpectReads(v, {-2, 65534, -2, 4294967294u, -2, -2.0f, -2.0, true}, "short");
    v = Make(kUInt);
    v->PutUInt(4294967295u);
    ExpectReads(v, {-1, 65535, -1, 4294967295u, -1, 4294967296.0f, 4294967295.0, true}, "uint");
    for (int t : {kInt, kLong}) {
        v = Make(t);
        v->PutInt(70000);
        ExpectReads(v, {112, 4464, 4464, 70000u, 70000, 70000.0f, 70000.0, true}, "int/long");
    }
    v = Make(kFloat);
    v->PutFloat(300.7f);
    ExpectReads(v, {44, 300, 300, 300u, 300, 300.7f, double(300.7f), true}, "float");
    v->PutFloat(0.5f);
    EXPECT_FALSE(v->GetBool()) << "truncation comes first";
    v = Make(kDouble);
    v->PutDouble(-1.5);
    ExpectReads(v, {-1, 65535, -1, 4294967295u, -1, -1.5f, -1.5, true}, "double -1.5");
    v->PutDouble(1e10);
    ExpectReads(v, {0, 0, -7168, 1410065408u, 1410065408, 1e10f, 1e10, true}, "double 1e10");
    v->PutDouble(std::numeric_limits<double>::quiet_NaN());
    Reads r = ReadAll(v);
    EXPECT_EQ(r.c, 0);
    EXPECT_EQ(r.us, 0);
    EXPECT_EQ(r.s, 0);
    EXPECT_EQ(r.i, 0);
    v->PutDouble(-std::numeric_limits<double>::infinity());
    EXPECT_EQ(v->GetInt(), 0);
    v = Make(kBool);
    v->PutBool(true);
    ExpectReads(v, {0, 0, 0, 0u, 0, 0.0f, 0.0, true}, "bool");
    v = Make(kString);
    v->PutString("abc");
    ExpectReads(v, {0, 0, 0, 0u, 0, 0.0f, 0.0, false}, "string");
    EXPECT_EQ(v->ElementSize(), 3);
    EXPECT_STREQ(v->GetString(), "abc");
}

TEST_F(ScalarTest, WriteConversionsByReceiverType) {
    auto put = [&](int type, auto fn) {
        Value* v = Make(type);
        fn(v);
        return v;
    };
    EXPECT_EQ(put(kUShort, [](Value* v) { v->PutChar(-1); })->GetUShort(), 65535);
    EXPECT_EQ(put(kUInt, [](Value* v) { v->PutChar(-1); })->GetUInt(), 4294967295u);
    EXPECT_EQ(put(kFloat, [](Value* v) { v->PutChar(-1); })->GetFloat(), -1.0f);
    EXPECT_TRUE(put(kBool, [](Value* v) { v->PutChar(-1); })->GetBool());
    EXPECT_EQ(put(kChar, [](Value* v) { v->PutUShort(65535); })->GetChar(), -1);
    EXPECT_EQ(put(kInt, [](Value* v) { v->PutUShort(65535); })->GetInt(), 65535);
    EXPECT_EQ(put(kShort, [](Value* v) { v->PutUShort(65535); })->GetShort(), -1);
    EXPECT_EQ(put(kInt, [](Value* v) { v->PutShort(-1); })->GetInt(), -1);
    EXPECT_EQ(put(kUInt, [](Value* v) { v->PutShort(-1); })->GetUInt(), 4294967295u);
    EXPECT_EQ(put(kChar, [](Value* v) { v->PutUInt(4294967295u); })->GetChar(), -1);
    EXPECT_EQ(put(kUShort, [](Value* v) { v->PutUInt(4294967295u); })->GetUShort(), 65535);
    EXPECT_EQ(put(kInt, [](Value* v) { v->PutUInt(4294967295u); })->GetInt(), -1);
    EXPECT_EQ(put(kFloat, [](Value* v) { v->PutUInt(4294967295u); })->GetFloat(), 4294967296.0f);
    EXPECT_EQ(put(kDouble, [](Value* v) { v->PutUInt(4294967295u); })->GetDouble(), 4294967295.0);
    EXPECT_EQ(put(kFloat, [](Value* v) { v->PutInt(16777217); })->GetFloat(), 16777216.0f);
    EXPECT_EQ(put(kUShort, [](Value* v) { v->PutInt(-1); })->GetUShort(), 65535);
    EXPECT_TRUE(put(kBool, [](Value* v) { v->PutInt(3); })->GetBool());
    EXPECT_FALSE(put(kBool, [](Value* v) { v->PutInt(0); })->GetBool());
    EXPECT_EQ(put(kUShort, [](Value* v) { v->PutFloat(70000.9f); })->GetUShort(), 4464);
    EXPECT_EQ(put(kShort, [](Value* v) { v->PutFloat(70000.9f); })->GetShort(), 4464);
    EXPECT_EQ(put(kChar, [](Value* v) { v->PutFloat(70000.9f); })->GetChar(), 112);
    EXPECT_EQ(put(kInt, [](Value* v) { v->PutFloat(-70000.9f); })->GetInt(), -70000);
    EXPECT_EQ(put(kUShort, [](Value* v) { v->PutDouble(1e10); })->GetUShort(), 0);
    EXPECT_EQ(put(kShort, [](Value* v) { v->PutDouble(1e10); })->GetShort(), -7168);
    EXPECT_EQ(put(kUInt, [](Value* v) { v->PutDouble(1e10); })->GetUInt(), 1410065408u);
    EXPECT_EQ(put(kFloat, [](Value* v) { v->PutDouble(0.1); })->GetFloat(), 0.1f);
    for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300}) {
        EXPECT_EQ(put(kInt, [&](Value* v) { v->PutDouble(bad); })->GetInt(), 0) << bad;
        EXPECT_EQ(put(kChar, [&](Value* v) { v->PutDouble(bad); })->GetChar(), 0) << bad;
        EXPECT_EQ(put(kUShort, [&](Value* v) { v->PutDouble(bad); })->GetUShort(), 0) << bad;
    }
    Value* b = put(kBool, [](Value* v) { v->PutBool(true); });
    b->PutDouble(0.0);
    EXPECT_TRUE(b->GetBool()) << "floating writes leave a bool unchanged";
    Value* s = put(kString, [](Value* v) { v->PutString("x"); });
    s->PutInt(5);
    EXPECT_STREQ(s->GetString(), "x");
}

// Every typed write into every receiver type, read back as the number the receiver holds.
TEST_F(ScalarTest, WriteTableCellByCell) {
    const int receivers[] = {kChar, kUShort, kShort, kUInt, kInt, kLong, kFloat, kDouble};
    struct Row {
        const char* write;
        std::function<void(Value*)> put;
        double expected[8];  // char, ushort, short, uint, int, long, float, double
        bool boolAfter;      // what a false bool holds afterwards
    };
    const Row rows[] = {
        {"PutChar(-1)",
         [](Value* v) { v->PutChar(-1); },
         {-1, 65535, -1, 4294967295.0, -1, -1, -1, -1},
         true},
        {"PutUShort(65535)",
         [](Value* v) { v->PutUShort(65535); },
         {-1, 65535, -1, 65535, 65535, 65535, 65535, 65535},
         true},
        {"PutShort(-1)",
         [](Value* v) { v->PutShort(-1); },
         {-1, 65535, -1, 4294967295.0, -1, -1, -1, -1},
         true},
        {"PutUInt(max)",
         [](Value* v) { v->PutUInt(4294967295u); },
         {-1, 65535, -1, 4294967295.0, -1, -1, 4294967296.0, 4294967295.0},
         true},
        {"PutInt(-1)", [](Value* v) { v->PutInt(-1); }, {-1, 65535, -1, 4294967295.0, -1, -1, -1, -1}, true},
        {"PutLong(-1)",
         [](Value* v) { v->PutLong(-1); },
         {-1, 65535, -1, 4294967295.0, -1, -1, -1, -1},
         true},
        {"PutFloat(-70000.9)",
         [](Value* v) { v->PutFloat(-70000.9f); },
         {-112, 61072, -4464, 4294897296.0, -70000, -70000, -70000.9f, double(-70000.9f)},
         false},
        {"PutDouble(1e10)",
         [](Value* v) { v->PutDouble(1e10); },
         {0, 0, -7168, 1410065408, 1410065408, 1410065408, 1e10f, 1e10},
         false},
    };
    for (const Row& row : rows) {
        for (int k = 0; k < 8; ++k) {
            Value* v = Make(receivers[k]);
            row.put(v);
            EXPECT_EQ(v->GetDouble(), row.expected[k]) << row.write << " into type " << receivers[k];
        }
        Value* b = Make(kBool);
        row.put(b);
        EXPECT_EQ(b->GetBool(), row.boolAfter) << row.write << " into bool";
        Value* s = Make(kString);
        s->PutString("keep");
        row.put(s);
        EXPECT_STREQ(s->GetString(), "keep") << row.write << " into string";
    }
}

TEST_F(ScalarTest, ArithmeticWrapsByReceiverType) {
    auto binary = [&](int type, BinOp op, double x, double y) {
        Value* a = Make(kDouble);
        a->PutDouble(x);
        Value* b = Make(kDouble);
        b->PutDouble(y);
        return Make(type)->Binary(op, *a, *b);
    };
    EXPECT_EQ(binary(kInt, BinOp::Add, 2147483647, 1)->GetInt(), -2147483647 - 1);
    EXPECT_EQ(binary(kUShort, BinOp::Sub, 0, 1)->GetUShort(), 65535);
    EXPECT_EQ(binary(kChar, BinOp::Add, 127, 1)->GetChar(), -128);
    EXPECT_EQ(binary(kShort, BinOp::Mul, 200, 200)->GetShort(), -25536);
    EXPECT_EQ(binary(kUInt, BinOp::Sub, 0, 1)->GetUInt(), 4294967295u);
    EXPECT_EQ(binary(kInt, BinOp::Div, 7, 2)->GetInt(), 3);
    EXPECT_EQ(binary(kInt, BinOp::Div, 1, 0)->GetInt(), 0);
    EXPECT_EQ(binary(kInt, BinOp::Mod, -7, 2)->GetInt(), -1);
    EXPECT_EQ(binary(kInt, BinOp::Mod, -2147483648.0, -1)->GetInt(), 0);
    EXPECT_EQ(binary(kInt, BinOp::Shl, 1, 33)->GetInt(), 2);
    EXPECT_EQ(binary(kInt, BinOp::Shl, 1, -1)->GetInt(), -2147483647 - 1);
    EXPECT_EQ(binary(kInt, BinOp::Shr, -8, 1)->GetInt(), -4);
    EXPECT_EQ(binary(kInt, BinOp::BitXor, 6, 3)->GetInt(), 5);
    try {
        binary(kInt, BinOp::Mod, 5, 0);
        FAIL() << "no error";
    } catch (const ScriptError& e) {
        EXPECT_EQ(e.text, "division by zero");
    }
    Value* i = Make(kInt);
    i->PutInt(5);
    Value* zero = Make(kInt);
    zero->PutInt(0);
    EXPECT_THROW(i->AssignWith(AsgOp::Mod, *zero), ScriptError);
    EXPECT_EQ(i->GetInt(), 5) << "a failed remainder leaves the receiver";
}

TEST_F(ScalarTest, ComparisonsWithNaNStringsAndBools) {
    Value* nan = Make(kDouble);
    nan->PutDouble(std::nan(""));
    auto cmp = [&](BinOp op, Value* a, Value* b) { return Make(kBool)->Binary(op, *a, *b)->GetBool(); };
    EXPECT_FALSE(cmp(BinOp::Equal, nan, nan));
    EXPECT_TRUE(cmp(BinOp::NotEqual, nan, nan));
    EXPECT_FALSE(cmp(BinOp::Less, nan, nan));
    EXPECT_FALSE(cmp(BinOp::GreaterEqual, nan, nan));
    auto str = [&](const char* t) {
        Value* v = Make(kString);
        v->PutString(t);
        return v;
    };
    EXPECT_TRUE(cmp(BinOp::Less, str("abc"), str("abd")));
    EXPECT_TRUE(cmp(BinOp::Less, str("ab"), str("abc")));
    EXPECT_TRUE(cmp(BinOp::Greater, str("\x80"), str("a")));
    EXPECT_TRUE(cmp(BinOp::Equal, str("x"), str("x")));
    Value* t = Make(kBool);
    t->PutBool(true);
    Value* f = Make(kBool);
    EXPECT_TRUE(cmp(BinOp::NotEqual, t, f));
    EXPECT_FALSE(cmp(BinOp::Equal, t, f));
}

TEST_F(ScalarTest, ListsTypesAndText) {
    auto dbl = [&](double x) {
        Value* v = Make(kDouble);
        v->PutDouble(x);
        return v;
    };
    ValueList a = {dbl(std::nan("")), dbl(1), dbl(2)};
    EXPECT_TRUE(std::isnan(Make(kDouble)->MaxOf(a)->GetDouble()));
    ValueList b = {dbl(1), dbl(std::nan("")), dbl(2)};
    EXPECT_EQ(Make(kDouble)->MaxOf(b)->GetDouble(), 2.0);
    EXPECT_EQ(Make(kDouble)->SumOf({})->GetDouble(), 0.0);

    EXPECT_EQ(dbl(0.1)->ToString(true), "0.1");
    EXPECT_EQ(dbl(7 / 2.0)->ToString(true), "3.5");
    Value* c = Make(kChar);
    c->PutChar(65);
    EXPECT_EQ(c->ToString(true), "A");
    Value* us = Make(kUShort);
    us->PutInt(-1);
    EXPECT_EQ(us->ToString(true), "65535");

    Value* i = Make(kInt);
    Value* ch = Make(kChar);
    EXPECT_EQ(i->NewForArgs({ch, dbl(1)})->GetType(), kDouble);
    Value* s = Make(kString);
    EXPECT_EQ(s->NewForArgs({dbl(1)})->GetType(), kString);
    EXPECT_EQ(dbl(2.9)->Cast(kInt)->GetInt(), 2);
    EXPECT_EQ(dbl(-2.9)->Cast(kInt)->GetInt(), -2);
    EXPECT_EQ(Make(kUInt)->PromotedType(*i), kUInt == 4 ? kInt : 0);
    EXPECT_EQ(Make(kLong)->PromotedType(*Make(kFloat)), kFloat);
}

TEST_F(ScalarTest, RandomValuesAreReadOnly) {
    Value* ten = Make(kInt);
    ten->PutInt(10);
    Value* five = Make(kInt);
    five->PutInt(5);
    Value* r = ten->MakeRandom(*ten, *five);
    for (int k = 0; k < 200; ++k) {
        const double x = r->GetDouble();
        EXPECT_GE(x, 5.0);
        EXPECT_LE(x, 15.0);
    }
    try {
        r->PutInt(1);
        FAIL();
    } catch (const ScriptError& e) {
        EXPECT_EQ(e.text, "cannot put an int into this value");
    }
    try {
        r->PutUShort(1);
        FAIL();
    } catch (const ScriptError& e) {
        EXPECT_EQ(e.text, "cannot put an unsigned shortr into this value");
    }
    EXPECT_THROW(r->Negate(), ScriptError);
    EXPECT_THROW(r->GetBool(), ScriptError);
}

// Vectors and selectors, through the console as users meet them.
class VectorTest : public ::testing::Test {
protected:
    std::string Run(const std::string& line) { return doc.Run(line); }
    test::MemoryDocument doc;
};

TEST_F(VectorTest, TextForms) {
    EXPECT_EQ(Run("{1,2,3}"), "{1,2,3}");
    EXPECT_EQ(Run("{}"), "{}");
    EXPECT_EQ(Run("{1}"), "{1}");
    EXPECT_EQ(Run("{{1,2},{3,4}}"), "{{1,2},{3,4}}");
    EXPECT_EQ(Run("0 .. 60"), "{0,...}");
    EXPECT_EQ(Run("1, 2.5, 'c', \"s\", true"), "{1,2.5,c,\"s\",true}");
}

TEST_F(VectorTest, SelectorsAndBroadcasting) {
    EXPECT_EQ(Run("{10,20,30}[1]"), "20");
    EXPECT_EQ(Run("{10,20,30}[2,0]"), "{30,10}");
    EXPECT_EQ(Run("{10,20,30}[0 ..1]"), "{10,20}");
    EXPECT_EQ(Run("{10,20,30}[]"), "{10,20,30}");
    EXPECT_EQ(Run("{{1,2},{3,4}}[1][0]"), "3");
    EXPECT_EQ(Run("{10,20,30}[-1]"), "invalid index");
    EXPECT_EQ(Run("{10,20,30}[3]"), "invalid index");
    EXPECT_EQ(Run("{10,20,30}[{{{1}}}]"), "subscripts can contain only integral scalars, or ranges of them");
    EXPECT_EQ(Run("{10,20,30}[1.5]"), "subscript values must be integral");
    EXPECT_EQ(Run("3[0]"), "cannot apply a subscript or field to a scalar");
    EXPECT_EQ(Run("(3).x"), "cannot apply a subscript or field to a scalar");
    EXPECT_EQ(Run("{1,2,3} + 1"), "{2,3,4}");
    EXPECT_EQ(Run("{1,2,3} * {2,2,2}"), "{2,4,6}");
    EXPECT_EQ(Run("{1,2,3} + {1,2}"), "incompatible types for *,/,+,- expression");
    EXPECT_EQ(Run("{1,2} ? 1 : {1,2,3}"),
              "all arguments in a conditional expression must have compatible sizes");
    EXPECT_EQ(Run("{1,2} ? \"a\" : 1"),
              "the last two arguments of a conditional expression must have compatible types");
    EXPECT_EQ(Run("1.5 ? 1 : 2"), "conditional expressions must have a boolean or integral test argument");
    EXPECT_EQ(Run("{true,false} ? {1,2} : 5"), "{1,5}");
    EXPECT_EQ(Run("max({1,2},{1,2,3})"), "max() args must have compatible size");
    EXPECT_EQ(Run("sumt({{1,2},{3}})"), "6");
    EXPECT_EQ(Run("maxt({})"), "invalid index");
    EXPECT_EQ(Run("{1,2,1 .. 3}"), "{1,2,1,2,3}");
}

TEST(VectorValues, RectangularAndTotals) try {
    ValuePool pool;
    auto vec = [&](std::initializer_list<Value*> items) {
        auto* v = pool.Make<VectorDynamic>();
        for (Value* i : items) v->Append(i);
        return v;
    };
    auto num = [&](int type, double x) {
        Value* v = pool.Make<ScalarRO>(type);
        v->PutDouble(x);
        return v;
    };
    Value* s = pool.Make<ScalarRO>(kString);
    s->PutString("a");
    EXPECT_FALSE(vec({vec({num(kInt, 1), num(kInt, 2)}), vec({num(kInt, 3)})})->IsRectangular());
    EXPECT_TRUE(vec({num(kInt, 1), num(kDouble, 2.5)})->IsRectangular());
    EXPECT_FALSE(vec({num(kInt, 1), s})->IsRectangular());
    Value* ragged = vec({vec({num(kInt, 1), num(kInt, 2)}), vec({num(kInt, 3)})});
    EXPECT_EQ(ragged->TotalSum(), 6.0);
    EXPECT_EQ(ragged->TotalCount(), 3);
    Value* one = ragged->Element(1);
    ValueList none;
    EXPECT_EQ(ragged->Element(1), one) << "elements are the same objects";
    auto* arr = pool.Make<VectorArray>();
    VectorArray::Build(arr, 2, {4, 3, 2}, kInt);
    EXPECT_EQ(arr->Count(), 2);
    EXPECT_EQ(arr->Element(0)->Count(), 3);
    EXPECT_EQ(arr->Element(0)->Element(0)->Count(), 4);
    EXPECT_EQ(GetDims(*arr), (std::vector<int64_t>{4, 3, 2}));
    EXPECT_EQ(LeafType(*arr), kInt);
    EXPECT_EQ(LeafType(*pool.Make<VectorArray>()), 0);
    PutDoubleAt(*arr, {3, 2, 1}, 7);
    EXPECT_EQ(arr->Element(1)->Element(2)->Element(3)->GetInt(), 7);
    EXPECT_TRUE(ElementAt(*arr, {1})->IsVector());
    try {
        ElementAt(*arr, {0, 0, 0, 0});
        FAIL();
    } catch (const ScriptError& e) {
        EXPECT_EQ(e.text, "coordinate has too many dimensions for array");
    }
    EXPECT_THROW(ElementAt(*arr, {0, 3, 0}), ScriptError);
} catch (const ScriptError& e) {
    FAIL() << e.text;
}

}  // namespace
}  // namespace zun::script
