#pragma once

#include <memory>

#include "script/block.h"
#include "script/scriptdocument.h"
#include "script/vector.h"

namespace zun::script {

// A vector whose levels all have fixed lengths and whose leaves are all alike, so that type and
// size questions are answered from the shape and one leaf instead of by visiting every element.
class ShapedVector : public VectorValue {
public:
    ShapedVector(ValuePool* pool, std::vector<int64_t> dims, int64_t offset)
        : VectorValue(pool), dims_(std::move(dims)), offset_(offset) {}

    const std::vector<int64_t>& Dims() const { return dims_; }
    int64_t Count() const override { return dims_.empty() ? 0 : dims_.back(); }
    int64_t Voxels() const;

    bool IsBool() const override;
    bool IsIntegral() const override;
    bool IsBoolOrIntegral() const override;
    bool IsFloating() const override;
    bool IsNumeric() const override;
    bool IsString() const override;
    bool IsNumericOrString() const override;
    bool IsRectangular() const override { return true; }
    bool HasSameType(Value& other) override;
    bool IsCompatible(Value& other) override;
    bool IsAssignableFrom(Value& other) override;
    bool HasCompatibleSize(Value& other) override;
    int ElementType() override;
    int64_t TotalCount() const override;

    Value* NewScalar(int type) override;
    Value* NewForArgs(const ValueList& values) override;
    Value* NewResultFor(Value& other) override;
    Value* Cast(int type) override;
    Value* SizeOf() override;

    Value* Unary(UnOp op, bool apply) override;
    Value* Binary(BinOp op, Value& a, Value& b) override;
    Value* Conditional(Value& test, Value& a, Value& b) override;
    Value* AssignWith(AsgOp op, Value& other) override;
    Value* ListOf(ListOp op, const ValueList& values) override;
    double TotalMax() override;
    double TotalMin() override;
    double TotalSum() override;

protected:
    // Whether every leaf is a scalar (else the leaves are vectors, like a voxel's "data").
    virtual bool ScalarLeaves() const = 0;
    // The type every scalar leaf has.
    virtual int LeafScalarType() const = 0;
    // Stride of one element of this level in leaves.
    int64_t Stride() const;
    std::vector<int64_t> InnerDims() const { return {dims_.begin(), dims_.end() - 1}; }
    // Answers a per-element question from one leaf when the other side allows it.
    template <typename Pred>
    int FromLeaf(Value& other, Pred pred);
    bool FromLeafOnly(bool (Value::*test)() const) const;
    bool Fast() const { return Pool()->fast; }

    std::vector<int64_t> dims_;
    int64_t offset_;
};

// The storage of a dense temporary: a voxel block, so that the memory guard counts it.
struct DenseBuffer {
    explicit DenseBuffer(size_t bytes);
    ~DenseBuffer();
    DenseBuffer(const DenseBuffer&) = delete;
    DenseBuffer& operator=(const DenseBuffer&) = delete;
    unsigned char* data = nullptr;
};

// A dense temporary: one typed buffer in element order (the results of operations over
// channels), standing for the nested vectors of new scalars the operation would make.
class DenseVector : public ShapedVector {
public:
    DenseVector(ValuePool* pool, int type, std::vector<int64_t> dims, std::shared_ptr<DenseBuffer> buffer,
                int64_t offset, bool array, bool writable = false);
    // A new zeroed buffer of the given type and shape; writable stands for an array of variables.
    static DenseVector* Create(ValuePool* pool, int type, const std::vector<int64_t>& dims,
                               bool writable = false);

    bool IsArray() const override { return array_; }
    bool IsDocumentData() const override { return false; }
    bool IsWritable() const override { return writable_; }
    Value* Element(int64_t index) override;
    Value* ApplySelectors(const ValueList& selectors, size_t first) override;
    bool DescribeBlock(Block& block) override;
    void Discard() override { buffer_.reset(); }
    // The storage and where this view starts in it, for values that read it later.
    const std::shared_ptr<DenseBuffer>& Buffer() const { return buffer_; }
    int64_t Offset() const { return offset_; }

protected:
    bool ScalarLeaves() const override { return true; }
    int LeafScalarType() const override { return type_; }
    // Every element is a number of the one type, or every one a block of the same shape.
    bool AlikeElements() const override { return true; }

private:
    int type_;
    std::shared_ptr<DenseBuffer> buffer_;
    bool array_;
    bool writable_;
};

// A range, or a list of ranges and ints, as an operator or a built-in reads it: a one-level block
// of ints made from its runs as they are read. Its type and size questions are answered from its
// shape, as a dense block's are, and reading it costs nothing per element: an operator over a
// range of millions takes no memory beyond its result, and its checks come before any.
class RunVector : public ShapedVector {
public:
    RunVector(ValuePool* pool, std::vector<IntRun> runs, int64_t count)
        : ShapedVector(pool, {count}, 0), runs_(std::move(runs)) {}
    // v as runs, or null when it is not a range or a list of ranges and plain ints.
    static RunVector* Of(ValuePool* pool, Value& v);

