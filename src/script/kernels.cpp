#include "script/kernels.h"

#include <omp.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "foundation/cpuclones.h"
#include "script/block.h"
#include "script/messages.h"
#include "script/scalar.h"
#include "script/voxel.h"

namespace zun::script::kernels {

int TeamFor(int64_t elements, int threads) {
    const int64_t most = std::max<int64_t>(1, elements / kElementsPerThread);
    return static_cast<int>(std::min<int64_t>(std::max(1, threads), most));
}

namespace {

constexpr int64_t kChunk = 2048;
// Every thread of a team gets whole chunks to work on.
static_assert(kElementsPerThread >= kChunk);

double ScalarRead(Value* v, int readType) {
    switch (readType) {
        case kChar:
            return v->GetChar();
        case kUShort:
            return v->GetUShort();
        case kShort:
            return v->GetShort();
        case kUInt:
            return v->GetUInt();
        case kInt:
        case kLong:
            return v->GetInt();
        case kFloat:
            return v->GetFloat();
        case kBool:
            return v->GetBool() ? 1.0 : 0.0;
        default:
            return v->GetDouble();
    }
}

bool IsFlagField(VoxelField f) {
    return f == VoxelField::Ro || f == VoxelField::Err;
}
bool IsFloatField(VoxelField f) {
    return f == VoxelField::Log || f == VoxelField::Phys;
}

bool CanRead(const Block& b, int readType) {
    // A random value refuses to be read as a bool.
    if (b.kind == Block::kRandom) return readType != kBool;
    if (b.kind != Block::kWords) return true;
    if (IsFlagField(b.field)) return readType == kBool;
    if (IsFloatField(b.field)) return readType != kBool;
    return true;
}

bool CanWrite(const Block& b, int putType) {
    if (b.kind == Block::kScalar || b.kind == Block::kRandom || b.kind == Block::kRuns) return false;
    if (b.kind == Block::kDense) return true;
    if (IsFlagField(b.field)) return putType == kBool;
    return putType != kBool;
}

template <typename T>
void LoadAll(const unsigned char* p, int64_t n, double* out) {
    for (int64_t i = 0; i < n; ++i) out[i] = static_cast<double>(Load<T>(p + i * sizeof(T)));
}

// Typed loops for the reads whose result is the stored number itself; false for the others.
bool ReadPlain(int type, int readType, const unsigned char* p, int64_t n, double* out) {
    const bool plain = readType == kDouble || readType == type ||
                       ((readType == kInt || readType == kLong) && IsIntegralType(type) && type != kUInt);
    if (!plain) return false;
    switch (type) {
        case kChar:
            LoadAll<int8_t>(p, n, out);
            return true;
        case kUShort:
            LoadAll<uint16_t>(p, n, out);
            return true;
        case kShort:
            LoadAll<int16_t>(p, n, out);
            return true;
        case kUInt:
            LoadAll<uint32_t>(p, n, out);
            return true;
        case kInt:
        case kLong:
            LoadAll<int32_t>(p, n, out);
            return true;
        case kFloat:
            LoadAll<float>(p, n, out);
            return true;
        case kDouble:
            LoadAll<double>(p, n, out);
            return true;
        default:
            return false;
    }
}

template <typename T>
void StoreTruncated(unsigned char* p, int64_t n, const double* in) {
    for (int64_t i = 0; i < n; ++i) Store<T>(p + i * sizeof(T), static_cast<T>(TruncToI64(in[i])));
}
template <typename T>
void StoreInteger(unsigned char* p, int64_t n, const double* in) {
    for (int64_t i = 0; i < n; ++i) Store<T>(p + i * sizeof(T), static_cast<T>(static_cast<int64_t>(in[i])));
}

// Typed loops for floating writes and integral writes into integral elements; false otherwise.
bool WritePlain(int type, int putType, unsigned char* p, int64_t n, const double* in) {
    if (putType == kDouble || putType == kFloat) {
        switch (type) {
            case kChar:
                StoreTruncated<int8_t>(p, n, in);
                return true;
            case kUShort:
                for (int64_t i = 0; i < n; ++i)
                    Store<uint16_t>(p + i * 2, static_cast<uint16_t>(TruncToI32(in[i])));
                return true;
            case kShort:
                StoreTruncated<uint16_t>(p, n, in);
                return true;
            case kUInt:
            case kInt:
            case kLong:
                StoreTruncated<uint32_t>(p, n, in);
                return true;
            case kFloat:
                for (int64_t i = 0; i < n; ++i) Store<float>(p + i * 4, static_cast<float>(in[i]));
                return true;
            case kDouble:
                for (int64_t i = 0; i < n; ++i) Store<double>(p + i * 8, in[i]);
                return true;
            default:
                return false;
        }
    }
    if (!IsIntegralType(putType) || !IsIntegralType(type)) return false;
    switch (type) {
        case kChar:
            StoreInteger<int8_t>(p, n, in);
            return true;
        case kUShort:
        case kShort:
            StoreInteger<uint16_t>(p, n, in);
            return true;
        default:
            StoreInteger<uint32_t>(p, n, in);
            return true;
    }
}

double OperandAt(const RandomOperand& o, int64_t i) {
    return o.data ? ReadAs(kDouble, o.type, o.data + i * o.elementBytes) : o.constant;
}

// One operand prepared for reading: a constant, or a block with its lookup table. A random
// block's element i is the (i + 1)-th draw after the generator's state when it was prepared,
// so that chunks read apart draw what one run in element order would.
struct Reader {
    const Block* block = nullptr;
    int readType = kDouble;
    double constant = 0.0;
    std::vector<float> lut;
    uint32_t randomStart = 0;

