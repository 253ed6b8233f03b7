#include "script/vector.h"

#include <algorithm>
#include <cstring>

#include "script/block.h"

#include "script/messages.h"
#include "script/scalar.h"
#include "script/shaped.h"
#include "script/syntax.h"

namespace zun::script {

bool Value::IsRange() const {
    return owner && owner->kind == range;
}
bool Value::IsSubscript() const {
    return owner && owner->kind == subscript;
}
bool Value::IsField() const {
    return owner && owner->kind == field;
}

template <typename Pred>
bool VectorValue::All(Pred pred) const {
    auto* self = const_cast<VectorValue*>(this);
    for (int64_t i = 0, n = Count(); i < n; ++i) {
        PoolScope scope(Pool());
        if (!pred(*self->Element(i))) return false;
    }
    return true;
}

template <typename Pred>
bool VectorValue::Pairwise(Value& other, Pred pred) {
    if (other.IsVector() && other.Count() != Count()) return false;
    for (int64_t i = 0, n = Count(); i < n; ++i) {
        PoolScope scope(Pool());
        if (!pred(*Element(i), Nth(other, i))) return false;
    }
    return true;
}

bool VectorValue::IsBool() const {
    return All([](Value& e) { return e.IsBool(); });
}
bool VectorValue::IsIntegral() const {
    return All([](Value& e) { return e.IsIntegral(); });
}
bool VectorValue::IsBoolOrIntegral() const {
    return All([](Value& e) { return e.IsBoolOrIntegral(); });
}
bool VectorValue::IsFloating() const {
    return All([](Value& e) { return e.IsFloating(); });
}
bool VectorValue::IsNumeric() const {
    return All([](Value& e) { return e.IsNumeric(); });
}
bool VectorValue::IsString() const {
    return All([](Value& e) { return e.IsString(); });
}
bool VectorValue::IsNumericOrString() const {
    return All([](Value& e) { return e.IsNumericOrString(); });
}
bool VectorValue::IsWritable() const {
    return All([](Value& e) { return e.IsWritable(); });
}
bool VectorValue::IsDocumentData() const {
    return !All([](Value& e) { return !e.IsDocumentData(); });
}

bool VectorValue::IsRectangular() const {
    auto* self = const_cast<VectorValue*>(this);
    const int64_t n = Count();
    if (n == 0) return true;
    PoolScope scope(Pool());
    Value* first = self->Element(0);
    if (first->IsVector()) {
        if (!first->IsRectangular()) return false;
        const int64_t len = first->Count();
        for (int64_t i = 1; i < n; ++i) {
            PoolScope inner(Pool());
            Value* e = self->Element(i);
            if (!e->IsVector() || e->Count() != len || !e->IsRectangular()) return false;
        }
        return true;
    }
    for (int64_t i = 1; i < n; ++i) {
        PoolScope inner(Pool());
        Value* e = self->Element(i);
        if (!e->IsScalar() || !e->IsCompatible(*first)) return false;
    }
    return true;
}

bool VectorValue::HasSameType(Value& other) {
    return Pairwise(other, [](Value& e, Value& o) { return e.HasSameType(o); });
}
bool VectorValue::IsCompatible(Value& other) {
    return Pairwise(other, [](Value& e, Value& o) { return e.IsCompatible(o); });
}
bool VectorValue::IsAssignableFrom(Value& other) {
    return Pairwise(other, [](Value& e, Value& o) { return e.IsAssignableFrom(o); });
}
bool VectorValue::HasCompatibleSize(Value& other) {
    return Pairwise(other, [](Value& e, Value& o) { return e.HasCompatibleSize(o); });
}

int64_t VectorValue::TotalCount() const {
    auto* self = const_cast<VectorValue*>(this);
    int64_t total = 0;
    for (int64_t i = 0, n = Count(); i < n; ++i) {
        PoolScope scope(Pool());
        total += self->Element(i)->TotalCount();
    }
    return total;
}

std::string VectorValue::ToString(bool full) {
    std::string s = "{";
    const int64_t n = Count();
    if (n > 0) {
        PoolScope scope(Pool());
        s += Element(0)->ToString(full);
    }
    if (full) {
        for (int64_t i = 1; i < n; ++i) {
            PoolScope scope(Pool());
            s += ",";
            s += Element(i)->ToString(full);
        }
    } else if (n > 1) {
        s += ",...";
    }
    return s + "}";
}

namespace {

// Where the numbers of a one-level vector of plain numbers are: runs of ints (a range or a list
// of ranges and ints), or a dense block that nothing writes through (a selection from it may copy
// its numbers).
struct NumberSource {
    std::vector<IntRun> runs;
    Block block;
    int type = 0;
    int64_t count = 0;

