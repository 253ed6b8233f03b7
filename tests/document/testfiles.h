#pragma once
// File helpers shared by the document tests (header-only: they use the test macros).

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace zun {

// A fresh folder under the build tree, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);
// Runs a Python snippet with Debian's interpreter (sys.argv[1:] = args); throws on failure.
void RunPython(const std::string& code, const std::vector<std::string>& args);

// ---- definitions

namespace fs = std::filesystem;

inline TempDir::TempDir() {
    std::string pattern = std::string(ZUN_TEST_BINARY_DIR) + "/tmpXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = name.data();
    fs::permissions(path_, fs::perms(0755));
}

inline TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms(0755), ec);
    fs::remove_all(path_, ec);
}

inline std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteFileText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline void RunPython(const std::string& code, const std::vector<std::string>& args) {
    static int counter = 0;
    std::string script = std::string(ZUN_TEST_BINARY_DIR) + "/snippet_" + std::to_string(::getpid()) + "_" +
                         std::to_string(counter++) + ".py";
    WriteFileText(script, code);
    std::string cmd = std::string(ZUN_PYTHON) + " '" + script + "'";
    for (const auto& a : args) cmd += " '" + a + "'";
    int rc = std::system(cmd.c_str());
    fs::remove(script);
    if (rc != 0) throw std::runtime_error("python helper failed: " + cmd);
}

}  // namespace zun