    void Prepare(const Block& b, int type) {
        block = &b;
        readType = type;
        if (b.kind == Block::kScalar) constant = ScalarRead(b.scalar, type);
        if (b.kind == Block::kRandom) randomStart = ScriptRandState();
        if (b.kind == Block::kWords && IsFloatField(b.field)) {
            lut.resize(16384);
            for (uint16_t v = 0; v < 16384; ++v)
                lut[v] = b.field == VoxelField::Phys ? PhysOf(v, b.min, b.max) : LogOf(v);
        }
    }

    // Each int as a dense block of ints reads it: itself where ReadPlain takes the stored number.
    void ReadRuns(const std::vector<IntRun>& runs, int64_t start, int64_t n, double* out) const {
        const bool plain = readType == kDouble || readType == kInt || readType == kLong;
        for (size_t k = RunIndex(runs, start); n > 0; ++k) {
            const IntRun& r = runs[k];
            const int64_t m = std::min(n, r.start + r.count - start);
            if (plain) {
                for (int64_t i = 0; i < m; ++i) out[i] = RunElement(r, start + i);
            } else {
                for (int64_t i = 0; i < m; ++i) {
                    const int32_t v = RunElement(r, start + i);
                    out[i] = ReadAs(readType, kInt, &v);
                }
            }
            start += m, n -= m, out += m;
        }
    }

