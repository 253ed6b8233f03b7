#pragma once

#include "script/value.h"

namespace zun::script {

// A scalar of one of the ten element types. The typed reads and writes go through Storage()
// with the language's conversions; classes with other storage override them.
class ScalarValue : public Value {
public:
    ScalarValue(ValuePool* pool, int type) : Value(pool), type_(type) {}

    bool IsBool() const override { return type_ == kBool; }
    bool IsIntegral() const override { return IsIntegralType(type_); }
    bool IsBoolOrIntegral() const override { return IsBool() || IsIntegral(); }
    bool IsFloating() const override { return IsFloatingType(type_); }
    bool IsNumeric() const override { return IsNumericType(type_); }
    bool IsString() const override { return type_ == kString; }
    bool IsNumericOrString() const override { return IsNumeric() || IsString(); }
    bool IsScalar() const override { return true; }
    bool HasSameType(Value& other) override;
    bool IsCompatible(Value& other) override;
    bool IsAssignableFrom(Value& other) override;
    bool HasCompatibleSize(Value&) override { return true; }
    bool IsWritable() const override { return false; }

    int64_t Count() const override { return 1; }
    int64_t TotalCount() const override { return 1; }
    int64_t ElementSize() const override;
    Value* Element(int64_t) override { return this; }
    std::string ToString(bool full) override;
    Value* ApplySelectors(const ValueList& selectors, size_t first) override;
    Value* Field(const char* name) override;
    int ElementType() override { return GetType(); }

    Value* NewScalar(int type) override;
    Value* NewForArgs(const ValueList& values) override;
    Value* NewResultFor(Value& other) override;
    Value* SizeOf() override;
    Value* MakeRandom(Value& range, Value& offset) override;
    Value* Cast(int type) override;

    Value* Unary(UnOp op, bool apply) override;
    Value* Binary(BinOp op, Value& a, Value& b) override;
    Value* Conditional(Value& test, Value& a, Value& b) override;
    Value* AssignWith(AsgOp op, Value& other) override;
    Value* ListOf(ListOp op, const ValueList& values) override;
    double TotalMax() override { return GetDouble(); }
    double TotalMin() override { return GetDouble(); }
    double TotalSum() override { return GetDouble(); }

    int8_t GetChar() override { return ReadChar(type_, Storage()); }
    uint16_t GetUShort() override { return ReadUShort(type_, Storage()); }
    int16_t GetShort() override { return ReadShort(type_, Storage()); }
    uint32_t GetUInt() override { return ReadUInt(type_, Storage()); }
    int32_t GetInt() override { return ReadInt(type_, Storage()); }
    float GetFloat() override { return ReadFloat(type_, Storage()); }
    double GetDouble() override { return ReadDouble(type_, Storage()); }
    bool GetBool() override { return ReadBool(type_, Storage()); }
    const char* GetString() override;
    int GetType() const override { return type_; }
    void AssignFrom(Value& other) override;
    void PutString(const char* text) override;
    void PutBool(bool b) override { Store<uint8_t>(Storage(), b ? 1 : 0); }
    void PutDouble(double x) override { WriteDouble(type_, Storage(), x); }
    void PutFloat(float x) override { WriteFloat(type_, Storage(), x); }
    void PutInt(int32_t x) override { WriteInt(type_, Storage(), x); }
    void PutUInt(uint32_t x) override { WriteUInt(type_, Storage(), x); }
    void PutShort(int16_t x) override { WriteShort(type_, Storage(), x); }
    void PutUShort(uint16_t x) override { WriteUShort(type_, Storage(), x); }
    void PutChar(int8_t x) override { WriteChar(type_, Storage(), x); }
    int PromotedType(Value& other) override;
    Value* ListOfTotals(ListOp op, const ValueList& values) override;

protected:
    virtual void* Storage() = 0;
    int type_;
};

// A scalar holding its own 8 bytes of storage.
class ScalarLocal : public ScalarValue {
public:
    ScalarLocal(ValuePool* pool, int type) : ScalarValue(pool, type) {}
    bool DescribeBlock(Block& block) override;

protected:
    void* Storage() override { return storage_; }
    alignas(8) unsigned char storage_[8] = {};
};

// Constants, temporaries and every result of NewScalar.
class ScalarRO : public ScalarLocal {
public:
    using ScalarLocal::ScalarLocal;
};

// Variables and array elements.
class ScalarRW : public ScalarLocal {
public:
    using ScalarLocal::ScalarLocal;
    bool IsWritable() const override { return true; }
};

// A scalar whose storage is one element outside the value (a voxel word, an element of a dense
// temporary).
class ScalarExt : public ScalarValue {
public:
    ScalarExt(ValuePool* pool, int type, void* ptr) : ScalarValue(pool, type), ptr_(ptr) {}

protected:
    void* Storage() override { return ptr_; }
    void* ptr_;
};

// A read-only scalar whose every read draws a new pseudo-random number.
class RandValue : public ScalarValue {
public:
    RandValue(ValuePool* pool, int type, double scale, double offset)
        : ScalarValue(pool, type), scale_(scale), offset_(offset) {}

    int8_t GetChar() override { return static_cast<int8_t>(TruncToI64(GetDouble())); }
    uint16_t GetUShort() override { return static_cast<uint16_t>(TruncToI32(GetDouble())); }
    int16_t GetShort() override { return static_cast<int16_t>(TruncToI64(GetDouble())); }
    uint32_t GetUInt() override { return static_cast<uint32_t>(TruncToI64(GetDouble())); }
    int32_t GetInt() override { return ToI32Bits(TruncToI64(GetDouble())); }
    float GetFloat() override { return static_cast<float>(GetDouble()); }
    double GetDouble() override;
    bool GetBool() override;
    const char* GetString() override;
    void PutString(const char*) override;
    void PutBool(bool) override;
    void PutDouble(double) override;
    void PutFloat(float) override;
    void PutInt(int32_t) override;
    void PutUInt(uint32_t) override;
    void PutShort(int16_t) override;
    void PutUShort(uint16_t) override;
    void PutChar(int8_t) override;

protected:
    void* Storage() override { return nullptr; }

private:
    double scale_, offset_;
};

// The language's own 15-bit generator (the classic linear congruential one), shared by random
// values and shake, started at 1 and never reseeded by the language.
int ScriptRand();
void SeedScriptRand(uint32_t seed);
// The generator's state, so that a long run of draws can be split into chunks computed apart:
// each chunk starts from the state `steps` draws after the run's start.
uint32_t ScriptRandState();
uint32_t ScriptRandAfter(uint32_t state, uint64_t steps);
inline int ScriptRandNext(uint32_t& state) {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
}
// What a random value (whatever its type) answers when read as readType: the draw scaled and
// shifted, converted as the typed reads of RandValue convert it.
double RandomReadAs(int readType, double raw);

// "%g" of a float, as the console prints floating values.
std::string FormatFloat(float f);

}  // namespace zun::script
