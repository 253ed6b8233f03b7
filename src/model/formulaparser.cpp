#include "model/formulaparser.h"

#include <charconv>
#include <cstdio>
#include <iterator>
#include <new>
#include <string>
#include <string_view>

#include "model/compound.h"
#include "model/element.h"

namespace zun {

namespace {

// The grammar's stack limit: deeper nesting or longer pending lists report "memory exhausted".
constexpr int kMaxParserStack = 10000;

void Report(Compound* target, const std::string& message) {
    if (target) target->ReportParseError(message);
}

enum class Tok { End, Integer, Float, LParen, RParen, Element };

struct Token {
    Tok type = Tok::End;
    double value = 0.0;
    std::string symbol;
    std::string text;  // as written
    int position = 0;  // 1-based, in characters
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The character starting at p as a message shows it: printable ones as they are (a whole UTF-8
// sequence), others as a hexadecimal escape of the byte.
std::string Shown(const char* p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c >= 0x20 && c < 0x7F) return std::string(1, static_cast<char>(c));
    const int length = c >= 0xF0 && c < 0xF5 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    bool whole = length > 0;
    for (int i = 1; whole && i < length; ++i) whole = IsContinuation(static_cast<unsigned char>(p[i]));
    if (whole) return std::string(p, static_cast<size_t>(length));
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    return hex;
}

class Scanner {
public:
    Scanner(const char* text, Compound* target) : p_(text), counted_(text), target_(target) {}

    Token Next() {
        for (;;) {
            char c = *p_;
            if (c == '\0') return Make(Tok::End, 0);
            if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f') {
                ++p_;
                continue;
            }
            if (c == '(' || c == ')') return Make(c == '(' ? Tok::LParen : Tok::RParen, 1);
            if (IsDigit(c) || (c == '.' && IsDigit(p_[1]))) return Number();
            if (int len = ElementLength(); len > 0) {
                Token t = Make(Tok::Element, static_cast<std::size_t>(len));
                t.symbol = t.text;
                return t;
            }
            Report(target_,
                   "Invalid character '" + Shown(p_) + "' at position " + std::to_string(Position()));
            ++p_;
        }
    }

private:
    // The 1-based position, in characters, of the byte at p_ (the bytes of one UTF-8 character
    // share its position).
    int Position() {
        for (; counted_ < p_; ++counted_) {
            const auto c = static_cast<unsigned char>(*counted_);
            if (IsContinuation(c) && pending_ > 0) {
                --pending_;
                continue;
            }
            ++characters_;
            pending_ = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        }
        return IsContinuation(static_cast<unsigned char>(*p_)) && pending_ > 0 ? characters_
                                                                               : characters_ + 1;
    }

    // The token of the next n bytes.
    Token Make(Tok type, std::size_t n) {
        Token t;
        t.type = type;
        t.position = Position();
        t.text.assign(p_, n);
        p_ += n;
        return t;
    }

    // Longest symbol at the current position (two letters before one), 0 when none.
    int ElementLength() const {
        if (p_[1] != '\0' && ElementNumber(std::string_view(p_, 2)) > 0) return 2;
        if (ElementNumber(std::string_view(p_, 1)) > 0) return 1;
        return 0;
    }

    // Length of an exponent ([eE] [+-] digits) at s, 0 when there is none.
    static std::size_t ExponentLength(const char* s) {
        if (*s != 'e' && *s != 'E') return 0;
        std::size_t i = 1;
        if (s[i] == '+' || s[i] == '-') ++i;
        std::size_t start = i;
        while (IsDigit(s[i])) ++i;
        return i > start ? i : 0;
    }

    Token Number() {
        std::size_t i = 0;
        while (IsDigit(p_[i])) ++i;
        bool isFloat = false;
        if (p_[i] == '.') {
            // digits? "." digits exponent?  or  digits "." exponent?
            std::size_t j = i + 1;
            while (IsDigit(p_[j])) ++j;
            i = j;
            isFloat = true;
        }
        if (std::size_t e = ExponentLength(p_ + i); e > 0) {
            i += e;
            isFloat = true;
        }
        Token t = Make(isFloat ? Tok::Float : Tok::Integer, i);
        const char* begin = t.text.data();
        const char* end = begin + t.text.size();
        const std::string where = " '" + t.text + "' at position " + std::to_string(t.position);
        if (isFloat) {
            auto r = std::from_chars(begin, end, t.value, std::chars_format::general);
            if (r.ec != std::errc() || r.ptr != end)
                Report(target_, "syntax error in floating point constant" + where);
        } else {
            long long v = 0;
            auto r = std::from_chars(begin, end, v);
            if (r.ec != std::errc() || r.ptr != end)
                Report(target_, "syntax error in decimal constant" + where);
            t.value = static_cast<double>(v);
        }
        return t;
    }

    const char* p_;
    const char* counted_;  // Position() has counted the characters before this byte
    int characters_ = 0;
    int pending_ = 0;  // continuation bytes the last counted character still has
    Compound* target_;
};

class Parser {
public:
    Parser(const char* text, Compound* target) : scanner_(text, target), target_(target) {}

    // 0 success (root set), 1 syntax error, 2 stack exhausted.
    int Run() {
        Advance();
        FormulaNodePtr list = List();
        if (result_ == 0 && tok_.type != Tok::End) SyntaxError();
        if (result_ == 0) root = std::move(list);
        return result_;
    }

    FormulaNodePtr root;

private:
    void Advance() { tok_ = scanner_.Next(); }

    // Names the token the grammar could not take.
    void SyntaxError() {
        if (result_ != 0) return;
        if (tok_.type == Tok::End) {
            Report(target_, "syntax error: the formula ends too early (position " +
                                std::to_string(tok_.position) + ")");
        } else {
            Report(target_, "syntax error: unexpected '" + tok_.text + "' at position " +
                                std::to_string(tok_.position));
        }
        result_ = 1;
    }

