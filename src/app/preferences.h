#pragma once
// The user's preferences: eight ini sections, each reading and writing its own keys of the
// preferences file. Values are kept in the file as "true"/"false", decimal integers and "%f"
// numbers; a list under a key is "key.len" (the count) and "key.0", "key.1", ...

#include <cstdint>
#include <string>
#include <vector>

#include "document/datcolspec.h"

namespace zun {

class IniFile;

class ZunIniSect {
public:
    virtual ~ZunIniSect() = default;
    virtual const char* SectionName() const = 0;
    // Replaces the fields from the file; a missing key leaves its field as it was.
    virtual void Load(const IniFile& ini) = 0;
    virtual void Save(IniFile& ini) const = 0;

protected:
    ZunIniSect() = default;
    ZunIniSect(const ZunIniSect&) = default;
    ZunIniSect& operator=(const ZunIniSect&) = default;

    // True only for the exact text "true"; the current value when the key is missing.
    bool ReadBool(const IniFile& ini, const char* key, bool current) const;
    void WriteBool(IniFile& ini, const char* key, bool value) const;
    int ReadInt(const IniFile& ini, const char* key, int current) const;
    void WriteInt(IniFile& ini, const char* key, int value) const;
    // "%llu" text; the current value when nothing parses.
    std::uint64_t ReadUInt64(const IniFile& ini, const char* key, std::uint64_t current) const;
    // "%f" text; `def` when nothing parses.
    float ReadFloat(const IniFile& ini, const char* key, float def) const;
    std::string ReadString(const IniFile& ini, const char* key, const std::string& def) const;
    void WriteString(IniFile& ini, const std::string& key, const std::string& value) const;

    // Lists: with no count (or 0) the list is left as given; else exactly count items, a missing
    // item taking the item default.
    void ReadStringList(const IniFile& ini, const std::string& key, std::vector<std::string>& list) const;
    void WriteStringList(IniFile& ini, const std::string& key, const std::vector<std::string>& list) const;
    void ReadFlagList(const IniFile& ini, const std::string& key, std::vector<std::uint8_t>& list) const;
    void WriteFlagList(IniFile& ini, const std::string& key, const std::vector<std::uint8_t>& list) const;
    void ReadColourList(const IniFile& ini, const std::string& key, std::vector<std::uint32_t>& list) const;
    void WriteColourList(IniFile& ini, const std::string& key, const std::vector<std::uint32_t>& list) const;
    void ReadFloatList(const IniFile& ini, const std::string& key, std::vector<float>& list) const;
    void WriteFloatList(IniFile& ini, const std::string& key, const std::vector<float>& list) const;

private:
    int ReadCount(const IniFile& ini, const std::string& key) const;
    void WriteCount(IniFile& ini, const std::string& key, std::size_t count) const;
};

class DisplaySect : public ZunIniSect {
public:
    static constexpr std::uint64_t kMinSize = 1000;
    static constexpr std::uint64_t kMaxSize = 64000000000ULL;
    const char* SectionName() const override { return "Display"; }
    void Load(const IniFile& ini) override;
    void Save(IniFile& ini) const override;
    std::uint64_t maxSize = 27000000;
    std::uint32_t animationSpeed = 100;
};

class MemorySect : public ZunIniSect {
public:
    const char* SectionName() const override { return "Memory"; }
    void Load(const IniFile& ini) override;
    void Save(IniFile& ini) const override;
    bool enabled = true;
    std::int32_t remain = 5;
};

class LoggingSect : public ZunIniSect {
public:
    const char* SectionName() const override { return "Logging"; }
    void Load(const IniFile& ini) override;
    void Save(IniFile& ini) const override;
    bool enabled = true;
    bool clearOnStart = true;
    bool viewLog = false;
};

class PluginSect : public ZunIniSect {
public:
    const char* SectionName() const override { return "Plugins"; }
    void Load(const IniFile& ini) override;
    void Save(IniFile& ini) const override;
    bool enabled = true;
    std::vector<std::string> defaultList;  // read, never written
    std::vector<std::string> searchList;
};

class DebugSect : public ZunIniSect {
public:
    const char* SectionName() const override { return "Debug"; }
    void Load(const IniFile& ini) override;
    void Save(IniFile& ini) const override;
    std::int32_t level = 0;
};

class UpdateSect : public ZunIniSect {
public:
    // No address is built in: nothing leaves the machine until the user names a server.
    static const char kServer1[];
    static const char kServer2[];
    const char* SectionName() const override { return "Update"; }
    void Load(const IniFile& ini) override;
    void Save(IniFile& ini) const override;
    std::uint32_t updatetime = 0;
    std::string server1 = kServer1;
    std::string server2 = kServer2;
    // Where the usage report goes (ending in its query key); empty, the default, sends none.
    std::string usage;
};

struct ClusterInfo {
    std::string name, dnsName, ipAddress, binFolder;
    bool operator==(const ClusterInfo&) const = default;
};

// Kept only while the program runs: never read from or written to the file.
class ClusterSect : public ZunIniSect {
public:
    const char* SectionName() const override { return "Cluster"; }
    void Load(const IniFile& ini) override;
    void Save(IniFile& ini) const override;
    std::vector<ClusterInfo> clusters;
    std::int32_t defaultCluster = -1;
};

class DataDisplaySect : public ZunIniSect {
public:
    DataDisplaySect();
    const char* SectionName() const override { return "DataDisplay"; }
    void Load(const IniFile& ini) override;
    void Save(IniFile& ini) const override;
    std::int32_t type = 0;
    std::uint32_t colour = 0x37C837;
    DatcolBitSpec bitSpec;
    DatcolValueSpec valueSpec;
    DatcolMultiSpec multiSpec;
};

class ZunPreferences {
public:
    // Display, Memory, Logging, Plugins, Debug, Update and DataDisplay, in this order; the
    // Cluster section takes no part.
    void LoadAll(const IniFile& ini);
    void SaveAll(IniFile& ini) const;

    DisplaySect display;
    MemorySect memory;
    LoggingSect logging;
    PluginSect plugins;
    DebugSect debug;
    UpdateSect update;
    ClusterSect cluster;
    DataDisplaySect dataDisplay;
};

}  // namespace zun