    void Read(int64_t start, int64_t n, double* out) const {
        const Block& b = *block;
        if (b.kind == Block::kScalar) {
            std::fill(out, out + n, constant);
            return;
        }
        if (b.kind == Block::kRandom) {
            uint32_t state = ScriptRandAfter(randomStart, static_cast<uint64_t>(start));
            for (int64_t i = 0; i < n; ++i) {
                const double draw = ScriptRandNext(state);
                const double raw =
                    draw / 32767.0 * OperandAt(b.scale, start + i) + OperandAt(b.shift, start + i);
                out[i] = RandomReadAs(readType, raw);
            }
            return;
        }
        if (b.kind == Block::kRuns) {
            ReadRuns(*b.runs, start, n, out);
            return;
        }
        if (b.kind == Block::kDense) {
            const unsigned char* p = b.data + start * b.elementBytes;
            if (!ReadPlain(b.type, readType, p, n, out)) {
                for (int64_t i = 0; i < n; ++i) out[i] = ReadAs(readType, b.type, p + i * b.elementBytes);
            }
            return;
        }
        const uint16_t* w = b.words + start;
        switch (b.field) {
            case VoxelField::Log:
            case VoxelField::Phys:
                if (readType == kDouble || readType == kFloat) {
                    for (int64_t i = 0; i < n; ++i) out[i] = lut[w[i] & kValueBits];
                } else {
                    for (int64_t i = 0; i < n; ++i) {
                        const float f = lut[w[i] & kValueBits];
                        out[i] = ReadAs(readType, kFloat, &f);
                    }
                }
                break;
            case VoxelField::Ro:
                for (int64_t i = 0; i < n; ++i) out[i] = (w[i] & kRoBit) ? 1.0 : 0.0;
                break;
            case VoxelField::Err:
                for (int64_t i = 0; i < n; ++i) out[i] = (w[i] & kErrBit) ? 1.0 : 0.0;
                break;
            default: {
                const uint16_t mask = b.field == VoxelField::Raw ? kValueBits : 0xFFFF;
                if (readType == kDouble || readType == kFloat || readType == kInt || readType == kUInt) {
                    for (int64_t i = 0; i < n; ++i) out[i] = w[i] & mask;
                } else {
                    for (int64_t i = 0; i < n; ++i) {
                        const uint16_t u = w[i] & mask;
                        out[i] = ReadAs(readType, kUShort, &u);
                    }
                }
            }
        }
    }
};

uint16_t UShortFor(int putType, double x) {
    switch (putType) {
        case kChar:
            return static_cast<uint16_t>(static_cast<int16_t>(static_cast<int8_t>(x)));
        case kFloat:
        case kDouble:
            return static_cast<uint16_t>(TruncToI32(x));
        default:
            return static_cast<uint16_t>(static_cast<int64_t>(x));
    }
}

// Words for physical values in [mn, mx], flags kept. The clamping of the views makes the
// out-of-range cases of the word setter unreachable; written without branches (a NaN fails the
// first test and becomes mx) so that the loop runs in vector lanes.
ZUN_CPU_CLONES void WritePhysical(uint16_t* w, int64_t n, const double* in, float mn, float mx, float span) {
#pragma omp simd
    for (int64_t i = 0; i < n; ++i) {
        float f = static_cast<float>(in[i]);
        f = f <= mx ? f : mx;
        f = f < mn ? mn : f;
        double d = (f - mn) / span * 16383 + 0.5;
        d = d > 16383.0 ? 16383.0 : (d < 0.0 ? 0.0 : d);
        w[i] = static_cast<uint16_t>((w[i] & (kRoBit | kErrBit)) | static_cast<int>(d));
    }
}

void Write(Block& b, int putType, int64_t start, int64_t n, const double* in) {
    if (b.kind == Block::kDense) {
        unsigned char* p = b.data + start * b.elementBytes;
        if (WritePlain(b.type, putType, p, n, in)) {
            return;
        } else if (putType == kBool) {
            for (int64_t i = 0; i < n; ++i) Store<uint8_t>(p + i * b.elementBytes, in[i] != 0.0);
        } else {
            for (int64_t i = 0; i < n; ++i) WriteAs(putType, b.type, p + i * b.elementBytes, in[i]);
        }
        return;
    }
    uint16_t* w = b.words + start;
    switch (b.field) {
        case VoxelField::Bare:
            for (int64_t i = 0; i < n; ++i) WriteAs(putType, kUShort, w + i, in[i]);
            break;
        case VoxelField::Val:
        case VoxelField::Raw:
            if (putType == kFloat || putType == kDouble) {
                for (int64_t i = 0; i < n; ++i) PutValueBits(w + i, static_cast<uint16_t>(TruncToI32(in[i])));
            } else if (putType == kChar) {
                for (int64_t i = 0; i < n; ++i) PutValueBits(w + i, UShortFor(kChar, in[i]));
            } else {
                for (int64_t i = 0; i < n; ++i)
                    PutValueBits(w + i, static_cast<uint16_t>(static_cast<int64_t>(in[i])));
            }
            break;
        case VoxelField::Log:
        case VoxelField::Phys: {
            const float mn = b.field == VoxelField::Phys ? b.min : 0.0f;
            const float mx = b.field == VoxelField::Phys ? b.max : 1.0f;
            const float t = 1e-6f * std::fmax(std::fabs(mx), std::fabs(mn));
            const float span = mx - mn;
            if (span < t) {
                for (int64_t i = 0; i < n; ++i) w[i] = static_cast<uint16_t>(w[i] & (kRoBit | kErrBit));
                break;
            }
            WritePhysical(w, n, in, mn, mx, span);
            break;
        }
        case VoxelField::Ro:
        case VoxelField::Err: {
            const uint16_t bit = b.field == VoxelField::Ro ? kRoBit : kErrBit;
            for (int64_t i = 0; i < n; ++i)
                w[i] = static_cast<uint16_t>(in[i] != 0.0 ? (w[i] | bit) : (w[i] & ~bit));
            break;
        }
        default:
            break;
    }
}

// After a kernel read every element of a random block once: the generator goes on from there.
void CommitDraws(const Reader& r, int64_t count) {
    if (r.block && r.block->kind == Block::kRandom)
        SeedScriptRand(ScriptRandAfter(r.randomStart, static_cast<uint64_t>(count)));
}

int RandomBlocks(std::initializer_list<const Block*> blocks) {
    int n = 0;
    for (const Block* b : blocks) n += b->kind == Block::kRandom ? 1 : 0;
    return n;
}

bool SameShape(const Block& r, const Block& x) {
    return x.kind == Block::kScalar || x.dims == r.dims;
}

// Word blocks of one channel either coincide or do not overlap when the order of elements does
// not matter; partial overlaps keep the element-wise path.
bool SafeAlias(const Block& dest, const Block& src) {
    if (dest.kind != Block::kWords || src.kind != Block::kWords) return true;
    const uint16_t *d0 = dest.words, *d1 = dest.words + dest.count;
    const uint16_t *s0 = src.words, *s1 = src.words + src.count;
    return d0 == s0 || d1 <= s0 || s1 <= d0;
}

int Threads(Value& v) {
    return std::max(1, v.Pool()->threads);
}

// Runs body(start, n, a, b, r) over chunks with per-chunk buffers, in parallel when allowed.
template <typename Body>
void ForChunks(int64_t count, int threads, bool parallel, Body body) {
    const int64_t chunks = (count + kChunk - 1) / kChunk;
    if (!parallel) threads = 1;
    threads = TeamFor(count, threads);
#pragma omp parallel for num_threads(threads) schedule(static)
    for (int64_t c = 0; c < chunks; ++c) {
        double a[kChunk], b[kChunk], r[kChunk];
        const int64_t start = c * kChunk;
        body(start, std::min(kChunk, count - start), a, b, r);
    }
}

bool IsIntegralOp(BinOp op) {
    return op == BinOp::Mod || op == BinOp::Shl || op == BinOp::Shr || op == BinOp::BitAnd ||
           op == BinOp::BitXor || op == BinOp::BitOr;
}

double Apply(BinOp op, double x, double y) {
    switch (op) {
        case BinOp::Mul:
            return x * y;
        case BinOp::Div:
            return x / y;
        case BinOp::Add:
            return x + y;
        case BinOp::Sub:
            return x - y;
        case BinOp::Mod: {
            const int32_t a = static_cast<int32_t>(x), b = static_cast<int32_t>(y);
            return (a == INT32_MIN && b == -1) ? 0 : a % b;
        }
        case BinOp::Shl:
            return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int32_t>(x))
                                        << (static_cast<int32_t>(y) & 31));
        case BinOp::Shr:
            return static_cast<int32_t>(x) >> (static_cast<int32_t>(y) & 31);
        case BinOp::BitAnd:
            return static_cast<int32_t>(x) & static_cast<int32_t>(y);
        case BinOp::BitXor:
            return static_cast<int32_t>(x) ^ static_cast<int32_t>(y);
        case BinOp::BitOr:
            return static_cast<int32_t>(x) | static_cast<int32_t>(y);
        case BinOp::Less:
        case BinOp::Greater:
        case BinOp::LessEqual:
        case BinOp::GreaterEqual:
        case BinOp::Equal:
        case BinOp::NotEqual:
            return CompareNumbers(op, x, y);
        case BinOp::LogicalAnd:
            return (x != 0.0) && (y != 0.0);
        case BinOp::LogicalOr:
            return (x != 0.0) || (y != 0.0);
    }
    return 0.0;
}

