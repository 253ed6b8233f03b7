#include "foundation/numformat.h"

#include <locale.h>
#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "foundation/clocale.h"
#include "platform/prompt.h"

namespace zun {

const char kValueMustBeReal[] = "Value must be a real number";
const char kValueMustBeInteger[] = "Value must be an integer";

namespace {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string Print(const char* format, ...) {
    CLocaleScope c;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    char small[128];
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string out;
    if (n < 0) {
        va_end(again);
        return out;
    }
    if (static_cast<std::size_t>(n) < sizeof small) {
        out.assign(small, static_cast<std::size_t>(n));
    } else {
        out.resize(static_cast<std::size_t>(n));
        std::vsnprintf(out.data(), out.size() + 1, format, again);
    }
    va_end(again);
    return out;
}

template <class T>
int Scan(const std::string& text, const char* format, T* target) {
    CLocaleScope c;
    T v{};
    if (std::sscanf(text.c_str(), format, &v) < 1) return -1;
    *target = v;
    return 0;
}
#pragma GCC diagnostic pop

}  // namespace

std::string FormatInt(int value, const char* format) {
    return Print(format, value);
}
std::string FormatUInt64(std::uint64_t value) {
    return Print("%llu", static_cast<unsigned long long>(value));
}

std::string FormatReal(int precision, double value, const char* format) {
    if (precision >= 0 && std::strcmp(format, "%f") == 0) return Print("%.*f", precision, value);
    return Print(format, value);
}

std::string FormatReal(float value, int precision, const char* format) {
    return FormatReal(precision, static_cast<double>(value), format);
}

float RoundToDecimals(float value, int n) {
    if (value == 0.0f) return value;
    const double p = std::pow(10.0, n);
    return static_cast<float>(std::floor(value * p + 0.5) / p);
}

int ClampPercentOffset(int code) {
    if (code > 100) return code - 100;
    if (code < -100) return code + 100;
    return 0;
}

int ScanString(const std::string& t, const char* f, int* v) {
    return Scan(t, f, v);
}
int ScanString(const std::string& t, const char* f, unsigned* v) {
    return Scan(t, f, v);
}
int ScanString(const std::string& t, const char* f, long long* v) {
    return Scan(t, f, v);
}
int ScanString(const std::string& t, const char* f, unsigned long long* v) {
    return Scan(t, f, v);
}
int ScanString(const std::string& t, const char* f, float* v) {
    return Scan(t, f, v);
}
int ScanString(const std::string& t, const char* f, double* v) {
    return Scan(t, f, v);
}

int ReadTextInt(const std::string& text, int* value) {
    return Scan(text, "%d", value);
}
int ReadTextUInt64(const std::string& text, std::uint64_t* value) {
    unsigned long long v = 0;
    if (Scan(text, "%llu", &v) != 0) return -1;
    *value = v;
    return 0;
}
int ReadTextInt64(const std::string& text, std::int64_t* value) {
    long long v = 0;
    if (Scan(text, "%lld", &v) != 0) return -1;
    *value = v;
    return 0;
}
int ReadTextDouble(const std::string& text, double* value) {
    return Scan(text, "%lf", value);
}

float ReadTextFloat(const std::string& text) {
    float v = 0.0f;
    Scan(text, "%f", &v);
    return v;
}

int ReadFiniteFloat(const std::string& text, float* value) {
    float v = 0.0f;
    if (ScanString(text, "%f", &v) != 0) return -1;
    if (!std::isfinite(v)) return -2;
    if (value) *value = v;
    return 0;
}

bool IsBlankString(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0x80 || !std::isspace(c)) return false;
    return true;
}

namespace {

// The reader and state of a number format being checked.
struct FormatSpec {
    enum Token { kEnd = 0, kPercent = 1, kMinus = 2, kPoint = 3, kNumber = 4, kLetter = 5, kError = -1 };

