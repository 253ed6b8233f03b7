#pragma once
// Run-time class records of archived objects and the program's registry of them.
//
// Every class that is written through Archive::WriteObject has one ClassInfo: its name (what
// the archive stores), its schema, whether it is versionable, a factory, and its base class for
// the kind-of test. Each folder offers a Register...Classes() function that adds its records to
// the registry; the program and the tests call them before any archive is read. (Registration by
// static constructors is avoided: a static library drops object files nothing refers to.)

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace zun {

class Archive;
class Serializable;

struct ClassInfo {
    using Factory = std::unique_ptr<Serializable> (*)();

    const char* name;
    std::uint32_t schema;
    bool versionable;
    Factory factory;          // null: the class cannot be created by the archive
    const ClassInfo* base;    // null: derives from the root object class

    bool IsDerivedFrom(const ClassInfo* other) const;
    // Calls the factory; null when there is none or memory was refused.
    std::unique_ptr<Serializable> CreateObject() const;
};

// The root of every archived class.
class Serializable {
public:
    virtual ~Serializable() = default;
    virtual const ClassInfo* GetRuntimeClass() const;
    virtual void Serialize(Archive& ar);
    bool IsKindOf(const ClassInfo* info) const { return GetRuntimeClass()->IsDerivedFrom(info); }

    static const ClassInfo classSerializable;
};

// The application's list of run-time classes.
class ClassRegistry {
public:
    static ClassRegistry& Instance();

    // Adds the record. Registering the same record again is harmless; a different record under a
    // name already taken is refused (returns false).
    bool Register(const ClassInfo* info);
    const ClassInfo* Find(std::string_view name) const;
    std::vector<const ClassInfo*> All() const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, const ClassInfo*, std::less<>> byName_;
};

// Makes a factory for a default-constructible class; returns null when memory is refused.
template <class T>
std::unique_ptr<Serializable> MakeSerializable() {
    try {
        return std::unique_ptr<Serializable>(new T());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

template <class T>
const ClassInfo* RuntimeClassOf() {
    return &T::classInfo;
}

}  // namespace zun

// In the class body: the record and the run-time class query.
#define ZUN_DECLARE_SERIAL(Class)                                                   \
public:                                                                            \
    static const ::zun::ClassInfo classInfo;                                       \
    const ::zun::ClassInfo* GetRuntimeClass() const override { return &classInfo; }

// In one .cpp: defines the record of a versionable class (constant-initialised).
// Base is the archived base class, or ::zun::Serializable for a root class.
#define ZUN_IMPLEMENT_SERIAL(Class, Base, Schema)                            \
    const ::zun::ClassInfo Class::classInfo{#Class, (Schema), true,          \
                                            &::zun::MakeSerializable<Class>, \
                                            ::zun::detail::BaseInfo<Base>()};

namespace zun::detail {
template <class Base>
constexpr const ClassInfo* BaseInfo() {
    if constexpr (std::is_same_v<Base, Serializable>)
        return &Serializable::classSerializable;
    else
        return &Base::classInfo;
}
}  // namespace zun::detail
