#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

// The element conversions of the language's scalar types, as plain functions over the storage
// of one element so that scalar values, voxel views and the bulk kernels share them.
namespace zun::script {

enum TypeCode : int {
    kNoType = 0,
    kChar = 1,
    kUShort = 2,
    kShort = 3,
    kUInt = 4,
    kInt = 5,
    kLong = 6,
    kFloat = 7,
    kDouble = 8,
    kBool = 9,
    kString = 10,
};

inline bool IsIntegralType(int t) {
    return t >= kChar && t <= kLong;
}
inline bool IsFloatingType(int t) {
    return t == kFloat || t == kDouble;
}
inline bool IsNumericType(int t) {
    return t >= kChar && t <= kDouble;
}

// Truncation toward zero as the x86 conversion does it: NaN and values outside the target range
// give the "integer indefinite" (the most negative number), whose low bits are all zero.
inline int64_t TruncToI64(double x) {
    if (!(x > -9223372036854775808.0 && x < 9223372036854775808.0)) return INT64_MIN;
    return static_cast<int64_t>(x);
}
inline int32_t TruncToI32(double x) {
    if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
    return static_cast<int32_t>(x);
}

inline int32_t ToI32Bits(int64_t v) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}

template <typename T>
inline T Load(const void* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <typename T>
inline void Store(void* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

// --- reads, by the stored type -----------------------------------------------------------
inline int8_t ReadChar(int t, const void* p) {
    switch (t) {
        case kChar:
            return Load<int8_t>(p);
        case kUShort:
            return static_cast<int8_t>(Load<uint16_t>(p));
        case kShort:
            return static_cast<int8_t>(Load<int16_t>(p));
        case kUInt:
        case kInt:
        case kLong:
            return static_cast<int8_t>(Load<uint32_t>(p));
        case kFloat:
            return static_cast<int8_t>(TruncToI64(Load<float>(p)));
        case kDouble:
            return static_cast<int8_t>(TruncToI64(Load<double>(p)));
        default:
            return 0;
    }
}
inline uint16_t ReadUShort(int t, const void* p) {
    switch (t) {
        case kChar:
            return static_cast<uint16_t>(Load<int8_t>(p));
        case kUShort:
            return Load<uint16_t>(p);
        case kShort:
            return static_cast<uint16_t>(Load<int16_t>(p));
        case kUInt:
        case kInt:
        case kLong:
            return static_cast<uint16_t>(Load<uint32_t>(p));
        case kFloat:
            return static_cast<uint16_t>(TruncToI32(Load<float>(p)));
        case kDouble:
            return static_cast<uint16_t>(TruncToI32(Load<double>(p)));
        default:
            return 0;
    }
}
inline int16_t ReadShort(int t, const void* p) {
    switch (t) {
        case kChar:
            return Load<int8_t>(p);
        case kUShort:
            return static_cast<int16_t>(Load<uint16_t>(p));
        case kShort:
            return Load<int16_t>(p);
        case kUInt:
        case kInt:
        case kLong:
            return static_cast<int16_t>(Load<uint32_t>(p));
        case kFloat:
            return static_cast<int16_t>(TruncToI64(Load<float>(p)));
        case kDouble:
            return static_cast<int16_t>(TruncToI64(Load<double>(p)));
        default:
            return 0;
    }
}
inline int32_t ReadInt(int t, const void* p) {
    switch (t) {
        case kChar:
            return Load<int8_t>(p);
        case kUShort:
            return Load<uint16_t>(p);
        case kShort:
            return Load<int16_t>(p);
        case kUInt:
        case kInt:
        case kLong:
            return Load<int32_t>(p);
        case kFloat:
            return ToI32Bits(TruncToI64(Load<float>(p)));
        case kDouble:
            return ToI32Bits(TruncToI64(Load<double>(p)));
        default:
            return 0;
    }
}
inline uint32_t ReadUInt(int t, const void* p) {
    return static_cast<uint32_t>(ReadInt(t, p));
}
inline double ReadDouble(int t, const void* p) {
    switch (t) {
        case kChar:
            return Load<int8_t>(p);
        case kUShort:
            return Load<uint16_t>(p);
        case kShort:
            return Load<int16_t>(p);
        case kUInt:
            return Load<uint32_t>(p);
        case kInt:
        case kLong:
            return Load<int32_t>(p);
        case kFloat:
            return Load<float>(p);
        case kDouble:
            return Load<double>(p);
        default:
            return 0.0;
    }
}
inline float ReadFloat(int t, const void* p) {
    if (t == kFloat) return Load<float>(p);
    return static_cast<float>(ReadDouble(t, p));
}
inline bool ReadBool(int t, const void* p) {
    if (t == kBool) return Load<uint8_t>(p) != 0;
    return ReadInt(t, p) != 0;
}

// --- writes, by the receiving type -------------------------------------------------------
// Integral sources: the value's bits are kept modulo the receiver's width; floating receivers
// take the number. `isUnsigned32` tells an unsigned int source from a signed one.
inline void WriteInteger(int t, void* p, int64_t v) {
    switch (t) {
        case kChar:
            Store<int8_t>(p, static_cast<int8_t>(v));
            break;
        case kUShort:
        case kShort:
            Store<uint16_t>(p, static_cast<uint16_t>(v));
            break;
        case kUInt:
        case kInt:
        case kLong:
            Store<uint32_t>(p, static_cast<uint32_t>(v));
            break;
        case kFloat:
            Store<float>(p, static_cast<float>(v));
            break;
        case kDouble:
            Store<double>(p, static_cast<double>(v));
            break;
        case kBool:
            Store<uint8_t>(p, v != 0);
            break;
        default:
            break;
    }
}
// Floating sources: integral receivers truncate (unsigned short through a 32-bit integer, the
// others through a 64-bit one); a bool or string receiver is left unchanged.
inline void WriteFloating(int t, void* p, double x, bool fromFloat) {
    switch (t) {
        case kChar:
            Store<int8_t>(p, static_cast<int8_t>(TruncToI64(x)));
            break;
        case kUShort:
            Store<uint16_t>(p, static_cast<uint16_t>(TruncToI32(x)));
            break;
        case kShort:
            Store<uint16_t>(p, static_cast<uint16_t>(TruncToI64(x)));
            break;
        case kUInt:
        case kInt:
        case kLong:
            Store<uint32_t>(p, static_cast<uint32_t>(TruncToI64(x)));
            break;
        case kFloat:
            Store<float>(p, fromFloat ? static_cast<float>(x) : static_cast<float>(x));
            break;
        case kDouble:
            Store<double>(p, x);
            break;
        default:
            break;
    }
}
inline void WriteChar(int t, void* p, int8_t v) {
    WriteInteger(t, p, v);
}
inline void WriteUShort(int t, void* p, uint16_t v) {
    WriteInteger(t, p, v);
}
inline void WriteShort(int t, void* p, int16_t v) {
    WriteInteger(t, p, v);
}
inline void WriteUInt(int t, void* p, uint32_t v) {
    WriteInteger(t, p, v);
}
inline void WriteInt(int t, void* p, int32_t v) {
    WriteInteger(t, p, v);
}
inline void WriteFloat(int t, void* p, float v) {
    WriteFloating(t, p, v, true);
}
inline void WriteDouble(int t, void* p, double v) {
    WriteFloating(t, p, v, false);
}

inline int ElementBytes(int t) {
    switch (t) {
        case kChar:
        case kBool:
            return 1;
        case kUShort:
        case kShort:
            return 2;
        case kUInt:
        case kInt:
        case kLong:
        case kFloat:
            return 4;
        case kDouble:
            return 8;
        default:
            return 0;
    }
}

// A number as the typed read of the given type returns it (exact in a double for every type).
inline double ReadAs(int srcType, int t, const void* p) {
    switch (srcType) {
        case kChar:
            return ReadChar(t, p);
        case kUShort:
            return ReadUShort(t, p);
        case kShort:
            return ReadShort(t, p);
        case kUInt:
            return ReadUInt(t, p);
        case kInt:
        case kLong:
            return ReadInt(t, p);
        case kFloat:
            return ReadFloat(t, p);
        case kDouble:
            return ReadDouble(t, p);
        case kBool:
            return ReadBool(t, p) ? 1.0 : 0.0;
        default:
            return 0.0;
    }
}

// The typed write named by srcType of a number produced by ReadAs(srcType, ...).
inline void WriteAs(int srcType, int t, void* p, double x) {
    switch (srcType) {
        case kChar:
        case kUShort:
        case kShort:
        case kUInt:
        case kInt:
        case kLong:
            WriteInteger(t, p, static_cast<int64_t>(x));
            break;
        case kFloat:
            WriteFloat(t, p, static_cast<float>(x));
            break;
        case kDouble:
            WriteDouble(t, p, x);
            break;
        case kBool:
            Store<uint8_t>(p, x != 0.0);
            break;
        default:
            break;
    }
}

}  // namespace zun::script
