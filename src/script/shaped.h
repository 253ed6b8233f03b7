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

// The storage of a dense temporary: large blocks are asked for in huge pages, so that filling
// them costs few page faults.
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

protected:
    bool ScalarLeaves() const override { return true; }
    int LeafScalarType() const override { return type_; }

private:
    int type_;
    std::shared_ptr<DenseBuffer> buffer_;
    bool array_;
    bool writable_;
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
