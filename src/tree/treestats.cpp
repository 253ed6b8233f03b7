#include "tree/treestats.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <iomanip>
#include <set>
#include <sstream>
#include "foundation/cpuclones.h"

#include "foundation/cpuclones.h"
#include "foundation/numformat.h"
#include "model/importinfo.h"
#include "model/sample.h"
#include "tree/displaystate.h"

namespace zun {

namespace {

constexpr const char* kSectionKey = "Channel statistics";

// Rounding can make the variance come out a hair below zero; that is a zero spread.
double Spread(double sumSq, double sum, std::uint64_t n) {
    const double ave = sum / static_cast<double>(n);
    return std::sqrt(std::max(0.0, sumSq / static_cast<double>(n) - ave * ave));
}

struct WordSums {
    std::uint64_t count = 0, sum = 0, sumSq = 0;
    unsigned low = 0x3FFF, high = 0;
};

// One pass over a plane in memory order, in whole words: the physical value is linear in the
// word, so the sums convert exactly afterwards.
// Vectorised, and built for the wider vector units as well.
ZUN_CPU_CLONES __attribute__((optimize("O3"))) WordSums SumPlane(const std::uint16_t* words,
                                                                 const std::uint16_t* mask, std::size_t n) {
    WordSums s;
    std::uint64_t count = 0, sum = 0, sumSq = 0;
    unsigned low = 0x3FFF, high = 0;
    if (mask) {
        // Without branches: a voxel outside the mask adds zeros and leaves the extremes alone.
        constexpr std::size_t kBlock = 16;
        std::size_t i = 0;
        for (; i + kBlock <= n; i += kBlock) {
            std::uint32_t bc = 0, bs = 0, bq = 0;
            std::uint16_t bl = 0x3FFF, bh = 0;
#pragma omp simd reduction(+ : bc, bs, bq) reduction(min : bl) reduction(max : bh)
            for (std::size_t k = 0; k < kBlock; ++k) {
                const std::uint32_t in = mask[i + k] != 0;
                const std::uint32_t w = (words[i + k] & 0x3FFFu) * in;
                bc += in;
                bs += w;
                bq += w * w;
                bl = std::min(bl, static_cast<std::uint16_t>(in ? w : 0x3FFFu));
                bh = std::max(bh, static_cast<std::uint16_t>(w));
            }
            count += bc;
            sum += bs;
            sumSq += bq;
            low = std::min(low, static_cast<unsigned>(bl));
            high = std::max(high, static_cast<unsigned>(bh));
        }
        for (; i < n; ++i) {
            if (!mask[i]) continue;
            const unsigned w = words[i] & 0x3FFFu;
            ++count;
            sum += w;
            sumSq += static_cast<std::uint64_t>(w) * w;
            low = std::min(low, w);
            high = std::max(high, w);
        }
    } else {
        // Blocks of 32-bit lanes the compiler can vectorise: 16 squares of 14-bit words fit in
        // 32 bits, a block's plain sum fits too.
        constexpr std::size_t kBlock = 16;
        std::size_t i = 0;
        for (; i + kBlock <= n; i += kBlock) {
            std::uint32_t bs = 0, bq = 0;
            std::uint16_t bl = 0x3FFF, bh = 0;
#pragma omp simd reduction(+ : bs, bq) reduction(min : bl) reduction(max : bh)
            for (std::size_t k = 0; k < kBlock; ++k) {
                const std::uint32_t w = words[i + k] & 0x3FFFu;
                bs += w;
                bq += w * w;
                bl = std::min(bl, static_cast<std::uint16_t>(w));
                bh = std::max(bh, static_cast<std::uint16_t>(w));
            }
            sum += bs;
            sumSq += bq;
            low = std::min(low, static_cast<unsigned>(bl));
            high = std::max(high, static_cast<unsigned>(bh));
        }
        for (; i < n; ++i) {
            const unsigned w = words[i] & 0x3FFFu;
            sum += w;
            sumSq += w * w;
            low = std::min(low, w);
            high = std::max(high, w);
        }
        count = n;
    }
    s.count = count;
    s.sum = sum;
    s.sumSq = sumSq;
    s.low = low;
    s.high = high;
    return s;
}

void ComputeSlice(DisplayTree& tree, TreeNode* item) {
    DispSpec& s = item->spec;
    s.statMin = s.statMax = s.statAve = s.statStdev = 0;
    s.statCount = 0;
    s.statSum = s.statSumSq = 0;
    const ZunImage* sample = tree.Sample();
    if (!sample || !item->parent) return;
    const ZunChan* chan = sample->FindChan(DisplayTree::GetItemName(item->parent));
    unsigned z = 0;
    if (!chan || !chan->Data() || std::sscanf(DisplayTree::GetItemName(item).c_str(), "%u", &z) != 1 ||
        z >= static_cast<unsigned>(chan->nz))
        return;
    const std::size_t plane = static_cast<std::size_t>(chan->nx) * static_cast<std::size_t>(chan->ny);
    const std::uint16_t* words = chan->Data() + plane * z;
    const std::uint16_t* mask = nullptr;
    if (s.shown.maskState != 0) {
        const ZunChan* m = sample->FindChan(s.shown.maskName);
        if (m && m->Data() && m->nx == chan->nx && m->ny == chan->ny && z < static_cast<unsigned>(m->nz))
            mask = m->Data() + plane * z;
    }
    const WordSums w = SumPlane(words, mask, plane);
    if (w.count == 0) return;
    const double lo = chan->range.size() > 0 ? chan->range[0] : 0.0;
    const double hi = chan->range.size() > 1 ? chan->range[1] : 1.0;
    const double a = lo, b = (hi - lo) / 16383.0;
    const double n = static_cast<double>(w.count), sw = static_cast<double>(w.sum),
                 sw2 = static_cast<double>(w.sumSq);
    const double v1 = a + b * w.low, v2 = a + b * w.high;
    s.statMin = static_cast<float>(std::min(v1, v2));
    s.statMax = static_cast<float>(std::max(v1, v2));
    s.statCount = w.count;
    s.statSum = n * a + b * sw;
    s.statSumSq = n * a * a + 2 * a * b * sw + b * b * sw2;
    s.statAve = static_cast<float>(s.statSum / n);
    s.statStdev = static_cast<float>(Spread(s.statSumSq, s.statSum, w.count));
}

void ComputeInner(DisplayTree& tree, TreeNode* item) {
    DispSpec& s = item->spec;
    float lo = 3.4028235e38f, hi = -3.4028235e38f;
    std::uint64_t count = 0;
    double sum = 0, sumSq = 0;
    bool any = false;
    for (auto& c : item->children) {
        if (c->spec.statColumns == 0) continue;
        const DispSpec& cs = ComputeStatistics(tree, c.get());
        any = true;
        hi = std::max(hi, cs.statMax);
        lo = std::min(lo, cs.statMin);
        sum += cs.statSum;
        sumSq += cs.statSumSq;
        count += cs.statCount;
    }
    s.statCount = count;
    s.statSum = sum;
    s.statSumSq = sumSq;
    if (any && count != 0) {
        s.statMin = lo;
        s.statMax = hi;
        s.statAve = static_cast<float>(sum / static_cast<double>(count));
        s.statStdev = static_cast<float>(Spread(sumSq, sum, count));
    } else {
        // Nothing counted: zeros, as for an empty slice, rather than the start values.
        s.statMin = s.statMax = s.statAve = s.statStdev = 0;
    }
    ZunImage* sample = tree.Sample();
    if (!sample || !item->IsChannel()) return;
    ZunChan* chan = sample->FindChan(DisplayTree::GetItemName(item));
    if (!chan) return;
    const std::string key = kSectionKey;
    const std::string text = (any && count != 0) ? ChannelStatisticsText(item) : std::string();
    LogText::AppendSection(&text, chan->note, &key);
}

void WriteCell(std::ostream& out, int width, const std::string& text) {
    out << std::setw(width) << text;
}

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
    char buf[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    return buf;
}

const struct {
    std::int32_t column;
    const char* header;
} kListingColumns[] = {{DispSpec::kColAve, "Ave"},
                       {DispSpec::kColStdev, "Stdev"},
                       {DispSpec::kColMin, "Min"},
                       {DispSpec::kColMax, "Max"},
                       {DispSpec::kColN, "N"}};

}  // namespace

const DispSpec& ComputeStatistics(DisplayTree& tree, TreeNode* item) {
    DispSpec& s = item->spec;
    if (!s.statStale) return s;
    if (!item->HasChildren()) {
        if (item->IsSlice() && s.statColumns != 0)
            ComputeSlice(tree, item);
        else {
            s.statMin = s.statMax = s.statAve = s.statStdev = 0;
            s.statCount = 0;
            s.statSum = s.statSumSq = 0;
        }
    } else {
        ComputeInner(tree, item);
    }
    s.statStale = 0;
    return s;
}

std::string ChannelStatisticsText(const TreeNode* item) {
    std::string out = "Channel statistics:\n";
    out += "    slice\t      ave\t    stdev\t      min\t      max\t   voxels\n";
    int lines = 0;
    double aveSum = 0, aveSumSq = 0, aveMin = 1e50, aveMax = -1e50;
    for (const auto& c : item->children) {
        const DispSpec& s = c->spec;
        if (s.statColumns == 0) continue;
        out += Printf(" %8s\t %8.4f\t %8.4f\t %8.4f\t %8.4f\t %llu\n",
                      DisplayTree::GetItemName(c.get()).c_str(), s.statAve, s.statStdev, s.statMin, s.statMax,
                      static_cast<unsigned long long>(s.statCount));
        ++lines;
        aveSum += s.statAve;
        aveSumSq += static_cast<double>(s.statAve) * s.statAve;
        aveMin = std::min(aveMin, static_cast<double>(s.statAve));
        aveMax = std::max(aveMax, static_cast<double>(s.statAve));
    }
    if (lines == 0) return out;
    const DispSpec& s = item->spec;
    out +=
        Printf("Number of voxels = %llu, voxel ave = %f, voxel stdev = %f, voxel min = %f, voxel max = %f\n",
               static_cast<unsigned long long>(s.statCount), s.statAve, s.statStdev, s.statMin, s.statMax);
    const double mean = aveSum / lines;
    const double spread = std::sqrt(std::max(0.0, aveSumSq / lines - mean * mean));
    out += Printf("Number of slices = %d, slice ave = %f, slice stdev = %f, slice min = %f, slice max = %f\n",
                  lines, mean, spread, aveMin, aveMax);
    return out;
}

void RefreshStatisticsOfItems(DisplayTree& tree, const TreeItems& items) {
    std::vector<TreeNode*> parents;
    std::set<TreeNode*> seen;
    for (TreeNode* n : items) {
        ComputeStatistics(tree, n);
        tree.RefreshLabel(n);
        if (n->parent && seen.insert(n->parent).second) parents.push_back(n->parent);
    }
    for (TreeNode* p : parents) {
        p->spec.ResetStatistics();
        ComputeStatistics(tree, p);
        tree.RefreshLabel(p);
    }
}

void RefreshItemLabelsOfSubtree(DisplayTree& tree, TreeNode* item) {
    ComputeStatistics(tree, item);
    tree.RefreshLabel(item);
    for (auto& c : item->children) {
        if (c->IsSlice())
            tree.RefreshLabel(c.get());
        else
            RefreshItemLabelsOfSubtree(tree, c.get());
    }
}

void RefreshLabelsOfItemSet(DisplayTree& tree, const TreeItems& items) {
    for (TreeNode* n : items) RefreshItemLabelsOfSubtree(tree, n);
    if (items.empty() || !items.front()->parent) return;
    TreeNode* p = items.front()->parent;
    p->spec.ResetStatistics();
    ComputeStatistics(tree, p);
    tree.RefreshLabel(p);
}

void WriteStatisticsHeader(std::ostream& out, int width, std::int32_t columns) {
    WriteCell(out, width, "Item");
    for (const auto& c : kListingColumns)
        if (columns & c.column) WriteCell(out, width, c.header);
    out << "\r\n";
}

void WriteStatisticsRows(DisplayTree& tree, TreeNode* item, std::ostream& out, std::int32_t columns,
                         int width) {
    const DispSpec& s = ComputeStatistics(tree, item);
    WriteCell(out, width, DisplayTree::GetItemName(item));
    for (const auto& c : kListingColumns) {
        if (!(columns & c.column)) continue;
        std::string cell = "-";
        if (s.statColumns & c.column) {
            switch (c.column) {
                case DispSpec::kColAve:
                    cell = FormatReal(s.statAve, -1, "%.3g");
                    break;
                case DispSpec::kColStdev:
                    cell = FormatReal(s.statStdev, -1, "%.3g");
                    break;
                case DispSpec::kColMin:
                    cell = FormatReal(s.statMin, -1, "%.3g");
                    break;
                case DispSpec::kColMax:
                    cell = FormatReal(s.statMax, -1, "%.3g");
                    break;
                default:
                    cell = FormatUInt64(s.statCount);
            }
        }
        WriteCell(out, width, cell);
    }
    out << "\r\n";
}

std::string StatisticsListing::Text(DisplayTree& tree, int width) const {
    std::ostringstream out;
    WriteStatisticsHeader(out, width, columns);
    for (TreeNode* n : items) WriteStatisticsRows(tree, n, out, columns, width);
    return out.str();
}

StatisticsListing MakeStatisticsListing(const DisplayTree& tree, int command, const std::string& docTitle) {
    StatisticsListing l;
    TreeNode* root = tree.Root();
    if (!root) return l;
    auto channelsTitle = [&](const TreeItems& channels, const char* multiple) {
        return channels.size() == 1 ? ": " + DisplayTree::GetItemName(channels.front())
                                    : std::string(multiple);
    };
    TreeItems selected;
    for (TreeNode* c = tree.FirstSelectedChannel(); c; c = tree.NextSelectedChannel(c)) selected.push_back(c);
    switch (command) {
        case kStatsListRoot:
            l.items = {root};
            l.title = docTitle + " Statistics Listing";
            break;
        case kStatsListChannels:
        case kStatsListAll:
            if (command == kStatsListAll) l.items.push_back(root);
            for (auto& c : root->children) l.items.push_back(c.get());
            l.title = docTitle + " Statistics Listing";
            break;
        case kStatsListSelection:
            l.items = selected;
            l.title = docTitle + channelsTitle(selected, ": Multiple Channels") + " Statistics Listing";
            break;
        case kStatsListChannelSlices:
            for (TreeNode* c : selected)
                for (auto& s : c->children) l.items.push_back(s.get());
            l.title =
                docTitle + channelsTitle(selected, ": Multiple Channels'") + " Slices Statistics Listing";
            break;
        case kStatsListChannelAndSlices:
            for (TreeNode* c : selected) {
                l.items.push_back(c);
                for (auto& s : c->children) l.items.push_back(s.get());
            }
            l.title =
                docTitle + channelsTitle(selected, ": Multiple Channels") + " and Slices Statistics Listing";
            break;
        case kStatsListSlices: {
            std::set<const TreeNode*> owners;
            for (TreeNode* s = tree.FirstSelectedSlice(); s; s = tree.NextSelectedSlice(s)) {
                l.items.push_back(s);
                owners.insert(s->parent);
            }
            const std::string which = owners.size() == 1 ? ": " + DisplayTree::GetItemName(*owners.begin())
                                                         : std::string(": Multiple Channels");
            l.title = docTitle + which + " Slices Statistics Listing";
            break;
        }
        default:
            return l;
    }
    for (const TreeNode* n : l.items) l.columns |= n->spec.statColumns;
    return l;
}

}  // namespace zun
