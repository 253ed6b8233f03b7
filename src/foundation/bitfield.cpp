#include "foundation/bitfield.h"

#include <cstdint>
#include <cstring>

namespace zun {

int CopyBitField(int nbits, void* destination, int dOff, const void* source, int sOff) {
    if (dOff < 0 || sOff < 0) return -1;
    if (nbits <= 0) return 0;
    auto* d = static_cast<std::uint8_t*>(destination);
    const auto* s = static_cast<const std::uint8_t*>(source);
    if (nbits % 8 == 0 && dOff % 8 == 0 && sOff % 8 == 0) {
        std::memmove(d + dOff / 8, s + sOff / 8, static_cast<std::size_t>(nbits / 8));
        return 0;
    }
    for (int i = 0; i < nbits; ++i) {
        const int sb = sOff + i, db = dOff + i;
        const bool bit = (s[sb / 8] >> (sb % 8)) & 1;
        const auto mask = static_cast<std::uint8_t>(1u << (db % 8));
        d[db / 8] =
            bit ? static_cast<std::uint8_t>(d[db / 8] | mask) : static_cast<std::uint8_t>(d[db / 8] & ~mask);
    }
    return 0;
}

int ClearBitField(int nbits, void* buffer, int startBit) {
    if (nbits < 0 || startBit < 0) return -1;
    if (nbits == 0) return 0;
    auto* b = static_cast<std::uint8_t*>(buffer);
    if (startBit == 0 && nbits % 8 == 0) {
        std::memset(b, 0, static_cast<std::size_t>(nbits / 8));
        return 0;
    }
    for (int i = startBit; i < startBit + nbits; ++i)
        b[i / 8] = static_cast<std::uint8_t>(b[i / 8] & ~(1u << (i % 8)));
    return 0;
}

}  // namespace zun
