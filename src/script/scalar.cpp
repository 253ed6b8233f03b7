#include "script/scalar.h"

#include <unistd.h>

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstring>

#include "foundation/memoryguard.h"
#include "foundation/numformat.h"
#include "script/block.h"
#include "script/messages.h"

namespace zun::script {

void Raise(const char* text) {
    throw ScriptError{text};
}
void RaiseNaming(const char* text, const std::string& name) {
    throw ScriptError{std::string(text) + ": '" + name + "'"};
}

void CheckAllocation(double bytes) {
    // What is available now, less the share the memory preferences keep free: the machine's whole
    // memory would let a line grow until the system itself runs short.
    MemoryStatus status;
    if (QueryMemoryStatus(status) && status.totalPhysical) {
        if (!(bytes <= static_cast<double>(status.availablePhysical))) Raise(msg::kOutOfMemory);
        const MemoryPolicy policy = GetMemoryPolicy();
        if (policy.enabled && !GuardAdmits(static_cast<std::uint64_t>(bytes), policy.remain, status))
            Raise(msg::kOutOfMemory);
        return;
    }
    static const double physical =
        static_cast<double>(sysconf(_SC_PHYS_PAGES)) * static_cast<double>(sysconf(_SC_PAGESIZE));
    if (!(bytes <= physical)) Raise(msg::kOutOfMemory);
}

namespace {

uint32_t g_randState = 1;

int32_t SafeMod(int32_t a, int32_t b) {
    if (b == 0) Raise(msg::kDivisionByZero);
    if (a == INT32_MIN && b == -1) return 0;
    return a % b;
}

int32_t ShiftLeft(int32_t a, int32_t count) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) << (count & 31));
}
int32_t ShiftRight(int32_t a, int32_t count) {
    return a >> (count & 31);
}

int CompareText(const char* a, const char* b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a ? a : "");
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b ? b : "");
    while (*x && *x == *y) ++x, ++y;
    return static_cast<int>(*x) - static_cast<int>(*y);
}

// One comparison of the language; returns -1 when the receiver stays as it is.
int CompareValues(BinOp op, Value& a, Value& b) {
    if (a.IsNumeric()) {
        const double x = a.GetDouble();
        return CompareNumbers(op, x, b.GetDouble());
    }
    const bool equality = op == BinOp::Equal || op == BinOp::NotEqual;
    if (equality && a.IsBool()) {
        const bool same = a.GetBool() == b.GetBool();
        return op == BinOp::Equal ? same : !same;
    }
    if (equality && !a.IsString()) return -1;
    const int c = CompareText(a.GetString(), b.GetString());
    switch (op) {
        case BinOp::Less:
            return c < 0;
        case BinOp::Greater:
            return c > 0;
        case BinOp::LessEqual:
            return c <= 0;
        case BinOp::GreaterEqual:
            return c >= 0;
        case BinOp::Equal:
            return c == 0;
        default:
            return c != 0;
    }
}

}  // namespace

int ScriptRand() {
    return ScriptRandNext(g_randState);
}
void SeedScriptRand(uint32_t seed) {
    g_randState = seed;
}
uint32_t ScriptRandState() {
    return g_randState;
}

// The step x -> a x + c applied `steps` times, by squaring the affine map (mod 2^32).
uint32_t ScriptRandAfter(uint32_t state, uint64_t steps) {
    uint32_t a = 214013u, c = 2531011u;
    uint32_t accA = 1u, accC = 0u;
    for (; steps; steps >>= 1) {
        if (steps & 1u) {
            accA *= a;
            accC = accC * a + c;
        }
        c = c * a + c;
        a *= a;
    }
    return accA * state + accC;
}

double RandomReadAs(int readType, double raw) {
    switch (readType) {
        case kChar:
            return static_cast<int8_t>(TruncToI64(raw));
        case kUShort:
            return static_cast<uint16_t>(TruncToI32(raw));
        case kShort:
            return static_cast<int16_t>(TruncToI64(raw));
        case kUInt:
            return static_cast<uint32_t>(TruncToI64(raw));
        case kInt:
        case kLong:
            return ToI32Bits(TruncToI64(raw));
        case kFloat:
            return static_cast<float>(raw);
        default:
            return raw;
    }
}

std::string FormatFloat(float f) {
    return FormatReal(f, -1, "%g");
}

