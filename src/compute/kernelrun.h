#pragma once
// The voxel loop the optimisers share: parallel over a range of the linear voxel order or of the
// neighbour visit sequence (cut at sweep boundaries), with per-thread outcomes merged afterwards.

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <iterator>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "compute/kernels.h"
#include "compute/threadteam.h"
#include "foundation/cpuclones.h"

namespace zun::zunlib {

// The words of `count` fractions that must sum to `total`: each rounded to the nearest word (as
// std::lround, without the library call: the fraction part of a number below 2^14 is exact), then
// the residue handed out one word at a time, in order, to the words that can take it. N is the
// count where the caller knows it at compile time, else 0.
template <int N = 0>
inline void RoundFractionWords(const double* f, int count, int total, int* w) {
    const int n = N > 0 ? N : count;
    int sum = 0;
    for (int i = 0; i < n; ++i) {
        const double x = std::clamp(f[i], 0.0, 1.0) * kVoxelMax;
        w[i] = static_cast<int>(x);
        w[i] += x - w[i] >= 0.5;
        sum += w[i];
    }
    int residue = total - sum;
    for (int pass = 0; residue != 0 && pass < kVoxelMax; ++pass) {
        bool moved = false;
        for (int i = 0; i < n && residue != 0; ++i) {
            if (residue > 0 && w[i] < kVoxelMax) {
                ++w[i];
                --residue;
                moved = true;
            } else if (residue < 0 && w[i] > 0) {
                --w[i];
                ++residue;
                moved = true;
            }
        }
        if (!moved) break;
    }
}

// The words of voxel v when every composition is free and without flags: the rounded fractions
// of `f`, N of them.
template <int N>
inline void WriteFreeWords(std::uint16_t* const* channels, std::int64_t v, const double* f) {
    int w[N];
    RoundFractionWords<N>(f, N, kVoxelMax, w);
    for (int i = 0; i < N; ++i) channels[i][v] = static_cast<std::uint16_t>(w[i]);
}

// Calls f(std::integral_constant<int, N>{}) for a composition count n of 2 to 6, so a voxel's loops
// can be laid out for it; false for other counts.
template <class F>
bool WithCompositionCount(int n, F&& f) {
    switch (n) {
        case 2:
            return f(std::integral_constant<int, 2>{});
        case 3:
            return f(std::integral_constant<int, 3>{});
        case 4:
            return f(std::integral_constant<int, 4>{});
        case 5:
            return f(std::integral_constant<int, 5>{});
        case 6:
            return f(std::integral_constant<int, 6>{});
        default:
            return false;
    }
}

// Where a closed form's loop over a range of voxels hands the voxels it cannot answer.
struct VoxelLeftover {
    void* context;
    void (*call)(void*, std::int64_t);
    template <class F>
    static VoxelLeftover Of(F& f) {
        return {&f, [](void* c, std::int64_t v) { (*static_cast<F*>(c))(v); }};
    }
};

// Set bits of a small mask (std::popcount is a library call on the baseline instruction set).
inline int BitCount(unsigned x) {
    int c = 0;
    for (; x; x &= x - 1) ++c;
    return c;
}

// One voxel as both optimisers see it: its composition words split into fixed and free, the
// share left to the free ones, and the usable CT values less the fixed compositions' share.
struct VoxelProblem {
    int n = 0;                              // compositions
    int u = 0;                              // free compositions
    int m = 0;                              // usable CT values
    std::uint16_t* comp[kMaxCompositions];  // the voxel's composition words
    int freeIdx[kMaxCompositions];
    double f[kMaxCompositions];  // current fractions of all compositions
    double r0 = 1.0;             // 1 - the fixed fractions
    int ctIdx[kMaxCtChannels];   // CT channel (1-based) of each usable value
    double b[kMaxCtChannels];
    double tol[kMaxCtChannels];  // absolute tolerance of each usable value

