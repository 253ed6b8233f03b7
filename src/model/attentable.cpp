#include "model/attentable.h"

#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>

#include "model/attenblob.h"
#include "model/element.h"
#include "model/elementdata.h"

namespace zun {

// ---------------------------------------------------------------------------------------------
// AttenTable

void AttenTable::Build(const std::vector<Record>& records, const std::vector<std::pair<int, int>>& index) {
    elements_.assign(elementCount_, {});
    for (int i = 0; i < elementCount_ && i < static_cast<int>(index.size()); ++i) {
        auto& pts = elements_[i];
        auto [start, count] = index[i];
        pts.reserve(count + elementdata::kMaxEdges);
        for (int r = start; r < start + count; ++r) {
            const Record& rec = records[r];
            AttenPoint p{static_cast<float>(rec.energy), static_cast<float>(rec.value),
                         static_cast<float>(rec.phase)};
            auto it = std::lower_bound(pts.begin(), pts.end(), p.energy,
                                       [](const AttenPoint& a, float e) { return a.energy < e; });
            if (it != pts.end() && it->energy == p.energy) continue;  // the first values stay
            pts.insert(it, p);
        }
    }
}

namespace {

// Sets that tabulate an edge themselves carry it as two points a few eV apart, the low side first.
constexpr float kOwnEdgeGap = 0.005f;      // keV
constexpr float kEdgeEnergyMatch = 0.01f;  // relative: sources quote an edge to different digits

// True when the points hold their own jump near the edge energy e. A point inserted beside it
// would take a value extrapolated from the coarse grid and bend the curve on either side.
bool HasOwnEdgeNear(const std::vector<AttenPoint>& pts, float e) {
    auto it = std::lower_bound(pts.begin(), pts.end(), e * (1.0f - kEdgeEnergyMatch),
                               [](const AttenPoint& a, float x) { return a.energy < x; });
    for (; it != pts.end() && it->energy <= e * (1.0f + kEdgeEnergyMatch); ++it)
        if (it != pts.begin() && it->energy - (it - 1)->energy <= kOwnEdgeGap && it->value > (it - 1)->value)
            return true;
    return false;
}

}  // namespace

void AttenTable::InsertEdges() {
    const int n = std::min(elementCount_, elementdata::kElementCount);
    for (int i = 0; i < n; ++i) {
        auto& pts = elements_[i];
        const elementdata::EdgeRow& edges = elementdata::kEdges[i];
        for (int k = 0; k < edges.count; ++k) {
            const float e = static_cast<float>(edges.energy[k]);
            auto it = std::lower_bound(pts.begin(), pts.end(), e,
                                       [](const AttenPoint& a, float x) { return a.energy < x; });
            if (it != pts.end() && it->energy == e) continue;
            if (HasOwnEdgeNear(pts, e)) continue;
            AttenPoint p{e, 0.0f, 0.0f};
            const auto above = pts.end() - it;
            if (above >= 2) {
                // The high side of the jump, continued down from the two points above the edge.
                const AttenPoint& a = it[0];
                const AttenPoint& b = it[1];
                const double t =
                    (static_cast<double>(e) - a.energy) / (static_cast<double>(b.energy) - a.energy);
                p.value = static_cast<float>(a.value + (static_cast<double>(b.value) - a.value) * t);
                p.phase = static_cast<float>(a.phase + (static_cast<double>(b.phase) - a.phase) * t);
            } else if (above == 1) {
                p.value = it->value;
                p.phase = it->phase;
            }
            pts.insert(it, p);
        }
    }
}

AttenTable::Values AttenTable::Interpolate(const std::vector<AttenPoint>& pts, float e) {
    if (pts.empty() || !(e >= pts.front().energy && e <= pts.back().energy)) return {0.0f, 0.0f};
    auto it = std::lower_bound(pts.begin(), pts.end(), e,
                               [](const AttenPoint& a, float x) { return a.energy < x; });
    if (it->energy == e) return {it->value, it->phase};
    const AttenPoint& hi = *it;
    const AttenPoint& lo = *(it - 1);
    // A rise from lo to hi means an absorption edge between them: continue the curve below it.
    // Where lo is itself the top of a rise (the high side of an edge the set tabulates, or a curve
    // climbing between close edges) there is no falling curve to continue: extrapolating from the
    // jump would throw the value far off, so lo and hi are interpolated.
    const bool edgeBetween = hi.value > lo.value && (it - 1 == pts.begin() || (it - 2)->value >= lo.value);
    if (edgeBetween) {
        if (it - 1 == pts.begin()) return {lo.value, lo.phase};
        const AttenPoint& lo2 = *(it - 2);
        const double t = (static_cast<double>(e) - lo.energy) / (static_cast<double>(lo.energy) - lo2.energy);
        return {static_cast<float>(lo.value + (static_cast<double>(lo.value) - lo2.value) * t),
                static_cast<float>(lo.phase + (static_cast<double>(lo.phase) - lo2.phase) * t)};
    }
    const double t = (static_cast<double>(e) - lo.energy) / (static_cast<double>(hi.energy) - lo.energy);
    return {static_cast<float>(lo.value + (static_cast<double>(hi.value) - lo.value) * t),
            static_cast<float>(lo.phase + (static_cast<double>(hi.phase) - lo.phase) * t)};
}

AttenTable::Values AttenTable::LookupZ(int z, float e) const {
    if (z < 1 || z > elementCount_) return {0.0f, 0.0f};
    return Interpolate(elements_[z - 1], e);
}

AttenTable::Values AttenTable::Lookup(std::string_view symbol, float e) const {
    return LookupZ(ElementNumber(symbol), e);
}

const std::vector<AttenPoint>& AttenTable::Points(int z) const {
    static const std::vector<AttenPoint> none;
    return z >= 1 && z <= elementCount_ ? elements_[z - 1] : none;
}

// ---------------------------------------------------------------------------------------------
// Reading the embedded data (layout: tools/make_materials_data.py, write_blob).

namespace {

[[noreturn]] void Damaged(const char* what) {
    throw std::runtime_error(std::string("Embedded attenuation data damaged: ") + what);
}

std::vector<unsigned char> Decompress(const unsigned char* data, std::size_t size) {
    std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> ctx(ZSTD_createDCtx(), &ZSTD_freeDCtx);
    if (!ctx) throw std::bad_alloc();
    ZSTD_DCtx_setParameter(ctx.get(), ZSTD_d_windowLogMax, 27);
    std::vector<unsigned char> out;
    std::vector<unsigned char> chunk(ZSTD_DStreamOutSize());
    ZSTD_inBuffer in{data, size, 0};
    std::size_t last = 1;
    while (in.pos < in.size) {
        ZSTD_outBuffer o{chunk.data(), chunk.size(), 0};
        last = ZSTD_decompressStream(ctx.get(), &o, &in);
        // Memory refused to the decoder is a shortage the operation reports as such, not damage.
        if (ZSTD_isError(last) && ZSTD_getErrorCode(last) == ZSTD_error_memory_allocation)
            throw std::bad_alloc();
        if (ZSTD_isError(last)) Damaged(ZSTD_getErrorName(last));
        out.insert(out.end(), chunk.data(), chunk.data() + o.pos);
    }
    if (last != 0) Damaged("truncated");
    return out;
}

class Reader {
public:
    explicit Reader(const std::vector<unsigned char>& b) : b_(b) {}