bool ScalarValue::HasSameType(Value& other) {
    if (other.IsVector()) return other.HasSameType(*this);
    return type_ == other.GetType();
}
bool ScalarValue::IsCompatible(Value& other) {
    if (IsNumeric()) return other.IsNumeric();
    return HasSameType(other);
}
bool ScalarValue::IsAssignableFrom(Value& other) {
    return IsCompatible(other) || (IsBool() && other.IsIntegral());
}

int64_t ScalarValue::ElementSize() const {
    if (type_ == kString) {
        const char* s = const_cast<ScalarValue*>(this)->GetString();
        return s ? static_cast<int64_t>(std::strlen(s)) : 0;
    }
    return ElementBytes(type_);
}

std::string ScalarValue::ToString(bool) {
    char buf[64];
    switch (type_) {
        case kChar: {
            const char c = static_cast<char>(GetChar());
            return c ? std::string(1, c) : std::string();
        }
        case kUShort:
            std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(GetUShort()));
            return buf;
        case kUInt:
            std::snprintf(buf, sizeof buf, "%u", GetUInt());
            return buf;
        case kShort:
            std::snprintf(buf, sizeof buf, "%d", static_cast<int>(GetShort()));
            return buf;
        case kInt:
        case kLong:
            std::snprintf(buf, sizeof buf, "%d", GetInt());
            return buf;
        case kFloat:
            return FormatFloat(GetFloat());
        case kDouble:
            return FormatFloat(static_cast<float>(GetDouble()));
        case kBool:
            return GetBool() ? "true" : "false";
        case kString: {
            const char* s = GetString();
            return s ? s : "";
        }
        default:
            return {};
    }
}

Value* ScalarValue::ApplySelectors(const ValueList& selectors, size_t first) {
    if (first >= selectors.size()) return this;
    Raise(msg::kSelectorOnScalar);
}
Value* ScalarValue::Field(const char*) {
    Raise(msg::kFieldOnScalar);
}

Value* ScalarValue::NewScalar(int type) {
    return Pool()->Make<ScalarRO>(type ? type : type_);
}

Value* ScalarValue::NewForArgs(const ValueList& values) {
    int t = type_;
    if (IsNumeric()) {
        for (Value* v : values) {
            const int p = PromotedType(*v);
            if (t <= p) t = p;
        }
    }
    return NewScalar(t);
}
Value* ScalarValue::NewResultFor(Value& other) {
    return NewScalar(PromotedType(other));
}
Value* ScalarValue::SizeOf() {
    Value* v = Pool()->Make<ScalarRO>(kUInt);
    v->PutUInt(static_cast<uint32_t>(ElementSize()));
    return v;
}
Value* ScalarValue::MakeRandom(Value& range, Value& offset) {
    return Pool()->Make<RandValue>(type_, range.GetDouble(), offset.GetDouble());
}
Value* ScalarValue::Cast(int type) {
    Value* v = NewScalar(type);
    v->AssignFrom(*this);
    return v;
}

Value* ScalarValue::Unary(UnOp op, bool apply) {
    switch (op) {
        case UnOp::PostInc:
            if (apply) PutDouble(GetDouble() + 1.0);
            break;
        case UnOp::PostDec:
            if (apply) PutDouble(GetDouble() - 1.0);
            break;
        case UnOp::PreInc:
            PutDouble(GetDouble() + 1.0);
            break;
        case UnOp::PreDec:
            PutDouble(GetDouble() - 1.0);
            break;
        case UnOp::Plus:
            break;
        case UnOp::Negate:
            PutDouble(-GetDouble());
            break;
        case UnOp::BitNot:
            PutInt(~GetInt());
            break;
        case UnOp::LogicalNot:
            if (IsBool()) {
                PutBool(!GetBool());
            } else {
                PutBool(GetInt() == 0);
            }
            break;
        case UnOp::Clear:
            if (IsNumeric()) {
                PutInt(0);
            } else if (IsBool()) {
                PutBool(false);
            } else if (IsString()) {
                PutString("");
            }
            break;
    }
    return this;
}