// The shared loop of binary operations and compound assignments: r = op(a, b) element by
// element. Remainders stop at the first zero divisor after writing the elements before it.
void RunBinary(Block& dest, BinOp op, const Reader& ra, const Reader& rb, int putType, int threads) {
    const bool mod = op == BinOp::Mod;
    const bool parallel = !mod;
    bool divisionByZero = false;
    ForChunks(dest.count, threads, parallel, [&](int64_t start, int64_t n, double* a, double* b, double* r) {
        if (divisionByZero) return;
        ra.Read(start, n, a);
        rb.Read(start, n, b);
        if (op == BinOp::Mul) {
            for (int64_t i = 0; i < n; ++i) r[i] = a[i] * b[i];
        } else if (op == BinOp::Add) {
            for (int64_t i = 0; i < n; ++i) r[i] = a[i] + b[i];
        } else {
            int64_t limit = n;
            if (mod) {
                for (int64_t i = 0; i < n; ++i)
                    if (static_cast<int32_t>(b[i]) == 0) {
                        limit = i;
                        divisionByZero = true;
                        break;
                    }
            }
            for (int64_t i = 0; i < limit; ++i) r[i] = Apply(op, a[i], b[i]);
            n = limit;
        }
        Write(dest, putType, start, n, r);
    });
    if (divisionByZero) Raise(msg::kDivisionByZero);
}

}  // namespace

bool Binary(Value& receiver, BinOp op, Value& a, Value& b) {
    Block R, A, B;
    if (!receiver.DescribeBlock(R) || R.kind == Block::kScalar) return false;
    if (!a.DescribeBlock(A) || !b.DescribeBlock(B)) return false;
    if (!SameShape(R, A) || !SameShape(R, B) || !SafeAlias(R, A) || !SafeAlias(R, B)) return false;
    // Random operands: one, read once per element (a remainder stops part-way, a comparison
    // reads by the operands' types).
    if (const int randoms = RandomBlocks({&A, &B});
        randoms > 1 || (randoms == 1 && (op == BinOp::Mod || op >= BinOp::Less)))
        return false;
    int readType = kDouble, putType = kDouble;
    if (IsIntegralOp(op)) {
        readType = putType = kInt;
    } else if (op == BinOp::LogicalAnd || op == BinOp::LogicalOr) {
        readType = putType = kBool;
    } else if (op >= BinOp::Less && op <= BinOp::NotEqual) {
        putType = kBool;
        if (!IsNumericType(A.type)) {
            if (A.type != kBool || (op != BinOp::Equal && op != BinOp::NotEqual)) return false;
            readType = kBool;
        }
    }
    if (!CanRead(A, readType) || !CanRead(B, readType) || !CanWrite(R, putType)) return false;
    Reader ra, rb;
    ra.Prepare(A, readType);
    rb.Prepare(B, readType);
    RunBinary(R, op, ra, rb, putType, Threads(receiver));
    CommitDraws(ra, R.count);
    CommitDraws(rb, R.count);
    return true;
}

