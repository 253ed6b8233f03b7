#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "script/convert.h"
#include "script/messages.h"

namespace zun::script {

class SyntaxNode;
class Value;
class ValuePool;
struct Block;

using ValueList = std::vector<Value*>;

// A failure of the language and its message.
struct ScriptError {
    std::string text;
};
[[noreturn]] void Raise(const char* text);
inline void Check(bool ok, const char* text) {
    if (!ok) Raise(text);
}
// A message that names what failed ("variable does not exist: 'x'").
[[noreturn]] void RaiseNaming(const char* text, const std::string& name);
// Raises "out of memory" before an evaluation asks for more than the machine has, so that a
// line like a resampling to huge lengths fails cleanly instead of exhausting the system.
void CheckAllocation(double bytes);
// What one element costs on the generic path (its value object, pool entry and list slot), for
// the check before a list of elements is made; lists up to kUncheckedElements are not checked.
inline constexpr double kBytesPerElement = 96.0;
inline constexpr int64_t kUncheckedElements = 4096;
// What making and reading a value object costs against a line's work limit, in elements of a
// dense block.
inline constexpr uint64_t kValueWork = 8;

enum class BinOp {
    Mul,
    Div,
    Add,
    Sub,
    Mod,
    Shl,
    Shr,
    BitAnd,
    BitXor,
    BitOr,
    Less,
    Greater,
    LessEqual,
    GreaterEqual,
    Equal,
    NotEqual,
    LogicalAnd,
    LogicalOr,
};
// The six comparisons of two numbers, by IEEE rules (every comparison with a NaN is false but
// "not equal").
inline bool CompareNumbers(BinOp op, double x, double y) {
    switch (op) {
        case BinOp::Less:
            return x < y;
        case BinOp::Greater:
            return x > y;
        case BinOp::LessEqual:
            return x <= y;
        case BinOp::GreaterEqual:
            return x >= y;
        case BinOp::Equal:
            return x == y;
        default:
            return x != y;
    }
}

enum class AsgOp { Assign, Mul, Div, Mod, Add, Sub, Shl, Shr, And, Xor, Or };
enum class UnOp { PostInc, PostDec, PreInc, PreDec, Plus, Negate, BitNot, LogicalNot, Clear };
enum class ListOp { Max, Min, Sum };

// Every value made while one line is evaluated lives in one pool, which frees them all when the
// line is done; owner and parent are kept as the language's metadata only. Element-wise loops
// mark the pool and rewind it after each element, so lazily made element handles cost no memory.
class ValuePool {
public:
    template <typename T, typename... Args>
    T* Make(Args&&... args) {
        ChargeWork(kValueWork);
        try {
            auto p = std::make_unique<T>(this, std::forward<Args>(args)...);
            T* raw = p.get();
            items_.push_back(std::move(p));
            if (items_.size() > peak_) peak_ = items_.size();
            return raw;
        } catch (const std::bad_alloc&) {
            Raise("out of memory");
        }
    }
    size_t Mark() const { return items_.size(); }
    void Rewind(size_t mark) {
        while (items_.size() > mark) items_.pop_back();
    }
    size_t Size() const { return items_.size(); }
    // The most values held at once, and the bytes of dense blocks made: what the line took from
    // the heap, to give back when it ends.
    size_t Peak() const { return peak_; }
    size_t blockBytes = 0;

    // The elements the line may make (dense elements, and value objects at kValueWork each), so
    // that a caller with a time limit refuses a line before it runs past it; 0: no limit.
    uint64_t workLimit = 0;
    // Counts elements about to be made; raises "too many elements for one line" when they
    // would pass the limit.
    void ChargeWork(uint64_t elements) {
        work_ += elements;
        if (workLimit && work_ > workLimit) Raise(msg::kTooManyElements);
    }

    // Bulk kernels and dense temporaries; off gives the per-element reference path.
    bool fast = true;
    int threads = 1;

private:
    std::vector<std::unique_ptr<Value>> items_;
    size_t peak_ = 0;
    uint64_t work_ = 0;
};

// Restores the pool to its mark when it leaves scope.
class PoolScope {
public:
    explicit PoolScope(ValuePool* p) : pool_(p), mark_(p->Mark()) {}
    ~PoolScope() { pool_->Rewind(mark_); }
    PoolScope(const PoolScope&) = delete;
    PoolScope& operator=(const PoolScope&) = delete;

private:
    ValuePool* pool_;
    size_t mark_;
};

class Value {
public:
    explicit Value(ValuePool* pool) : pool_(pool) {}
    virtual ~Value() = default;
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;

    ValuePool* Pool() const { return pool_; }

    SyntaxNode* owner = nullptr;
    Value* parent = nullptr;
    bool IsOwned() const { return owner || parent; }

