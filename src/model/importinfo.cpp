#include "model/importinfo.h"

#include <cstring>

namespace zun {
namespace {


void MergeInt(std::int32_t& r, std::int32_t o) {
    if (r == ImportInfo::kUnset)
        r = o;
    else if (o != ImportInfo::kUnset && o != r)
        r = ImportInfo::kMixed;
}

void SerializePair(Archive& ar, ImportInfo::Pair& p) {
    if (ar.IsStoring()) {
        ar << std::int32_t{2} << p[0] << p[1];
        return;
    }
    std::int32_t n = 0;
    ar >> n;
    if (n != 2) throw ArchiveException(ArchiveException::generic, "import record pair of wrong size");
    ar >> p[0] >> p[1];
}

// Sections of a sectioned text: [begin, end) of the text before each marker. A trailing part
// without a marker counts as a section too.
template <class F>
void ForEachSection(const std::string& text, F f) {
    const std::size_t m = std::strlen(LogText::kMarker);
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find(LogText::kMarker, begin);
        const bool marked = end != std::string::npos;
        if (!marked) end = text.size();
        if (f(begin, end, marked)) return;
        begin = marked ? end + m : end;
    }
}

}  // namespace

ZUN_IMPLEMENT_SERIAL(ImportInfo, Serializable, 0)

bool ImportInfo::operator==(const ImportInfo& o) const {
    return path == o.path && bits == o.bits && scale == o.scale && resolution == o.resolution &&
           cropRange == o.cropRange && cropOffset == o.cropOffset && position == o.position;
}

void ImportInfo::Merge(const ImportInfo& o) {
    if (path.empty())
        path = o.path;
    else if (!o.path.empty() && o.path != path)
        path = kPathMixed;
    MergeInt(bits, o.bits);
    for (int j = 0; j < 2; ++j) {
        MergeInt(resolution[j], o.resolution[j]);
        MergeInt(cropRange[j], o.cropRange[j]);
        MergeInt(cropOffset[j], o.cropOffset[j]);
        MergeInt(position[j], o.position[j]);
    }
    if (scale == kScaleUnset)
        scale = o.scale;
    else if (o.scale != kScaleUnset && o.scale != scale)
        scale = kScaleMixed;
}

void ImportInfo::Serialize(Archive& ar) {
    SerializePair(ar, resolution);
    SerializePair(ar, cropRange);
    SerializePair(ar, cropOffset);
    SerializePair(ar, position);
    if (ar.IsStoring()) {
        ar << kRecordStamp << path << bits << scale;
    } else {
        std::uint32_t stamp = 0;
        ar >> stamp >> path >> bits >> scale;
    }
}

void LogText::AppendSection(const std::string* text, std::string& n, const std::string* key) {
    const std::string marker = kMarker;
    if (key && !key->empty()) {
        ForEachSection(n, [&](std::size_t b, std::size_t e, bool marked) {
            if (n.substr(b, e - b).find(*key) == std::string::npos) return false;
            n.erase(b, e - b + (marked ? marker.size() : 0));
            if (text) n.insert(b, *text + marker);
            key = nullptr;  // done
            return true;
        });
        if (!key) return;
    } else if (!text && !key) {
        n.clear();
        return;
    }
    if (!text) return;
    if (!n.empty() &&
        n.compare(n.size() >= marker.size() ? n.size() - marker.size() : 0, marker.size(), marker) != 0)
        n += "\n" + marker;
    n += *text + marker;
}

bool LogText::FindSection(const std::string& text, const std::string& key, std::string& section) {
    bool found = false;
    ForEachSection(text, [&](std::size_t b, std::size_t e, bool) {
        if (text.substr(b, e - b).find(key) == std::string::npos) return false;
        section = text.substr(b, e - b);
        found = true;
        return true;
    });
    return found;
}

}  // namespace zun
