#pragma once

// Every text the edit-data language shows, in one place, so the console, the log and the
// tests quote the same words.
namespace zun::script::msg {

inline constexpr const char* kSyntaxError = "syntax error";
inline constexpr const char* kMemoryExhausted = "memory exhausted";
inline constexpr const char* kHexConst = "syntax error in hexadecimal constant";
inline constexpr const char* kBinConst = "syntax error in binary constant";
inline constexpr const char* kOctConst = "syntax error in octal constant";
inline constexpr const char* kDecConst = "syntax error in decimal constant";
inline constexpr const char* kFloatConst = "syntax error in floating point constant";

inline constexpr const char* kOutOfMemory = "out of memory";
// A line that would make more elements than its caller allows.
inline constexpr const char* kTooManyElements = "too many elements for one line";
inline constexpr const char* kNodeAllocation = "make_node: memory allocation error";
inline constexpr const char* kDivisionByZero = "division by zero";
inline constexpr const char* kInvalidIndex = "invalid index";
inline constexpr const char* kFieldMissing = "field does not exist";
inline constexpr const char* kSubscriptOnScalar = "cannot apply a subscript to a scalar";
inline constexpr const char* kSelectorOnScalar = "cannot apply a subscript or field to a scalar";
inline constexpr const char* kFieldOnScalar = "cannot apply a field to a scalar";
inline constexpr const char* kTooManyDims = "coordinate has too many dimensions for array";
inline constexpr const char* kSubscriptKinds =
    "subscripts can contain only integral scalars, or ranges of them";

inline constexpr const char* kGetChar = "cannot get this value as a char";
inline constexpr const char* kGetUShort = "cannot get this value as an unsigned short";
inline constexpr const char* kGetShort = "cannot get this value as a short";
inline constexpr const char* kGetUInt = "cannot get this value as an unsigned int";
inline constexpr const char* kGetInt = "cannot get this value as an int";
inline constexpr const char* kGetLong = "cannot get this value as a long";
inline constexpr const char* kGetFloat = "cannot get this value as a float";
inline constexpr const char* kGetDouble = "cannot get this value as a double";
inline constexpr const char* kGetBool = "cannot get this value as a bool";
inline constexpr const char* kGetString = "cannot get this value as a string";
inline constexpr const char* kPutChar = "cannot put a char into this value";
inline constexpr const char* kPutUShort = "cannot put an unsigned short into this value";
// The random value's own spelling of the unsigned short text; users have seen it.
inline constexpr const char* kPutUShortRand = "cannot put an unsigned shortr into this value";
inline constexpr const char* kPutShort = "cannot put a short into this value";
inline constexpr const char* kPutUInt = "cannot put an unsigned int into this value";
inline constexpr const char* kPutInt = "cannot put an int into this value";
inline constexpr const char* kPutLong = "cannot put a long into this value";
inline constexpr const char* kPutFloat = "cannot put a float into this value";
inline constexpr const char* kPutDouble = "cannot put a double into this value";
inline constexpr const char* kPutBool = "cannot put a bool into this value";
inline constexpr const char* kPutString = "cannot put a string into this value";

inline constexpr const char* kNoVariable = "variable does not exist";
inline constexpr const char* kRangeLimits = "range limits must be integral and scalar";
inline constexpr const char* kSubscriptIntegral = "subscript values must be integral";
inline constexpr const char* kUnknownFunction = "unknown function name";
inline constexpr const char* kCannotAssign = "cannot assign to this value";
inline constexpr const char* kIncNumeric = "unary ++,-- expressions must have a numeric argument";
inline constexpr const char* kUnaryPlusMinus = "unary +,- expressions must have a numeric argument";
inline constexpr const char* kUnaryBitNot = "unary~ expressions must have an integral argument";
inline constexpr const char* kUnaryLogNot = "unary! expressions must have a bool or integral argument";
inline constexpr const char* kCastTypes = "incompatible type for cast expression";
inline constexpr const char* kArithTypes = "incompatible types for *,/,+,- expression";
inline constexpr const char* kArithNumeric = "binary *,/,%,+,- expressions must have numeric arguments";
inline constexpr const char* kIntegralTypes = "incompatible types for %,<<,>>,&,|,^ expression";
inline constexpr const char* kIntegralArgs = "binary %,<<,>>,&,|,^ expressions must have integral arguments";
inline constexpr const char* kRelTypes = "incompatible types for <,>,<=,>= expression";
inline constexpr const char* kRelArgs =
    "binary <,>,<=,>= operators must have both numeric or both string args";
inline constexpr const char* kEqArgs = "binary ==,!= operators must have compatible args";
inline constexpr const char* kLogTypes = "incompatible types for &&,|| expression";
inline constexpr const char* kLogArgs = "binary &&,|| operators must have either bool or integral args";
inline constexpr const char* kCondTest =
    "conditional expressions must have a boolean or integral test argument";
inline constexpr const char* kCondTypes =
    "the last two arguments of a conditional expression must have compatible types";
inline constexpr const char* kCondSizes =
    "all arguments in a conditional expression must have compatible sizes";
inline constexpr const char* kAssignTypes = "incompatible types for assignment";
inline constexpr const char* kAssignVector = "cannot assign a vector to a scalar";
inline constexpr const char* kAssignNumeric = "binary *=,/=,-= operators must have numeric arguments";
inline constexpr const char* kAddAssignArgs = "binary += operator must have numeric or string arguments";
inline constexpr const char* kAssignIntegral =
    "binary %=,&=,^=,|=,<<=,>>= operators must have integral arguments";

// The console's refusal while the document's computation works on the voxels.
inline constexpr const char* kBusyEdit = "The data cannot be edited while a computation is running.";

}  // namespace zun::script::msg
