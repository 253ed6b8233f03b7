#include "app/preferences.h"

#include <algorithm>

#include "app/version.h"
#include "foundation/clocale.h"
#include "foundation/numformat.h"
#include "platform/inifile.h"

namespace zun {

const char UpdateSect::kServer1[] = "";
const char UpdateSect::kServer2[] = "";

// ---------------------------------------------------------------------------------------------
// Value forms

bool ZunIniSect::ReadBool(const IniFile& ini, const char* key, bool current) const {
    return ini.GetProfileString(SectionName(), key, current ? "true" : "false") == "true";
}

void ZunIniSect::WriteBool(IniFile& ini, const char* key, bool value) const {
    ini.WriteProfileString(SectionName(), key, value ? "true" : "false");
}

int ZunIniSect::ReadInt(const IniFile& ini, const char* key, int current) const {
    return ini.GetProfileInt(SectionName(), key, current);
}

void ZunIniSect::WriteInt(IniFile& ini, const char* key, int value) const {
    ini.WriteProfileInt(SectionName(), key, value);
}

std::uint64_t ZunIniSect::ReadUInt64(const IniFile& ini, const char* key, std::uint64_t current) const {
    const std::string text =
        ini.GetProfileString(SectionName(), key, FormatC("%llu", (unsigned long long)current));
    unsigned long long v = 0;
    if (ScanString(text, "%llu", &v) != 0) return current;
    return v;
}

float ZunIniSect::ReadFloat(const IniFile& ini, const char* key, float def) const {
    const std::string text = ini.GetProfileString(SectionName(), key, "");
    float v = def;
    CLocaleScope c;
    if (ScanString(text, "%f", &v) != 0) return def;
    return v;
}

std::string ZunIniSect::ReadString(const IniFile& ini, const char* key, const std::string& def) const {
    return ini.GetProfileString(SectionName(), key, def);
}

void ZunIniSect::WriteString(IniFile& ini, const std::string& key, const std::string& value) const {
    ini.WriteProfileString(SectionName(), key, value);
}

// ---------------------------------------------------------------------------------------------
// Lists

int ZunIniSect::ReadCount(const IniFile& ini, const std::string& key) const {
    return ini.GetProfileInt(SectionName(), key + ".len", 0);
}

void ZunIniSect::WriteCount(IniFile& ini, const std::string& key, std::size_t count) const {
    ini.WriteProfileInt(SectionName(), key + ".len", static_cast<int>(count));
}

namespace {
std::string ItemKey(const std::string& key, int i) {
    return key + "." + std::to_string(i);
}

// A count read from the file is trusted only up to a sane size: a damaged file must not make the
// program build millions of empty items.
constexpr int kMaxListItems = 4096;
}  // namespace

void ZunIniSect::ReadStringList(const IniFile& ini, const std::string& key,
                                std::vector<std::string>& list) const {
    const int n = std::min(ReadCount(ini, key), kMaxListItems);
    if (n <= 0) return;
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back(ini.GetProfileString(SectionName(), ItemKey(key, i), ""));
    list = std::move(out);
}

void ZunIniSect::WriteStringList(IniFile& ini, const std::string& key,
                                 const std::vector<std::string>& list) const {
    WriteCount(ini, key, list.size());
    for (std::size_t i = 0; i < list.size(); ++i)
        ini.WriteProfileString(SectionName(), ItemKey(key, static_cast<int>(i)), list[i]);
}

void ZunIniSect::ReadFlagList(const IniFile& ini, const std::string& key,
                              std::vector<std::uint8_t>& list) const {
    const int n = std::min(ReadCount(ini, key), kMaxListItems);
    if (n <= 0) return;
    std::vector<std::uint8_t> out;
    for (int i = 0; i < n; ++i)
        out.push_back(static_cast<std::uint8_t>(ini.GetProfileInt(SectionName(), ItemKey(key, i), 0)));
    list = std::move(out);
}

void ZunIniSect::WriteFlagList(IniFile& ini, const std::string& key,
                               const std::vector<std::uint8_t>& list) const {
    WriteCount(ini, key, list.size());
    for (std::size_t i = 0; i < list.size(); ++i)
        ini.WriteProfileInt(SectionName(), ItemKey(key, static_cast<int>(i)), list[i]);
}

void ZunIniSect::ReadColourList(const IniFile& ini, const std::string& key,
                                std::vector<std::uint32_t>& list) const {
    const int n = std::min(ReadCount(ini, key), kMaxListItems);
    if (n <= 0) return;
    std::vector<std::uint32_t> out;
    for (int i = 0; i < n; ++i)
        out.push_back(static_cast<std::uint32_t>(ini.GetProfileInt(SectionName(), ItemKey(key, i), 0)));
    list = std::move(out);
}

void ZunIniSect::WriteColourList(IniFile& ini, const std::string& key,
                                 const std::vector<std::uint32_t>& list) const {
    WriteCount(ini, key, list.size());
    for (std::size_t i = 0; i < list.size(); ++i)
        ini.WriteProfileInt(SectionName(), ItemKey(key, static_cast<int>(i)), static_cast<int>(list[i]));
}

void ZunIniSect::ReadFloatList(const IniFile& ini, const std::string& key, std::vector<float>& list) const {
    const int n = std::min(ReadCount(ini, key), kMaxListItems);
    if (n <= 0) return;
    std::vector<float> out;
    CLocaleScope c;
    for (int i = 0; i < n; ++i) {
        float v = 0.0f;
        if (ScanString(ini.GetProfileString(SectionName(), ItemKey(key, i), ""), "%f", &v) != 0) v = 0.0f;
        out.push_back(v);
    }
    list = std::move(out);
}

void ZunIniSect::WriteFloatList(IniFile& ini, const std::string& key, const std::vector<float>& list) const {
    WriteCount(ini, key, list.size());
    for (std::size_t i = 0; i < list.size(); ++i)
        ini.WriteProfileString(SectionName(), ItemKey(key, static_cast<int>(i)), FormatC("%f", list[i]));
}

// ---------------------------------------------------------------------------------------------
// Sections

void DisplaySect::Load(const IniFile& ini) {
    maxSize = std::clamp(ReadUInt64(ini, "maxSize", maxSize), kMinSize, kMaxSize);
    // Clamped as an unsigned number: a stored negative value reads as a huge one.
    const auto speed =
        static_cast<std::uint32_t>(ReadInt(ini, "animationSpeed", static_cast<int>(animationSpeed)));
    animationSpeed = std::clamp<std::uint32_t>(speed, 10, 200);
}

void DisplaySect::Save(IniFile& ini) const {
    WriteString(ini, "maxSize", FormatC("%llu", (unsigned long long)maxSize));
    WriteInt(ini, "animationSpeed", static_cast<int>(animationSpeed));
}

void MemorySect::Load(const IniFile& ini) {
    enabled = ReadBool(ini, "enabled", enabled);
    // The sheet's own range: a stored 150 would otherwise make the guard refuse every block.
    remain = std::clamp(ReadInt(ini, "remain", remain), 0, 100);
}

void MemorySect::Save(IniFile& ini) const {
    WriteBool(ini, "enabled", enabled);
    WriteInt(ini, "remain", remain);
}

void LoggingSect::Load(const IniFile& ini) {
    enabled = ReadBool(ini, "enabled", enabled);
    clearOnStart = ReadBool(ini, "clearOnStart", clearOnStart);
    viewLog = ReadBool(ini, "viewLog", viewLog);
}

void LoggingSect::Save(IniFile& ini) const {
    WriteBool(ini, "enabled", enabled);
    WriteBool(ini, "clearOnStart", clearOnStart);
    WriteBool(ini, "viewLog", viewLog);
}

void PluginSect::Load(const IniFile& ini) {
    const std::string name = GetVersionString("InternalName");
    enabled = ReadBool(ini, "enabled", enabled);
    std::vector<std::string> defaults;
    ReadStringList(ini, name + "_search.default", defaults);
    defaultList = defaults;
    std::vector<std::string> search = defaultList;
    ReadStringList(ini, name + "_search", search);
    searchList = std::move(search);
}

void PluginSect::Save(IniFile& ini) const {
    WriteBool(ini, "enabled", enabled);
    WriteStringList(ini, GetVersionString("InternalName") + "_search", searchList);
}

void DebugSect::Load(const IniFile& ini) {
    level = std::clamp(ReadInt(ini, "level", level), 0, 1);
}

void DebugSect::Save(IniFile& ini) const {
    WriteInt(ini, "level", level);
}

void UpdateSect::Load(const IniFile& ini) {
    updatetime = static_cast<std::uint32_t>(ReadInt(ini, "updatetime", 0));
    server1 = ReadString(ini, "server1", kServer1);
    server2 = ReadString(ini, "server2", kServer2);
    usage = ReadString(ini, "usage", "");
}

void UpdateSect::Save(IniFile& ini) const {
    WriteString(ini, "updatetime", FormatC("%u", updatetime));
    WriteString(ini, "server1", server1);
    WriteString(ini, "server2", server2);
    WriteString(ini, "usage", usage);
}

void ClusterSect::Load(const IniFile&) {
    clusters.clear();
}

void ClusterSect::Save(IniFile&) const {}

DataDisplaySect::DataDisplaySect() {
    const DataDisplaySettings defaults;
    type = defaults.type;
    colour = defaults.colour;
    bitSpec = defaults.bitSpec;
    valueSpec = defaults.valueSpec;
    multiSpec = defaults.multiSpec;
    valueSpec.fromEnabled = 0;
    valueSpec.toEnabled = 0;
    valueSpec.fromValue = 1;
    valueSpec.toValue = 16383;
    valueSpec.entryFormat = 0;
}

namespace {
// The specification's entries are fixed arrays; a list from the file fills them from the front.
template <class T, std::size_t N>
std::vector<T> ToList(const std::array<T, N>& a) {
    return std::vector<T>(a.begin(), a.end());
}
template <class T, std::size_t N>
void FromList(const std::vector<T>& v, std::array<T, N>& a) {
    for (std::size_t i = 0; i < N && i < v.size(); ++i) a[i] = v[i];
}
}  // namespace

void DataDisplaySect::Load(const IniFile& ini) {
    type = ReadInt(ini, "type", type);
    colour = static_cast<std::uint32_t>(ReadInt(ini, "colour", static_cast<int>(colour)));
    auto loadEntries = [&](const std::string& name, DatcolBaseSpec& spec) {
        auto enables = ToList(spec.enables);
        auto cols = ToList(spec.colours);
        auto opacities = ToList(spec.opacities);
        ReadFlagList(ini, name + ".enables", enables);
        ReadColourList(ini, name + ".cols", cols);
        ReadFloatList(ini, name + ".opacities", opacities);
        FromList(enables, spec.enables);
        FromList(cols, spec.colours);
        FromList(opacities, spec.opacities);
    };
    loadEntries("bitSpec", bitSpec);
    bitSpec.RebuildDerivedLists();
    loadEntries("valueSpec", valueSpec);
    valueSpec.fromEnabled = ReadBool(ini, "valueSpec.fromEnable", valueSpec.fromEnabled != 0) ? 1 : 0;
    valueSpec.toEnabled = ReadBool(ini, "valueSpec.toEnable", valueSpec.toEnabled != 0) ? 1 : 0;
    valueSpec.fromValue =
        static_cast<std::uint16_t>(ReadInt(ini, "valueSpec.fromValue", valueSpec.fromValue));
    valueSpec.toValue = static_cast<std::uint16_t>(ReadInt(ini, "valueSpec.toValue", valueSpec.toValue));
    valueSpec.entryFormat = ReadInt(ini, "valueSpec.entryFormat", valueSpec.entryFormat);
    valueSpec.RebuildDerivedLists();
    auto enables = ToList(multiSpec.enables);
    auto cols = ToList(multiSpec.colours);
    ReadFlagList(ini, "multiSpec.enables", enables);
    ReadColourList(ini, "multiSpec.cols", cols);
    FromList(enables, multiSpec.enables);
    FromList(cols, multiSpec.colours);
    DataDisplaySpreadColourStops(multiSpec, 0, 16383);
}

void DataDisplaySect::Save(IniFile& ini) const {
    WriteInt(ini, "type", type);
    WriteInt(ini, "colour", static_cast<int>(colour));
    for (const auto& [name, spec] :
         {std::pair<const char*, const DatcolBaseSpec*>{"bitSpec", &bitSpec},
          std::pair<const char*, const DatcolBaseSpec*>{"valueSpec", &valueSpec}}) {
        WriteFlagList(ini, std::string(name) + ".enables", ToList(spec->enables));
        WriteColourList(ini, std::string(name) + ".cols", ToList(spec->colours));
        WriteFloatList(ini, std::string(name) + ".opacities", ToList(spec->opacities));
    }
    WriteBool(ini, "valueSpec.fromEnable", valueSpec.fromEnabled != 0);
    WriteBool(ini, "valueSpec.toEnable", valueSpec.toEnabled != 0);
    WriteInt(ini, "valueSpec.fromValue", valueSpec.fromValue);
    WriteInt(ini, "valueSpec.toValue", valueSpec.toValue);
    WriteInt(ini, "valueSpec.entryFormat", valueSpec.entryFormat);
    WriteFlagList(ini, "multiSpec.enables", ToList(multiSpec.enables));
    WriteColourList(ini, "multiSpec.cols", ToList(multiSpec.colours));
}

void ZunPreferences::LoadAll(const IniFile& ini) {
    display.Load(ini);
    memory.Load(ini);
    logging.Load(ini);
    plugins.Load(ini);
    debug.Load(ini);
    update.Load(ini);
    dataDisplay.Load(ini);
}

void ZunPreferences::SaveAll(IniFile& ini) const {
    display.Save(ini);
    memory.Save(ini);
    logging.Save(ini);
    plugins.Save(ini);
    debug.Save(ini);
    update.Save(ini);
    dataDisplay.Save(ini);
}

}  // namespace zun
