#include "app/version.h"

namespace zun {

std::string GetVersionString(const std::string& name) {
    if (name == "ProductName") return "Zun";
    if (name == "InternalName") return "Zun";
    if (name == "FileDescription") return "Zun: data-constrained modelling of X-ray CT data";
    if (name == "ProductVersion" || name == "FileVersion") return ZUN_VERSION_TEXT;
    if (name == "CompanyName") return "The Zun developers";
    return "";
}

}  // namespace zun