bool CanCopy(Value& receiver, Value& source) {
    Block D, S;
    if (!receiver.DescribeBlock(D) || D.kind == Block::kScalar || !source.DescribeBlock(S)) return false;
    return SameShape(D, S) && SafeAlias(D, S) && CanRead(S, S.type) && CanWrite(D, S.type);
}

bool Assign(Value& receiver, AsgOp op, Value& source) {
    Block D, S;
    if (!receiver.DescribeBlock(D) || D.kind == Block::kScalar || !source.DescribeBlock(S)) return false;
    if (!SameShape(D, S) || !SafeAlias(D, S)) return false;
    const int threads = Threads(receiver);
    if (op == AsgOp::Assign) {
        const int t = S.type;
        if (!CanRead(S, t) || !CanWrite(D, t)) return false;
        Reader rs;
        rs.Prepare(S, t);
        ForChunks(D.count, threads, true, [&](int64_t start, int64_t n, double* a, double*, double*) {
            rs.Read(start, n, a);
            Write(D, t, start, n, a);
        });
        CommitDraws(rs, D.count);
        return true;
    }
    if (op == AsgOp::Add && !IsNumericType(D.type)) return D.kind == Block::kWords || D.kind == Block::kDense;
    static constexpr BinOp kOps[] = {BinOp::Mul,    BinOp::Mul,    BinOp::Div,  BinOp::Mod,
                                     BinOp::Add,    BinOp::Sub,    BinOp::Shl,  BinOp::Shr,
                                     BinOp::BitAnd, BinOp::BitXor, BinOp::BitOr};
    const BinOp bop = kOps[static_cast<int>(op)];
    if (bop == BinOp::Mod && S.kind == Block::kRandom) return false;
    const int t = IsIntegralOp(bop) ? kInt : kDouble;
    if (!CanRead(D, t) || !CanRead(S, t) || !CanWrite(D, t)) return false;
    Reader rd, rs;
    rd.Prepare(D, t);
    rs.Prepare(S, t);
    RunBinary(D, bop, rd, rs, t, threads);
    CommitDraws(rs, D.count);
    return true;
}

// receiver = test ? a : b element by element, each element taking the chosen source's own type.
bool Select(Value& receiver, Value& test, Value& a, Value& b) {
    Block R, T, A, B;
    if (!receiver.DescribeBlock(R) || R.kind == Block::kScalar) return false;
    if (!test.DescribeBlock(T) || !a.DescribeBlock(A) || !b.DescribeBlock(B)) return false;
    if (!SameShape(R, T) || !SameShape(R, A) || !SameShape(R, B)) return false;
    if (!SafeAlias(R, T) || !SafeAlias(R, A) || !SafeAlias(R, B)) return false;
    // Element by element only the chosen source is read: a random one draws for some elements.
    if (RandomBlocks({&T, &A, &B}) > 0) return false;
    if (!CanRead(T, kBool) || !CanRead(A, A.type) || !CanRead(B, B.type)) return false;
    if (!CanWrite(R, A.type) || !CanWrite(R, B.type)) return false;
    Reader rt, ra, rb;
    rt.Prepare(T, kBool);
    ra.Prepare(A, A.type);
    rb.Prepare(B, B.type);
    ForChunks(R.count, Threads(receiver), true,
              [&](int64_t start, int64_t n, double* x, double* y, double* t) {
                  rt.Read(start, n, t);
                  ra.Read(start, n, x);
                  rb.Read(start, n, y);
                  if (A.type == B.type) {
                      for (int64_t i = 0; i < n; ++i) x[i] = t[i] != 0.0 ? x[i] : y[i];
                      Write(R, A.type, start, n, x);
                      return;
                  }
                  for (int64_t i = 0; i < n; ++i) {
                      if (t[i] != 0.0) {
                          Write(R, A.type, start + i, 1, x + i);
                      } else {
                          Write(R, B.type, start + i, 1, y + i);
                      }
                  }
              });
    return true;
}

