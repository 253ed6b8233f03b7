#include "script/builtins.h"

#include <cmath>
#include <cstring>

#include "script/block.h"
#include "script/evaluator.h"
#include "script/messages.h"
#include "script/scalar.h"
#include "script/shaped.h"
#include "script/vector.h"

namespace zun::script {
namespace {

Value* Rand(const ValueList& args, ValuePool& pool) {
    Check(args.size() <= 2, "usage: rand([range [,offset]])");
    for (Value* v : args) Check(v->IsNumeric(), "rand() takes numeric args");
    Value* range = args.size() >= 1 ? args[0] : nullptr;
    Value* offset = args.size() == 2 ? args[1] : nullptr;
    if (!offset) {
        offset = pool.Make<ScalarRO>(kChar);
        offset->PutChar(0);
    }
    if (!range) {
        range = pool.Make<ScalarRO>(kDouble);
        range->PutDouble(1.0);
    }
    Check(range->HasCompatibleSize(*offset), "rand() args must have compatible size");
    // Over vectors the draws are not stored: each element draws when it is read.
    if (range->IsVector() || offset->IsVector())
        if (Value* r = RandomVector::Create(&pool, *range, *offset)) return r;
    Value& maker = range->IsVector() ? *range : *offset;
    Value& other = &maker == range ? *offset : *range;
    return maker.NewResultFor(other)->MakeRandom(*range, *offset);
}

struct Family {
    const char* usage;
    const char* numeric;
    const char* size;
};

Value* Elementwise(ListOp op, const ValueList& args) {
    static const Family kFamilies[] = {
        {"usage: max(a,b,...)", "max() takes numeric args", "max() args must have compatible size"},
        {"usage: min(a,b,...)", "min() takes numeric args", "min() args must have compatible size"},
        {"usage: sum(a,b,...)", "sum() takes numeric args", "sum() args must have compatible size"}};
    const Family& f = kFamilies[static_cast<int>(op)];
    Check(!args.empty(), f.usage);
    for (size_t i = 0; i < args.size(); ++i) {
        Check(args[i]->IsNumeric(), f.numeric);
        if (i > 0) Check(args[0]->HasCompatibleSize(*args[i]), f.size);
    }
    Value* maker = args[0];
    for (Value* v : args)
        if (v->IsVector()) {
            maker = v;
            break;
        }
    return maker->NewForArgs(args)->ListOf(op, args);
}

Value* Totals(ListOp op, const ValueList& args, ValuePool& pool) {
    static const Family kFamilies[] = {{"usage: maxt(a,b,...)", "maxt() takes numeric args", nullptr},
                                       {"usage: mint(a,b,...)", "mint() takes numeric args", nullptr},
                                       {"usage: sumt(a,b,...)", "sumt() takes numeric args", nullptr}};
    const Family& f = kFamilies[static_cast<int>(op)];
    Check(!args.empty(), f.usage);
    for (Value* v : args) Check(v->IsNumeric(), f.numeric);
    int type = 0;
    for (Value* v : args) {
        const int t = v->ElementType();
        if (t >= type) type = t;
    }
    return pool.Make<ScalarRO>(type)->ListOfTotals(op, args);
}

int64_t Linear(const std::vector<int64_t>& dims, const std::vector<int64_t>& c) {
    int64_t at = 0, stride = 1;
    for (size_t d = 0; d < dims.size(); ++d) at += c[d] * stride, stride *= dims[d];
    return at;
}

Value* Shake(const ValueList& args) {
    Check(args.size() == 1, "usage: shake(array)");
    Check(args[0]->IsRectangular(), "shake() arg must have array structure");
    Value* r = args[0]->Cast(0);
    const std::vector<int64_t> dims = GetDims(*r);
    ValuePool& pool = *r->Pool();
    std::vector<int64_t> other(dims.size());
    ForEachCoordinate(dims, [&](const std::vector<int64_t>& c) {
        bool inside = true;
        for (size_t d = 0; d < dims.size(); ++d) {
            const int k = static_cast<int>(ScriptRand() / 32768.0 * -3.0);
            other[d] = c[d] - k - 1;
            if (other[d] < 0 || other[d] >= dims[d]) inside = false;
        }
        if (!inside) return;
        PoolScope scope(&pool);
        Value* a = ElementAt(*r, c);
        Value* b = ElementAt(*r, other);
        if (a->GetDouble() == b->GetDouble()) return;
        Value* keep = a->Cast(0);
        a->AssignFrom(*b);
        b->AssignFrom(*keep);
    });
    return r;
}

// Mass attraction on flat copies of the two arrays; the final state is written back through
// the array's own element writes.
class Gravity {
public:
    Gravity(ValuePool& pool, std::vector<int64_t> dims, std::vector<double> a, const std::vector<double>& b)
        : pool_(pool), dims_(std::move(dims)), a_(std::move(a)) {
        ForEachCoordinate(dims_, [&](const std::vector<int64_t>& c) {
            const double w = b[static_cast<size_t>(Linear(dims_, c))];
            if (w != 0.0) masses_.push_back({c, w});
        });
    }

