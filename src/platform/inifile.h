#pragma once
// A private profile ("ini") file read and written the way the program's preferences expect:
// "[Section]" headers and "key=value" lines, section and key names matched without regard to
// case, every read going to the file and every write going through to it at once. A write
// replaces the file atomically (temporary file, then rename), so a crash never leaves half a file.

#include <mutex>
#include <string>

namespace zun {

class IniFile {
public:
    IniFile() = default;
    explicit IniFile(std::string path) : path_(std::move(path)) {}

    void SetPath(std::string path);
    std::string Path() const;

    // The value of the key, blanks around it removed and one pair of matching quotes taken off;
    // `def` when the file, the section or the key is missing.
    std::string GetProfileString(const std::string& section, const std::string& key,
                                 const std::string& def) const;
    // The value's leading decimal integer (optional sign); 0 when the value holds none; `def`
    // when the key is missing. A number beyond 32 bits saturates.
    int GetProfileInt(const std::string& section, const std::string& key, int def) const;
    // True when the section holds the key.
    bool HasKey(const std::string& section, const std::string& key) const;

    // Replace the key's value in place, or add the key at the end of its section, or add the
    // section at the end of the file. False when the file could not be written (the old file
    // then stays as it was).
    bool WriteProfileString(const std::string& section, const std::string& key, const std::string& value);
    bool WriteProfileInt(const std::string& section, const std::string& key, int value);

private:
    mutable std::mutex mutex_;
    std::string path_;
};

// The leading integer of a profile value as the profile functions read it (see GetProfileInt).
int ParseProfileInt(const std::string& text);

}  // namespace zun
