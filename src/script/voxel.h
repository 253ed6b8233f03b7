#pragma once

#include <map>
#include <string>

#include "script/scalar.h"
#include "script/vector.h"
#include "script/voxelword.h"

namespace zun::script {

inline constexpr uint16_t kValueBits = 0x3FFF;
inline constexpr uint16_t kRoBit = 0x4000;
inline constexpr uint16_t kErrBit = 0x8000;

// The physical and normalised values of a word (computed in double, rounded to float).
inline float PhysOf(uint16_t w, float min, float max) {
    return static_cast<float>(static_cast<double>(min) +
                              (static_cast<double>(max) - static_cast<double>(min)) * (w & kValueBits) /
                                  16383.0);
}
inline float LogOf(uint16_t w) {
    return static_cast<float>((w & kValueBits) / 16383.0);
}
// Clamps into [min, max] (NaN to max) and sets the value bits; the flags stay.
inline void PutClamped(uint16_t* w, float f, float min, float max) {
    if (std::isnan(f) || f > max) f = max;
    if (f < min) f = min;
    SetVoxelWordFromValue(w, f, max, min);
}
inline void PutValueBits(uint16_t* w, uint16_t u) {
    *w = static_cast<uint16_t>((*w & (kRoBit | kErrBit)) | (u & kValueBits));
}

// One voxel of a channel: a scalar whose storage is the voxel word itself, with cached views.
class ZunValue : public ScalarExt {
public:
    ZunValue(ValuePool* pool, uint16_t* word, float min, float max)
        : ScalarExt(pool, kUShort, word), word_(word), min_(min), max_(max) {}

    bool IsDocumentData() const override { return true; }
    bool IsWritable() const override { return true; }
    Value* ApplySelectors(const ValueList& selectors, size_t first) override;
    Value* Field(const char* name) override;
    void PutBool(bool) override;
    void PutString(const char*) override;

private:
    uint16_t* word_;
    float min_, max_;
    std::map<std::string, Value*> views_;
};

// Base of the scalar views of a voxel word.
class ZunDerived : public ScalarValue {
public:
    ZunDerived(ValuePool* pool, int type, uint16_t* word) : ScalarValue(pool, type), word_(word) {}
    bool IsDocumentData() const override { return true; }
    bool IsWritable() const override { return true; }
    const char* GetString() override;
    void PutString(const char*) override;

protected:
    void* Storage() override { return nullptr; }
    uint16_t* word_;
};

// "val" (the whole word) and "raw" (the 14-bit value): writes keep the flags and wrap at 14 bits.
class ZunUshort : public ZunDerived {
public:
    ZunUshort(ValuePool* pool, uint16_t* word, bool raw) : ZunDerived(pool, kUShort, word), raw_(raw) {}
    int8_t GetChar() override { return ReadChar(kUShort, &(tmp_ = Read())); }
    uint16_t GetUShort() override { return Read(); }
    int16_t GetShort() override { return static_cast<int16_t>(Read()); }
    uint32_t GetUInt() override { return Read(); }
    int32_t GetInt() override { return Read(); }
    float GetFloat() override { return Read(); }
    double GetDouble() override { return Read(); }
    bool GetBool() override { return Read() != 0; }
    void PutBool(bool) override;
    void PutDouble(double x) override { PutValueBits(word_, static_cast<uint16_t>(TruncToI32(x))); }
    void PutFloat(float x) override { PutDouble(x); }
    void PutInt(int32_t x) override { PutValueBits(word_, static_cast<uint16_t>(x)); }
    void PutUInt(uint32_t x) override { PutValueBits(word_, static_cast<uint16_t>(x)); }
    void PutShort(int16_t x) override { PutValueBits(word_, static_cast<uint16_t>(x)); }
    void PutUShort(uint16_t x) override { PutValueBits(word_, x); }
    void PutChar(int8_t x) override { PutValueBits(word_, static_cast<uint16_t>(static_cast<int16_t>(x))); }

private:
    uint16_t Read() const { return raw_ ? static_cast<uint16_t>(*word_ & kValueBits) : *word_; }
    bool raw_;
    uint16_t tmp_ = 0;
};

// "log" (v / 16383) and "phys" (the channel's physical value): writes clamp into the range.
class ZunFloat : public ZunDerived {
public:
    ZunFloat(ValuePool* pool, uint16_t* word, float min, float max, bool phys)
        : ZunDerived(pool, kFloat, word), min_(min), max_(max), phys_(phys) {}
    int8_t GetChar() override { return ReadChar(kFloat, &(tmp_ = GetFloat())); }
    uint16_t GetUShort() override { return ReadUShort(kFloat, &(tmp_ = GetFloat())); }
    int16_t GetShort() override { return ReadShort(kFloat, &(tmp_ = GetFloat())); }
    uint32_t GetUInt() override { return ReadUInt(kFloat, &(tmp_ = GetFloat())); }
    int32_t GetInt() override { return ReadInt(kFloat, &(tmp_ = GetFloat())); }
    float GetFloat() override { return phys_ ? PhysOf(*word_, min_, max_) : LogOf(*word_); }
    double GetDouble() override { return GetFloat(); }
    bool GetBool() override;
    void PutBool(bool) override;
    void PutFloat(float f) override {
        if (phys_) {
            PutClamped(word_, f, min_, max_);
        } else {
            PutClamped(word_, f, 0.0f, 1.0f);
        }
    }
    void PutDouble(double x) override { PutFloat(static_cast<float>(x)); }
    void PutInt(int32_t x) override { PutFloat(static_cast<float>(x)); }
    void PutUInt(uint32_t x) override { PutFloat(static_cast<float>(x)); }
    void PutShort(int16_t x) override { PutFloat(static_cast<float>(x)); }
    void PutUShort(uint16_t x) override { PutFloat(static_cast<float>(x)); }
    void PutChar(int8_t x) override { PutFloat(static_cast<float>(x)); }

private:
    float min_, max_;
    bool phys_;
    float tmp_ = 0.0f;
};

// "ro" (bit 14) and "err" (bit 15): only bools go in and out.
class ZunFlagBit : public ZunDerived {
public:
    ZunFlagBit(ValuePool* pool, uint16_t* word, uint16_t bit) : ZunDerived(pool, kBool, word), bit_(bit) {}
    Value* Unary(UnOp op, bool apply) override;
    int8_t GetChar() override;
    uint16_t GetUShort() override;
    int16_t GetShort() override;
    uint32_t GetUInt() override;
    int32_t GetInt() override;
    float GetFloat() override;
    double GetDouble() override;
    bool GetBool() override { return (*word_ & bit_) != 0; }
    void PutBool(bool b) override { *word_ = static_cast<uint16_t>(b ? (*word_ | bit_) : (*word_ & ~bit_)); }
    void PutDouble(double) override;
    void PutFloat(float) override;
    void PutInt(int32_t) override;
    void PutUInt(uint32_t) override;
    void PutShort(int16_t) override;
    void PutUShort(uint16_t) override;
    void PutChar(int8_t) override;

private:
    uint16_t bit_;
};

// The vector views "data" {phys, log, raw}, "flags" {ro, err} and "all" {data, flags}; their
// elements are the voxel's own cached views and are looked up by name.
class ZunGroup : public VectorDynamic {
public:
    ZunGroup(ValuePool* pool, std::vector<std::string> names)
        : VectorDynamic(pool), names_(std::move(names)) {}
    void Add(Value* v) { elements_.push_back(v); }
    Value* Field(const char* name) override;

private:
    std::vector<std::string> names_;
};

}  // namespace zun::script