    // Loads voxel v. False when there is nothing to solve: no free composition, or fixed
    // fractions above 1 (then `failure` is set to 2 and the first free word marked).
    bool Load(const ComputeLibParams& p, std::uint16_t* const* channels, std::int64_t v, int& failure);
    // Matrix entry of usable value q and free composition k.
    static double A(const ComputeLibParams& p, const VoxelProblem& vp, int q, int k) {
        return p.Matrix(vp.ctIdx[q], vp.freeIdx[k]);
    }
};

// Inverses of the square systems of active rows the closed forms of both optimisers meet, for
// blocks with one CT channel less than compositions: the sum row, a set of CT rows over their
// tolerances and a set of unit rows (a fraction held at a value).
class ActiveRows {
public:
    static constexpr int kMaxSize = 6;
    struct Face {
        bool usable = false;
        int ctCount = 0;                  // CT rows among the active rows
        double inv[kMaxSize * kMaxSize];  // row-major; columns: sum, CT rows, unit rows (ascending)
        double ctNorm = 0.0;              // squared norm of the inverse's CT-row columns
        double unitNorm = 0.0;            // and of its unit-row columns
    };
    // False when the block is not of that shape.
    bool Init(const ComputeLibParams& p);
    int Size() const { return n_; }
    double K(int j, int i) const { return k_[j][i]; }
    // CT value j over its tolerance for a value word, as VoxelProblem::Load and the closed forms
    // form it.
    double Scaled(int j, std::uint16_t word) const {
        return scaled_[std::size_t(j) * (kVoxelMax + 1) + word];
    }
    // The Ct values of voxel v of the CT channels `ct` over their tolerances into b; returns the
    // error bits of their words.
    template <int Ct>
    unsigned ScaledValues(std::uint16_t* const* ct, std::int64_t v, double* b) const {
        unsigned errors = 0;
        for (int j = 0; j < Ct; ++j) {
            const std::uint16_t w = ct[j][v];
            errors |= w & kWordError;
            b[j] = Scaled(j, w & kWordValue);
        }
        return errors;
    }
    const Face& At(unsigned units, unsigned ctRows) const {
        return faces_[(std::size_t(units) << (n_ - 1)) | ctRows];
    }
    // How Scaled forms a CT channel's value of a word w: (low + span * float(w / 16383)) / tol,
    // the first two terms in single precision as stored.
    struct WordScale {
        float low = 0.0f, span = 0.0f;
        double overTol = 0.0;
    };
    const WordScale& Scale(int j) const { return scale_[j]; }
    // The sets of CT rows that make a face with the zero fractions `zeros` (ascending).
    std::pair<const std::uint8_t*, int> RowChoices(unsigned zeros) const {
        return {rowChoices_[zeros], rowChoiceCount_[zeros]};
    }

private:
    int n_ = 0;
    double k_[kMaxSize][kMaxSize] = {};  // CT rows over their tolerances
    WordScale scale_[kMaxSize];
    std::vector<Face> faces_;
    std::vector<double> scaled_;
    std::uint8_t rowChoices_[1 << kMaxSize][1 << (kMaxSize - 1)] = {};
    std::uint8_t rowChoiceCount_[1 << kMaxSize] = {};
};

// What the vector lanes of a closed form read (kernel_lanes.cpp): the inverse of its first
// candidate's face (every CT row, no unit row) and the constants of its certificate.
struct InnerLaneData {
    int n = 0;
    bool usable = false;  // false: every voxel goes one at a time
    CpuLevel level = CpuLevel::Baseline;
    double inv[ActiveRows::kMaxSize * ActiveRows::kMaxSize] = {};
    ActiveRows::WordScale scale[ActiveRows::kMaxSize];
    double self[ActiveRows::kMaxSize] = {};
    double pair[ActiveRows::kMaxSize][ActiveRows::kMaxSize] = {};
    double rho2 = 0.0, ctNorm = 0.0, unitNorm = 0.0;  // the non-linear certificate's
    bool interact = false;                            // the linear costs' previous-state term
    const ActiveRows* rows = nullptr;                 // every face, for the soft form's lanes
    double k[ActiveRows::kMaxSize][ActiveRows::kMaxSize] = {};  // ActiveRows::K

