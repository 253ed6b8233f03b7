#pragma once
// Bit fields in byte buffers. Bit k of a buffer is bit (k mod 8) of byte k / 8, counted from the
// least significant bit.

namespace zun {

// Copies nbits bits; 0, or -1 when an offset is negative. nbits <= 0 copies nothing.
int CopyBitField(int nbits, void* destination, int destinationBitOffset, const void* source,
                 int sourceBitOffset);
// Clears nbits bits from startBit on; 0, or -1 when nbits or startBit is negative.
int ClearBitField(int nbits, void* buffer, int startBit);

}  // namespace zun