bool Unary(Value& receiver, UnOp op, bool apply) {
    Block R;
    if (!receiver.DescribeBlock(R) || R.kind == Block::kScalar) return false;
    if ((op == UnOp::PostInc || op == UnOp::PostDec) && !apply) return true;
    if (op == UnOp::Plus) return true;
    int readType = kDouble, putType = kDouble;
    if (op == UnOp::BitNot) readType = putType = kInt;
    if (op == UnOp::LogicalNot) readType = R.type == kBool ? kBool : kInt, putType = kBool;
    if (op == UnOp::Clear) {
        if (R.type == kString) return false;
        readType = kDouble;
        putType = R.type == kBool ? kBool : kInt;
        if (R.kind == Block::kWords && IsFlagField(R.field)) return false;
    }
    if (!CanRead(R, readType) || !CanWrite(R, putType)) return false;
    Reader rr;
    rr.Prepare(R, readType);
    ForChunks(R.count, Threads(receiver), true, [&](int64_t start, int64_t n, double* a, double*, double* r) {
        if (op != UnOp::Clear) rr.Read(start, n, a);
        for (int64_t i = 0; i < n; ++i) {
            switch (op) {
                case UnOp::PostInc:
                case UnOp::PreInc:
                    r[i] = a[i] + 1.0;
                    break;
                case UnOp::PostDec:
                case UnOp::PreDec:
                    r[i] = a[i] - 1.0;
                    break;
                case UnOp::Negate:
                    r[i] = -a[i];
                    break;
                case UnOp::BitNot:
                    r[i] = ~static_cast<int32_t>(a[i]);
                    break;
                case UnOp::LogicalNot:
                    r[i] = a[i] == 0.0;
                    break;
                default:
                    r[i] = 0.0;
                    break;
            }
        }
        Write(R, putType, start, n, r);
    });
    return true;
}

bool List(Value& receiver, ListOp op, const ValueList& values) {
    Block R;
    if (!receiver.DescribeBlock(R) || R.kind == Block::kScalar || values.empty()) return false;
    std::vector<Block> blocks(values.size());
    for (size_t k = 0; k < values.size(); ++k) {
        if (!values[k]->DescribeBlock(blocks[k]) || !SameShape(R, blocks[k]) ||
            !CanRead(blocks[k], kDouble) || !SafeAlias(R, blocks[k]))
            return false;
    }
    if (!CanWrite(R, kDouble)) return false;
    int randoms = 0;
    for (const Block& b : blocks) randoms += b.kind == Block::kRandom ? 1 : 0;
    if (randoms > 1) return false;
    std::vector<Reader> readers(values.size());
    for (size_t k = 0; k < values.size(); ++k) readers[k].Prepare(blocks[k], kDouble);
    ForChunks(R.count, Threads(receiver), true, [&](int64_t start, int64_t n, double* a, double*, double* r) {
        if (op == ListOp::Sum) {
            std::fill(r, r + n, 0.0);
            for (const Reader& rd : readers) {
                rd.Read(start, n, a);
                for (int64_t i = 0; i < n; ++i) r[i] += a[i];
            }
        } else {
            readers[0].Read(start, n, r);
            for (size_t k = 1; k < readers.size(); ++k) {
                readers[k].Read(start, n, a);
                for (int64_t i = 0; i < n; ++i)
                    if (op == ListOp::Max ? a[i] > r[i] : a[i] < r[i]) r[i] = a[i];
            }
        }
        Write(R, kDouble, start, n, r);
    });
    for (const Reader& rd : readers) CommitDraws(rd, R.count);
    return true;
}

