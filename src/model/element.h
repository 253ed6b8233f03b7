#pragma once
// The 94 elements H ... Pu: symbols, atomic weights and densities, and the symbol lookup.

#include <string>
#include <string_view>
#include <vector>

namespace zun {

constexpr int kElementCount = 94;

// Z of a symbol (exact case), 0 when the symbol is not one of the 94.
int ElementNumber(std::string_view symbol);
// Symbol of Z, empty for Z outside 1 ... 94.
const char* ElementSymbol(int z);
// g/mol and g/cm3; 0 for Z outside 1 ... 94.
double AtomicWeight(int z);
double ElementDensity(int z);
// The 94 symbols in byte-wise ascending order ("Ac", "Ag", "Al", ...), as element-choice lists show them.
const std::vector<std::string>& ElementSymbolList();

}  // namespace zun