    template <class T>
    T Get() {
        if (pos_ + sizeof(T) > b_.size()) Damaged("short");
        T v;
        std::memcpy(&v, b_.data() + pos_, sizeof v);
        pos_ += sizeof v;
        return v;
    }

    // Zig-zag varints of second differences back to the quantised values.
    void Curve(std::size_t n, std::vector<std::int64_t>& q) {
        const std::size_t bytes = Get<std::uint32_t>();
        const std::size_t end = pos_ + bytes;
        if (end > b_.size()) Damaged("curve");
        q.resize(n);
        std::int64_t d = 0, v = 0;
        for (std::size_t i = 0; i < n; ++i) {
            std::uint64_t u = 0;
            int shift = 0;
            for (;;) {
                if (pos_ >= end || shift > 63) Damaged("varint");
                const unsigned char c = b_[pos_++];
                u |= static_cast<std::uint64_t>(c & 0x7F) << shift;
                if (!(c & 0x80)) break;
                shift += 7;
            }
            const std::int64_t dd = static_cast<std::int64_t>(u >> 1) ^ -static_cast<std::int64_t>(u & 1);
            d += dd;
            v += d;
            q[i] = v;
        }
        if (pos_ != end) Damaged("curve length");
    }

private:
    const std::vector<unsigned char>& b_;
    std::size_t pos_ = 0;
};

constexpr double kLogQuantum = 1.0 / 1048576.0;  // 2^-20
constexpr std::int64_t kZeroCode = -(std::int64_t{1} << 40);

struct TableSet {
    std::array<std::unique_ptr<AttenTable>, 6> tables;  // slot (method - 1) * 2 + (kind == 1)
};

int Slot(int method, int kind) {
    return (method - 1) * 2 + (kind == 1 ? 1 : 0);
}

std::unique_ptr<TableSet> LoadTables() {
    const std::vector<unsigned char> raw = Decompress(AttenuationBlob(), AttenuationBlobSize());
    Reader r(raw);
    if (r.Get<std::uint32_t>() != 0x4E54415Au /* "ZATN" */) Damaged("magic");
    if (r.Get<std::uint32_t>() != 1) Damaged("version");
    const std::uint32_t count = r.Get<std::uint32_t>();
    auto set = std::make_unique<TableSet>();
    std::vector<std::int64_t> q;
    for (std::uint32_t t = 0; t < count; ++t) {
        const int method = r.Get<std::uint8_t>();
        const int kind = r.Get<std::uint8_t>();
        const bool hasPhase = r.Get<std::uint8_t>() != 0;
        r.Get<std::uint8_t>();
        const int elements = static_cast<int>(r.Get<std::uint32_t>());
        if (method < 1 || method > 3 || kind > 1 || elements < 1 || elements > kElementCount)
            Damaged("table header");
        std::vector<AttenTable::Record> records;
        std::vector<std::pair<int, int>> index;
        for (int i = 0; i < elements; ++i) {
            const std::uint32_t n = r.Get<std::uint32_t>();
            if (n > 100000) Damaged("point count");
            const std::size_t start = records.size();
            index.emplace_back(static_cast<int>(start), static_cast<int>(n));
            records.resize(start + n);
            for (std::uint32_t k = 0; k < n; ++k) records[start + k] = {r.Get<double>(), 0.0, 0.0};
            r.Curve(n, q);
            for (std::uint32_t k = 0; k < n; ++k)
                records[start + k].value =
                    q[k] == kZeroCode ? 0.0 : std::exp(static_cast<double>(q[k]) * kLogQuantum);
            if (hasPhase) {
                const double scale = r.Get<double>();
                r.Curve(n, q);
                for (std::uint32_t k = 0; k < n; ++k)
                    records[start + k].phase = static_cast<double>(q[k]) * scale;
            }
        }
        auto table = std::make_unique<AttenTable>(method, kind, elements);
        table->Build(records, index);
        table->InsertEdges();
        set->tables[Slot(method, kind)] = std::move(table);
    }
    for (const auto& t : set->tables)
        if (!t) Damaged("missing table");
    return set;
}

}  // namespace

const AttenTable& GetAttenTable(int method, int kind) {
    static std::once_flag once;
    static std::unique_ptr<TableSet> set;
    std::call_once(once, [] { set = LoadTables(); });
    if (method < 1 || method > 3) method = 2;
    return *set->tables[Slot(method, kind)];
}

}  // namespace zun