Value* ScalarValue::Binary(BinOp op, Value& a, Value& b) {
    switch (op) {
        case BinOp::Mul:
            PutDouble(a.GetDouble() * b.GetDouble());
            break;
        case BinOp::Div:
            PutDouble(a.GetDouble() / b.GetDouble());
            break;
        case BinOp::Add:
            PutDouble(a.GetDouble() + b.GetDouble());
            break;
        case BinOp::Sub:
            PutDouble(a.GetDouble() - b.GetDouble());
            break;
        case BinOp::Mod: {
            const int32_t x = a.GetInt(), y = b.GetInt();
            PutInt(SafeMod(x, y));
            break;
        }
        case BinOp::Shl: {
            const int32_t x = a.GetInt();
            PutInt(ShiftLeft(x, b.GetInt()));
            break;
        }
        case BinOp::Shr: {
            const int32_t x = a.GetInt();
            PutInt(ShiftRight(x, b.GetInt()));
            break;
        }
        case BinOp::BitAnd: {
            const int32_t x = a.GetInt();
            PutInt(x & b.GetInt());
            break;
        }
        case BinOp::BitXor: {
            const int32_t x = a.GetInt();
            PutInt(x ^ b.GetInt());
            break;
        }
        case BinOp::BitOr: {
            const int32_t x = a.GetInt();
            PutInt(x | b.GetInt());
            break;
        }
        case BinOp::LogicalAnd: {
            const bool x = a.GetBool();
            const bool y = b.GetBool();
            PutBool(x && y);
            break;
        }
        case BinOp::LogicalOr: {
            const bool x = a.GetBool();
            const bool y = b.GetBool();
            PutBool(x || y);
            break;
        }
        default: {
            const int r = CompareValues(op, a, b);
            if (r >= 0) PutBool(r != 0);
            break;
        }
    }
    return this;
}

Value* ScalarValue::Conditional(Value& test, Value& a, Value& b) {
    AssignFrom(test.GetBool() ? a : b);
    return this;
}

Value* ScalarValue::AssignWith(AsgOp op, Value& other) {
    switch (op) {
        case AsgOp::Assign:
            AssignFrom(other);
            break;
        case AsgOp::Mul:
            PutDouble(GetDouble() * other.GetDouble());
            break;
        case AsgOp::Div:
            PutDouble(GetDouble() / other.GetDouble());
            break;
        case AsgOp::Add:
            if (IsNumeric()) PutDouble(GetDouble() + other.GetDouble());
            break;
        case AsgOp::Sub:
            PutDouble(GetDouble() - other.GetDouble());
            break;
        case AsgOp::Mod: {
            const int32_t x = GetInt();
            PutInt(SafeMod(x, other.GetInt()));
            break;
        }
        case AsgOp::Shl: {
            const int32_t x = GetInt();
            PutInt(ShiftLeft(x, other.GetInt()));
            break;
        }
        case AsgOp::Shr: {
            const int32_t x = GetInt();
            PutInt(ShiftRight(x, other.GetInt()));
            break;
        }
        case AsgOp::And: {
            const int32_t x = GetInt();
            PutInt(x & other.GetInt());
            break;
        }
        case AsgOp::Xor: {
            const int32_t x = GetInt();
            PutInt(x ^ other.GetInt());
            break;
        }
        case AsgOp::Or: {
            const int32_t x = GetInt();
            PutInt(x | other.GetInt());
            break;
        }
    }
    return this;
}

Value* ScalarValue::ListOf(ListOp op, const ValueList& values) {
    double r = 0.0;
    if (op == ListOp::Sum) {
        for (Value* v : values) r += v->GetDouble();
    } else {
        r = values.front()->GetDouble();
        for (size_t i = 1; i < values.size(); ++i) {
            const double x = values[i]->GetDouble();
            if (op == ListOp::Max ? x > r : x < r) r = x;
        }
    }
    PutDouble(r);
    return this;
}

Value* ScalarValue::ListOfTotals(ListOp op, const ValueList& values) {
    double r = 0.0;
    if (op == ListOp::Sum) {
        for (Value* v : values) r += v->TotalSum();
    } else {
        r = op == ListOp::Max ? values.front()->TotalMax() : values.front()->TotalMin();
        for (size_t i = 1; i < values.size(); ++i) {
            const double x = op == ListOp::Max ? values[i]->TotalMax() : values[i]->TotalMin();
            if (op == ListOp::Max ? x > r : x < r) r = x;
        }
    }
    PutDouble(r);
    return this;
}

const char* ScalarValue::GetString() {
    if (type_ != kString) return nullptr;
    return Load<const char*>(Storage());
}
void ScalarValue::PutString(const char* text) {
    if (type_ == kString) Store<const char*>(Storage(), text);
}