    // From the face table and the caller's energy constants; `use` false turns the lanes off.
    void Fill(const ActiveRows& rows, bool use, CpuLevel lanes);
};

// Voxels at a time for the lanes: the bits of one call's `done`.
constexpr int kLaneBlock = 256;

// What the linear lanes worked out for a voxel they could not answer, so that the voxel-by-voxel
// path goes on from there instead of reading the voxel's words and tables again: its CT values
// over their tolerances, previous fractions, costs and tie-break weight, and the band-box corner
// (unclamped) with the band side each CT row took.
struct LaneLeftover {
    int offset;    // in the block
    bool flagged;  // a fixed composition or an unusable CT value
    bool soft;     // usable, but its bands cannot meet (LinearVertex::CannotMeet)
    bool answered;  // soft, and its words already written in the soft form
    unsigned upper;
    unsigned zeros;  // the fractions its point of zero residual has below zero
    double eps;
    double b[ActiveRows::kMaxSize], prev[ActiveRows::kMaxSize], cost[ActiveRows::kMaxSize];
    double f[ActiveRows::kMaxSize];
};

// The voxels of [first, first + count) (count <= kLaneBlock) that hold free, usable words and
// whose first candidate the certificate proves, several at a time in vector lanes of the data's
// instruction set: their words written exactly as the voxel-by-voxel path writes them and their
// bits set in `done`; the others are left untouched. Non-linear: the point of zero residual (no
// residual then exceeds its tolerance); linear: the band-box corner, and what it found for the
// voxels of whole lane vectors it leaves written to `left` (room for kLaneBlock) in voxel order,
// their count returned.
int ExactInnerLanes(const InnerLaneData& d, std::uint16_t* const* channels, std::int64_t first,
                    std::int64_t count, std::uint64_t* done, LaneLeftover* left);
// A face of the closed forms by its zero fractions and zero residuals.
struct FaceKey {
    unsigned zeros = 0, rows = 0;
};
// The faces that answered a thread's last voxels, the latest first: noisy data make
// neighbouring voxels alternate between a few faces.
struct FaceMemory {
    static constexpr int kSize = 16;
    FaceKey keys[kSize];
    int count = 0;
    // Puts the face first, keeping the others in order (the oldest drops out when full).
    void Remember(FaceKey key, int at);
};

// The linear lanes then answer in the soft form, a vector of such voxels at a time, the voxels
// left whose bands cannot meet: each tries first the faces that last answered voxels whose point
// of zero residual had the same fractions below zero, then the other faces with those
// fractions zero, then the faces with other zero fractions that the voxel-by-voxel soft form
// last answered on (its `memory`, which they move to the front); a face is kept only where
// both of the soft form's certificates hold, and the record is then marked answered. `faces`
// and `memory` may be null (no soft form in the lanes).
struct SoftLaneFaces {
    static constexpr int kSize = 8;
    // By the zero fractions of the point of zero residual: the faces that last answered, the
    // latest first (rows 0xFF: none).
    FaceKey last[1 << ActiveRows::kMaxSize][kSize];
    SoftLaneFaces() {
        for (auto& faces : last) std::fill(std::begin(faces), std::end(faces), FaceKey{0, 0xFF});
    }
};
int LinearInnerLanes(const InnerLaneData& d, std::uint16_t* const* channels, std::int64_t first,
                     std::int64_t count, std::uint64_t* done, LaneLeftover* left, SoftLaneFaces* faces,
                     FaceMemory* memory);

// The voxels [first, end) through `lanes` block by block, each voxel they leave through
// one(v, what the lanes left of it or null) in voxel order (so a thread's remembered state sees
// the order the voxel-by-voxel path gives).
template <class Lanes, class One>
void ForLaneBlocks(const InnerLaneData& d, Lanes lanes, std::uint16_t* const* channels, std::int64_t first,
                   std::int64_t end, One& one, LaneLeftover* left = nullptr) {
    if (!d.usable) {
        for (std::int64_t v = first; v < end; ++v) one(v, nullptr);
        return;
    }
    std::uint64_t done[kLaneBlock / 64];
    for (std::int64_t a = first; a < end; a += kLaneBlock) {
        const int count = static_cast<int>(std::min<std::int64_t>(kLaneBlock, end - a));
        const int records = lanes(d, channels, a, count, done, left);
        int k = 0;
        for (int word = 0; word * 64 < count; ++word) {
            const int bits = std::min(64, count - word * 64);
            std::uint64_t rest = ~done[word] & (bits == 64 ? ~0ull : (1ull << bits) - 1);
            for (; rest; rest &= rest - 1) {
                const int offset = word * 64 + __builtin_ctzll(rest);
                const LaneLeftover* r = k < records && left[k].offset == offset ? &left[k++] : nullptr;
                one(a + offset, r);
            }
        }
    }
}

// The exact minimiser of the nonlinear energy for the common case: every composition free, as
// many CT values as compositions less one (a square system with the sum row), unit exponents.
// The data term is then the L1 norm of the residuals, so the minimum sits where a set of
// residuals and fractions is zero: a candidate comes from one small precomputed inverse, and is
// taken only when a certificate proves it the unique global minimum on the simplex (otherwise
// the caller searches as before). The candidates tried are the point of zero residual and, where
// that has negative fractions, the points on the face where those fractions are zero.
class ExactMinimiser {
public:
    ExactMinimiser() = default;
    // Its lanes point at its own face table.
    ExactMinimiser(const ExactMinimiser&) = delete;
    ExactMinimiser& operator=(const ExactMinimiser&) = delete;
    // False when the block's settings leave the energy outside this case.
    bool Init(const ComputeLibParams& p);
    // For the linear programme's soft form instead: the data term alone, each voxel's linear
    // costs passed as its field.
    bool InitLinear(const ComputeLibParams& p);
    const ActiveRows& Rows() const { return rows_; }
    // The word path's common case in vector lanes of `level` (on by default, at the best level
    // the machine has), or every voxel one at a time.
    void UseLanes(bool on, CpuLevel level);
    // Solves a loaded voxel with neighbour field `h` (or null); writes every fraction of `f` and,
    // when given, the largest residual over its tolerance to `worst`. The remembered faces are
    // tried first (the certificate proves the minimum unique, so whichever face proves it gives
    // that point); the face that gave the answer is remembered.
    bool Solve(const VoxelProblem& vp, const double* h, double* f, double* worst = nullptr,
               FaceMemory* faces = nullptr) const;
    // Solve for CT values already over their tolerances, every composition free.
    bool SolveValues(const double* b, const double* h, double* f, FaceMemory* faces) const;
    // The whole voxel straight from its words, for runs without a neighbour field: false, with
    // nothing written, when a composition is fixed, a CT value unusable or the minimum not
    // proven; else the words written as the general path writes them and `outside` set when a
    // residual exceeds its tolerance.
    bool SolveWords(std::uint16_t* const* channels, std::int64_t v, bool& outside) const;
    // SolveWords over the voxels [first, end), with the loop inside the solver's own code; each
    // voxel it leaves goes to other(voxel). Returns the count of those it set with a residual
    // beyond its tolerance.
    template <class Other>
    std::int64_t SolveWords(std::uint16_t* const* channels, std::int64_t first, std::int64_t end,
                            Other& other) const {
        return SolveWordRange(channels, first, end, VoxelLeftover::Of(other));
    }

private:
    std::int64_t SolveWordRange(std::uint16_t* const* channels, std::int64_t first, std::int64_t end,
                                VoxelLeftover other) const;
    // N is the composition count where the caller knows it at compile time, else 0; `b` are
    // the CT values over their tolerances.
    template <int N>
    bool SolveScaled(const double* b, const double* h, double* f, double* worst, FaceMemory* faces) const;
    template <int N>
    bool SolveWordsOf(std::uint16_t* const* channels, std::int64_t v, bool& outside) const;
    template <int N>
    bool TryFace(unsigned zeros, unsigned dataRows, const double* b, const double* h, double* f,
                 double* worst) const;
    static constexpr int kMaxSize = ActiveRows::kMaxSize;
    ActiveRows rows_;
    int n_ = 0;
    double rho2_ = 0.0;  // 2 rho^2, rho the curvature bound of the pair energy
    double self_[kMaxSize] = {};
    double pair_[kMaxSize][kMaxSize] = {};  // J + J^T with a zero diagonal
    InnerLaneData lanes_;
};

// The optimal vertex of a voxel's band programme (every composition free, a square system)
// found without the simplex; see kernel_vertex.cpp.
class LinearVertex {
public:
    LinearVertex() = default;
    LinearVertex(const LinearVertex&) = delete;
    LinearVertex& operator=(const LinearVertex&) = delete;
    // Which rows are active and at which side: CT rows at their upper or lower band, fractions at
    // zero or at their previous value (the tie-break's kink).
    struct Key {
        unsigned ctRows = 0, units = 0, upper = 0, kink = 0;
    };
    // The last optimal sets of one thread, the latest first.
    struct Recent {
        static constexpr int kSize = 8;
        Key keys[kSize];
        int count = 0;
        FaceMemory soft;          // the faces of the last soft forms answered
        SoftLaneFaces softLanes;  // and of those answered in the lanes
        // Puts the key first (the oldest drops out when full).
        void Remember(const Key& key) {
            const int keep = std::min(count + 1, kSize);
            std::copy_backward(keys, keys + keep - 1, keys + keep);
            keys[0] = key;
            count = keep;
        }
    };
    bool Init(const ComputeLibParams& p);
    // As ExactMinimiser::UseLanes.
    void UseLanes(bool on, CpuLevel level);
    // `cost` and `prev` by composition, `eps` the tie-break's weight; writes every fraction of `f`.
    bool Solve(const VoxelProblem& vp, const double* cost, double eps, const double* prev, double* f,
               Recent& recent) const;
    // The whole voxel straight from its words, for runs without a neighbour field: false, with
    // nothing written, when a composition is fixed, a CT value unusable or no vertex is proven
    // optimal (the general path then takes the voxel). Gives the words the general path would.
    bool SolveWords(std::uint16_t* const* channels, std::int64_t v, Recent& recent) const;
    // SolveWords over the voxels [first, end), with the loop inside the solver's own code; each
    // voxel it leaves goes to other(voxel). Voxels whose bands cannot meet are answered in the
    // soft form as the general path answers them, and given to outside(voxel) for its count and
    // report.
    template <class Other, class Outside>
    void SolveWords(std::uint16_t* const* channels, std::int64_t first, std::int64_t end, Recent& recent,
                    Other& other, Outside& outside) const {
        SolveWordRange(channels, first, end, recent, VoxelLeftover::Of(other), VoxelLeftover::Of(outside));
    }
    // The soft form of a voxel's programme, for CT values outside the attainable range (every
    // composition free, a square system): its unique optimum where a certificate proves it,
    // false otherwise. `eps` is the soft form's tie-break weight.
    bool SolveSoft(const VoxelProblem& vp, const double* cost, double eps, const double* prev, double* f,
                   Recent& recent) const;
    // True when no fraction vector meets every CT band of the voxel, proven by a fraction that
    // stays below zero over the whole box of bands (false says nothing).
    bool BandsCannotMeet(const VoxelProblem& vp) const;
    // Remembers the active set of an optimum the simplex found.
    void Learn(const VoxelProblem& vp, const double* prev, const double* f, Recent& recent) const;

private:
    static constexpr int kMaxSize = ActiveRows::kMaxSize;
    void SolveWordRange(std::uint16_t* const* channels, std::int64_t first, std::int64_t end, Recent& recent,
                        VoxelLeftover other, VoxelLeftover outside) const;
    // What the word path made of a voxel.
    enum WordAnswer { kWordsLeft = 0, kWordsSolved = 1, kWordsSoft = 2 };
    // N is the composition count where the caller knows it at compile time (the hot loops
    // unroll), 0 where it does not. `b` are the CT values over their tolerances.
    template <int N>
    bool SolveScaled(const double* b, const double* cost, double eps, const double* prev, double* f,
                     Recent& recent, bool* bandsCannotMeet = nullptr) const;
    // With `soft`, a voxel whose bands cannot meet is answered in the soft form.
    template <int N>
    WordAnswer SolveWordsOf(std::uint16_t* const* channels, std::int64_t v, Recent& recent, bool soft) const;
    // SolveWordsOf from what the lanes left of the voxel.
    template <int N>
    WordAnswer ResumeWordsOf(std::uint16_t* const* channels, std::int64_t v, const LaneLeftover& r,
                             Recent& recent) const;
    // The soft form of a voxel whose bands cannot meet, its words written as the general path
    // writes them; false (nothing written) where no certificate holds.
    template <int N>
    bool SoftWordsOf(std::uint16_t* const* channels, std::int64_t v, const double* b, const double* cost,
                     const double* prev, Recent& recent) const;
    // SolveSoft for CT values over their tolerances.
    bool SoftScaled(const double* b, const double* cost, double eps, const double* prev, double* f,
                    Recent& recent) const;
    // SolveScaled after the band-box corner (`corner` as InnerCorner gives it) is not proven;
    // `bandsCannotMeet` (when given) is set where the dual steps prove that no point meets the
    // bands by so wide a margin that the simplex finds them infeasible too. `mayMeet`: CannotMeet
    // is already known to be false.
    template <int N>
    bool AfterCorner(int corner, const Key& key, int enter, const double* b, const double* cost, double eps,
                     const double* prev, double* f, Recent& recent, bool* bandsCannotMeet = nullptr,
                     bool mayMeet = false) const;
    template <int N>
    bool Vertex(const Key& key, const double* b, const double* prev, double* f) const;
    // The row the vertex in `f` violates most (a negative fraction first, then a band left), -1
    // when it is feasible (the fractions are then clamped at zero), -2 when it is not a number.
    template <int N>
    int Violation(const Key& key, const double* b, double* f, bool& unit, bool& upper) const;
    // Whether the multipliers of a feasible vertex prove it the unique optimum.
    template <int N>
    bool Optimal(const Key& key, const double* cost, double eps, const double* prev, const double* f) const;
    template <int N>
    bool TryKey(const Key& key, const double* b, const double* cost, double eps, const double* prev,
                double* f) const;
    // TryKey over the thread's last optimal sets; the one that answers moves to the front.
    template <int N>
    bool TryRecent(const double* b, const double* cost, double eps, const double* prev, double* f,
                   Recent& recent) const;
    template <int N>
    int InnerCorner(const double* inv, const double* b, const double* cost, double eps, const double* prev,
                    double* f, Key& key, int& enter) const;
    // BandsCannotMeet over the inverse of the band-box corner's face and scaled CT values.
    template <int N>
    bool CannotMeet(const double* inv, const double* b) const;
    template <int N>
    bool Walk(Key key, int enter, bool unit, bool upper, const double* b, const double* cost, double eps,
              const double* prev, double* f, bool* bandsCannotMeet = nullptr) const;
    // The soft form's closed form, whose table of faces the vertices use as well.
    ExactMinimiser soft_;
    const ActiveRows& rows_ = soft_.Rows();
    // For SolveWords: the fraction of every word, and the cost's self and previous-state terms
    // as the general path forms them.
    std::vector<double> fraction_;
    double self_[kMaxSize] = {};
    double pair_[kMaxSize][kMaxSize] = {};
    bool interact_ = false;
    InnerLaneData lanes_;
};

// What one thread's voxels produced: out-of-boundary count, merged status and the first failures
// that can still be reported. Each on cache lines of its own: threads record failures as they go.
struct alignas(64) ThreadOutcome {
    struct Failure {
        int code;
        std::int64_t voxel;
        std::int64_t order;  // the range of the run it fell in
    };
    std::int64_t outOfBoundary = 0;
    int status = 0;
    std::vector<Failure> failures;
    std::size_t keep = 0;
    bool full = false;  // `keep` failures held (after a trim), the latest of them `last`
    Failure last{};

