#pragma once
// The program's own version information, by the names the version resource of the program
// carries ("ProductName", "FileDescription", "ProductVersion", "InternalName", ...).

#include <string>

namespace zun {

// The value of the named entry; "" for an unknown name.
std::string GetVersionString(const std::string& name);

}  // namespace zun
