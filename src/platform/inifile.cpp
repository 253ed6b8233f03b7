#include "platform/inifile.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include <unistd.h>

namespace zun {

namespace {

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// "[name]" (blanks allowed around it); returns false for any other line.
bool SectionHeader(const std::string& line, std::string* name) {
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[') return false;
    const std::size_t close = t.find(']');
    if (close == std::string::npos) return false;
    *name = Trim(t.substr(1, close - 1));
    return true;
}

// "key=value" (also "key = value"); comment lines and lines without '=' are not keys.
bool KeyLine(const std::string& line, std::string* key, std::string* value) {
    const std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') return false;
    const std::size_t eq = t.find('=');
    if (eq == std::string::npos) return false;
    *key = Trim(t.substr(0, eq));
    if (value) *value = Trim(t.substr(eq + 1));
    return true;
}

// Finds the key's line; `sectionEnd` receives the index after the section's last key-or-text line
// (the place for a new key), -1 when the section is missing.
int FindKey(const std::vector<std::string>& lines, const std::string& section, const std::string& key,
            int* sectionEnd, std::string* value) {
    bool inSection = false;
    *sectionEnd = -1;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string name, k, v;
        if (SectionHeader(lines[i], &name)) {
            inSection = SameName(name, section);
            if (inSection) *sectionEnd = static_cast<int>(i) + 1;
            continue;
        }
        if (!inSection) continue;
        if (!Trim(lines[i]).empty()) *sectionEnd = static_cast<int>(i) + 1;
        if (KeyLine(lines[i], &k, &v) && SameName(k, key)) {
            if (value) *value = v;
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string Unquote(const std::string& v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

bool WriteAtomically(const std::string& path, const std::vector<std::string>& lines) {
    const std::string tmp = path + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        for (const std::string& l : lines) out << l << '\n';
        out.flush();
        if (!out) {
            out.close();
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace

int ParseProfileInt(const std::string& text) {
    const std::string t = Trim(Unquote(Trim(text)));
    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    long long v = 0;
    for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i) {
        v = v * 10 + (t[i] - '0');
        if (v > 1LL + INT_MAX) v = 1LL + INT_MAX;
    }
    if (negative) v = -v;
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    return static_cast<int>(v);
}

void IniFile::SetPath(std::string path) {
    std::lock_guard lock(mutex_);
    path_ = std::move(path);
}

std::string IniFile::Path() const {
    std::lock_guard lock(mutex_);
    return path_;
}

std::string IniFile::GetProfileString(const std::string& section, const std::string& key,
                                      const std::string& def) const {
    std::lock_guard lock(mutex_);
    const auto lines = ReadLines(path_);
    int end;
    std::string value;
    if (FindKey(lines, section, key, &end, &value) < 0) return def;
    return Unquote(value);
}

int IniFile::GetProfileInt(const std::string& section, const std::string& key, int def) const {
    std::lock_guard lock(mutex_);
    const auto lines = ReadLines(path_);
    int end;
    std::string value;
    if (FindKey(lines, section, key, &end, &value) < 0) return def;
    return ParseProfileInt(value);
}

bool IniFile::HasKey(const std::string& section, const std::string& key) const {
    std::lock_guard lock(mutex_);
    int end;
    return FindKey(ReadLines(path_), section, key, &end, nullptr) >= 0;
}

bool IniFile::WriteProfileString(const std::string& section, const std::string& key,
                                 const std::string& value) {
    // A line break in a value would start a new line that reads as another key.
    std::string v;
    for (char c : value) v += (c == '\n' || c == '\r') ? ' ' : c;
    std::lock_guard lock(mutex_);
    if (path_.empty()) return false;
    auto lines = ReadLines(path_);
    int end;
    const int at = FindKey(lines, section, key, &end, nullptr);
    const std::string line = key + "=" + v;
    if (at >= 0) {
        lines[static_cast<std::size_t>(at)] = line;
    } else if (end >= 0) {
        lines.insert(lines.begin() + end, line);
    } else {
        if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
        lines.push_back("[" + section + "]");
        lines.push_back(line);
    }
    return WriteAtomically(path_, lines);
}

bool IniFile::WriteProfileInt(const std::string& section, const std::string& key, int value) {
    return WriteProfileString(section, key, std::to_string(value));
}

}  // namespace zun