void ScalarValue::AssignFrom(Value& other) {
    switch (other.GetType()) {
        case kChar:
            PutChar(other.GetChar());
            break;
        case kUShort:
            PutUShort(other.GetUShort());
            break;
        case kShort:
            PutShort(other.GetShort());
            break;
        case kUInt:
            PutUInt(other.GetUInt());
            break;
        case kInt:
            PutInt(other.GetInt());
            break;
        case kLong:
            PutLong(other.GetLong());
            break;
        case kFloat:
            PutFloat(other.GetFloat());
            break;
        case kDouble:
            PutDouble(other.GetDouble());
            break;
        case kBool:
            PutBool(other.GetBool());
            break;
        case kString:
            PutString(other.GetString());
            break;
        default:
            break;
    }
}

int ScalarValue::PromotedType(Value& other) {
    if (IsNumeric() && other.IsNumeric()) {
        const int o = other.IsScalar() ? other.GetType() : other.ElementType();
        return type_ > o ? type_ : o;
    }
    return type_;
}

bool ScalarLocal::DescribeBlock(Block& block) {
    if (type_ == kString) return false;
    block = Block{};
    block.kind = Block::kScalar;
    block.type = type_;
    block.scalar = this;
    return true;
}

double RandValue::GetDouble() {
    return ScriptRand() / 32767.0 * scale_ + offset_;
}
bool RandValue::GetBool() {
    Raise(msg::kGetBool);
}
const char* RandValue::GetString() {
    Raise(msg::kGetString);
}
void RandValue::PutString(const char*) {
    Raise(msg::kPutString);
}
void RandValue::PutBool(bool) {
    Raise(msg::kPutBool);
}
void RandValue::PutDouble(double) {
    Raise(msg::kPutDouble);
}
void RandValue::PutFloat(float) {
    Raise(msg::kPutFloat);
}
void RandValue::PutInt(int32_t) {
    Raise(msg::kPutInt);
}
void RandValue::PutUInt(uint32_t) {
    Raise(msg::kPutUInt);
}
void RandValue::PutShort(int16_t) {
    Raise(msg::kPutShort);
}
void RandValue::PutUShort(uint16_t) {
    Raise(msg::kPutUShortRand);
}
void RandValue::PutChar(int8_t) {
    Raise(msg::kPutChar);
}

// Typed access does not exist on vectors; reaching it means a vector stood where a scalar was
// needed, which the evaluator's checks normally exclude.
int8_t Value::GetChar() {
    Raise(msg::kGetChar);
}
uint16_t Value::GetUShort() {
    Raise(msg::kGetUShort);
}
int16_t Value::GetShort() {
    Raise(msg::kGetShort);
}
uint32_t Value::GetUInt() {
    Raise(msg::kGetUInt);
}
int32_t Value::GetInt() {
    Raise(msg::kGetInt);
}
float Value::GetFloat() {
    Raise(msg::kGetFloat);
}
double Value::GetDouble() {
    Raise(msg::kGetDouble);
}
bool Value::GetBool() {
    Raise(msg::kGetBool);
}
const char* Value::GetString() {
    Raise(msg::kGetString);
}
int Value::GetType() const {
    return const_cast<Value*>(this)->ElementType();
}
void Value::AssignFrom(Value&) {
    Raise(msg::kAssignVector);
}
void Value::PutString(const char*) {
    Raise(msg::kPutString);
}
void Value::PutBool(bool) {
    Raise(msg::kPutBool);
}
void Value::PutDouble(double) {
    Raise(msg::kPutDouble);
}
void Value::PutFloat(float) {
    Raise(msg::kPutFloat);
}
void Value::PutInt(int32_t) {
    Raise(msg::kPutInt);
}
void Value::PutUInt(uint32_t) {
    Raise(msg::kPutUInt);
}
void Value::PutShort(int16_t) {
    Raise(msg::kPutShort);
}
void Value::PutUShort(uint16_t) {
    Raise(msg::kPutUShort);
}
void Value::PutChar(int8_t) {
    Raise(msg::kPutChar);
}
int Value::PromotedType(Value&) {
    return ElementType();
}
Value* Value::ListOfTotals(ListOp, const ValueList&) {
    Raise(msg::kInvalidIndex);
}

}  // namespace zun::script