    void Run() {
        // A sweep and a measure each visit every mass from every voxel: counted as the line's work
        // before they run.
        const uint64_t pass = static_cast<uint64_t>(a_.size()) * (masses_.size() + 1);
        pool_.ChargeWork(pass);
        double previous = Measure();
        for (int sweep = 0; sweep < kMaxSweeps; ++sweep) {
            pool_.ChargeWork(2 * pass);
            if (Sweep() == 0) return;
            const double m = Measure();
            if (!(m > previous)) return;
            previous = m;
        }
    }

    const std::vector<double>& Values() const { return a_; }

private:
    static constexpr int kMaxSweeps = 10000;
    struct Mass {
        std::vector<int64_t> at;
        double w;
    };

    double& At(const std::vector<int64_t>& c) { return a_[static_cast<size_t>(Linear(dims_, c))]; }
    bool Inside(const std::vector<int64_t>& c) const {
        for (size_t d = 0; d < dims_.size(); ++d)
            if (c[d] < 0 || c[d] >= dims_[d]) return false;
        return true;
    }

    // Moves the voxel at c one step, pushing the run of occupied voxels ahead of it.
    bool Move(const std::vector<int64_t>& c, const std::vector<int64_t>& step, std::vector<char>& marked) {
        std::vector<int64_t> end = c;
        for (;;) {
            for (size_t d = 0; d < end.size(); ++d) end[d] += step[d];
            if (!Inside(end)) return false;
            if (At(end) == 0.0) break;
        }
        // Shift from the free cell back to c.
        std::vector<int64_t> to = end, from = end;
        for (;;) {
            for (size_t d = 0; d < from.size(); ++d) from[d] = to[d] - step[d];
            At(to) = At(from);
            marked[static_cast<size_t>(Linear(dims_, to))] = 1;
            if (from == c) break;
            to = from;
        }
        At(c) = 0.0;
        return true;
    }

    int Sweep() {
        std::vector<char> marked(a_.size(), 0);
        int moves = 0;
        const size_t n = dims_.size();
        ForEachCoordinate(dims_, [&](const std::vector<int64_t>& c) {
            const size_t here = static_cast<size_t>(Linear(dims_, c));
            if (marked[here] || a_[here] == 0.0) return;
            marked[here] = 1;
            std::vector<double> f(n, 0.0);
            for (const Mass& m : masses_) {
                if (m.at == c) continue;
                double r2 = 0.0;
                for (size_t d = 0; d < n; ++d) r2 += double(m.at[d] - c[d]) * double(m.at[d] - c[d]);
                const double r3 = r2 * std::sqrt(r2);
                for (size_t d = 0; d < n; ++d) f[d] += double(m.at[d] - c[d]) * m.w / r3;
            }
            double largest = 0.0;
            for (double x : f) largest = std::fmax(largest, std::fabs(x));
            if (!(largest > 0.0)) return;
            std::vector<int64_t> step(n, 0);
            bool any = false;
            for (size_t d = 0; d < n; ++d) {
                const double q = f[d] / largest;
                step[d] = q < -0.5 ? -1 : (q >= 0.5 ? 1 : 0);
                any = any || step[d] != 0;
            }
            if (!any) return;
            if (Move(c, step, marked)) {
                ++moves;
                return;
            }
            for (size_t d = 0; d < n; ++d) {
                if (step[d] == 0) continue;
                std::vector<int64_t> single(n, 0);
                single[d] = step[d];
                if (Move(c, single, marked)) {
                    ++moves;
                    return;
                }
            }
        });
        return moves;
    }

    double Measure() {
        double total = 0.0;
        ForEachCoordinate(dims_, [&](const std::vector<int64_t>& c) {
            if (At(c) == 0.0) return;
            for (const Mass& m : masses_) {
                if (m.at == c) {
                    total += m.w * 4.0;
                    continue;
                }
                double r2 = 0.0;
                for (size_t d = 0; d < c.size(); ++d) r2 += double(m.at[d] - c[d]) * double(m.at[d] - c[d]);
                total += m.w / r2;
            }
        });
        return total;
    }

