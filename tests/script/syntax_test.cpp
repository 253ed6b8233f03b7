#include <gtest/gtest.h>

#include "script/scanner.h"
#include "script/syntax.h"

namespace zun::script {
namespace {

struct Scanned {
    std::vector<int> tokens;
    std::vector<TokenValue> values;
    std::string messages;
};

Scanned Scan(const std::string& text) {
    Scanned s;
    Scanner scanner(text, s.messages);
    for (;;) {
        TokenValue v;
        int t = scanner.Next(v);
        if (t == kEnd) break;
        s.tokens.push_back(t);
        s.values.push_back(v);
    }
    return s;
}

TEST(Scanner, NumberRulesAndTheirMessages) {
    struct Case {
        const char* text;
        int32_t value;
        const char* message;
    } cases[] = {
        {"0", 0, ""},
        {"00", 0, ""},
        {"017", 15, ""},
        {"0x1F", 31, ""},
        {"0b101", 5, ""},
        {"08", 0, "\nsyntax error in octal constant"},
        {"12u", 12, "\nsyntax error in decimal constant"},
        {"0x1Fu", 31, "\nsyntax error in hexadecimal constant"},
        {"0b11L", 3, "\nsyntax error in binary constant"},
        {"0xFFFFFFFF", -1, ""},
        {"0x100000000", -1, ""},  // saturates at the largest unsigned 32-bit value
        {"3000000000", 2147483647, ""},
        {"2147483647", 2147483647, ""},
    };
    for (const Case& c : cases) {
        Scanned s = Scan(c.text);
        ASSERT_EQ(s.tokens.size(), 1u) << c.text;
        EXPECT_EQ(s.tokens[0], INT_CONST) << c.text;
        EXPECT_EQ(s.values[0].i, c.value) << c.text;
        EXPECT_EQ(s.messages, c.message) << c.text;
    }
    Scanned f = Scan("1.5e3f");
    ASSERT_EQ(f.tokens, std::vector<int>{FLOAT_CONST});
    EXPECT_DOUBLE_EQ(f.values[0].d, 1500.0);
    EXPECT_EQ(f.messages, "\nsyntax error in floating point constant");
    for (const char* text : {"1.", ".5", "1e5", "1.e2", "3.25"}) {
        EXPECT_EQ(Scan(text).tokens, std::vector<int>{FLOAT_CONST}) << text;
    }
}

TEST(Scanner, LongestMatchConsequences) {
    EXPECT_EQ(Scan("1..2").tokens, (std::vector<int>{FLOAT_CONST, FLOAT_CONST}));
    EXPECT_EQ(Scan("a..b").tokens, (std::vector<int>{IDENTIFIER, RANGE_OP, IDENTIFIER}));
    EXPECT_EQ(Scan("1 .. 2").tokens, (std::vector<int>{INT_CONST, RANGE_OP, INT_CONST}));
    EXPECT_EQ(Scan("0x").tokens, (std::vector<int>{INT_CONST, IDENTIFIER}));
    EXPECT_EQ(Scan("0b").tokens, (std::vector<int>{INT_CONST, IDENTIFIER}));
    EXPECT_EQ(Scan("1e").tokens, (std::vector<int>{INT_CONST, IDENTIFIER}));
    EXPECT_EQ(Scan("3.e").tokens, (std::vector<int>{FLOAT_CONST, IDENTIFIER}));
    EXPECT_EQ(Scan("->").tokens, (std::vector<int>{'-', '>'}));
    EXPECT_EQ(
        Scan("<<= >>= <= == != && || ++ --").tokens,
        (std::vector<int>{LEFT_ASSIGN, RIGHT_ASSIGN, LE_OP, EQ_OP, NE_OP, AND_OP, OR_OP, INC_OP, DEC_OP}));
    EXPECT_EQ(Scan("*= /= %= += -= &= ^= |= =").tokens,
              (std::vector<int>{MUL_ASSIGN, DIV_ASSIGN, MOD_ASSIGN, ADD_ASSIGN, SUB_ASSIGN, AND_ASSIGN,
                                XOR_ASSIGN, OR_ASSIGN, ASSIGN}));
    EXPECT_EQ(Scan("?:(){}[].,&!~-+*/%<>^|").tokens.size(), 22u);
}

TEST(Scanner, KeywordsConstantsAndSkippedText) {
    Scanned k = Scan("true false bool char ushort short int long unsigned uint float double sizeof");
    EXPECT_EQ(k.tokens, (std::vector<int>{BOOL_CONST, BOOL_CONST, BOOL, CHAR, USHORT, SHORT, INT, LONG,
                                          UNSIGNED, UNSIGNED, FLOAT, DOUBLE, SIZEOF}));
    EXPECT_EQ(k.values[0].i, 1);
    EXPECT_EQ(k.values[1].i, 0);
    Scanned ids = Scan("True INT int8 _x9");
    EXPECT_EQ(ids.tokens, (std::vector<int>{IDENTIFIER, IDENTIFIER, IDENTIFIER, IDENTIFIER}));
    EXPECT_EQ(ids.values[0].text, "True");

    Scanned ch = Scan("'a' 'ab' '\\n'");
    EXPECT_EQ(ch.tokens, (std::vector<int>{CHAR_CONST, CHAR_CONST, CHAR_CONST}));
    EXPECT_EQ(ch.values[0].i, 'a');
    EXPECT_EQ(ch.values[1].i, 'a');
    EXPECT_EQ(ch.values[2].i, '\\');

    Scanned str = Scan("\"a\\\"b\"");
    ASSERT_EQ(str.tokens, std::vector<int>{STRING_LITERAL});
    EXPECT_EQ(str.values[0].text, "\"a\\\"b\"");

    // An unterminated string: the quote is skipped and scanning resumes after it.
    EXPECT_EQ(Scan("\"abc").tokens, std::vector<int>{IDENTIFIER});
    EXPECT_EQ(Scan("a = 1;").tokens, Scan("a = 1").tokens);
    EXPECT_EQ(Scan("a /* b c").tokens, std::vector<int>{IDENTIFIER});
    EXPECT_EQ(Scan("a /* b */ c // d\ne").tokens, (std::vector<int>{IDENTIFIER, IDENTIFIER, IDENTIFIER}));
    EXPECT_EQ(Scan("# @ $ \\ \r \x80").tokens, std::vector<int>{});
}

std::string Tree(const std::string& text) {
    std::string messages;
    ParseResult r = ParseLine(text, messages);
    if (r.status != 0) return "status " + std::to_string(r.status) + messages;
    return DumpTree(r.root.get());
}

TEST(Parser, PrecedenceAndAssociativity) {
    EXPECT_EQ(Tree("a + b * c"), "(add (chain (id a)) (mul (chain (id b)) (chain (id c))))");
    EXPECT_EQ(Tree("a - b - c"), "(sub (sub (chain (id a)) (chain (id b))) (chain (id c)))");
    EXPECT_EQ(Tree("a = b = 3"), "(assign (chain (id a)) (assign (chain (id b)) (int 3)))");
    EXPECT_EQ(Tree("x ? y : z ? u : v"),
              "(cond (chain (id x)) (chain (id y)) (cond (chain (id z)) (chain (id u)) (chain (id v))))");
    EXPECT_EQ(Tree("a+i..j"), "(add (chain (id a)) (range (chain (id i)) (chain (id j))))");
    EXPECT_EQ(Tree("-1 ..n"), "(range (minus (int 1)) (chain (id n)))");
    // Without the blank the constant scans as "1." and the rest as a field selection on it.
    EXPECT_EQ(Tree("1..n"), "(chain (float 1) (field n))");
    EXPECT_EQ(Tree("(int)x..y"), "(range (cast (type_int) (chain (id x))) (chain (id y)))");
    EXPECT_EQ(Tree("a || b && c | d ^ e & f == g < h << i"),
              "(log_or (chain (id a)) (log_and (chain (id b)) (bit_or (chain (id c)) (bit_xor (chain (id d)) "
              "(bit_and (chain (id e)) (eq (chain (id f)) (lt (chain (id g)) (shl (chain (id h)) (chain (id "
              "i))))))))))");
    EXPECT_EQ(Tree("!a++"), "(log_not (post_inc (chain (id a))))");
    EXPECT_EQ(Tree("a.raw += 1"), "(add_assign (chain (id a) (field raw)) (int 1))");
    EXPECT_EQ(Tree("sizeof(int)"), "(sizeof (type_int))");
    EXPECT_EQ(Tree("sizeof x"), "(sizeof (chain (id x)))");
    EXPECT_EQ(Tree("(uint)2.5"), "(cast (type_uint) (float 2.5))");
}

TEST(Parser, ChainsListsAndCalls) {
    EXPECT_EQ(Tree("a[1][2].phys"), "(chain (id a) (subscript (int 1)) (subscript (int 2)) (field phys))");
    EXPECT_EQ(Tree("a[1,2]"), "(chain (id a) (subscript (int 1) (int 2)))");
    EXPECT_EQ(Tree("a[{1,2}]"), "(chain (id a) (subscript (int 1) (int 2)))");
    EXPECT_EQ(Tree("a[]"), "(chain (id a) (subscript))");
    EXPECT_EQ(Tree("(b*2)[0]"), "(chain (mul (chain (id b)) (int 2)) (subscript (int 0)))");
    EXPECT_EQ(Tree("f()"), "(call f)");
    EXPECT_EQ(Tree("max(a, 1, 2)"), "(call max (chain (id a)) (int 1) (int 2))");
    EXPECT_EQ(Tree("{1, 2, 3}"), "(vector (int 1) (int 2) (int 3))");
    EXPECT_EQ(Tree("{}"), "(vector)");
    EXPECT_EQ(Tree("1, 2, 3"), "(list (int 1) (int 2) (int 3))");
    EXPECT_EQ(Tree("'x' \"s\" true"), "status 1\nsyntax error");
    EXPECT_EQ(Tree("c ? a, b : d"),
              "(cond (chain (id c)) (list (chain (id a)) (chain (id b))) (chain (id d)))");
}

TEST(Parser, Errors) {
    for (const char* text : {"", "  /* only a comment */ ", "(f)(1)", "a.b(1)", "a..b..c", "a + b = 3",
                             "(int)a = 3", "a = ", "{1,2", "a[1", "a b"}) {
        EXPECT_EQ(Tree(text), "status 1\nsyntax error") << text;
    }
    // The refused token's offset, for the console's caret: after blanks and comments, at the end
    // for a line that stops short, and the start of a number that a longest match took whole.
    for (const auto& [text, offset] : std::vector<std::pair<std::string, size_t>>{
             {"a b", 2}, {"a = ", 4}, {"f(1 /* c */ ) )", 14}, {"1 + 2 3.5e1", 6}, {"", 0}}) {
        std::string messages;
        const ParseResult r = ParseLine(text, messages);
        EXPECT_EQ(r.status, 1) << text;
        EXPECT_EQ(r.errorOffset, offset) << text;
    }
    // A conversion message does not stop the parse.
    EXPECT_EQ(Tree("x = 12u"), "(assign (chain (id x)) (int 12))");
    // Deep nesting is refused instead of overflowing the stack; a thousand levels are taken.
    EXPECT_EQ(Tree(std::string(5000, '(') + "1" + std::string(5000, ')')), "status 2\nmemory exhausted");
    EXPECT_EQ(Tree(std::string(5000, '-') + "1"), "status 2\nmemory exhausted");
    std::string incs = "a";
    for (int i = 0; i < 5000; ++i) incs += "++";
    EXPECT_EQ(Tree(incs), "status 2\nmemory exhausted");
    EXPECT_EQ(Tree(std::string(1000, '(') + "1" + std::string(1000, ')')), "(int 1)");
    EXPECT_EQ(Tree([] {
                  std::string s;
                  for (int i = 0; i < 1000; ++i) s += "- ";
                  return s + "1";
              }())
                  .substr(0, 14),
              "(minus (minus ");
    std::string calls = "x", braces = "1";
    for (int i = 0; i < 999; ++i) calls = "f(" + calls + ")", braces = "{" + braces + "}";
    EXPECT_EQ(Tree(calls).substr(0, 7), "(call f");
    EXPECT_EQ(Tree(braces).substr(0, 8), "(vector ");
    EXPECT_EQ(Tree("a = " + std::string(998, '(') + "b = 1" + std::string(998, ')')).substr(0, 8),
              "(assign ");
}

TEST(Parser, ListsAndChainsOfAnyLength) {
    // A pasted row of values, a long sum and a long mixed chain: one level of nesting each.
    for (int n : {1024, 100000}) {
        std::string list = "{1", sum = "1", mixed = "(2";
        for (int i = 1; i < n; ++i) {
            list += "," + std::to_string(i % 7);
            sum += "+1";
            mixed += i % 3 ? " * 3 - 1" : " << 1 | 4";
        }
        list += "}";
        mixed += ")";
        std::string messages;
        ParseResult l = ParseLine(list, messages);
        ASSERT_EQ(l.status, 0) << n;
        ASSERT_EQ(l.root->kind, vector_literal);
        EXPECT_EQ(l.root->ChildCount(), n);
        ParseResult s = ParseLine(sum, messages);
        ASSERT_EQ(s.status, 0) << n;
        EXPECT_EQ(s.root->kind, add);
        ParseResult m = ParseLine(mixed, messages);
        ASSERT_EQ(m.status, 0) << n;
        EXPECT_EQ(m.root->kind, bit_or);
        EXPECT_TRUE(messages.empty()) << messages;
    }
    // Precedence and associativity as before: tighter operators bind first, equal ones to the left.
    EXPECT_EQ(Tree("1 - 2 - 3 * 4 / 5 % 6 << 1 < 2 == 1 & 3 ^ 1 | 2 && 1 || 0"),
              "(log_or (log_and (bit_or (bit_xor (bit_and (eq (lt (shl (sub (sub (int 1) (int 2)) "
              "(mod (div (mul (int 3) (int 4)) (int 5)) (int 6))) (int 1)) (int 2)) (int 1)) (int 3)) "
              "(int 1)) (int 2)) (int 1)) (int 0))");
    EXPECT_EQ(Tree("a || b && c | d ^ e & f != g > h >> i + j * k"),
              "(log_or (chain (id a)) (log_and (chain (id b)) (bit_or (chain (id c)) (bit_xor (chain (id d)) "
              "(bit_and (chain (id e)) (ne (chain (id f)) (gt (chain (id g)) (shr (chain (id h)) (add "
              "(chain (id i)) (mul (chain (id j)) (chain (id k))))))))))))");
}

}  // namespace
}  // namespace zun::script