    bool IsDocumentData() const override { return false; }
    bool IsWritable() const override { return false; }
    Value* Element(int64_t index) override;
    bool DescribeBlock(Block& block) override;
    // Written from the runs on both paths, as a range's cast is (the built-ins that copy their
    // arguments take them so).
    Value* Cast(int type) override;

protected:
    bool ScalarLeaves() const override { return true; }
    int LeafScalarType() const override { return kInt; }
    bool AlikeElements() const override { return true; }

private:
    std::vector<IntRun> runs_;
};

// The result of rand() over vectors: each element is a random value, a new draw on every read,
// scaled and shifted by the elements of its arguments. Nothing is stored per element: the
// arguments are kept as dense numbers (or single numbers) and an element exists only while it
// is read, so that the kernels read it chunk by chunk.
class RandomVector : public ShapedVector {
public:
    struct Operand {
        std::shared_ptr<DenseBuffer> buffer;  // null: the constant stands for every element
        int type = 0;
        int64_t offset = 0;
        double constant = 0.0;
    };
    RandomVector(ValuePool* pool, int type, std::vector<int64_t> dims, Operand scale, Operand shift,
                 int64_t offset)
        : ShapedVector(pool, std::move(dims), offset),
          type_(type),
          scale_(std::move(scale)),
          shift_(std::move(shift)) {}
    // rand(range, offset) as a random vector, or null when an argument cannot be held as numbers
    // (then the element-wise result is made). Reads the arguments now, as rand() does.
    static Value* Create(ValuePool* pool, Value& range, Value& offset);

    bool IsArray() const override { return true; }
    bool IsDocumentData() const override { return false; }
    bool IsWritable() const override { return false; }
    Value* Element(int64_t index) override;
    Value* ApplySelectors(const ValueList& selectors, size_t first) override;
    bool DescribeBlock(Block& block) override;

protected:
    bool ScalarLeaves() const override { return true; }
    int LeafScalarType() const override { return type_; }

    // Reads every element once, in order, as rand() reads an argument (the unrounded numbers).
    DenseVector* Draw();

private:
    double At(const Operand& o, int64_t index) const;
    RandomOperand Describe(const Operand& o) const;

    int type_;
    Operand scale_, shift_;
};

// A channel of the document as a nested array of voxel values, made lazily: elements and voxel
// values exist only while someone holds them. With a field it stands for the vector of that
// view of every voxel.
class ChannelView : public ShapedVector {
public:
    ChannelView(ValuePool* pool, std::shared_ptr<const ChannelData> channel, std::vector<int64_t> dims,
                int64_t offset, VoxelField field);
    // The whole channel.
    static ChannelView* Create(ValuePool* pool, const ChannelData& channel);

    bool IsArray() const override { return field_ == VoxelField::Bare; }
    bool IsDocumentData() const override { return Voxels() > 0; }
    bool IsWritable() const override { return true; }
    int64_t TotalCount() const override;
    Value* Element(int64_t index) override;
    Value* ApplySelectors(const ValueList& selectors, size_t first) override;
    Value* Field(const char* name) override;
    Value* AssignWith(AsgOp op, Value& other) override;
    bool DescribeBlock(Block& block) override;

protected:
    bool ScalarLeaves() const override;
    int LeafScalarType() const override;

private:
    // A group view ("data", "flags", "all") assigned as its scalar views one after the other.
    bool AssignGroup(Value& other);

    std::shared_ptr<const ChannelData> channel_;
    VoxelField field_;
};

const char* VoxelFieldName(VoxelField f);

}  // namespace zun::script