    ValuePool& pool_;
    std::vector<int64_t> dims_;
    std::vector<double> a_;
    std::vector<Mass> masses_;
};

std::vector<double> Flatten(Value& array, const std::vector<int64_t>& dims) {
    std::vector<double> out;
    ForEachCoordinate(dims, [&](const std::vector<int64_t>& c) {
        PoolScope scope(array.Pool());
        out.push_back(ElementAt(array, c)->GetDouble());
    });
    return out;
}

Value* Grav(const ValueList& args) {
    Check(args.size() == 2, "usage: grav(a, b)");
    Check(args[0]->IsNumeric() && args[1]->IsNumeric(), "grav() takes numeric args");
    Check(args[0]->IsRectangular() && args[1]->IsRectangular(), "grav() args must have array structure");
    Check(args[0]->HasCompatibleSize(*args[1]), "grav() args must have compatible sizes");
    Value* a = args[0]->Cast(0);
    Value* b = args[1]->Cast(0);
    const std::vector<int64_t> dims = GetDims(*a);
    if (GetDims(*b) != dims) Raise("grav() args must have compatible sizes");
    const std::vector<double> before = Flatten(*a, dims);
    Gravity g(*a->Pool(), dims, before, Flatten(*b, dims));
    g.Run();
    const std::vector<double>& after = g.Values();
    ForEachCoordinate(dims, [&](const std::vector<int64_t>& c) {
        const size_t i = static_cast<size_t>(Linear(dims, c));
        if (after[i] == before[i]) return;
        PoolScope scope(a->Pool());
        PutDoubleAt(*a, c, after[i]);
    });
    return a;
}

Value* Resamp(const ValueList& args, ValuePool& pool) {
    Check(args.size() == 1 || args.size() == 2, "usage: resamp(a [,b])");
    Check(args[0]->IsRectangular(), "resamp() args must have array structure");
    Value* a = args[0]->Cast(0);
    const std::vector<int64_t> old = GetDims(*a);
    std::vector<int64_t> lengths = old;
    if (args.size() == 2) {
        const char* shape =
            "resamp() second arg array must be one dimensional integral type with compatible length";
        Value* b = args[1]->Cast(0);
        Check(b->IsVector() && b->IsIntegral(), shape);
        const std::vector<int64_t> bd = GetDims(*b);
        Check(bd.size() == 1 && bd[0] > 0 && bd[0] <= static_cast<int64_t>(old.size()), shape);
        for (int64_t i = 0; i < bd[0]; ++i) {
            const int32_t len = b->Element(i)->GetInt();
            Check(len >= 1, "resamp() resampled dimension lengths must be >= 1");
            lengths[static_cast<size_t>(i)] = len;
        }
    }
    if (lengths.empty()) return a;
    double total = 1.0;
    for (int64_t d : lengths) total *= static_cast<double>(d);
    const int type = LeafType(*a);
    Block src;
    const bool dense = pool.fast && a->DescribeBlock(src) && src.kind == Block::kDense;
    // Charged by the path really taken: a literal or a list is resampled element by element.
    CheckAllocation(total * (dense ? 8.0 : Evaluator::kBytesPerElement));
    if (dense) {
        DenseVector* r = DenseVector::Create(&pool, type, lengths, true);
        Block dst;
        r->DescribeBlock(dst);
        std::vector<int64_t> s(old.size());
        int64_t at = 0;
        ForEachCoordinate(lengths, [&](const std::vector<int64_t>& c) {
            for (size_t d = 0; d < c.size(); ++d)
                s[d] = static_cast<int64_t>(static_cast<uint64_t>(old[d]) * static_cast<uint64_t>(c[d]) /
                                            static_cast<uint64_t>(lengths[d]));
            std::memcpy(dst.data + at++ * dst.elementBytes, src.data + Linear(old, s) * src.elementBytes,
                        static_cast<size_t>(dst.elementBytes));
        });
        return r;
    }
    auto* r = pool.Make<VectorArray>();
    VectorArray::Build(r, static_cast<int>(lengths.size()) - 1, lengths, type);
    std::vector<int64_t> s(old.size());
    ForEachCoordinate(lengths, [&](const std::vector<int64_t>& c) {
        for (size_t d = 0; d < c.size(); ++d)
            s[d] = static_cast<int64_t>(static_cast<uint64_t>(old[d]) * static_cast<uint64_t>(c[d]) /
                                        static_cast<uint64_t>(lengths[d]));
        PoolScope scope(&pool);
        AssignAt(*r, c, *ElementAt(*a, s));
    });
    return r;
}

}  // namespace

Value* BuiltinCall(const std::string& name, const ValueList& args, ValuePool& pool) {
    if (name == "rand") return Rand(args, pool);
    if (name == "max") return Elementwise(ListOp::Max, args);
    if (name == "min") return Elementwise(ListOp::Min, args);
    if (name == "sum") return Elementwise(ListOp::Sum, args);
    if (name == "maxt") return Totals(ListOp::Max, args, pool);
    if (name == "mint") return Totals(ListOp::Min, args, pool);
    if (name == "sumt") return Totals(ListOp::Sum, args, pool);
    if (name == "grav") return Grav(args);
    if (name == "shake") return Shake(args);
    if (name == "resamp") return Resamp(args, pool);
    Raise(msg::kUnknownFunction);
}

}  // namespace zun::script
