#pragma once
// Helpers of the slice-file tests: generated files and the Python peer. Header-only: they use the
// test executables' own macros (ZUN_PYTHON, ZUN_TEST_DIR, ZUN_TEST_BINARY_DIR).

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace zun::testing {

// A fresh folder under the test binary folder, removed when the object goes.
class TempFolder {
public:
    explicit TempFolder(const std::string& name);
    ~TempFolder();
    std::string Path(const std::string& file) const { return dir_ + "/" + file; }

private:
    std::string dir_;
};

// Runs a Python script of tests/foundation/data with arguments; returns its standard output and
// fails the test when it does not end with 0.
std::string RunPython(const std::string& script, const std::vector<std::string>& args);

// name=value lines.
std::map<std::string, std::string> ParseKeyValues(const std::string& text);

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

inline TempFolder::TempFolder(const std::string& name)
    : dir_(std::string(ZUN_TEST_BINARY_DIR) + "/tmp_" + name + "_" + std::to_string(::getpid())) {
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
}

inline TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

inline std::string RunPython(const std::string& script, const std::vector<std::string>& args) {
    std::string cmd = std::string(ZUN_PYTHON) + " '" + ZUN_TEST_DIR + "/data/" + script + "'";
    for (const auto& a : args) cmd += " '" + a + "'";
    std::string out;
    std::FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) {
        ADD_FAILURE() << "cannot run " << cmd;
        return out;
    }
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int rc = ::pclose(p);
    EXPECT_EQ(rc, 0) << cmd << "\n" << out;
    return out;
}

inline std::map<std::string, std::string> ParseKeyValues(const std::string& text) {
    std::map<std::string, std::string> kv;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) kv[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return kv;
}

inline std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A test suite over the files of make_tiffs.py, made once per suite in a folder of their own.
class GeneratedTiffs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<TempFolder>("tiffs");
        RunPython("make_tiffs.py", {folder_->Path("")});
    }
    static void TearDownTestSuite() { folder_.reset(); }
    static std::string File(const std::string& name) { return folder_->Path(name); }

    static inline std::unique_ptr<TempFolder> folder_;
};

}  // namespace zun::testing
