#pragma once
// What the tests that write files and run outside programs (ffprobe, ffmpeg, Python) share: a
// private temporary folder and a command's printed output.

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace zun::test {

// A fresh folder under /tmp named after `prefix`, removed with the object.
struct TempDir {
    std::filesystem::path path;
    explicit TempDir(const std::string& prefix = "zun") {
        std::string tmpl = "/tmp/" + prefix + "_XXXXXX";
        path = mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

// Runs a shell command and returns what it printed on its standard output.
inline std::string Shell(const std::string& cmd) {
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[512];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

}  // namespace zun::test
