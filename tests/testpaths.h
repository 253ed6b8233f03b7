// Where a test program finds the source tree and where it writes what it makes. The two roots are
// compiled into one small generated file rather than into every test, so that a checkout in
// another folder compiles the same test text and the compiler cache serves it. ZUN_SOURCE_DIR,
// ZUN_TEST_DIR, ZUN_TEST_BINARY_DIR and ZUN_SCREENS_DIR call these with a path relative to the
// root.
#pragma once

// The returned text lives as long as the program.
const char* ZunSourcePath(const char* relative);
const char* ZunBinaryPath(const char* relative);
