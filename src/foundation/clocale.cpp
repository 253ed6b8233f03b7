#include "foundation/clocale.h"

#include <locale.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace zun {

namespace {
locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
}
}  // namespace

CLocaleScope::CLocaleScope() {
    if (locale_t c = CLocale()) old_ = uselocale(c);
}

CLocaleScope::~CLocaleScope() {
    if (old_) uselocale(static_cast<locale_t>(old_));
}

std::string FormatC(const char* format, ...) {
    CLocaleScope scope;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    std::string out;
    if (n < 0) {
        out.clear();
    } else if (static_cast<std::size_t>(n) < sizeof small) {
        out.assign(small, static_cast<std::size_t>(n));
    } else {
        std::vector<char> buf(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(buf.data(), buf.size(), format, args);
        out.assign(buf.data(), static_cast<std::size_t>(n));
    }
    va_end(args);
    return out;
}

double StrToDoubleC(const char* text, char** end) {
    if (locale_t c = CLocale()) return strtod_l(text, end, c);
    return std::strtod(text, end);
}

std::string FormatTimeC(const char* format, const std::tm& tm) {
    char buf[256];
    std::size_t n = 0;
    if (locale_t c = CLocale())
        n = strftime_l(buf, sizeof buf, format, &tm, c);
    else
        n = std::strftime(buf, sizeof buf, format, &tm);
    return std::string(buf, n);
}

}  // namespace zun