    void Reset(std::size_t reportable) {
        outOfBoundary = 0;
        status = 0;
        failures.clear();
        keep = reportable;
        full = false;
    }
    // Keeps the first `keep` failures in (range, voxel) order, whatever order they come in.
    void Fail(int code, std::int64_t voxel, std::int64_t order = 0) {
        status = MergeCode(status, code);
        if (keep == 0) return;
        const Failure f{code, voxel, order};
        // Once `keep` are held, one after all of them can never be reported: most runs meet
        // their voxels in order, and a volume of failures would otherwise be sorted again and
        // again.
        if (full && !Before(f, last)) return;
        failures.push_back(f);
        if (failures.size() >= 2 * keep + 16) Trim();
    }
    void Trim() {
        std::sort(failures.begin(), failures.end(), Before);
        if (failures.size() > keep) failures.resize(keep);
        full = failures.size() == keep;
        if (full) last = failures.back();
    }
    static bool Before(const Failure& a, const Failure& b) {
        return a.order != b.order ? a.order < b.order : a.voxel < b.voxel;
    }
};

// Calls body(threadIndex, voxel) for every visit position in [first, first+count). An exception
// of a voxel (memory running out) must not leave the parallel region: the remaining visits are
// skipped and the first exception is rethrown after it.
template <class Body>
void RunVisits(const ComputeLibParams& p, NeighbourInteraction* nb, int threads, int chunk,
               std::int64_t first, std::int64_t count, Body&& body) {
    const std::int64_t end = first + count;
    // A team the system cannot give fails the step as a shortage of memory, not the program.
    if (count > 0 && !StartThreadTeam(threads)) throw std::bad_alloc();
    std::exception_ptr error;
    std::atomic<bool> failed{false};
    for (std::int64_t a = first; a < end;) {
        std::int64_t b = end;
        if (nb) {
            nb->BeginRange(a);
            b = std::min(end, nb->SweepEnd(a));
        }
        omp_set_dynamic(0);
#pragma omp parallel for num_threads(threads) schedule(dynamic, chunk)
        for (std::int64_t pos = a; pos < b; ++pos) {
            if (failed.load(std::memory_order_relaxed)) continue;
            const std::int64_t v = nb ? nb->VisitVoxel(pos) : pos;
            if (!nb && p.maskWords && (p.maskWords[v] & kWordValue) != p.maskWord) continue;
            try {
                body(omp_get_thread_num(), v);
            } catch (...) {
#pragma omp critical(zun_kernel_error)
                if (!error) error = std::current_exception();
                failed.store(true, std::memory_order_relaxed);
            }
        }
        if (error) std::rethrow_exception(error);
        a = b;
    }
}

// Calls body(threadIndex, first, end) for chunks covering the visit positions [0, total) in one
// parallel region: threads take chunks as they become free, with a barrier only where a neighbour
// sweep ends (the snapshot is refreshed there). progress(done) is called by the calling thread
// each time another `rangeSize` visits are done; when it (or a chunk) throws, the chunks under
// way finish, the rest are skipped and the exception is rethrown after the region.
template <class Body, class Progress>
void RunAllChunks(NeighbourInteraction* nb, int threads, std::int64_t chunk, std::int64_t total,
                  std::int64_t rangeSize, Progress&& progress, Body&& body) {
    if (total <= 0) return;
    rangeSize = std::max<std::int64_t>(1, rangeSize);
    // A stop or a progress report waits for the chunks under way: none larger than a range.
    chunk = std::max<std::int64_t>(1, std::min(chunk, rangeSize));
    std::exception_ptr error;
    std::atomic<bool> stop{false};
    std::atomic<std::int64_t> next{0}, done{0};
    std::int64_t reported = 0;  // ranges whose progress was given (the calling thread's)
    auto fail = [&](std::exception_ptr e) {
#pragma omp critical(zun_kernel_error)
        if (!error) error = e;
        stop.store(true, std::memory_order_relaxed);
    };
    auto report = [&] {
        const std::int64_t ranges = done.load(std::memory_order_acquire) / rangeSize;
        while (reported < ranges && !stop.load(std::memory_order_relaxed)) {
            ++reported;
            try {
                progress(reported * rangeSize);
            } catch (...) {
                fail(std::current_exception());
            }
        }
    };
    omp_set_dynamic(0);
#pragma omp parallel num_threads(threads)
    {
        const int t = omp_get_thread_num();
        for (std::int64_t a = 0; a < total;) {
            const std::int64_t b = nb ? std::min(total, nb->SweepEnd(a)) : total;
            while (!stop.load(std::memory_order_relaxed)) {
                const std::int64_t s = next.fetch_add(chunk, std::memory_order_relaxed);
                if (s >= b) break;
                const std::int64_t e = std::min(b, s + chunk);
                try {
                    body(t, s, e);
                } catch (...) {
                    fail(std::current_exception());
                }
                done.fetch_add(e - s, std::memory_order_acq_rel);
                if (t == 0) report();
            }
            if (b < total) {
                // The next sweep reads the words of this one.
#pragma omp barrier
#pragma omp single
                {
                    if (!stop.load(std::memory_order_relaxed)) nb->BeginRange(b);
                    next.store(b, std::memory_order_relaxed);
                }
            }
            a = b;
        }
    }
    if (error) std::rethrow_exception(error);
    // The ranges finished after the calling thread's last chunk.
    while (reported * rangeSize < total) {
        ++reported;
        progress(std::min(total, reported * rangeSize));
    }
}

// RunAllChunks voxel by voxel: body(threadIndex, voxel, range) for every visit position (voxels
// outside the boundary mask skipped), `range` the position's range of `rangeSize` visits.
template <class Body, class Progress>
void RunAllVisits(const ComputeLibParams& p, NeighbourInteraction* nb, int threads, std::int64_t chunk,
                  std::int64_t total, std::int64_t rangeSize, Progress&& progress, Body&& body) {
    rangeSize = std::max<std::int64_t>(1, rangeSize);
    RunAllChunks(nb, threads, chunk, total, rangeSize, progress, [&](int t, std::int64_t s, std::int64_t e) {
        for (std::int64_t pos = s; pos < e; ++pos) {
            const std::int64_t v = nb ? nb->VisitVoxel(pos) : pos;
            if (!nb && p.maskWords && (p.maskWords[v] & kWordValue) != p.maskWord) continue;
            body(t, v, pos / rangeSize);
        }
    });
}

// Merges the outcomes into the library object (status; reports in voxel order up to the cap,
// worded by text(failure)); returns the out-of-boundary total.
template <class Outcomes, class Text>
std::int64_t MergeOutcomes(CLibBase& lib, const Outcomes& outcomes, Text&& text) {
    std::int64_t total = 0;
    std::vector<ThreadOutcome::Failure> failures;
    for (const ThreadOutcome* o : outcomes) {
        total += o->outOfBoundary;
        lib.MergeStatus(o->status);
        failures.insert(failures.end(), o->failures.begin(), o->failures.end());
    }
    std::sort(failures.begin(), failures.end(), ThreadOutcome::Before);
    for (const ThreadOutcome::Failure& f : failures) {
        if (lib.ReportsExhausted()) break;
        lib.Report(f.code, f.voxel, text(VoxelCode{f.code, f.voxel}));
    }
    return total;
}

inline std::size_t ReportableCount(const CLibBase& lib) {
    return static_cast<std::size_t>(std::max(0, lib.params.maxErrorReports - lib.params.errorReportCount));
}

// Clears the outcome of every thread's scratch before a range; returns them for MergeOutcomes.
template <class Scratches>
std::vector<const ThreadOutcome*> ResetOutcomes(Scratches& scratch, const CLibBase& lib) {
    std::vector<const ThreadOutcome*> outcomes;
    for (auto& s : scratch) {
        s->outcome.Reset(ReportableCount(lib));
        outcomes.push_back(&s->outcome);
    }
    return outcomes;
}

}  // namespace zun::zunlib
