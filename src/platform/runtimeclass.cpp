#include "platform/runtimeclass.h"

#include "platform/archive.h"

namespace zun {

const ClassInfo Serializable::classSerializable{"CObject", 0xFFFF, false, nullptr, nullptr};

const ClassInfo* Serializable::GetRuntimeClass() const { return &classSerializable; }

void Serializable::Serialize(Archive&) {}

bool ClassInfo::IsDerivedFrom(const ClassInfo* other) const {
    if (!other) return true;
    for (const ClassInfo* c = this; c; c = c->base)
        if (c == other) return true;
    return false;
}

std::unique_ptr<Serializable> ClassInfo::CreateObject() const {
    if (!factory) return nullptr;
    return factory();
}

ClassRegistry& ClassRegistry::Instance() {
    static ClassRegistry registry;
    return registry;
}

bool ClassRegistry::Register(const ClassInfo* info) {
    std::lock_guard lock(mutex_);
    auto [it, inserted] = byName_.emplace(info->name, info);
    return inserted || it->second == info;
}

const ClassInfo* ClassRegistry::Find(std::string_view name) const {
    std::lock_guard lock(mutex_);
    auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : it->second;
}

std::vector<const ClassInfo*> ClassRegistry::All() const {
    std::lock_guard lock(mutex_);
    std::vector<const ClassInfo*> out;
    out.reserve(byName_.size());
    for (auto& [name, info] : byName_) out.push_back(info);
    return out;
}

}  // namespace zun