namespace {

struct FusedPlan {
    const std::vector<FusedStep>& program;
    const std::vector<int>& types;  // of each operation's result
    std::vector<Reader> readers;
    const std::vector<Block>& blocks;
    Block& dest;
    int resultType;
    uint32_t randomStart;  // the generator's state before the first element's draw
    AsgOp assign;
    Reader receiver;  // of a compound assignment
    size_t depth;     // chunks of the operand stack
};

// x = the built-in of the n operands at x, x + kChunk, ...
void ApplyCall(const FusedPlan& plan, const FusedStep& step, double* x, int64_t start, int64_t n) {
    if (step.call == FusedCall::Rand) {
        uint32_t state = ScriptRandAfter(plan.randomStart, static_cast<uint64_t>(start));
        const double* shift = step.args == 2 ? x + kChunk : nullptr;
        for (int64_t e = 0; e < n; ++e) {
            const double draw = ScriptRandNext(state);
            x[e] = draw / 32767.0 * x[e] + (shift ? shift[e] : 0.0);
        }
        return;
    }
    // A sum starts from zero (so that -0 becomes +0), a maximum or minimum from the first operand.
    if (step.call == FusedCall::Sum)
        for (int64_t e = 0; e < n; ++e) x[e] = 0.0 + x[e];
    for (int k = 1; k < step.args; ++k) {
        const double* y = x + k * kChunk;
        if (step.call == FusedCall::Sum) {
            for (int64_t e = 0; e < n; ++e) x[e] += y[e];
        } else if (step.call == FusedCall::Max) {
            for (int64_t e = 0; e < n; ++e) x[e] = y[e] > x[e] ? y[e] : x[e];
        } else {
            for (int64_t e = 0; e < n; ++e) x[e] = y[e] < x[e] ? y[e] : x[e];
        }
    }
}

template <typename Op>
void ApplyFused(double* x, const double* y, int64_t n, Op op) {
    for (int64_t e = 0; e < n; ++e) x[e] = op(x[e], y[e]);
}
template <typename Op>
void ApplyFused(double* x, double y, int64_t n, Op op) {
    for (int64_t e = 0; e < n; ++e) x[e] = op(x[e], y);
}

// x = x op y, y a chunk or one number.
template <typename Y>
void ApplyFused(BinOp op, double* x, Y y, int64_t n) {
    switch (op) {
        case BinOp::Mul:
            ApplyFused(x, y, n, [](double a, double b) { return a * b; });
            break;
        case BinOp::Div:
            ApplyFused(x, y, n, [](double a, double b) { return a / b; });
            break;
        case BinOp::Add:
            ApplyFused(x, y, n, [](double a, double b) { return a + b; });
            break;
        default:
            ApplyFused(x, y, n, [](double a, double b) { return a - b; });
            break;
    }
}

// Elements [start, start + n) through the whole program into the receiver; `buffers` holds the
// operand stack and one more chunk, `stored` one chunk of the widest element.
ZUN_CPU_CLONES void FusedChunk(const FusedPlan& plan, int64_t start, int64_t n, double* buffers,
                               unsigned char* stored) {
    const std::vector<FusedStep>& program = plan.program;
    size_t top = 0;
    for (size_t i = 0; i < program.size(); ++i) {
        const FusedStep& step = program[i];
        if (step.leaf >= 0) {
            const auto leaf = static_cast<size_t>(step.leaf);
            // A number as the right operand is used as it stands.
            if (plan.blocks[leaf].kind == Block::kScalar && top > 0 && i + 1 < program.size() &&
                program[i + 1].leaf < 0 && program[i + 1].call == FusedCall::None) {
                ++i;
                ApplyFused(program[i].op, buffers + (top - 1) * kChunk, plan.readers[leaf].constant, n);
            } else {
                plan.readers[leaf].Read(start, n, buffers + top++ * kChunk);
                continue;
            }
        } else if (step.call != FusedCall::None) {
            top -= static_cast<size_t>(step.args - 1);
            ApplyCall(plan, step, buffers + (top - 1) * kChunk, start, n);
        } else {
            --top;
            ApplyFused(step.op, buffers + (top - 1) * kChunk,
                       static_cast<const double*>(buffers + top * kChunk), n);
        }
        // As the operation's temporary would hold it.
        double* x = buffers + (top - 1) * kChunk;
        if (plan.types[i] == kFloat) {
            for (int64_t e = 0; e < n; ++e) x[e] = static_cast<float>(x[e]);
        } else if (plan.types[i] != kDouble) {
            WritePlain(plan.types[i], kDouble, stored, n, x);
            ReadPlain(plan.types[i], kDouble, stored, n, x);
        }
    }
    if (plan.assign == AsgOp::Assign) {
        Write(plan.dest, plan.resultType, start, n, buffers);
        return;
    }
    // As the compound assignment's kernel: receiver op value, in doubles, put as a double.
    double* d = buffers + plan.depth * kChunk;
    plan.receiver.Read(start, n, d);
    const BinOp op = plan.assign == AsgOp::Mul   ? BinOp::Mul
                     : plan.assign == AsgOp::Div ? BinOp::Div
                     : plan.assign == AsgOp::Add ? BinOp::Add
                                                 : BinOp::Sub;
    for (int64_t e = 0; e < n; ++e) d[e] = Apply(op, d[e], buffers[e]);
    Write(plan.dest, kDouble, start, n, d);
}

}  // namespace