    std::string text;
    int state = 0;
    bool leftJustify = false;
    int width = -1;
    int precision = -1;
    std::string conversion = "g";

    // Takes the next token off the front of the text.
    Token Next(std::string& value) {
        if (text.empty()) return kEnd;
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text.front())));
        text.erase(0, 1);
        value.assign(1, c);
        switch (c) {
            case '%':
                return kPercent;
            case '-':
                return kMinus;
            case '.':
                return kPoint;
            case 'f':
            case 'e':
            case 'g':
                return kLetter;
            default:
                break;
        }
        if (std::isdigit(static_cast<unsigned char>(c))) {
            while (!text.empty() && std::isdigit(static_cast<unsigned char>(text.front()))) {
                value += text.front();
                text.erase(0, 1);
            }
            return kNumber;
        }
        return kError;
    }

    // One step of the state machine; false on a failure.
    bool Step(Token t, const std::string& value) {
        if ((state == 1 || state == 2) && t == kNumber) return SetWidth(value);
        if ((state == 1 || state == 2) && t == kPoint) return Go(4);
        if ((state == 1 || state == 2 || state == 3 || state == 5) && t == kLetter) {
            conversion = value;
            return Go(6);
        }
        if (state == 0 && t == kPercent) return Go(1);
        if (state == 1 && t == kMinus) {
            leftJustify = true;
            return Go(2);
        }
        if (state == 3 && t == kPoint) return Go(4);
        if (state == 4 && t == kNumber) {
            if (ScanString(value, "%d", &precision) != 0) return false;
            return Go(5);
        }
        return false;
    }

    bool SetWidth(const std::string& value) {
        if (ScanString(value, "%d", &width) != 0) return false;
        return Go(3);
    }
    bool Go(int s) {
        state = s;
        return true;
    }
};

}  // namespace

int ParseNumberFormat(const std::string& text, int* width, int* precision) {
    if (text.empty()) return -1;
    FormatSpec spec;
    spec.text = text;
    for (;;) {
        std::string value;
        const FormatSpec::Token t = spec.Next(value);
        if (t == FormatSpec::kEnd || t == FormatSpec::kError) break;
        if (!spec.Step(t, value)) return -1;
    }
    if (spec.state != 6) return -1;
    if (width) *width = spec.width;
    if (precision) *precision = spec.precision;
    return 0;
}

bool CheckRealText(const std::string& text, float previous, std::string* replacement) {
    if (ReadFiniteFloat(text, nullptr) == 0) return true;
    if (replacement) *replacement = FormatReal(previous, -1, "%g");
    return false;
}

bool CheckIntegerText(int previous, const std::string& text, std::string* replacement) {
    float v = 0;
    // A value outside the 32-bit range (or not a number) cannot be whole: refused before the
    // conversion, which would be undefined for it.
    if (ScanString(text, "%f", &v) == 0 && std::isfinite(v) && v >= -2147483648.0f && v < 2147483648.0f &&
        v == static_cast<float>(static_cast<std::int32_t>(v)))
        return true;
    if (replacement) *replacement = FormatInt(previous, "%d");
    return false;
}

float ReadEditFloat(const TextField& edit) {
    return ReadTextFloat(edit.GetText());
}

namespace {
void Warn(Prompt& prompt, const char* text) {
    prompt.Ask(PromptRequest{text, {}, {}, PromptButtons::Ok, PromptIcon::Warning});
}
}  // namespace

void CheckEditReal(TextField& edit, float previous, Prompt& prompt) {
    std::string back;
    if (CheckRealText(edit.GetText(), previous, &back)) return;
    Warn(prompt, kValueMustBeReal);
    edit.SetText(back);
}

void CheckEditInteger(int previous, TextField& edit, Prompt& prompt) {
    std::string back;
    if (CheckIntegerText(previous, edit.GetText(), &back)) return;
    Warn(prompt, kValueMustBeInteger);
    edit.SetText(back);
}

}  // namespace zun
