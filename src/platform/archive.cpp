#include "platform/archive.h"

#include <algorithm>
#include <cstring>

namespace zun {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr std::uint16_t kNullTag = 0;
constexpr std::uint16_t kNewClassTag = 0xFFFF;
constexpr std::uint16_t kClassTag = 0x8000;
constexpr std::uint16_t kBigObjectTag = 0x7FFF;
constexpr std::uint32_t kBigClassTag = 0x80000000u;
constexpr std::size_t kMaxClassName = 64;

// Appends the UTF-8 form of a UTF-16 sequence (unpaired surrogates become U+FFFD).
std::string Utf16ToUtf8(const std::vector<std::uint16_t>& w) {
    std::string out;
    out.reserve(w.size());
    for (std::size_t i = 0; i < w.size(); ++i) {
        std::uint32_t c = w[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (w[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

Archive::Archive(ByteStream& stream, Mode mode) : stream_(stream), mode_(mode), buffer_(kBufferSize) {
    loadTable_.emplace_back();  // index 0 is the null record
}

Archive::~Archive() {
    if (IsStoring()) {
        try {
            Flush();
        } catch (...) {
        }
    }
}

void Archive::Flush() {
    if (IsStoring()) {
        if (bufEnd_) stream_.Write(buffer_.data(), bufEnd_);
        bufEnd_ = 0;
        stream_.Flush();
    }
}

void Archive::Write(const void* data, std::size_t n) {
    if (!IsStoring()) throw ArchiveException(ArchiveException::generic, "archive is not storing");
    auto p = static_cast<const std::uint8_t*>(data);
    if (n >= buffer_.size()) {
        // Large blocks go straight to the stream.
        if (bufEnd_) stream_.Write(buffer_.data(), bufEnd_);
        bufEnd_ = 0;
        stream_.Write(p, n);
        return;
    }
    if (bufEnd_ + n > buffer_.size()) {
        stream_.Write(buffer_.data(), bufEnd_);
        bufEnd_ = 0;
    }
    std::memcpy(buffer_.data() + bufEnd_, p, n);
    bufEnd_ += n;
}

void Archive::FillBuffer() {
    bufPos_ = 0;
    bufEnd_ = stream_.Read(buffer_.data(), buffer_.size());
}

std::size_t Archive::ReadSome(void* data, std::size_t n) {
    if (!IsLoading()) throw ArchiveException(ArchiveException::generic, "archive is not loading");
    auto p = static_cast<std::uint8_t*>(data);
    std::size_t got = 0;
    while (got < n) {
        if (bufPos_ == bufEnd_) {
            std::size_t want = n - got;
            if (want >= buffer_.size()) {
                // Large reads bypass the buffer.
                std::size_t r = stream_.Read(p + got, want);
                if (r == 0) break;
                got += r;
                continue;
            }
            FillBuffer();
            if (bufEnd_ == 0) break;
        }
        std::size_t take = std::min(n - got, bufEnd_ - bufPos_);
        std::memcpy(p + got, buffer_.data() + bufPos_, take);
        bufPos_ += take;
        got += take;
    }
    return got;
}

void Archive::Read(void* data, std::size_t n) {
    if (ReadSome(data, n) != n) throw ArchiveException(ArchiveException::endOfFile, "unexpected end of file");
}

void Archive::WriteString(const std::string& s) {
    const std::uint64_t n = s.size();
    if (n < 0xFF) {
        *this << static_cast<std::uint8_t>(n);
    } else {
        *this << static_cast<std::uint8_t>(0xFF);
        if (n < 0xFFFE) {
            *this << static_cast<std::uint16_t>(n);
        } else {
            *this << static_cast<std::uint16_t>(0xFFFF);
            if (n < 0xFFFFFFFFull) {
                *this << static_cast<std::uint32_t>(n);
            } else {
                *this << static_cast<std::uint32_t>(0xFFFFFFFFu) << n;
            }
        }
    }
    Write(s.data(), s.size());
}

std::string Archive::ReadString() {
    bool wide = false;
    std::uint64_t n = 0;
    for (;;) {
        std::uint8_t b = 0;
        *this >> b;
        if (b < 0xFF) {
            n = b;
            break;
        }
        std::uint16_t w = 0;
        *this >> w;
        if (w == 0xFFFE) {
            if (wide) throw ArchiveException(ArchiveException::generic, "bad string length");
            wide = true;  // the length follows again, in characters of two bytes
            continue;
        }
        if (w < 0xFFFF) {
            n = w;
            break;
        }
        std::uint32_t d = 0;
        *this >> d;
        if (d < 0xFFFFFFFFu) {
            n = d;
            break;
        }
        *this >> n;
        break;
    }
    // Read in pieces so that a damaged length cannot make us allocate more than the stream holds.
    constexpr std::uint64_t kPiece = 1 << 20;
    if (!wide) {
        std::string s;
        for (std::uint64_t done = 0; done < n;) {
            std::uint64_t take = std::min(kPiece, n - done);
            s.resize(done + take);
            Read(s.data() + done, take);
            done += take;
        }
        return s;
    }
    std::vector<std::uint16_t> w;
    for (std::uint64_t done = 0; done < n;) {
        std::uint64_t take = std::min(kPiece, n - done);
        w.resize(done + take);
        Read(w.data() + done, take * 2);
        done += take;
    }
    return Utf16ToUtf8(w);
}

void Archive::WriteCount(std::uint64_t n) {
    if (n < 0xFFFF) {
        *this << static_cast<std::uint16_t>(n);
    } else {
        *this << static_cast<std::uint16_t>(0xFFFF) << static_cast<std::uint32_t>(n);
    }
}

std::uint64_t Archive::ReadCount() {
    std::uint16_t w = 0;
    *this >> w;
    if (w != 0xFFFF) return w;
    std::uint32_t d = 0;
    *this >> d;
    return d;
}

void Archive::WriteClassRecord(const ClassInfo* info) {
    auto it = storeMap_.find(info);
    if (it != storeMap_.end()) {
        std::uint32_t idx = it->second;
        if (idx < kBigObjectTag) {
            *this << static_cast<std::uint16_t>(kClassTag | idx);
        } else {
            *this << kBigObjectTag << static_cast<std::uint32_t>(kBigClassTag | idx);
        }
        return;
    }
    std::size_t len = std::strlen(info->name);
    *this << kNewClassTag << static_cast<std::uint16_t>(info->schema) << static_cast<std::uint16_t>(len);
    Write(info->name, len);
    storeMap_[info] = nextIndex_++;
}

void Archive::WriteObject(const Serializable* obj) {
    if (!obj) {
        *this << kNullTag;
        return;
    }
    auto it = storeMap_.find(obj);
    if (it != storeMap_.end()) {
        std::uint32_t idx = it->second;
        if (idx < kBigObjectTag) {
            *this << static_cast<std::uint16_t>(idx);
        } else {
            *this << kBigObjectTag << idx;
        }
        return;
    }
    WriteClassRecord(obj->GetRuntimeClass());
    storeMap_[obj] = nextIndex_++;
    const_cast<Serializable*>(obj)->Serialize(*this);
}

const ClassInfo* Archive::ReadClassRecord(std::uint32_t tag16, std::uint32_t objTag, unsigned* schema) {
    if (tag16 == kNewClassTag) {
        std::uint16_t sch = 0, len = 0;
        *this >> sch >> len;
        if (len >= kMaxClassName) throw ArchiveException(ArchiveException::badClass, "class name too long");
        std::string name(len, '\0');
        Read(name.data(), len);
        const ClassInfo* info = ClassRegistry::Instance().Find(name);
        if (!info) throw ArchiveException(ArchiveException::badClass, "unknown class " + name);
        if (!info->versionable && sch != static_cast<std::uint16_t>(info->schema))
            throw ArchiveException(ArchiveException::badSchema, "bad schema for class " + name);
        *schema = sch;
        loadTable_.push_back(LoadEntry{info, nullptr});
        ++nextIndex_;
        return info;
    }
    std::uint32_t idx = objTag & ~kBigClassTag;
    if (idx == 0 || idx >= loadTable_.size() || !loadTable_[idx].cls)
        throw ArchiveException(ArchiveException::badIndex, "bad class index");
    *schema = loadTable_[idx].cls->schema & 0xFFFF;
    return loadTable_[idx].cls;
}

Serializable* Archive::ReadObject(const ClassInfo* required) {
    std::uint16_t tag16 = 0;
    *this >> tag16;
    std::uint32_t objTag = 0;
    if (tag16 == kBigObjectTag) {
        *this >> objTag;
    } else {
        objTag = (static_cast<std::uint32_t>(tag16 & kClassTag) << 16) | (tag16 & ~kClassTag & 0xFFFF);
    }
    if (!(objTag & kBigClassTag)) {
        if (objTag == 0) return nullptr;
        if (objTag >= loadTable_.size() || loadTable_[objTag].cls)
            throw ArchiveException(ArchiveException::badIndex, "bad object index");
        if (loadTable_[objTag].held != Held::whole)
            throw ArchiveException(ArchiveException::badIndex, "reference to an object no longer held");
        Serializable* obj = loadTable_[objTag].obj;
        if (required && !obj->IsKindOf(required))
            throw ArchiveException(ArchiveException::badClass, "object of wrong class");
        return obj;
    }
    unsigned schema = 0;
    const ClassInfo* info = ReadClassRecord(tag16, objTag, &schema);
    if (required && !info->IsDerivedFrom(required))
        throw ArchiveException(ArchiveException::badClass, std::string("unexpected class ") + info->name);
    std::unique_ptr<Serializable> made = info->CreateObject();
    if (!made) {
        if (!info->factory)
            throw ArchiveException(ArchiveException::badClass, std::string("cannot create ") + info->name);
        throw std::bad_alloc();
    }
    Serializable* obj = made.get();
    const auto index = static_cast<std::uint32_t>(loadTable_.size());
    owned_.push_back(OwnedObject{std::move(made), index});
    loadTable_.push_back(LoadEntry{nullptr, obj, Held::reading});
    ++nextIndex_;
    int saved = objectSchema_;
    objectSchema_ = static_cast<int>(schema);
    obj->Serialize(*this);
    objectSchema_ = saved;
    // Nothing could refer to this object while its body was read, so it is still ours here.
    loadTable_[index].held = Held::whole;
    return obj;
}

std::unique_ptr<Serializable> Archive::TakeOwnership(Serializable* obj) {
    for (auto it = owned_.rbegin(); it != owned_.rend(); ++it) {
        if (it->obj.get() == obj) {
            LoadEntry& e = loadTable_[it->index];
            // An object whose body is still being read cannot be handed out: its reader owns it.
            if (e.held != Held::whole) break;
            std::unique_ptr<Serializable> out = std::move(it->obj);
            owned_.erase(std::next(it).base());
            // From now on the new owner decides its lifetime; the archive forgets the address.
            e.obj = nullptr;
            e.held = Held::no;
            return out;
        }
    }
    throw ArchiveException(ArchiveException::badIndex, "object referenced twice");
}

int Archive::GetObjectSchema() {
    int s = objectSchema_;
    objectSchema_ = -1;
    return s;
}

}  // namespace zun