bool Fused(Value& receiver, const std::vector<FusedStep>& program, const ValueList& leaves, AsgOp op) {
    Block R;
    if (!receiver.DescribeBlock(R) || R.kind == Block::kScalar || R.count == 0) return false;
    const bool compound = op != AsgOp::Assign;
    if (compound && op != AsgOp::Mul && op != AsgOp::Div && op != AsgOp::Add && op != AsgOp::Sub)
        return false;
    if (compound && (!IsNumericType(R.type) || !CanRead(R, kDouble) || !CanWrite(R, kDouble))) return false;
    std::vector<Block> blocks(leaves.size());
    for (size_t k = 0; k < leaves.size(); ++k) {
        Block& b = blocks[k];
        if (!leaves[k]->DescribeBlock(b) || b.kind == Block::kRandom || !IsNumericType(b.type) ||
            !CanRead(b, kDouble))
            return false;
        if (b.kind != Block::kScalar && (b.dims != R.dims || !SafeAlias(R, b))) return false;
    }
    // The types the operator-by-operator path would give: a block's own type promoted by the
    // other operand's (the larger code); an operation on two scalars is not taken here.
    struct Slot {
        int type;
        bool block;
    };
    std::vector<Slot> stack;
    std::vector<int> types(program.size(), 0);
    size_t depth = 0;
    int randoms = 0;
    for (size_t i = 0; i < program.size(); ++i) {
        const FusedStep& step = program[i];
        if (step.call != FusedCall::None) {
            const bool rand = step.call == FusedCall::Rand;
            if (step.args < 1 || stack.size() < static_cast<size_t>(step.args) || (rand && step.args > 2))
                return false;
            if (rand && ++randoms > 1) return false;
            // The built-in's result: a vector when an argument is one, of the largest type.
            Slot r{0, false};
            for (size_t k = stack.size() - static_cast<size_t>(step.args); k < stack.size(); ++k)
                r = {std::max(r.type, stack[k].type), r.block || stack[k].block};
            if (!r.block) return false;
            stack.resize(stack.size() - static_cast<size_t>(step.args));
            stack.push_back(r);
            // A rand() value is read as a double by an operator and a compound assignment, and by
            // its type by the assignment.
            types[i] = rand && (i + 1 < program.size() || compound) ? kDouble : r.type;
        } else if (step.leaf >= 0) {
            if (static_cast<size_t>(step.leaf) >= blocks.size()) return false;
            const Block& b = blocks[static_cast<size_t>(step.leaf)];
            stack.push_back({b.type, b.kind != Block::kScalar});
        } else {
            if (stack.size() < 2) return false;
            if (step.op != BinOp::Mul && step.op != BinOp::Div && step.op != BinOp::Add &&
                step.op != BinOp::Sub)
                return false;
            const Slot y = stack.back();
            stack.pop_back();
            const Slot x = stack.back();
            if (!x.block && !y.block) return false;
            const int t = x.type > y.type ? x.type : y.type;
            stack.back() = {t, true};
            types[i] = t;
        }
        depth = std::max(depth, stack.size());
    }
    if (stack.size() != 1 || program.back().leaf >= 0) return false;
    const int resultType = stack.back().type;
    if (!compound && !CanWrite(R, resultType)) return false;

    FusedPlan plan{
        program,  types, std::vector<Reader>(blocks.size()), blocks, R, resultType, ScriptRandState(), op,
        Reader{}, depth};
    if (compound) plan.receiver.Prepare(R, kDouble);
    for (size_t k = 0; k < blocks.size(); ++k) plan.readers[k].Prepare(blocks[k], kDouble);
    const int64_t chunks = (R.count + kChunk - 1) / kChunk;
    const int threads = TeamFor(R.count, Threads(receiver));
#pragma omp parallel num_threads(threads)
    {
        // The operand stack of one chunk: small enough to stay in the cache between operations.
        std::vector<double> buffers((depth + 1) * kChunk);
        std::vector<unsigned char> stored(kChunk * sizeof(double));
#pragma omp for schedule(static)
        for (int64_t c = 0; c < chunks; ++c)
            FusedChunk(plan, c * kChunk, std::min(kChunk, R.count - c * kChunk), buffers.data(),
                       stored.data());
    }
    if (randoms > 0) SeedScriptRand(ScriptRandAfter(plan.randomStart, static_cast<uint64_t>(R.count)));
    return true;
}

namespace {

// Folds a run of numbers as the nested totals do: a sum starts from 0.0, a maximum or minimum
// from the first number and is replaced only by a strictly larger or smaller one.
struct Fold {
    ListOp op;
    bool started = false;
    double value = 0.0;
    void Add(double x) {
        if (op == ListOp::Sum) {
            value += x;
        } else if (!started) {
            value = x, started = true;
        } else if (op == ListOp::Max ? x > value : x < value) {
            value = x;
        }
    }
};

}  // namespace

bool Total(Value& value, ListOp op, double& out) {
    Block V;
    if (!value.DescribeBlock(V) || V.kind == Block::kScalar || V.count == 0 || !CanRead(V, kDouble))
        return false;
    for (int64_t d : V.dims)
        if (d == 0) return false;
    Reader rd;
    rd.Prepare(V, kDouble);
    const int64_t rowLength = V.dims[0];
    const int64_t rows = V.count / rowLength;
    std::vector<double> level(static_cast<size_t>(rows));
    const int threads = static_cast<int>(std::min<int64_t>(rows, TeamFor(V.count, Threads(value))));
#pragma omp parallel for num_threads(threads) schedule(static)
    for (int64_t row = 0; row < rows; ++row) {
        double buf[kChunk];
        Fold f{op};
        for (int64_t s = 0; s < rowLength; s += kChunk) {
            const int64_t n = std::min(kChunk, rowLength - s);
            rd.Read(row * rowLength + s, n, buf);
            for (int64_t i = 0; i < n; ++i) f.Add(buf[i]);
        }
        level[static_cast<size_t>(row)] = f.value;
    }
    for (size_t k = 1; k < V.dims.size(); ++k) {
        const int64_t group = V.dims[k];
        std::vector<double> next(level.size() / static_cast<size_t>(group));
        for (size_t j = 0; j < next.size(); ++j) {
            Fold f{op};
            for (int64_t i = 0; i < group; ++i)
                f.Add(level[j * static_cast<size_t>(group) + static_cast<size_t>(i)]);
            next[j] = f.value;
        }
        level.swap(next);
    }
    out = level.front();
    CommitDraws(rd, V.count);
    return true;
}

}  // namespace zun::script::kernels
