#include "script/voxel.h"

#include "script/messages.h"

namespace zun::script {

Value* ZunValue::ApplySelectors(const ValueList& selectors, size_t first) {
    if (first >= selectors.size()) return Field("phys");
    Value* sel = selectors[first];
    if (sel->IsSubscript()) Raise(msg::kSubscriptOnScalar);
    return Field(sel->GetString())->ApplySelectors(selectors, first + 1);
}

Value* ZunValue::Field(const char* name) {
    const std::string key = name ? name : "";
    if (auto it = views_.find(key); it != views_.end()) return it->second;
    Value* v = nullptr;
    ValuePool* pool = Pool();
    if (key == "phys") {
        v = pool->Make<ZunFloat>(word_, min_, max_, true);
    } else if (key == "log") {
        v = pool->Make<ZunFloat>(word_, 0.0f, 1.0f, false);
    } else if (key == "raw") {
        v = pool->Make<ZunUshort>(word_, true);
    } else if (key == "val") {
        v = pool->Make<ZunUshort>(word_, false);
    } else if (key == "ro") {
        v = pool->Make<ZunFlagBit>(word_, kRoBit);
    } else if (key == "err") {
        v = pool->Make<ZunFlagBit>(word_, kErrBit);
    } else if (key == "data" || key == "flags" || key == "all") {
        std::vector<std::string> names = key == "data"    ? std::vector<std::string>{"phys", "log", "raw"}
                                         : key == "flags" ? std::vector<std::string>{"ro", "err"}
                                                          : std::vector<std::string>{"data", "flags"};
        auto* g = pool->Make<ZunGroup>(names);
        for (const std::string& n : names) g->Add(Field(n.c_str()));
        v = g;
    } else {
        Raise(msg::kFieldMissing);
    }
    v->parent = this;
    views_[key] = v;
    return v;
}

void ZunValue::PutBool(bool) {
    Raise(msg::kPutBool);
}
void ZunValue::PutString(const char*) {
    Raise(msg::kPutString);
}

const char* ZunDerived::GetString() {
    Raise(msg::kGetString);
}
void ZunDerived::PutString(const char*) {
    Raise(msg::kPutString);
}
void ZunUshort::PutBool(bool) {
    Raise(msg::kPutBool);
}
bool ZunFloat::GetBool() {
    Raise(msg::kGetBool);
}
void ZunFloat::PutBool(bool) {
    Raise(msg::kPutBool);
}

Value* ZunFlagBit::Unary(UnOp op, bool apply) {
    if (op == UnOp::Clear) Raise(msg::kPutInt);
    return ZunDerived::Unary(op, apply);
}
int8_t ZunFlagBit::GetChar() {
    Raise(msg::kGetChar);
}
uint16_t ZunFlagBit::GetUShort() {
    Raise(msg::kGetUShort);
}
int16_t ZunFlagBit::GetShort() {
    Raise(msg::kGetShort);
}
uint32_t ZunFlagBit::GetUInt() {
    Raise(msg::kGetUInt);
}
int32_t ZunFlagBit::GetInt() {
    Raise(msg::kGetInt);
}
float ZunFlagBit::GetFloat() {
    Raise(msg::kGetFloat);
}
double ZunFlagBit::GetDouble() {
    Raise(msg::kGetDouble);
}
void ZunFlagBit::PutDouble(double) {
    Raise(msg::kPutDouble);
}
void ZunFlagBit::PutFloat(float) {
    Raise(msg::kPutFloat);
}
void ZunFlagBit::PutInt(int32_t) {
    Raise(msg::kPutInt);
}
void ZunFlagBit::PutUInt(uint32_t) {
    Raise(msg::kPutUInt);
}
void ZunFlagBit::PutShort(int16_t) {
    Raise(msg::kPutShort);
}
void ZunFlagBit::PutUShort(uint16_t) {
    Raise(msg::kPutUShort);
}
void ZunFlagBit::PutChar(int8_t) {
    Raise(msg::kPutChar);
}

Value* ZunGroup::Field(const char* name) {
    for (size_t i = 0; i < names_.size(); ++i)
        if (names_[i] == name) return elements_[i];
    Raise(msg::kFieldMissing);
}

}  // namespace zun::script
