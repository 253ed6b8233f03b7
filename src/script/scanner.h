#pragma once

#include <cstdint>
#include <string>

namespace zun::script {

// Token numbers of the edit-data language; single characters stand for themselves.
enum Token : int {
    kEnd = 0,
    IDENTIFIER = 258,
    BOOL_CONST,
    CHAR_CONST,
    INT_CONST,
    FLOAT_CONST,
    STRING_LITERAL,
    INC_OP,
    DEC_OP,
    LEFT_OP,
    RIGHT_OP,
    LE_OP,
    GE_OP,
    EQ_OP,
    NE_OP,
    AND_OP,
    OR_OP,
    ASSIGN,
    MUL_ASSIGN,
    DIV_ASSIGN,
    MOD_ASSIGN,
    ADD_ASSIGN,
    SUB_ASSIGN,
    LEFT_ASSIGN,
    RIGHT_ASSIGN,
    AND_ASSIGN,
    XOR_ASSIGN,
    OR_ASSIGN,
    RANGE_OP = 287,
    BOOL,
    CHAR,
    USHORT,
    SHORT,
    INT,
    LONG,
    UNSIGNED = 295,
    FLOAT,
    DOUBLE,
    SIZEOF,
};

// The semantic value of the last token.
struct TokenValue {
    int32_t i = 0;     // boolean and integer constants, character constants
    double d = 0.0;    // floating constants
    std::string text;  // identifiers and string literals
};

// Cuts one console line into tokens, longest match first and the earlier rule on a tie.
// Conversion messages are appended to the message text, each on a new line.
class Scanner {
public:
    Scanner(const std::string& text, std::string& messages) : text_(text), messages_(messages) {}

    int Next(TokenValue& value);
    // The next token without consuming it or printing anything.
    int Peek() const;
    // Byte offset in the line where the token last returned by Next starts (the line's length at
    // its end), so that the console can point at the token the grammar refused.
    size_t TokenStart() const { return tokenStart_; }

private:
    size_t MatchNumber(int& rule) const;
    size_t MatchQuoted(char quote) const;
    int Number(size_t len, int rule, TokenValue& value);
    void Message(const char* text);

    const std::string& text_;
    std::string& messages_;
    size_t pos_ = 0;
    size_t tokenStart_ = 0;
};

}  // namespace zun::script
