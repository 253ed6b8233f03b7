#pragma once
// Helpers of the materials tests: archive round trips and the Python cross-check scripts.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "model/materialclasses.h"
#include "platform/archive.h"
#include "platform/archiveio.h"

namespace zun::test {

// Stores obj as an object record and reads it back as a new object of class T.
template <class T>
std::unique_ptr<T> RoundTrip(const T& obj) {
    RegisterMaterialClasses();
    return ArchiveRoundTrip<T>(obj);
}

// Runs a script of this folder with Debian's Python; returns its standard output, or fails the
// test when it exits with an error.
inline std::string RunPython(const std::string& script, const std::string& args) {
    const std::string out = std::string(ZUN_TEST_BINARY_DIR) + "/" + script + ".out";
    const std::string cmd =
        std::string(ZUN_PYTHON) + " " + ZUN_TEST_DIR + "/" + script + " " + args + " > " + out;
    const int rc = std::system(cmd.c_str());
    EXPECT_EQ(rc, 0) << cmd;
    std::ifstream f(out);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

inline std::string TempPath(const std::string& name) {
    return std::string(ZUN_TEST_BINARY_DIR) + "/" + name;
}

}  // namespace zun::test