    bool Push(int n) {
        stack_ += n;
        if (stack_ < kMaxParserStack) return true;
        if (result_ == 0) {
            Report(target_, "memory exhausted");
            result_ = 2;
        }
        return false;
    }

    bool StartsItem() const { return tok_.type == Tok::Element || tok_.type == Tok::LParen; }

    // list -> item | item list. The items are gathered into one flat list node directly, the
    // same tree the right-recursive reduction builds (the last item's own list merged in), but
    // in time linear in the number of items.
    FormulaNodePtr List() {
        std::vector<FormulaNodePtr> items;
        do {
            FormulaNodePtr item = Item();
            if (result_ != 0) return nullptr;
            items.push_back(std::move(item));
            if (!Push(1)) return nullptr;
        } while (StartsItem());
        stack_ -= static_cast<int>(items.size());
        if (items.size() == 1) return std::move(items.front());
        FormulaNodePtr list;
        try {
            list = std::make_unique<FormulaNode>();
            list->type = FormulaNode::kList;
            FormulaNodePtr last = std::move(items.back());
            items.pop_back();
            list->children = std::move(items);
            if (last && last->type == FormulaNode::kList) {
                list->children.insert(list->children.end(), std::make_move_iterator(last->children.begin()),
                                      std::make_move_iterator(last->children.end()));
            } else {
                list->children.push_back(std::move(last));
            }
        } catch (const std::bad_alloc&) {
            Report(target_, "make_node: memory allocation error");
            memoryError = true;
            return nullptr;
        }
        return list;
    }

    // item -> atom | atom INTEGER | atom FLOAT
    FormulaNodePtr Item() {
        FormulaNodePtr atom = Atom();
        if (result_ != 0) return nullptr;
        if (tok_.type == Tok::Integer || tok_.type == Tok::Float) {
            double count = tok_.value;
            Advance();
            FormulaNodePtr n = make_node(FormulaNode::kCounted, std::move(atom), nullptr, count, target_);
            if (!n) memoryError = true;
            return n;
        }
        return atom;
    }

    // atom -> ELEMENT | "(" list ")"; a group without a count is its list.
    FormulaNodePtr Atom() {
        if (tok_.type == Tok::Element) {
            FormulaNodePtr leaf = make_leaf(tok_.symbol, target_);
            if (!leaf) memoryError = true;  // the parse goes on; the tree is not converted
            Advance();
            return leaf;
        }
        if (tok_.type != Tok::LParen) {
            SyntaxError();
            return nullptr;
        }
        if (!Push(2)) return nullptr;
        Advance();
        FormulaNodePtr list = List();
        if (result_ != 0) return nullptr;
        if (tok_.type != Tok::RParen) {
            SyntaxError();
            return nullptr;
        }
        stack_ -= 2;
        Advance();
        return list;
    }

    Scanner scanner_;
    Compound* target_;
    Token tok_;
    int result_ = 0;
    int stack_ = 0;

public:
    bool memoryError = false;
};

}  // namespace

FormulaNodePtr make_leaf(const std::string& symbol, Compound* target) {
    try {
        auto n = std::make_unique<FormulaNode>();
        n->type = FormulaNode::kElement;
        n->symbol = symbol;
        return n;
    } catch (const std::bad_alloc&) {
        Report(target, "allocation error for identifier name");
        return nullptr;
    }
}

void add_child_node(FormulaNode& parent, FormulaNodePtr child) {
    parent.children.push_back(std::move(child));
}

FormulaNodePtr remove_child_node(FormulaNode& parent, Compound* target) {
    if (parent.children.empty()) {
        Report(target, "remove_child_node: invalid child index");
        return nullptr;
    }
    FormulaNodePtr first = std::move(parent.children.front());
    parent.children.erase(parent.children.begin());
    return first;
}

FormulaNodePtr make_node(int type, FormulaNodePtr a, FormulaNodePtr b, double count, Compound* target) {
    try {
        auto n = std::make_unique<FormulaNode>();
        n->type = type;
        switch (type) {
            case FormulaNode::kElement:
                if (a) n->symbol = a->symbol;
                break;
            case FormulaNode::kCounted:
                add_child_node(*n, std::move(a));
                n->count = count;
                break;
            case FormulaNode::kList:
                add_child_node(*n, std::move(a));
                if (b && b->type == FormulaNode::kList) {
                    // Lists stay flat: b's children follow a, in order (moved at once: taking them
                    // one by one from the front would cost time quadratic in their number).
                    n->children.insert(n->children.end(), std::make_move_iterator(b->children.begin()),
                                       std::make_move_iterator(b->children.end()));
                    b->children.clear();
                } else {
                    add_child_node(*n, std::move(b));
                }
                break;
            default:
                std::fprintf(stderr, "type was %d\n", type);
                Report(target, "make_node: case not handled in switch");
                return nullptr;
        }
        return n;
    } catch (const std::bad_alloc&) {
        Report(target, "make_node: memory allocation error");
        return nullptr;
    }
}

int parse_formula(const char* text, Compound* target) {
    int memoryErrors = 0;
    int result = 0;
    FormulaNodePtr root;
    try {
        Parser parser(text ? text : "", target);
        result = parser.Run();
        if (parser.memoryError) ++memoryErrors;
        root = std::move(parser.root);
    } catch (const std::bad_alloc&) {
        Report(target, "make_node: memory allocation error");
        ++memoryErrors;
    }
    if (result == 0 && memoryErrors == 0 && root && target) return target->AddFromNode(*root);
    if (memoryErrors != 0) return -memoryErrors;
    return result;
}

}  // namespace zun
