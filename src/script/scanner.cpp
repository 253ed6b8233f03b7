#include "script/scanner.h"

#include <locale.h>
#include <stdlib.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "foundation/clocale.h"
#include "script/messages.h"

namespace zun::script {
namespace {

bool IsD(char c) {
    return c >= '0' && c <= '9';
}
bool IsL(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsH(char c) {
    return IsD(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool IsIS(char c) {
    return c == 'u' || c == 'U' || c == 'l' || c == 'L';
}
bool IsFS(char c) {
    return c == 'f' || c == 'F' || c == 'l' || c == 'L';
}

struct Keyword {
    const char* text;
    int token;
};
constexpr Keyword kKeywords[] = {
    {"true", BOOL_CONST},   {"false", BOOL_CONST}, {"bool", BOOL},   {"char", CHAR},
    {"ushort", USHORT},     {"short", SHORT},      {"int", INT},     {"long", LONG},
    {"unsigned", UNSIGNED}, {"uint", UNSIGNED},    {"float", FLOAT}, {"double", DOUBLE},
    {"sizeof", SIZEOF},
};

struct Operator {
    const char* text;
    int token;
};
// Longer operators first so the first hit is the longest match.
constexpr Operator kOperators[] = {
    {"<<=", LEFT_ASSIGN}, {">>=", RIGHT_ASSIGN}, {"++", INC_OP},     {"--", DEC_OP},     {"<<", LEFT_OP},
    {">>", RIGHT_OP},     {"<=", LE_OP},         {">=", GE_OP},      {"==", EQ_OP},      {"!=", NE_OP},
    {"&&", AND_OP},       {"||", OR_OP},         {"*=", MUL_ASSIGN}, {"/=", DIV_ASSIGN}, {"%=", MOD_ASSIGN},
    {"+=", ADD_ASSIGN},   {"-=", SUB_ASSIGN},    {"&=", AND_ASSIGN}, {"^=", XOR_ASSIGN}, {"|=", OR_ASSIGN},
    {"..", RANGE_OP},     {"=", ASSIGN},
};
constexpr const char* kSingles = "?:(){}[].,&!~-+*/%<>^|";

// Lengths of the exponent part "E" at p (0 when absent).
size_t ExponentAt(const std::string& s, size_t p) {
    if (p >= s.size() || (s[p] != 'e' && s[p] != 'E')) return 0;
    size_t q = p + 1;
    if (q < s.size() && (s[q] == '+' || s[q] == '-')) ++q;
    size_t d = q;
    while (d < s.size() && IsD(s[d])) ++d;
    return d > q ? d - p : 0;
}

int32_t SaturateSigned(long long v) {
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

}  // namespace

void Scanner::Message(const char* text) {
    messages_ += "\n";
    messages_ += text;
}

// Rules: 0 hexadecimal, 1 binary, 2 octal, 3 decimal, 4 floating. Returns the longest length.
size_t Scanner::MatchNumber(int& rule) const {
    const std::string& s = text_;
    const size_t p = pos_, n = s.size();
    size_t best = 0;
    auto take = [&](size_t len, int r) {
        if (len > best) best = len, rule = r;
    };
    auto suffix = [&](size_t q, bool (*pred)(char)) {
        while (q < n && pred(s[q])) ++q;
        return q;
    };
    if (p + 1 < n && s[p] == '0' && (s[p + 1] == 'x' || s[p + 1] == 'X')) {
        size_t q = p + 2;
        while (q < n && IsH(s[q])) ++q;
        if (q > p + 2) take(suffix(q, IsIS) - p, 0);
    }
    if (p + 1 < n && s[p] == '0' && (s[p + 1] == 'b' || s[p + 1] == 'B')) {
        size_t q = p + 2;
        while (q < n && (s[q] == '0' || s[q] == '1')) ++q;
        if (q > p + 2) take(suffix(q, IsIS) - p, 1);
    }
    size_t digits = p;
    while (digits < n && IsD(s[digits])) ++digits;
    if (s[p] == '0' && digits > p + 1) take(suffix(digits, IsIS) - p, 2);
    if (digits > p) take(suffix(digits, IsIS) - p, 3);
    // Floating: D+ E FS?
    if (digits > p) {
        size_t e = ExponentAt(s, digits);
        if (e) {
            size_t q = digits + e;
            take((q < n && IsFS(s[q]) ? q + 1 : q) - p, 4);
        }
    }
    // D* "." D+ E? FS?   and   D+ "." D* E? FS?
    if (digits < n && s[digits] == '.') {
        size_t q = digits + 1;
        while (q < n && IsD(s[q])) ++q;
        if (q > digits + 1 || digits > p) {
            q += ExponentAt(s, q);
            take((q < n && IsFS(s[q]) ? q + 1 : q) - p, 4);
        }
    }
    return best;
}

// Length of a quoted constant at pos_ (after an optional "L"), 0 when it does not close.
size_t Scanner::MatchQuoted(char quote) const {
    const std::string& s = text_;
    size_t q = pos_;
    if (s[q] == 'L') ++q;
    if (q >= s.size() || s[q] != quote) return 0;
    ++q;
    size_t body = q;
    while (q < s.size()) {
        if (s[q] == '\\') {
            if (q + 1 >= s.size() || s[q + 1] == '\n') return 0;
            q += 2;
        } else if (s[q] == quote) {
            if (quote == '\'' && q == body) return 0;
            return q + 1 - pos_;
        } else {
            ++q;
        }
    }
    return 0;
}

int Scanner::Number(size_t len, int rule, TokenValue& value) {
    const std::string tok = text_.substr(pos_, len);
    pos_ += len;
    const char* start = tok.c_str();
    char* end = nullptr;
    errno = 0;
    switch (rule) {
        case 0: {
            unsigned long long v = std::strtoull(start, &end, 16);
            if (errno == ERANGE || v > UINT32_MAX) v = UINT32_MAX;
            value.i = static_cast<int32_t>(static_cast<uint32_t>(v));
            if (*end) Message(msg::kHexConst);
            return INT_CONST;
        }
        case 1: {
            unsigned long long v = std::strtoull(start + 2, &end, 2);
            if (errno == ERANGE || v > UINT32_MAX) v = UINT32_MAX;
            value.i = static_cast<int32_t>(static_cast<uint32_t>(v));
            if (*end) Message(msg::kBinConst);
            return INT_CONST;
        }
        case 2: {
            unsigned long long v = std::strtoull(start, &end, 8);
            if (errno == ERANGE || v > UINT32_MAX) v = UINT32_MAX;
            value.i = static_cast<int32_t>(static_cast<uint32_t>(v));
            if (*end) Message(msg::kOctConst);
            return INT_CONST;
        }
        case 3: {
            long long v = std::strtoll(start, &end, 10);
            value.i = SaturateSigned(errno == ERANGE ? LLONG_MAX : v);
            if (*end) Message(msg::kDecConst);
            return INT_CONST;
        }
        default: {
            // Numbers of the language read the same whatever the user's locale.
            value.d = StrToDoubleC(start, &end);
            if (*end) Message(msg::kFloatConst);
            return FLOAT_CONST;
        }
    }
}

int Scanner::Peek() const {
    std::string sink;
    Scanner copy(text_, sink);
    copy.pos_ = pos_;
    TokenValue v;
    return copy.Next(v);
}

int Scanner::Next(TokenValue& value) {
    const std::string& s = text_;
    const size_t n = s.size();
    while (pos_ < n) {
        const char c = s[pos_];
        // Comments and blanks.
        if (c == '/' && pos_ + 1 < n && s[pos_ + 1] == '*') {
            size_t e = s.find("*/", pos_ + 2);
            pos_ = e == std::string::npos ? n : e + 2;
            continue;
        }
        if (c == '/' && pos_ + 1 < n && s[pos_ + 1] == '/') {
            size_t e = s.find('\n', pos_);
            pos_ = e == std::string::npos ? n : e;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\v' || c == '\n' || c == '\f') {
            ++pos_;
            continue;
        }
        // Candidates by length; the earlier rule wins a tie, so each is only taken when longer.
        size_t best = 0;
        int token = 0;
        int numberRule = -1;
        if (IsL(c)) {
            size_t q = pos_ + 1;
            while (q < n && (IsL(s[q]) || IsD(s[q]))) ++q;
            best = q - pos_;
            token = IDENTIFIER;
            const std::string word = s.substr(pos_, best);
            for (const Keyword& k : kKeywords)
                if (word == k.text) token = k.token;
        }
        if (size_t len = MatchQuoted('\''); len > best) best = len, token = CHAR_CONST;
        if (IsD(c) || c == '.') {
            int rule = -1;
            if (size_t len = MatchNumber(rule); len > best) best = len, numberRule = rule, token = INT_CONST;
        }
        if (size_t len = MatchQuoted('"'); len > best) best = len, token = STRING_LITERAL, numberRule = -1;
        for (const Operator& op : kOperators) {
            size_t len = std::strlen(op.text);
            if (len > best && s.compare(pos_, len, op.text) == 0) {
                best = len, token = op.token, numberRule = -1;
                break;
            }
        }
        if (best == 0 && std::strchr(kSingles, c) && c) best = 1, token = static_cast<unsigned char>(c);
        if (best == 0) {
            ++pos_;  // an unmatched character is skipped without a word
            continue;
        }
        tokenStart_ = pos_;
        if (numberRule >= 0) return Number(best, numberRule, value);
        const std::string tok = s.substr(pos_, best);
        pos_ += best;
        if (token == IDENTIFIER || token == STRING_LITERAL) value.text = tok;
        if (token == BOOL_CONST) value.i = tok == "true" ? 1 : 0;
        if (token == CHAR_CONST) value.i = static_cast<signed char>(tok[1]);
        return token;
    }
    tokenStart_ = n;
    return kEnd;
}

}  // namespace zun::script
