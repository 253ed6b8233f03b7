#pragma once
// Numbers to text and text to numbers for every dialog, grid and report. Always in the C locale,
// whatever the user's locale: the program's texts and files must read the same everywhere.

#include <cstdint>
#include <string>

namespace zun {

class Prompt;

// The callers' formats take one argument of the given kind ("%d", "%u"; "%g", "%.3g", " (%.1f%%)").
std::string FormatInt(int value, const char* format);
std::string FormatUInt64(std::uint64_t value);
// With precision >= 0 and the format exactly "%f", "%.*f" with that precision; else the format.
std::string FormatReal(float value, int precision, const char* format);
std::string FormatReal(int precision, double value, const char* format);
// floor(value * 10^n + 0.5) / 10^n; 0 stays 0.
float RoundToDecimals(float value, int n);
// The distance of a step result beyond the band -100..100 (0 inside it).
int ClampPercentOffset(int code);

// sscanf in the C locale: 0 when at least one field was converted, else -1 (target unchanged).
int ScanString(const std::string& text, const char* format, int* target);
int ScanString(const std::string& text, const char* format, unsigned* target);
int ScanString(const std::string& text, const char* format, long long* target);
int ScanString(const std::string& text, const char* format, unsigned long long* target);
int ScanString(const std::string& text, const char* format, float* target);
int ScanString(const std::string& text, const char* format, double* target);

// What the dialog readers do with a control's text ("%d", "%llu", "%lld", "%lf").
int ReadTextInt(const std::string& text, int* value);
int ReadTextUInt64(const std::string& text, std::uint64_t* value);
int ReadTextInt64(const std::string& text, std::int64_t* value);
int ReadTextDouble(const std::string& text, double* value);
// The text scanned with "%f"; 0 when it holds no number.
float ReadTextFloat(const std::string& text);
// The text scanned with "%f" when it starts with a finite number: 0. -1 when it holds no number;
// -2 when the number is NaN or infinite, or too large for a float. The target is left as it was
// unless 0 is returned. No field takes a non-finite value: it would reach integer conversions.
int ReadFiniteFloat(const std::string& text, float* value);

// True for an empty text or one of white space only (bytes of 0x80 and above are not blank).
bool IsBlankString(const std::string& text);

// Checks a user's printf format for one real number ('%', optional '-', width, '.' precision,
// and one of f, e, g in either case). 0 and the width and precision (-1 where not given), or -1.
int ParseNumberFormat(const std::string& text, int* width, int* precision);

// The edit checks after a change. True when the text stands; otherwise `replacement` gets the
// previous value's text to put back. A real number must be finite; a whole number must also fit
// 32 bits.
bool CheckRealText(const std::string& text, float previous, std::string* replacement);
bool CheckIntegerText(int previous, const std::string& text, std::string* replacement);

extern const char kValueMustBeReal[];     // "Value must be a real number"
extern const char kValueMustBeInteger[];  // "Value must be an integer"

// A one-line text control as the checks see it; the GUI implements it over its edit widgets.
class TextField {
public:
    virtual ~TextField() = default;
    virtual std::string GetText() const = 0;
    virtual void SetText(const std::string& text) = 0;
};

float ReadEditFloat(const TextField& edit);
// Warn through the prompt (exclamation icon) and put the previous value back when the text is
// not a number (a finite real number, or a whole 32-bit number).
void CheckEditReal(TextField& edit, float previous, Prompt& prompt);
void CheckEditInteger(int previous, TextField& edit, Prompt& prompt);

}  // namespace zun
