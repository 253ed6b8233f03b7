#pragma once
// The binary archive of document files.
//
// Byte conventions (document files depend on them exactly):
// - scalars raw little-endian, no padding; bool as one byte (any non-zero byte loads as true);
// - counted strings: n < 255 one byte; n < 0xFFFE 0xFF + uint16; n < 0xFFFFFFFF 0xFF 0xFFFF + uint32;
//   else 0xFF 0xFFFF 0xFFFFFFFF + uint64; then n bytes (UTF-8). 0xFF 0xFFFE introduces a UTF-16
//   string (its length follows in the same form); it is read and converted, never written;
// - object records: uint16 tag 0 null; 0xFFFF new class (uint16 schema, uint16 name length, name)
//   followed by the object body; 0x8000|i new object of known class i; 1..0x7FFE back-reference to
//   an object; 0x7FFF escape followed by uint32 (bit 31 set: class reference). One counter from 1
//   numbers classes and objects in order of first appearance; a new object takes its number before
//   its body is written.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "platform/bytestream.h"
#include "platform/runtimeclass.h"

namespace zun {

// The stamp written at the head of the document's records (and read past when they load).
inline constexpr std::uint32_t kRecordStamp = 2648;

class ArchiveException : public std::runtime_error {
public:
    enum Cause { generic, endOfFile, badClass, badSchema, badIndex };
    ArchiveException(Cause cause, const std::string& what) : std::runtime_error(what), cause_(cause) {}
    Cause cause() const { return cause_; }

private:
    Cause cause_;
};

class Archive {
public:
    enum class Mode { Store, Load };

    Archive(ByteStream& stream, Mode mode);
    ~Archive();  // flushes a storing archive (errors then are swallowed: call Flush() to see them)
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    bool IsStoring() const { return mode_ == Mode::Store; }
    bool IsLoading() const { return mode_ == Mode::Load; }

    // Raw bytes. Read throws ArchiveException(endOfFile) on a short read.
    void Write(const void* data, std::size_t n);
    void Read(void* data, std::size_t n);
    // Reads up to n bytes; returns how many were there.
    std::size_t ReadSome(void* data, std::size_t n);
    void Flush();

    // Scalars.
    template <class T>
    requires std::is_arithmetic_v<T> Archive& operator<<(T v) {
        if constexpr (std::is_same_v<T, bool>) {
            std::uint8_t b = v ? 1 : 0;
            Write(&b, 1);
        } else {
            static_assert(sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8);
            Write(&v, sizeof v);  // the supported platforms are little-endian
        }
        return *this;
    }
    template <class T>
    requires std::is_arithmetic_v<T> Archive& operator>>(T& v) {
        if constexpr (std::is_same_v<T, bool>) {
            std::uint8_t b = 0;
            Read(&b, 1);
            v = b != 0;
        } else {
            Read(&v, sizeof v);
        }
        return *this;
    }

    // Counted strings.
    Archive& operator<<(const std::string& s) {
        WriteString(s);
        return *this;
    }
    Archive& operator<<(const char* s) {
        WriteString(s);
        return *this;
    }
    Archive& operator>>(std::string& s) {
        s = ReadString();
        return *this;
    }
    void WriteString(const std::string& s);
    std::string ReadString();

    // Collection counts: uint16, or 0xFFFF and a uint32.
    void WriteCount(std::uint64_t n);
    std::uint64_t ReadCount();

    // Object records. WriteObject(null) writes a null record.
    void WriteObject(const Serializable* obj);
    // Reads one object record. The class must be a kind of `required` (null: any class), else
    // ArchiveException(badClass). New objects stay owned by the archive until a caller takes them
    // with TakeOwnership; what nobody takes is destroyed with the archive. Returns null for a null
    // record; a back-reference returns the object read earlier. A back-reference is refused as
    // damage (badIndex) unless the archive still holds that object whole: an object already taken
    // may have been destroyed by its new owner, and one whose body is still being read would end
    // up owned twice.
    Serializable* ReadObject(const ClassInfo* required);
    // Takes an object that this archive created out of its keeping. Throws
    // ArchiveException(badIndex) when the archive does not own it (already taken, or a
    // back-reference to an object someone else owns).
    std::unique_ptr<Serializable> TakeOwnership(Serializable* obj);

    // Reads one object that the caller will own alone (every layout of this program stores owned
    // objects). Null for a null record.
    template <class T>
    std::unique_ptr<T> ReadOwnedObject() {
        Serializable* p = ReadObject(RuntimeClassOf<T>());
        if (!p) return nullptr;
        return std::unique_ptr<T>(static_cast<T*>(TakeOwnership(p).release()));
    }

    // The schema stored with the class of the object whose body is being read (versionable
    // classes); -1 once read or outside a body.
    int GetObjectSchema();

    // Free slot for the caller that set up the archive (the document being loaded or saved).
    void SetContext(void* context) { context_ = context; }
    void* GetContext() const { return context_; }

private:
    void FillBuffer();
    void WriteClassRecord(const ClassInfo* info);
    const ClassInfo* ReadClassRecord(std::uint32_t tag16, std::uint32_t objTag, unsigned* schema);

    ByteStream& stream_;
    Mode mode_;
    std::vector<std::uint8_t> buffer_;
    std::size_t bufPos_ = 0;
    std::size_t bufEnd_ = 0;

    // Storing: object and class numbers.
    std::unordered_map<const void*, std::uint32_t> storeMap_;
    // Loading: index -> entry (class record or object).
    enum class Held : std::uint8_t { no, reading, whole };
    struct LoadEntry {
        const ClassInfo* cls = nullptr;
        Serializable* obj = nullptr;  // only while held is not `no`
        Held held = Held::no;
    };
    std::vector<LoadEntry> loadTable_;
    struct OwnedObject {
        std::unique_ptr<Serializable> obj;
        std::uint32_t index;  // in loadTable_
    };
    std::vector<OwnedObject> owned_;
    std::uint32_t nextIndex_ = 1;
    int objectSchema_ = -1;
    void* context_ = nullptr;
};

}  // namespace zun
