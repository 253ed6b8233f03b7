#pragma once

#include "script/block.h"
#include "script/value.h"

namespace zun::script {

// An ordered list of values on which every operation acts element by element; a scalar
// argument stands for every element. Subclasses give Count and Element.
class VectorValue : public Value {
public:
    using Value::Value;

    bool IsBool() const override;
    bool IsIntegral() const override;
    bool IsBoolOrIntegral() const override;
    bool IsFloating() const override;
    bool IsNumeric() const override;
    bool IsString() const override;
    bool IsNumericOrString() const override;
    bool IsScalar() const override { return false; }
    bool IsDocumentData() const override;
    bool IsRectangular() const override;
    bool HasSameType(Value& other) override;
    bool IsCompatible(Value& other) override;
    bool IsAssignableFrom(Value& other) override;
    bool HasCompatibleSize(Value& other) override;
    bool IsWritable() const override;

    int64_t TotalCount() const override;
    int64_t ElementSize() const override { return Count(); }
    std::string ToString(bool full) override;
    Value* ApplySelectors(const ValueList& selectors, size_t first) override;
    Value* Field(const char* name) override;
    int ElementType() override;

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
    double TotalMax() override;
    double TotalMin() override;
    double TotalSum() override;

protected:
    // The element-wise generic path; the fast subclasses fall back to these.
    Value* GenericUnary(UnOp op, bool apply);
    Value* GenericBinary(BinOp op, Value& a, Value& b);
    Value* GenericAssign(AsgOp op, Value& other);
    Value* GenericList(ListOp op, const ValueList& values);
    double GenericTotal(ListOp op);
    // A new empty vector of the kind results of this vector take.
    class VectorDynamic* NewVectorLike();
    // The selection of a subscript as one dense block of numbers, or null.
    Value* SelectNumbers(Value& subscript);
    // Whether every element is a scalar of one type and kind (so that one answers for all).
    virtual bool AlikeElements() const { return false; }
    template <typename TypeOf>
    class DenseVector* FlatDense(TypeOf typeOf, bool perElement);
    template <typename Make>
    void FillDense(class DenseVector& r, Make made);

private:
    template <typename Pred>
    bool All(Pred pred) const;
    template <typename Pred>
    bool Pairwise(Value& other, Pred pred);
};

// The elements are the values of the children of a syntax node, in child order.
class VectorStatic : public VectorValue {
public:
    VectorStatic(ValuePool* pool, ValueList elements) : VectorValue(pool), elements_(std::move(elements)) {}
    int64_t Count() const override { return static_cast<int64_t>(elements_.size()); }
    Value* Element(int64_t index) override;

private:
    ValueList elements_;
};

// A growable list; appended values with no owner and no parent are adopted.
class VectorDynamic : public VectorValue {
public:
    using VectorValue::VectorValue;
    int64_t Count() const override { return static_cast<int64_t>(elements_.size()); }
    Value* Element(int64_t index) override;
    void Append(Value* v);
    // Takes the only element out of the list (as the one-index subscript result).
    Value* TakeSingle();

protected:
    ValueList elements_;
};

// The integers from `from` to `to` in steps of one, either way. No element exists until it is
// asked for, and the totals are computed without any: a built-in consuming "1 .. 200000000"
// costs nothing per element.
class VectorRange : public VectorValue {
public:
    VectorRange(ValuePool* pool, int32_t from, int32_t to);
    // Every element is a read-only int: the type tests need not look at them.
    bool IsBool() const override { return false; }
    bool IsIntegral() const override { return true; }
    bool IsBoolOrIntegral() const override { return true; }
    bool IsFloating() const override { return false; }
    bool IsNumeric() const override { return true; }
    bool IsString() const override { return false; }
    bool IsNumericOrString() const override { return true; }
    bool IsWritable() const override { return false; }
    bool IsDocumentData() const override { return false; }
    bool IsRectangular() const override { return true; }
    // Against a scalar every element answers as the first one does.
    bool HasSameType(Value& other) override;
    bool IsCompatible(Value& other) override;
    bool IsAssignableFrom(Value& other) override;
    bool HasCompatibleSize(Value& other) override;
    int ElementType() override;
    int64_t Count() const override { return count_; }
    int64_t TotalCount() const override { return count_; }
    // A read-only integer scalar of the pool (rewound by element loops).
    Value* Element(int64_t index) override;
    double TotalMax() override;
    double TotalMin() override;
    double TotalSum() override;
    Value* Cast(int type) override;
    // Elements [first, first + n) as numbers of type t (numeric or bool), each written as the
    // element's cast to t writes it, elementBytes apart from out.
    void WriteElements(int t, int64_t first, int64_t n, unsigned char* out, int elementBytes) const;
    // The elements as one run.
    IntRun Run() const { return {0, from_, step_, count_}; }

protected:
    bool AlikeElements() const override { return true; }

private:
    int64_t from_, step_, count_;
};

// A list written with ranges among its parts ("{0, 1 .. n}"): a range stands for its elements,
// which are made only when asked for, so that a long range in a list costs nothing per element.
class VectorJoined : public VectorValue {
public:
    // isRange[k]: whether parts[k] stands for its elements.
    VectorJoined(ValuePool* pool, ValueList parts, std::vector<bool> isRange);
    int64_t Count() const override { return ends_.empty() ? 0 : ends_.back(); }
    Value* Element(int64_t index) override;
    // A range answers for all its elements.
    bool IsBool() const override;
    bool IsIntegral() const override;
    bool IsBoolOrIntegral() const override;
    bool IsFloating() const override;
    bool IsNumeric() const override;
    bool IsString() const override;
    bool IsNumericOrString() const override;
    bool IsWritable() const override;
    bool IsDocumentData() const override;
    int64_t TotalCount() const override;
    // Cast as every element would be, in one dense block when the parts are ranges and plain
    // numbers (of one type, for the cast to the elements' own types).
    Value* Cast(int type) override;
    // The elements as runs of ints, the plain numbers read now; false (out unchanged) when the
    // parts are other than ranges and plain ints.
    bool Runs(std::vector<IntRun>& out);

private:
    template <typename Pred>
    bool AllParts(Pred pred) const;
    class DenseVector* DenseCast(int type);

    ValueList parts_;
    std::vector<bool> isRange_;
    std::vector<int64_t> ends_;  // one past each part's last element
};

// The elements of a range, or of a list of ranges and plain ints, as runs; false for any other value.
bool ReadRuns(Value& v, std::vector<IntRun>& out);

// A nested vector whose levels all have fixed lengths.
class VectorArray : public VectorDynamic {
public:
    using VectorDynamic::VectorDynamic;
    bool IsArray() const override { return true; }
    bool IsRectangular() const override { return true; }

    // Appends lengths[level] elements: read-write scalars at level 0, arrays above.
    static void Build(VectorArray* array, int level, const std::vector<int64_t>& lengths, int type);
};

// Array operations over any rectangular value, addressed by coordinates whose last index
// selects at the outermost level.
int LeafType(Value& array);
std::vector<int64_t> GetDims(Value& array);
Value* ElementAt(Value& array, const std::vector<int64_t>& coordinate);
void AssignAt(Value& array, const std::vector<int64_t>& coordinate, Value& value);
void PutDoubleAt(Value& array, const std::vector<int64_t>& coordinate, double x);
void PutBoolAt(Value& array, const std::vector<int64_t>& coordinate, bool b);

}  // namespace zun::script