    bool Runs() const { return !runs.empty(); }
    // The index-th number as an int, checked as Element checks its index.
    int32_t IntAt(int64_t index) const {
        if (index < 0 || index >= count) Raise(msg::kInvalidIndex);
        if (Runs()) return RunElement(runs[RunIndex(runs, index)], index);
        return ReadInt(type, block.data + index * block.elementBytes);
    }
};

bool FindNumbers(Value& v, NumberSource& out) {
    if (ReadRuns(v, out.runs)) {
        out.type = kInt;
        out.count = v.Count();
        return true;
    }
    auto* d = dynamic_cast<DenseVector*>(&v);
    if (!d || d->IsWritable() || d->Dims().size() != 1 || !d->DescribeBlock(out.block)) return false;
    out.type = out.block.type;
    out.count = out.block.count;
    return true;
}

// The number of indices a part of a subscript gives, or -1 when it is not a plain integer, a
// range or a one-level block of integers.
int64_t IndexCount(Value& part) {
    if (part.IsScalar()) {
        Block b;
        return part.DescribeBlock(b) && b.kind == Block::kScalar ? 1 : -1;
    }
    NumberSource s;
    if (!FindNumbers(part, s) || !IsIntegralType(s.type)) return -1;
    return s.count;
}

}  // namespace

// A subscript that selects many elements of a vector of plain numbers takes their numbers into
// one dense block: as one value object each, a selection of millions of elements took hundreds of
// megabytes. Null when the generic selection applies (few elements, or other kinds of values).
Value* VectorValue::SelectNumbers(Value& sel) {
    int64_t total = 0;
    for (int64_t j = 0, n = sel.Count(); j < n; ++j) {
        const int64_t c = IndexCount(*sel.Element(j));
        if (c < 0) return nullptr;
        total += c;
    }
    NumberSource from;
    if (total <= kUncheckedElements || !FindNumbers(*this, from)) return nullptr;
    DenseVector* r = DenseVector::Create(Pool(), from.type, {total});
    Block out;
    r->DescribeBlock(out);
    int64_t at = 0;
    auto put = [&](int32_t index) {
        unsigned char* p = out.data + at++ * out.elementBytes;
        if (from.Runs()) {
            WriteInt(from.type, p, from.IntAt(index));
            return;
        }
        if (index < 0 || index >= from.count) Raise(msg::kInvalidIndex);
        std::memcpy(p, from.block.data + static_cast<int64_t>(index) * from.block.elementBytes,
                    static_cast<size_t>(out.elementBytes));
    };
    for (int64_t j = 0, n = sel.Count(); j < n; ++j) {
        Value* part = sel.Element(j);
        if (part->IsScalar()) {
            put(part->GetInt());
            continue;
        }
        NumberSource indices;
        FindNumbers(*part, indices);
        for (int64_t k = 0; k < indices.count; ++k) put(indices.IntAt(k));
    }
    return r;
}

Value* VectorValue::ApplySelectors(const ValueList& selectors, size_t first) {
    if (first >= selectors.size()) {
        auto* r = Pool()->Make<VectorDynamic>();
        for (int64_t i = 0, n = Count(); i < n; ++i) r->Append(Element(i)->ApplySelectors(selectors, first));
        return r;
    }
    Value* sel = selectors[first];
    if (!sel->IsSubscript()) {
        Value* v = Field(sel->GetString());
        return v->ApplySelectors(selectors, first + 1);
    }
    if (first + 1 == selectors.size())
        if (Value* numbers = SelectNumbers(*sel)) return numbers;
    auto* r = Pool()->Make<VectorDynamic>();
    const int64_t indices = sel->Count();
    // The selection holds one value object per selected element: charged before they are made.
    double selected = indices == 0 ? static_cast<double>(Count()) : 0.0;
    for (int64_t j = 0; j < indices; ++j) {
        PoolScope scope(Pool());
        selected += static_cast<double>(sel->Element(j)->Count());
    }
    if (selected > kUncheckedElements) CheckAllocation(selected * kBytesPerElement);
    if (indices == 0) {
        for (int64_t i = 0, n = Count(); i < n; ++i)
            r->Append(Element(i)->ApplySelectors(selectors, first + 1));
    }
    for (int64_t j = 0; j < indices; ++j) {
        Value* s = sel->Element(j);
        if (s->IsScalar()) {
            r->Append(Element(s->GetInt())->ApplySelectors(selectors, first + 1));
            continue;
        }
        for (int64_t k = 0, m = s->Count(); k < m; ++k) {
            int32_t index;
            {
                // The index (an element of a range) is not kept.
                PoolScope scope(Pool());
                Value* e = s->Element(k);
                if (e->IsVector()) Raise(msg::kSubscriptKinds);
                index = e->GetInt();
            }
            r->Append(Element(index)->ApplySelectors(selectors, first + 1));
        }
    }
    if (r->Count() == 1) return r->TakeSingle();
    return r;
}

Value* VectorValue::Field(const char* name) {
    auto* r = Pool()->Make<VectorDynamic>();
    for (int64_t i = 0, n = Count(); i < n; ++i) r->Append(Element(i)->Field(name));
    return r;
}

int VectorValue::ElementType() {
    const int64_t n = Count();
    if (n == 0) Raise(msg::kInvalidIndex);
    int t = 0;
    for (int64_t i = 0; i < n; ++i) {
        PoolScope scope(Pool());
        const int e = Element(i)->ElementType();
        if (e > t) t = e;
    }
    return t;
}

VectorDynamic* VectorValue::NewVectorLike() {
    // The result gets one value object per element: charged before the loop that makes them.
    if (const int64_t n = Count(); n > kUncheckedElements)
        CheckAllocation(static_cast<double>(n) * kBytesPerElement);
    if (IsRectangular()) return Pool()->Make<VectorArray>();
    return Pool()->Make<VectorDynamic>();
}

// When every element is a scalar and every element's result would be a number of one type, the
// results are one dense block instead of one value object each; typeOf gives an element's result
// type without reading its value (0: not a number).
template <typename TypeOf>
DenseVector* VectorValue::FlatDense(TypeOf typeOf, bool perElement) {
    const int64_t n = Count();
    if (n == 0) return nullptr;
    int type = 0;
    // Elements that are all alike answer as the first one does.
    const int64_t asked = perElement || !AlikeElements() ? n : 1;
    for (int64_t i = 0; i < asked; ++i) {
        PoolScope scope(Pool());
        Value* e = Element(i);
        if (!e->IsScalar()) return nullptr;
        const int t = typeOf(*e, i);
        if (!IsNumericType(t) && t != kBool) return nullptr;
        if (type && t != type) return nullptr;
        type = t;
    }
    return DenseVector::Create(Pool(), type, {n});
}

// Writes made(element i) into element i of a flat dense result.
template <typename Make>
void VectorValue::FillDense(DenseVector& r, Make made) {
    for (int64_t i = 0, n = Count(); i < n; ++i) {
        PoolScope scope(Pool());
        r.Element(i)->AssignFrom(*made(*Element(i), i));
    }
}

Value* VectorValue::NewScalar(int type) {
    if (DenseVector* d = FlatDense([&](Value& e, int64_t) { return type ? type : e.GetType(); }, false))
        return d;
    VectorDynamic* r = NewVectorLike();
    for (int64_t i = 0, n = Count(); i < n; ++i) r->Append(Element(i)->NewScalar(type));
    return r;
}

Value* VectorValue::NewForArgs(const ValueList& values) {
    ValueList args(values.size());
    auto argsAt = [&](int64_t i) -> const ValueList& {
        for (size_t k = 0; k < values.size(); ++k) args[k] = &Nth(*values[k], i);
        return args;
    };
    bool perElement = false;
    for (Value* v : values) perElement = perElement || v->IsVector();
    if (DenseVector* d =
            FlatDense([&](Value& e, int64_t i) { return e.NewForArgs(argsAt(i))->GetType(); }, perElement))
        return d;
    VectorDynamic* r = NewVectorLike();
    for (int64_t i = 0, n = Count(); i < n; ++i) {
        for (size_t k = 0; k < values.size(); ++k) args[k] = &Nth(*values[k], i);
        r->Append(Element(i)->NewForArgs(args));
    }
    return r;
}

Value* VectorValue::NewResultFor(Value& other) {
    if (DenseVector* d = FlatDense(
            [&](Value& e, int64_t i) { return e.NewResultFor(Nth(other, i))->GetType(); }, other.IsVector()))
        return d;
    VectorDynamic* r = NewVectorLike();
    for (int64_t i = 0, n = Count(); i < n; ++i) r->Append(Element(i)->NewResultFor(Nth(other, i)));
    return r;
}

Value* VectorValue::SizeOf() {
    if (DenseVector* d = FlatDense([](Value&, int64_t) { return static_cast<int>(kUInt); }, false)) {
        FillDense(*d, [](Value& e, int64_t) { return e.SizeOf(); });
        return d;
    }
    VectorDynamic* r = NewVectorLike();
    for (int64_t i = 0, n = Count(); i < n; ++i) r->Append(Element(i)->SizeOf());
    return r;
}

Value* VectorValue::MakeRandom(Value& range, Value& offset) {
    VectorDynamic* r = NewVectorLike();
    for (int64_t i = 0, n = Count(); i < n; ++i)
        r->Append(Element(i)->MakeRandom(Nth(range, i), Nth(offset, i)));
    return r;
}

Value* VectorValue::Cast(int type) {
    if (DenseVector* d = FlatDense([&](Value& e, int64_t) { return type ? type : e.GetType(); }, false)) {
        FillDense(*d, [&](Value& e, int64_t) { return e.Cast(type); });
        return d;
    }
    VectorDynamic* r = NewVectorLike();
    for (int64_t i = 0, n = Count(); i < n; ++i) r->Append(Element(i)->Cast(type));
    return r;
}

Value* VectorValue::Unary(UnOp op, bool apply) {
    return GenericUnary(op, apply);
}
Value* VectorValue::Binary(BinOp op, Value& a, Value& b) {
    return GenericBinary(op, a, b);
}
Value* VectorValue::AssignWith(AsgOp op, Value& other) {
    return GenericAssign(op, other);
}
Value* VectorValue::ListOf(ListOp op, const ValueList& values) {
    return GenericList(op, values);
}
double VectorValue::TotalMax() {
    return GenericTotal(ListOp::Max);
}
double VectorValue::TotalMin() {
    return GenericTotal(ListOp::Min);
}
double VectorValue::TotalSum() {
    return GenericTotal(ListOp::Sum);
}

Value* VectorValue::GenericUnary(UnOp op, bool apply) {
    for (int64_t i = 0, n = Count(); i < n; ++i) {
        PoolScope scope(Pool());
        Element(i)->Unary(op, apply);
    }
    return this;
}

Value* VectorValue::GenericBinary(BinOp op, Value& a, Value& b) {
    for (int64_t i = 0, n = Count(); i < n; ++i) {
        PoolScope scope(Pool());
        Element(i)->Binary(op, Nth(a, i), Nth(b, i));
    }
    return this;
}

Value* VectorValue::Conditional(Value& test, Value& a, Value& b) {
    for (int64_t i = 0, n = Count(); i < n; ++i) {
        PoolScope scope(Pool());
        Element(i)->Conditional(Nth(test, i), Nth(a, i), Nth(b, i));
    }
    return this;
}

Value* VectorValue::GenericAssign(AsgOp op, Value& other) {
    for (int64_t i = 0, n = Count(); i < n; ++i) {
        PoolScope scope(Pool());
        Element(i)->AssignWith(op, Nth(other, i));
    }
    return this;
}

Value* VectorValue::GenericList(ListOp op, const ValueList& values) {
    ValueList args(values.size());
    for (int64_t i = 0, n = Count(); i < n; ++i) {
        PoolScope scope(Pool());
        for (size_t k = 0; k < values.size(); ++k) args[k] = &Nth(*values[k], i);
        Element(i)->ListOf(op, args);
    }
    return this;
}

double VectorValue::GenericTotal(ListOp op) {
    const int64_t n = Count();
    auto total = [&](int64_t i) {
        PoolScope scope(Pool());
        Value* e = Element(i);
        return op == ListOp::Max ? e->TotalMax() : op == ListOp::Min ? e->TotalMin() : e->TotalSum();
    };
    if (op == ListOp::Sum) {
        double s = 0.0;
        for (int64_t i = 0; i < n; ++i) s += total(i);
        return s;
    }
    if (n == 0) Raise(msg::kInvalidIndex);
    double r = total(0);
    for (int64_t i = 1; i < n; ++i) {
        const double x = total(i);
        if (op == ListOp::Max ? x > r : x < r) r = x;
    }
    return r;
}

Value* VectorStatic::Element(int64_t index) {
    if (index < 0 || index >= Count()) Raise(msg::kInvalidIndex);
    return elements_[static_cast<size_t>(index)];
}

VectorRange::VectorRange(ValuePool* pool, int32_t from, int32_t to)
    : VectorValue(pool),
      from_(from),
      step_(to >= from ? 1 : -1),
      count_((static_cast<int64_t>(to) - from) * (to >= from ? 1 : -1) + 1) {}

Value* VectorRange::Element(int64_t index) {
    if (index < 0 || index >= count_) Raise(msg::kInvalidIndex);
    Value* e = Pool()->Make<ScalarRO>(kInt);
    e->PutInt(static_cast<int32_t>(from_ + index * step_));
    e->parent = this;
    return e;
}

Value* VectorRange::Cast(int type) {
    const int t = type ? type : kInt;
    if (!IsNumericType(t) && t != kBool) return VectorValue::Cast(type);
    DenseVector* d = DenseVector::Create(Pool(), t, {count_});
    Block b;
    d->DescribeBlock(b);
    WriteElements(t, 0, count_, b.data, b.elementBytes);
    return d;
}

void VectorRange::WriteElements(int t, int64_t first, int64_t n, unsigned char* out, int elementBytes) const {
    // As each element's cast writes it: the int put into the new type.
    for (int64_t i = 0; i < n; ++i)
        WriteInt(t, out + i * elementBytes, static_cast<int32_t>(from_ + (first + i) * step_));
}

bool VectorRange::HasSameType(Value& other) {
    if (other.IsVector()) return VectorValue::HasSameType(other);
    PoolScope scope(Pool());
    return Element(0)->HasSameType(other);
}
bool VectorRange::IsCompatible(Value& other) {
    if (other.IsVector()) return VectorValue::IsCompatible(other);
    PoolScope scope(Pool());
    return Element(0)->IsCompatible(other);
}
bool VectorRange::IsAssignableFrom(Value& other) {
    if (other.IsVector()) return VectorValue::IsAssignableFrom(other);
    PoolScope scope(Pool());
    return Element(0)->IsAssignableFrom(other);
}
bool VectorRange::HasCompatibleSize(Value& other) {
    if (other.IsVector()) return VectorValue::HasCompatibleSize(other);
    PoolScope scope(Pool());
    return Element(0)->HasCompatibleSize(other);
}

int VectorRange::ElementType() {
    PoolScope scope(Pool());
    return Element(0)->ElementType();
}

double VectorRange::TotalMax() {
    return static_cast<double>(step_ > 0 ? from_ + (count_ - 1) : from_);
}

double VectorRange::TotalMin() {
    return static_cast<double>(step_ > 0 ? from_ : from_ - (count_ - 1));
}

double VectorRange::TotalSum() {
    // Exact in 128 bits: up to 2^32 terms of up to 2^31.
    const __int128 last = from_ + (count_ - 1) * step_;
    return static_cast<double>(static_cast<__int128>(count_) * (from_ + last) / 2);
}

VectorJoined::VectorJoined(ValuePool* pool, ValueList parts, std::vector<bool> isRange)
    : VectorValue(pool), parts_(std::move(parts)), isRange_(std::move(isRange)) {
    int64_t end = 0;
    for (size_t k = 0; k < parts_.size(); ++k) {
        end += isRange_[k] ? parts_[k]->Count() : 1;
        ends_.push_back(end);
    }
}

template <typename Pred>
bool VectorJoined::AllParts(Pred pred) const {
    for (Value* p : parts_)
        if (!pred(*p)) return false;
    return true;
}

bool VectorJoined::IsBool() const {
    return AllParts([](Value& p) { return p.IsBool(); });
}
bool VectorJoined::IsIntegral() const {
    return AllParts([](Value& p) { return p.IsIntegral(); });
}
bool VectorJoined::IsBoolOrIntegral() const {
    return AllParts([](Value& p) { return p.IsBoolOrIntegral(); });
}
bool VectorJoined::IsFloating() const {
    return AllParts([](Value& p) { return p.IsFloating(); });
}
bool VectorJoined::IsNumeric() const {
    return AllParts([](Value& p) { return p.IsNumeric(); });
}
bool VectorJoined::IsString() const {
    return AllParts([](Value& p) { return p.IsString(); });
}
bool VectorJoined::IsNumericOrString() const {
    return AllParts([](Value& p) { return p.IsNumericOrString(); });
}
bool VectorJoined::IsWritable() const {
    return AllParts([](Value& p) { return p.IsWritable(); });
}
bool VectorJoined::IsDocumentData() const {
    return !AllParts([](Value& p) { return !p.IsDocumentData(); });
}

int64_t VectorJoined::TotalCount() const {
    int64_t total = 0;
    for (size_t k = 0; k < parts_.size(); ++k)
        total += isRange_[k] ? parts_[k]->Count() : parts_[k]->TotalCount();
    return total;
}

// The parts DenseCast takes for the elements' own type: every part an int, as ranges are.
bool VectorJoined::Runs(std::vector<IntRun>& out) {
    std::vector<IntRun> runs;
    for (size_t k = 0; k < parts_.size(); ++k) {
        const int64_t start = k == 0 ? 0 : ends_[k - 1];
        Block b;
        if (isRange_[k]) {
            auto* r = dynamic_cast<VectorRange*>(parts_[k]);
            if (!r) return false;
            runs.push_back(r->Run());
            runs.back().start = start;
        } else if (parts_[k]->IsScalar() && parts_[k]->DescribeBlock(b) && b.kind == Block::kScalar &&
                   parts_[k]->GetType() == kInt) {
            runs.push_back({start, parts_[k]->GetInt(), 0, 1});
        } else {
            return false;
        }
    }
    out = std::move(runs);
    return true;
}

bool ReadRuns(Value& v, std::vector<IntRun>& out) {
    if (auto* r = dynamic_cast<VectorRange*>(&v)) {
        out = {r->Run()};
        return true;
    }
    auto* j = dynamic_cast<VectorJoined*>(&v);
    return j && j->Runs(out);
}

Value* VectorJoined::Cast(int type) {
    if (DenseVector* d = DenseCast(type)) return d;
    return VectorValue::Cast(type);
}

DenseVector* VectorJoined::DenseCast(int type) {
    int t = type;
    for (size_t k = 0; k < parts_.size(); ++k) {
        Block b;
        int own = kInt;
        if (isRange_[k]) {
            if (!dynamic_cast<VectorRange*>(parts_[k])) return nullptr;
        } else if (parts_[k]->IsScalar() && parts_[k]->DescribeBlock(b) && b.kind == Block::kScalar) {
            own = parts_[k]->GetType();
        } else {
            return nullptr;
        }
        // Cast to their own types, elements of different types would not share one block.
        if (type == 0 && t != 0 && own != t) return nullptr;
        if (type == 0) t = own;
    }
    if (!IsNumericType(t) && t != kBool) return nullptr;
    DenseVector* d = DenseVector::Create(Pool(), t, {Count()});
    Block out;
    d->DescribeBlock(out);
    int64_t at = 0;
    for (size_t k = 0; k < parts_.size(); ++k) {
        if (isRange_[k]) {
            const auto* r = static_cast<VectorRange*>(parts_[k]);
            r->WriteElements(t, 0, r->Count(), out.data + at * out.elementBytes, out.elementBytes);
            at += r->Count();
            continue;
        }
        PoolScope scope(Pool());
        d->Element(at++)->AssignFrom(*parts_[k]->Cast(type));
    }
    return d;
}

Value* VectorJoined::Element(int64_t index) {
    if (index < 0 || index >= Count()) Raise(msg::kInvalidIndex);
    const size_t k = static_cast<size_t>(std::upper_bound(ends_.begin(), ends_.end(), index) - ends_.begin());
    if (!isRange_[k]) return parts_[k];
    const int64_t start = k == 0 ? 0 : ends_[k - 1];
    return parts_[k]->Element(index - start);
}

Value* VectorDynamic::Element(int64_t index) {
    if (index < 0 || index >= Count()) Raise(msg::kInvalidIndex);
    return elements_[static_cast<size_t>(index)];
}

void VectorDynamic::Append(Value* v) {
    if (!v->IsOwned()) v->parent = this;
    elements_.push_back(v);
}

Value* VectorDynamic::TakeSingle() {
    Value* v = elements_.front();
    elements_.clear();
    if (v->parent == this) v->parent = nullptr;
    return v;
}

void VectorArray::Build(VectorArray* array, int level, const std::vector<int64_t>& lengths, int type) {
    const int64_t n = lengths[static_cast<size_t>(level)];
    for (int64_t i = 0; i < n; ++i) {
        if (level == 0) {
            array->Append(array->Pool()->Make<ScalarRW>(type));
        } else {
            auto* sub = array->Pool()->Make<VectorArray>();
            Build(sub, level - 1, lengths, type);
            array->Append(sub);
        }
    }
}

int LeafType(Value& array) {
    if (array.Count() == 0) return 0;
    PoolScope scope(array.Pool());
    Value* first = array.Element(0);
    return first->IsScalar() ? first->GetType() : LeafType(*first);
}

std::vector<int64_t> GetDims(Value& array) {
    std::vector<int64_t> outer;
    Value* v = &array;
    PoolScope scope(array.Pool());
    while (v->IsVector()) {
        outer.push_back(v->Count());
        if (v->Count() == 0) break;
        v = v->Element(0);
    }
    return {outer.rbegin(), outer.rend()};
}

Value* ElementAt(Value& array, const std::vector<int64_t>& coordinate) {
    Value* v = &array;
    for (size_t k = coordinate.size(); k-- > 0;) {
        if (v->IsScalar()) Raise(msg::kTooManyDims);
        v = v->Element(coordinate[k]);
    }
    return v;
}

void AssignAt(Value& array, const std::vector<int64_t>& coordinate, Value& value) {
    ElementAt(array, coordinate)->AssignFrom(value);
}
void PutDoubleAt(Value& array, const std::vector<int64_t>& coordinate, double x) {
    ElementAt(array, coordinate)->PutDouble(x);
}
void PutBoolAt(Value& array, const std::vector<int64_t>& coordinate, bool b) {
    ElementAt(array, coordinate)->PutBool(b);
}

}  // namespace zun::script
