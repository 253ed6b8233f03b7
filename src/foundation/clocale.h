#pragma once
// Numbers and dates that the program writes or reads (files, logs, the edit-data language) never
// follow the user's locale: these helpers run in the C locale whatever the process locale is.

#include <ctime>
#include <string>

namespace zun {

// Switches the calling thread to the C locale for the lifetime of the object.
class CLocaleScope {
public:
    CLocaleScope();
    ~CLocaleScope();
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    void* old_ = nullptr;
};

// printf-style formatting in the C locale.
std::string FormatC(const char* format, ...) __attribute__((format(printf, 1, 2)));
// strtod in the C locale.
double StrToDoubleC(const char* text, char** end = nullptr);
// strftime in the C locale (English day and month names).
std::string FormatTimeC(const char* format, const std::tm& tm);

}  // namespace zun
