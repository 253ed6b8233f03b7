#include "script/shaped.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/memoryguard.h"

#include "script/kernels.h"
#include "script/messages.h"
#include "script/scalar.h"
#include "script/voxel.h"

namespace zun::script {

int64_t ShapedVector::Voxels() const {
    int64_t n = 1;
    for (int64_t d : dims_) n *= d;
    return dims_.empty() ? 0 : n;
}

int64_t ShapedVector::Stride() const {
    int64_t n = 1;
    for (size_t k = 0; k + 1 < dims_.size(); ++k) n *= dims_[k];
    return n;
}

bool ShapedVector::FromLeafOnly(bool (Value::*test)() const) const {
    if (Voxels() == 0) return true;
    auto* self = const_cast<ShapedVector*>(this);
    PoolScope scope(Pool());
    Value* leaf = self;
    while (leaf->IsVector() && dynamic_cast<ShapedVector*>(leaf)) leaf = leaf->Element(0);
    return (leaf->*test)();
}

bool ShapedVector::IsBool() const {
    return FromLeafOnly(&Value::IsBool);
}
bool ShapedVector::IsIntegral() const {
    return FromLeafOnly(&Value::IsIntegral);
}
bool ShapedVector::IsBoolOrIntegral() const {
    return FromLeafOnly(&Value::IsBoolOrIntegral);
}
bool ShapedVector::IsFloating() const {
    return FromLeafOnly(&Value::IsFloating);
}
bool ShapedVector::IsNumeric() const {
    return FromLeafOnly(&Value::IsNumeric);
}
bool ShapedVector::IsString() const {
    return FromLeafOnly(&Value::IsString);
}
bool ShapedVector::IsNumericOrString() const {
    return FromLeafOnly(&Value::IsNumericOrString);
}

int ShapedVector::ElementType() {
    if (Count() == 0) Raise(msg::kInvalidIndex);
    if (Voxels() == 0) return VectorValue::ElementType();
    if (ScalarLeaves()) return LeafScalarType();
    // Every leaf is the same kind of view.
    PoolScope scope(Pool());
    Value* leaf = this;
    while (leaf->IsVector() && dynamic_cast<ShapedVector*>(leaf)) leaf = leaf->Element(0);
    return leaf->ElementType();
}

int64_t ShapedVector::TotalCount() const {
    if (ScalarLeaves()) return Voxels();
    return VectorValue::TotalCount();
}

// 1 or 0 when the answer follows from one leaf of each side, -1 when the generic walk must run:
// the levels both sides have must match, and the other side's leaves must be scalars.
template <typename Pred>
int ShapedVector::FromLeaf(Value& other, Pred pred) {
    if (Voxels() == 0) return -1;
    PoolScope scope(Pool());
    Value* mine = this;
    while (mine->IsVector() && dynamic_cast<ShapedVector*>(mine)) mine = mine->Element(0);
    if (other.IsScalar()) return pred(*mine, other) ? 1 : 0;
    auto* shaped = dynamic_cast<ShapedVector*>(&other);
    if (!shaped || shaped->Voxels() == 0) return -1;
    const auto& od = shaped->Dims();
    if (od.size() > dims_.size() || (!shaped->ScalarLeaves() && od.size() != dims_.size())) return -1;
    for (size_t k = 0; k < od.size(); ++k)
        if (od[od.size() - 1 - k] != dims_[dims_.size() - 1 - k]) return 0;
    Value* theirs = &other;
    while (theirs->IsVector() && dynamic_cast<ShapedVector*>(theirs)) theirs = theirs->Element(0);
    return pred(*mine, *theirs) ? 1 : 0;
}

bool ShapedVector::HasSameType(Value& other) {
    int r = FromLeaf(other, [](Value& a, Value& b) { return a.HasSameType(b); });
    return r >= 0 ? r == 1 : VectorValue::HasSameType(other);
}
bool ShapedVector::IsCompatible(Value& other) {
    int r = FromLeaf(other, [](Value& a, Value& b) { return a.IsCompatible(b); });
    return r >= 0 ? r == 1 : VectorValue::IsCompatible(other);
}
bool ShapedVector::IsAssignableFrom(Value& other) {
    int r = FromLeaf(other, [](Value& a, Value& b) { return a.IsAssignableFrom(b); });
    return r >= 0 ? r == 1 : VectorValue::IsAssignableFrom(other);
}
bool ShapedVector::HasCompatibleSize(Value& other) {
    int r = FromLeaf(other, [](Value& a, Value& b) { return a.HasCompatibleSize(b); });
    return r >= 0 ? r == 1 : VectorValue::HasCompatibleSize(other);
}

namespace {

// The promoted type of a leaf type with another operand, or 0 when the operand is not plain.
int PromoteWith(int own, Value& other, const std::vector<int64_t>& dims) {
    if (other.IsScalar()) {
        if (!IsNumericType(own) || !other.IsNumeric()) return own;
        return own > other.GetType() ? own : other.GetType();
    }
    auto* shaped = dynamic_cast<DenseVector*>(&other);
    Block b;
    if (!other.DescribeBlock(b) || b.dims != dims) return 0;
    (void)shaped;
    if (!IsNumericType(own) || !IsNumericType(b.type)) return own;
    return own > b.type ? own : b.type;
}

}  // namespace

Value* ShapedVector::NewScalar(int type) {
    // A dense block holds numbers and flags; strings (a condition over a channel choosing between
    // texts) take the vector of elements.
    const bool dense = type == 0 || ElementBytes(type) > 0;
    if (!Fast() || !ScalarLeaves() || Voxels() == 0 || !dense) return VectorValue::NewScalar(type);
    return DenseVector::Create(Pool(), type ? type : LeafScalarType(), dims_);
}

Value* ShapedVector::NewResultFor(Value& other) {
    if (!Fast() || !ScalarLeaves() || Voxels() == 0) return VectorValue::NewResultFor(other);
    const int t = PromoteWith(LeafScalarType(), other, dims_);
    if (t == 0) return VectorValue::NewResultFor(other);
    return DenseVector::Create(Pool(), t, dims_);
}

Value* ShapedVector::NewForArgs(const ValueList& values) {
    if (!Fast() || !ScalarLeaves() || Voxels() == 0) return VectorValue::NewForArgs(values);
    const int own = LeafScalarType();
    int t = own;
    for (Value* v : values) {
        const int p = PromoteWith(own, *v, dims_);
        if (p == 0) return VectorValue::NewForArgs(values);
        if (IsNumericType(own) && t <= p) t = p;
    }
    return DenseVector::Create(Pool(), t, dims_);
}

Value* ShapedVector::Cast(int type) {
    if (!Fast() || !ScalarLeaves() || Voxels() == 0) return VectorValue::Cast(type);
    DenseVector* r = DenseVector::Create(Pool(), type ? type : LeafScalarType(), dims_);
    if (!kernels::Assign(*r, AsgOp::Assign, *this)) {
        // The generic copy makes each element from the source element.
        for (int64_t i = 0, n = Count(); i < n; ++i) {
            PoolScope scope(Pool());
            Value* src = Element(i);
            Value* dst = r->Element(i);
            if (src->IsScalar()) {
                dst->AssignFrom(*src);
            } else {
                dst->AssignWith(AsgOp::Assign, *src);
            }
        }
    }
    return r;
}

Value* ShapedVector::SizeOf() {
    if (!Fast() || !ScalarLeaves() || Voxels() == 0) return VectorValue::SizeOf();
    DenseVector* r = DenseVector::Create(Pool(), kUInt, dims_);
    Block b;
    r->DescribeBlock(b);
    const uint32_t size = static_cast<uint32_t>(ElementBytes(LeafScalarType()));
    for (int64_t i = 0; i < b.count; ++i) Store<uint32_t>(b.data + i * 4, size);
    return r;
}

Value* ShapedVector::Unary(UnOp op, bool apply) {
    if (Fast() && kernels::Unary(*this, op, apply)) return this;
    return GenericUnary(op, apply);
}
Value* ShapedVector::Binary(BinOp op, Value& a, Value& b) {
    if (Fast() && kernels::Binary(*this, op, a, b)) return this;
    return GenericBinary(op, a, b);
}
Value* ShapedVector::Conditional(Value& test, Value& a, Value& b) {
    if (Fast() && kernels::Select(*this, test, a, b)) return this;
    return VectorValue::Conditional(test, a, b);
}
Value* ShapedVector::AssignWith(AsgOp op, Value& other) {
    if (Fast() && kernels::Assign(*this, op, other)) return this;
    return GenericAssign(op, other);
}
Value* ShapedVector::ListOf(ListOp op, const ValueList& values) {
    if (Fast() && kernels::List(*this, op, values)) return this;
    return GenericList(op, values);
}
double ShapedVector::TotalMax() {
    double r;
    if (Fast() && kernels::Total(*this, ListOp::Max, r)) return r;
    return GenericTotal(ListOp::Max);
}
double ShapedVector::TotalMin() {
    double r;
    if (Fast() && kernels::Total(*this, ListOp::Min, r)) return r;
    return GenericTotal(ListOp::Min);
}
double ShapedVector::TotalSum() {
    double r;
    if (Fast() && kernels::Total(*this, ListOp::Sum, r)) return r;
    return GenericTotal(ListOp::Sum);
}

// --- DenseVector ----------------------------------------------------------------------------

DenseBuffer::DenseBuffer(size_t bytes) {
    // Through the voxel allocator, so that the memory guard and what it counts see the block.
    data = VoxelAllocator().Allocate<unsigned char>(bytes ? bytes : 1);
    if (!data) throw std::bad_alloc();
    // The whole huge pages inside a large block, so that filling it costs few page faults.
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    const uintptr_t first = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHuge - 1);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

DenseBuffer::~DenseBuffer() {
    VoxelAllocator::Free(data);
}

namespace {
class DenseElement : public ScalarExt {
public:
    DenseElement(ValuePool* pool, int type, void* ptr, bool writable)
        : ScalarExt(pool, type, ptr), writable_(writable) {}
    bool IsWritable() const override { return writable_; }
    bool DescribeBlock(Block& block) override {
        block = Block{};
        block.kind = Block::kScalar;
        block.type = type_;
        block.scalar = this;
        return type_ != kString;
    }

private:
    bool writable_;
};
}  // namespace

DenseVector::DenseVector(ValuePool* pool, int type, std::vector<int64_t> dims,
                         std::shared_ptr<DenseBuffer> buffer, int64_t offset, bool array, bool writable)
    : ShapedVector(pool, std::move(dims), offset),
      type_(type),
      buffer_(std::move(buffer)),
      array_(array),
      writable_(writable) {}

DenseVector* DenseVector::Create(ValuePool* pool, int type, const std::vector<int64_t>& dims, bool writable) {
    double total = std::max(ElementBytes(type), 1);
    for (int64_t d : dims) total *= static_cast<double>(d);
    CheckAllocation(total);
    int64_t n = 1;
    for (int64_t d : dims) n *= d;
    pool->ChargeWork(static_cast<uint64_t>(n));
    const size_t bytes = static_cast<size_t>(n) * static_cast<size_t>(std::max(ElementBytes(type), 1));
    std::shared_ptr<DenseBuffer> buffer;
    try {
        buffer = std::make_shared<DenseBuffer>(bytes);
    } catch (const std::bad_alloc&) {
        Raise(msg::kOutOfMemory);
    }
    // Zeroed in parallel so that the pages are first touched by the threads that later fill them:
    // as many as the kernels take for this many elements.
    unsigned char* p = buffer->data;
    const int64_t blocks = static_cast<int64_t>((bytes + (1 << 20) - 1) >> 20);
    const int threads = static_cast<int>(std::min<int64_t>(blocks, kernels::TeamFor(n, pool->threads)));
#pragma omp parallel for num_threads(threads) schedule(static)
    for (int64_t k = 0; k < blocks; ++k) {
        const size_t start = static_cast<size_t>(k) << 20;
        std::memset(p + start, 0, std::min<size_t>(size_t{1} << 20, bytes - start));
    }
    pool->blockBytes += bytes;
    return pool->Make<DenseVector>(type, dims, std::move(buffer), 0, true, writable);
}

Value* DenseVector::Element(int64_t index) {
    if (index < 0 || index >= Count()) Raise(msg::kInvalidIndex);
    const int64_t at = offset_ + index * Stride();
    if (dims_.size() > 1)
        return Pool()->Make<DenseVector>(type_, InnerDims(), buffer_, at, array_, writable_);
    void* p = buffer_->data + at * std::max(ElementBytes(type_), 1);
    return Pool()->Make<DenseElement>(type_, p, writable_);
}

Value* DenseVector::ApplySelectors(const ValueList& selectors, size_t first) {
    if (first >= selectors.size())
        return Pool()->Make<DenseVector>(type_, dims_, buffer_, offset_, false, writable_);
    return VectorValue::ApplySelectors(selectors, first);
}

bool DenseVector::DescribeBlock(Block& block) {
    if (!buffer_ || type_ == kString) return false;
    block = Block{};
    block.kind = Block::kDense;
    block.type = type_;
    block.dims = dims_;
    block.count = Voxels();
    block.elementBytes = std::max(ElementBytes(type_), 1);
    block.data = buffer_->data + offset_ * block.elementBytes;
    return true;
}

// --- RunVector ------------------------------------------------------------------------------

RunVector* RunVector::Of(ValuePool* pool, Value& v) {
    std::vector<IntRun> runs;
    if (!ReadRuns(v, runs)) return nullptr;
    return pool->Make<RunVector>(std::move(runs), v.Count());
}

Value* RunVector::Element(int64_t index) {
    if (index < 0 || index >= Count()) Raise(msg::kInvalidIndex);
    Value* e = Pool()->Make<ScalarRO>(kInt);
    e->PutInt(RunElement(runs_[RunIndex(runs_, index)], index));
    return e;
}

Value* RunVector::Cast(int type) {
    const int t = type ? type : kInt;
    if (!IsNumericType(t) && t != kBool) return ShapedVector::Cast(type);
    DenseVector* d = DenseVector::Create(Pool(), t, dims_);
    Block b;
    d->DescribeBlock(b);
    // As each element's cast writes it: the int put into the new type.
    for (const IntRun& r : runs_)
        for (int64_t i = r.start; i < r.start + r.count; ++i)
            WriteInt(t, b.data + i * b.elementBytes, RunElement(r, i));
    return d;
}

bool RunVector::DescribeBlock(Block& block) {
    block = Block{};
    block.kind = Block::kRuns;
    block.type = kInt;
    block.dims = dims_;
    block.count = Count();
    block.runs = &runs_;
    return true;
}

// --- RandomVector ---------------------------------------------------------------------------

namespace {

bool IsPlainScalar(Value& v) {
    Block b;
    return v.IsScalar() && v.DescribeBlock(b) && b.kind == Block::kScalar;
}

// Whether reading the vector's elements has no effect, so that it may be copied before it is
// known whether the copy is used: every element a plain number.
bool ReadsFreely(Value& v) {
    if (dynamic_cast<VectorRange*>(&v)) return true;
    for (int64_t i = 0, n = v.Count(); i < n; ++i) {
        PoolScope scope(v.Pool());
        if (!IsPlainScalar(*v.Element(i))) return false;
    }
    return true;
}

struct RandomArgument {
    RandomVector::Operand operand;
    std::vector<int64_t> dims;
    int type = 0;  // the argument's element type (not its storage's)
    bool vector = false;
    RandomVector* random = nullptr;
};

// Sorts an argument: a plain number, a dense block, a random vector (read later), or a vector
// whose elements are all plain numbers (copied into a dense block). False for everything else.
bool Classify(ValuePool* pool, Value& v, RandomArgument& out) {
    if (v.IsScalar()) {
        if (!IsPlainScalar(v)) return false;
        out.type = v.GetType();
        out.operand.type = kDouble;
        out.operand.constant = v.GetDouble();
        return true;
    }
    out.vector = true;
    if (auto* r = dynamic_cast<RandomVector*>(&v)) {
        Block b;
        if (!r->DescribeBlock(b) || b.count == 0) return false;
        out.random = r;
        out.dims = b.dims;
        out.type = b.type;
        return true;
    }
    Value* source = &v;
    auto* dense = dynamic_cast<DenseVector*>(source);
    if (!dense || !dense->Buffer()) {
        // A channel is copied only where its copy is dense.
        if (auto* channel = dynamic_cast<ChannelView*>(source); channel && !pool->fast) return false;
        if (!dynamic_cast<ShapedVector*>(source) && !ReadsFreely(*source)) return false;
        source = source->Cast(0);
        dense = dynamic_cast<DenseVector*>(source);
    }
    Block b;
    if (!dense || !dense->DescribeBlock(b) || b.count == 0 || !IsNumericType(b.type)) return false;
    out.operand.buffer = dense->Buffer();
    out.operand.type = b.type;
    out.operand.offset = dense->Offset();
    out.dims = b.dims;
    out.type = b.type;
    return true;
}

}  // namespace

Value* RandomVector::Create(ValuePool* pool, Value& range, Value& offset) {
    RandomArgument args[2];
    if (!Classify(pool, range, args[0]) || !Classify(pool, offset, args[1])) return nullptr;
    if (!args[0].vector && !args[1].vector) return nullptr;
    // Element by element each rand value reads its range, then its offset: two random arguments
    // would interleave their draws.
    if (args[0].random && args[1].random) return nullptr;
    if (args[0].vector && args[1].vector && args[0].dims != args[1].dims) return nullptr;
    const std::vector<int64_t>& dims = args[0].vector ? args[0].dims : args[1].dims;
    for (RandomArgument& a : args) {
        if (!a.random) continue;
        // Its draws happen now, read as rand() reads its arguments (unrounded numbers).
        DenseVector* numbers = a.random->Draw();
        a.operand.buffer = numbers->Buffer();
        a.operand.type = kDouble;
    }
    const int type = std::max(args[0].type, args[1].type);
    return pool->Make<RandomVector>(type, dims, args[0].operand, args[1].operand, 0);
}

DenseVector* RandomVector::Draw() {
    DenseVector* numbers = DenseVector::Create(Pool(), kDouble, dims_);
    Block b;
    numbers->DescribeBlock(b);
    uint32_t state = ScriptRandState();
    for (int64_t i = 0; i < b.count; ++i) {
        const double raw = ScriptRandNext(state) / 32767.0 * At(scale_, i) + At(shift_, i);
        Store<double>(b.data + i * 8, raw);
    }
    SeedScriptRand(state);
    return numbers;
}

double RandomVector::At(const Operand& o, int64_t index) const {
    if (!o.buffer) return o.constant;
    const int bytes = std::max(ElementBytes(o.type), 1);
    return ReadAs(kDouble, o.type, o.buffer->data + (o.offset + offset_ + index) * bytes);
}

RandomOperand RandomVector::Describe(const Operand& o) const {
    RandomOperand r;
    r.type = o.type;
    r.constant = o.constant;
    if (o.buffer) {
        r.elementBytes = std::max(ElementBytes(o.type), 1);
        r.data = o.buffer->data + (o.offset + offset_) * r.elementBytes;
    }
    return r;
}

Value* RandomVector::Element(int64_t index) {
    if (index < 0 || index >= Count()) Raise(msg::kInvalidIndex);
    const int64_t at = index * Stride();
    if (dims_.size() > 1) return Pool()->Make<RandomVector>(type_, InnerDims(), scale_, shift_, offset_ + at);
    return Pool()->Make<RandValue>(type_, At(scale_, at), At(shift_, at));
}

Value* RandomVector::ApplySelectors(const ValueList& selectors, size_t first) {
    if (first >= selectors.size()) return Pool()->Make<RandomVector>(type_, dims_, scale_, shift_, offset_);
    return VectorValue::ApplySelectors(selectors, first);
}

bool RandomVector::DescribeBlock(Block& block) {
    block = Block{};
    block.kind = Block::kRandom;
    block.type = type_;
    block.dims = dims_;
    block.count = Voxels();
    block.scale = Describe(scale_);
    block.shift = Describe(shift_);
    return true;
}

// --- ChannelView ----------------------------------------------------------------------------

const char* VoxelFieldName(VoxelField f) {
    static const char* const kNames[] = {"",   "val", "raw",  "log",   "phys",
                                         "ro", "err", "data", "flags", "all"};
    return kNames[static_cast<int>(f)];
}

ChannelView::ChannelView(ValuePool* pool, std::shared_ptr<const ChannelData> channel,
                         std::vector<int64_t> dims, int64_t offset, VoxelField field)
    : ShapedVector(pool, std::move(dims), offset), channel_(std::move(channel)), field_(field) {}

ChannelView* ChannelView::Create(ValuePool* pool, const ChannelData& channel) {
    std::vector<int64_t> dims(channel.dims.begin(), channel.dims.end());
    return pool->Make<ChannelView>(std::make_shared<const ChannelData>(channel), dims, 0, VoxelField::Bare);
}

bool ChannelView::ScalarLeaves() const {
    return field_ != VoxelField::Data && field_ != VoxelField::Flags && field_ != VoxelField::All;
}

int ChannelView::LeafScalarType() const {
    switch (field_) {
        case VoxelField::Log:
        case VoxelField::Phys:
            return kFloat;
        case VoxelField::Ro:
        case VoxelField::Err:
            return kBool;
        default:
            return kUShort;
    }
}

int64_t ChannelView::TotalCount() const {
    const int64_t per = field_ == VoxelField::Data    ? 3
                        : field_ == VoxelField::Flags ? 2
                        : field_ == VoxelField::All   ? 5
                                                      : 1;
    return Voxels() * per;
}

Value* ChannelView::Element(int64_t index) {
    if (index < 0 || index >= Count()) Raise(msg::kInvalidIndex);
    const int64_t at = offset_ + index * Stride();
    if (dims_.size() > 1) return Pool()->Make<ChannelView>(channel_, InnerDims(), at, field_);
    auto* voxel = Pool()->Make<ZunValue>(channel_->words + at, channel_->min, channel_->max);
    if (field_ == VoxelField::Bare) return voxel;
    return voxel->Field(VoxelFieldName(field_));
}

Value* ChannelView::ApplySelectors(const ValueList& selectors, size_t first) {
    if (first >= selectors.size()) {
        const VoxelField f = field_ == VoxelField::Bare ? VoxelField::Phys : field_;
        return Pool()->Make<ChannelView>(channel_, dims_, offset_, f);
    }
    return VectorValue::ApplySelectors(selectors, first);
}

Value* ChannelView::Field(const char* name) {
    if (Voxels() == 0) return VectorValue::Field(name);
    const std::string n = name ? name : "";
    static const VoxelField kAll[] = {VoxelField::Val,  VoxelField::Raw,   VoxelField::Log,
                                      VoxelField::Phys, VoxelField::Ro,    VoxelField::Err,
                                      VoxelField::Data, VoxelField::Flags, VoxelField::All};
    VoxelField found = VoxelField::Bare;
    for (VoxelField f : kAll)
        if (n == VoxelFieldName(f)) found = f;
    auto allowed = [&](std::initializer_list<VoxelField> list) {
        for (VoxelField f : list)
            if (f == found) return true;
        return false;
    };
    switch (field_) {
        case VoxelField::Bare:
            if (found == VoxelField::Bare) Raise(msg::kFieldMissing);
            break;
        case VoxelField::Data:
            if (!allowed({VoxelField::Phys, VoxelField::Log, VoxelField::Raw})) Raise(msg::kFieldMissing);
            break;
        case VoxelField::Flags:
            if (!allowed({VoxelField::Ro, VoxelField::Err})) Raise(msg::kFieldMissing);
            break;
        case VoxelField::All:
            if (!allowed({VoxelField::Data, VoxelField::Flags})) Raise(msg::kFieldMissing);
            break;
        default:
            Raise(msg::kFieldOnScalar);
    }
    return Pool()->Make<ChannelView>(channel_, dims_, offset_, found);
}

Value* ChannelView::AssignWith(AsgOp op, Value& other) {
    if (op == AsgOp::Assign && Fast() && !ScalarLeaves() && AssignGroup(other)) return this;
    return ShapedVector::AssignWith(op, other);
}

// Each voxel takes its views in order (phys, log, raw, then ro, err); as no voxel reads another
// voxel's word, doing one view for all voxels before the next keeps every voxel's own order.
bool ChannelView::AssignGroup(Value& other) {
    std::vector<VoxelField> parts;
    switch (field_) {
        case VoxelField::Data:
            parts = {VoxelField::Phys, VoxelField::Log, VoxelField::Raw};
            break;
        case VoxelField::Flags:
            parts = {VoxelField::Ro, VoxelField::Err};
            break;
        default:
            parts = {VoxelField::Phys, VoxelField::Log, VoxelField::Raw, VoxelField::Ro, VoxelField::Err};
            break;
    }
    auto* source = dynamic_cast<ChannelView*>(&other);
    if (!other.IsScalar() && !(source && source->field_ == field_ && source->dims_ == dims_)) return false;
    std::vector<std::pair<Value*, Value*>> steps;
    for (VoxelField f : parts) {
        Value* dest = Pool()->Make<ChannelView>(channel_, dims_, offset_, f);
        Value* src = source ? Pool()->Make<ChannelView>(source->channel_, dims_, source->offset_, f) : &other;
        if (!kernels::CanCopy(*dest, *src)) return false;
        steps.emplace_back(dest, src);
    }
    for (auto [dest, src] : steps) kernels::Assign(*dest, AsgOp::Assign, *src);
    return true;
}

bool ChannelView::DescribeBlock(Block& block) {
    if (!ScalarLeaves()) return false;
    block = Block{};
    block.kind = Block::kWords;
    block.type = LeafScalarType();
    block.dims = dims_;
    block.count = Voxels();
    block.words = channel_->words + offset_;
    block.field = field_;
    block.min = channel_->min;
    block.max = channel_->max;
    return true;
}

}  // namespace zun::script
