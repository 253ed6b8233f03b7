#include "model/element.h"

#include <algorithm>
#include <array>
#include <utility>

#include "model/elementdata.h"

namespace zun {

namespace {

struct SymbolIndex {
    std::array<std::pair<std::string_view, int>, kElementCount> byText;
    std::vector<std::string> sortedSymbols;

    SymbolIndex() {
        for (int i = 0; i < kElementCount; ++i) byText[i] = {elementdata::kElements[i].symbol, i + 1};
        std::sort(byText.begin(), byText.end());
        for (const auto& p : byText) sortedSymbols.emplace_back(p.first);
    }
};

const SymbolIndex& Index() {
    static const SymbolIndex index;  // built once, thread-safe, read-only afterwards
    return index;
}

}  // namespace

int ElementNumber(std::string_view symbol) {
    const auto& t = Index().byText;
    auto it = std::lower_bound(t.begin(), t.end(), symbol,
                               [](const auto& p, std::string_view s) { return p.first < s; });
    return it != t.end() && it->first == symbol ? it->second : 0;
}

const char* ElementSymbol(int z) {
    return z >= 1 && z <= kElementCount ? elementdata::kElements[z - 1].symbol : "";
}

double AtomicWeight(int z) {
    return z >= 1 && z <= kElementCount ? elementdata::kElements[z - 1].atomicWeight : 0.0;
}

double ElementDensity(int z) {
    return z >= 1 && z <= kElementCount ? elementdata::kElements[z - 1].density : 0.0;
}

const std::vector<std::string>& ElementSymbolList() {
    return Index().sortedSymbols;
}

}  // namespace zun
