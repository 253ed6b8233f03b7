#include "plot/statslisting.h"

#include <cctype>
#include <cmath>

#include "foundation/numformat.h"
#include "platform/prompt.h"
#include "plot/tabletext.h"

namespace zun {

namespace {
// The classification functions take unsigned char values: bytes of UTF-8 text are negative chars.
bool IsSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}
bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}
char At(const std::string& s, std::size_t i) {
    return i < s.size() ? s[i] : '\0';
}

int CompareRight(const std::string& a, std::size_t i, const std::string& b, std::size_t j) {
    int bias = 0;
    for (;; ++i, ++j) {
        const char ca = At(a, i), cb = At(b, j);
        const bool da = IsDigit(ca), db = IsDigit(cb);
        if (!da && !db) return bias;
        if (!da) return -1;
        if (!db) return 1;
        if (ca < cb && bias == 0) bias = -1;
        if (ca > cb && bias == 0) bias = 1;
    }
}

int CompareLeft(const std::string& a, std::size_t i, const std::string& b, std::size_t j) {
    for (;; ++i, ++j) {
        const char ca = At(a, i), cb = At(b, j);
        const bool da = IsDigit(ca), db = IsDigit(cb);
        if (!da && !db) return 0;
        if (!da) return -1;
        if (!db) return 1;
        if (ca < cb) return -1;
        if (ca > cb) return 1;
    }
}
}  // namespace

int NaturalCompare(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    for (;; ++i, ++j) {
        char ca = At(a, i), cb = At(b, j);
        while (IsSpace(ca)) ca = At(a, ++i);
        while (IsSpace(cb)) cb = At(b, ++j);
        if (IsDigit(ca) && IsDigit(cb)) {
            const int r = (ca == '0' || cb == '0') ? CompareLeft(a, i, b, j) : CompareRight(a, i, b, j);
            if (r != 0) return r;
        }
        if (ca == '\0' && cb == '\0') return 0;
        const auto sa = static_cast<signed char>(ca), sb = static_cast<signed char>(cb);
        if (sa < sb) return -1;
        if (sa > sb) return 1;
    }
}

bool StatsListingModel::ReadWidth(const std::string& text, int* width) {
    float v = 0.0f;
    if (ScanString(text, "%f", &v) != 0 || !(v >= 1.0f) || v > kMaxWidth || std::floor(v) != v) return false;
    *width = static_cast<int>(v);
    return true;
}

bool StatsListingModel::Refresh(const std::string& widthText, std::int32_t newColumns) {
    int w = 0;
    if (!ReadWidth(widthText, &w)) {
        if (prompt_) prompt_->Tell(statsmsg::kColumnWidth, PromptIcon::Information);
        return false;
    }
    width = w;
    columns = newColumns;
    RefreshListing();
    return true;
}

bool StatsListingModel::Save(const std::string& path) const {
    std::string plain;
    plain.reserve(text_.size());
    for (char c : text_)
        if (c != '\r') plain += c;
    std::string ignored;
    if (SaveTextFile(path, plain, &ignored)) return true;
    if (prompt_) prompt_->Tell("Could not open " + path, PromptIcon::Warning);
    return false;
}

}  // namespace zun