    // Type tests.
    virtual bool IsBool() const = 0;
    virtual bool IsIntegral() const = 0;
    virtual bool IsBoolOrIntegral() const = 0;
    virtual bool IsFloating() const = 0;
    virtual bool IsNumeric() const = 0;
    virtual bool IsString() const = 0;
    virtual bool IsNumericOrString() const = 0;
    virtual bool IsScalar() const = 0;
    bool IsVector() const { return !IsScalar(); }
    virtual bool IsArray() const { return false; }
    virtual bool IsDocumentData() const { return false; }
    virtual bool IsRectangular() const { return false; }
    bool IsRange() const;
    bool IsSubscript() const;
    bool IsField() const;
    virtual bool HasSameType(Value& other) = 0;
    virtual bool IsCompatible(Value& other) = 0;
    virtual bool IsAssignableFrom(Value& other) = 0;
    virtual bool HasCompatibleSize(Value& other) = 0;
    virtual bool IsWritable() const = 0;

    // Structure.
    virtual int64_t Count() const = 0;
    virtual int64_t TotalCount() const = 0;
    virtual int64_t ElementSize() const = 0;
    virtual Value* Element(int64_t index) = 0;
    virtual std::string ToString(bool full) = 0;
    virtual Value* ApplySelectors(const ValueList& selectors, size_t first) = 0;
    virtual Value* Field(const char* name) = 0;
    virtual int ElementType() = 0;

    // Making values.
    virtual Value* NewScalar(int type) = 0;
    virtual Value* NewForArgs(const ValueList& values) = 0;
    virtual Value* NewResultFor(Value& other) = 0;
    virtual Value* SizeOf() = 0;
    virtual Value* MakeRandom(Value& range, Value& offset) = 0;
    virtual Value* Cast(int type) = 0;
    Value* CastLike(Value& other) { return Cast(other.GetType()); }

    // Operations; each returns the receiver, changed in place.
    virtual Value* Unary(UnOp op, bool apply) = 0;
    virtual Value* Binary(BinOp op, Value& a, Value& b) = 0;
    virtual Value* Conditional(Value& test, Value& a, Value& b) = 0;
    virtual Value* AssignWith(AsgOp op, Value& other) = 0;
    virtual Value* ListOf(ListOp op, const ValueList& values) = 0;
    virtual double TotalMax() = 0;
    virtual double TotalMin() = 0;
    virtual double TotalSum() = 0;

    Value* PostIncrement(bool apply) { return Unary(UnOp::PostInc, apply); }
    Value* PostDecrement(bool apply) { return Unary(UnOp::PostDec, apply); }
    Value* PreIncrement() { return Unary(UnOp::PreInc, true); }
    Value* PreDecrement() { return Unary(UnOp::PreDec, true); }
    Value* UnaryPlus() { return Unary(UnOp::Plus, true); }
    Value* Negate() { return Unary(UnOp::Negate, true); }
    Value* BitNot() { return Unary(UnOp::BitNot, true); }
    Value* LogicalNot() { return Unary(UnOp::LogicalNot, true); }
    Value* Clear() { return Unary(UnOp::Clear, true); }
    Value* Assign(Value& other) { return AssignWith(AsgOp::Assign, other); }
    Value* MaxOf(const ValueList& v) { return ListOf(ListOp::Max, v); }
    Value* MinOf(const ValueList& v) { return ListOf(ListOp::Min, v); }
    Value* SumOf(const ValueList& v) { return ListOf(ListOp::Sum, v); }

    // Typed access; only scalars have it.
    virtual int8_t GetChar();
    virtual uint16_t GetUShort();
    virtual int16_t GetShort();
    virtual uint32_t GetUInt();
    virtual int32_t GetInt();
    int32_t GetLong() { return GetInt(); }
    virtual float GetFloat();
    virtual double GetDouble();
    virtual bool GetBool();
    virtual const char* GetString();
    virtual int GetType() const;
    virtual void AssignFrom(Value& other);
    virtual void PutString(const char* text);
    virtual void PutBool(bool b);
    virtual void PutDouble(double x);
    virtual void PutFloat(float x);
    virtual void PutInt(int32_t x);
    void PutLong(int32_t x) { PutInt(x); }
    virtual void PutUInt(uint32_t x);
    virtual void PutShort(int16_t x);
    virtual void PutUShort(uint16_t x);
    virtual void PutChar(int8_t x);
    virtual int PromotedType(Value& other);
    virtual Value* ListOfTotals(ListOp op, const ValueList& values);

    // Bulk access for the fast path: describes the value as a flat block, or returns false.
    virtual bool DescribeBlock(Block& block) {
        (void)block;
        return false;
    }
    // Frees large storage early when the evaluator no longer needs the value.
    virtual void Discard() {}

private:
    ValuePool* pool_;
};

// The i-th element of an argument: a scalar stands for every element.
inline Value& Nth(Value& v, int64_t i) {
    return v.IsScalar() ? v : *v.Element(i);
}

}  // namespace zun::script
