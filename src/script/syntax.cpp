#include "script/syntax.h"

#include <cstdio>
#include <new>

#include "foundation/numformat.h"
#include "script/messages.h"
#include "script/scanner.h"

namespace zun::script {

SyntaxNode::~SyntaxNode() {
    std::vector<std::unique_ptr<SyntaxNode>> pending;
    for (auto& c : children) pending.push_back(std::move(c));
    while (!pending.empty()) {
        std::unique_ptr<SyntaxNode> n = std::move(pending.back());
        pending.pop_back();
        if (!n) continue;
        for (auto& c : n->children) pending.push_back(std::move(c));
        // n goes here with no children left.
    }
}

void SyntaxNode::AddChild(std::unique_ptr<SyntaxNode> child) {
    children.push_back(std::move(child));
}

void SyntaxNode::AddFlattened(std::unique_ptr<SyntaxNode> child, NodeKind listKind) {
    if (child->kind == listKind) {
        for (auto& c : child->children) children.push_back(std::move(c));
    } else {
        children.push_back(std::move(child));
    }
}

const char* NodeKindName(NodeKind kind) {
    static const char* const kNames[] = {
        "type_bool",  "type_char",   "type_ushort", "type_short", "type_uint",  "type_int",   "type_long",
        "type_float", "type_double", "bool",        "char",       "int",        "float",      "string",
        "vector",     "list",        "id",          "range",      "subscript",  "field",      "chain",
        "call",       "post_inc",    "post_dec",    "pre_inc",    "pre_dec",    "plus",       "minus",
        "bit_not",    "log_not",     "sizeof",      "cast",       "mul",        "div",        "mod",
        "add",        "sub",         "shl",         "shr",        "lt",         "gt",         "le",
        "ge",         "eq",          "ne",          "bit_and",    "bit_xor",    "bit_or",     "log_and",
        "log_or",     "cond",        "assign",      "mul_assign", "div_assign", "mod_assign", "add_assign",
        "sub_assign", "shl_assign",  "shr_assign",  "and_assign", "xor_assign", "or_assign"};
    return kNames[kind];
}

std::string DumpTree(const SyntaxNode* node) {
    if (!node) return "null";
    std::string s = "(";
    s += NodeKindName(node->kind);
    char buf[64];
    switch (node->kind) {
        case const_bool:
        case const_int:
            std::snprintf(buf, sizeof buf, " %d", node->intValue);
            s += buf;
            break;
        case const_char:
            s += " '";
            s += static_cast<char>(node->intValue);
            s += "'";
            break;
        case const_float:
            s += " " + FormatReal(-1, node->floatValue, "%g");
            break;
        case const_string:
        case identifier:
        case field:
        case call:
            s += " " + node->text;
            break;
        default:
            break;
    }
    for (const auto& c : node->children) s += " " + DumpTree(c.get());
    return s + ")";
}

namespace {

struct SyntaxFailure {
    int status;
    size_t offset;
};

// Recursive descent over the layered productions; each layer is one precedence level.
class Parser {
public:
    Parser(const std::string& text, std::string& messages) : scanner_(text, messages), messages_(messages) {
        Advance();
    }

    std::unique_ptr<SyntaxNode> Input() {
        auto e = Expression();
        if (token_ != kEnd) Fail();
        return e;
    }

    void Fail(int status = 1) {
        messages_ += "\n";
        messages_ += status == 2 ? msg::kMemoryExhausted : msg::kSyntaxError;
        throw SyntaxFailure{status, scanner_.TokenStart()};
    }

private:
    using Node = std::unique_ptr<SyntaxNode>;

    struct Depth {
        explicit Depth(Parser& p) : parser(p) {
            if (++parser.depth_ > kMaxParseDepth) parser.Fail(2);
        }
        ~Depth() { --parser.depth_; }
        Parser& parser;
    };

    // A loop that nests the tree one level per step (postfix increments) counts against the same
    // limit as recursion.
    struct Nesting {
        explicit Nesting(Parser& p) : parser(p) {}
        ~Nesting() { parser.depth_ -= levels; }
        void Deeper() {
            ++levels;
            if (++parser.depth_ > kMaxParseDepth) parser.Fail(2);
        }
        Parser& parser;
        int levels = 0;
    };

    void Advance() {
        value_ = TokenValue{};
        token_ = scanner_.Next(value_);
    }
    void Expect(int token) {
        if (token_ != token) Fail();
        Advance();
    }
    static Node Make(NodeKind kind) { return std::make_unique<SyntaxNode>(kind); }
    static Node Make(NodeKind kind, Node a, Node b = nullptr) {
        Node n = Make(kind);
        n->AddChild(std::move(a));
        if (b) n->AddChild(std::move(b));
        return n;
    }
    static bool IsTypeToken(int t) {
        return t == BOOL || t == CHAR || t == USHORT || t == SHORT || t == INT || t == UNSIGNED ||
               t == LONG || t == FLOAT || t == DOUBLE;
    }
    Node TypeName() {
        NodeKind k;
        switch (token_) {
            case BOOL:
                k = type_bool;
                break;
            case CHAR:
                k = type_char;
                break;
            case USHORT:
                k = type_ushort;
                break;
            case SHORT:
                k = type_short;
                break;
            case INT:
                k = type_int;
                break;
            case UNSIGNED:
                k = type_uint;
                break;
            case LONG:
                k = type_long;
                break;
            case FLOAT:
                k = type_float;
                break;
            case DOUBLE:
                k = type_double;
                break;
            default:
                Fail();
                return nullptr;
        }
        Advance();
        return Make(k);
    }
    // Wraps a selector into a chain: appended when the base already is one.
    static Node Chain(Node base, Node selector) {
        if (base->kind != postfix_chain) base = Make(postfix_chain, std::move(base));
        base->AddChild(std::move(selector));
        return base;
    }

    Node Primary() {
        Node n;
        switch (token_) {
            case IDENTIFIER: {
                std::string name = value_.text;
                Advance();
                if (token_ == '(') {
                    Depth d(*this);
                    Advance();
                    n = Make(call);
                    n->text = name;
                    if (token_ != ')') n->AddFlattened(Expression(), expr_list);
                    Expect(')');
                    return n;
                }
                Node id = Make(identifier);
                id->text = name;
                return Make(postfix_chain, std::move(id));
            }
            case BOOL_CONST:
                n = Make(const_bool);
                n->intValue = value_.i;
                break;
            case CHAR_CONST:
                n = Make(const_char);
                n->intValue = value_.i;
                break;
            case INT_CONST:
                n = Make(const_int);
                n->intValue = value_.i;
                break;
            case FLOAT_CONST:
                n = Make(const_float);
                n->floatValue = value_.d;
                break;
            case STRING_LITERAL:
                n = Make(const_string);
                n->text = value_.text;
                break;
            case '(': {
                Depth d(*this);
                Advance();
                n = Expression();
                Expect(')');
                return n;
            }
            case '{': {
                Depth d(*this);
                Advance();
                n = Make(vector_literal);
                if (token_ != '}') n->AddFlattened(Expression(), expr_list);
                Expect('}');
                return n;
            }
            default:
                Fail();
        }
        Advance();
        return n;
    }

    Node Postfix() {
        Node n = Primary();
        Nesting nesting(*this);
        for (;;) {
            if (token_ == '[') {
                Depth d(*this);
                Advance();
                Node sub = Make(subscript);
                if (token_ != ']') {
                    Node e = Expression();
                    if (e->kind == expr_list || e->kind == vector_literal) {
                        for (auto& c : e->children) sub->AddChild(std::move(c));
                    } else {
                        sub->AddChild(std::move(e));
                    }
                }
                Expect(']');
                n = Chain(std::move(n), std::move(sub));
            } else if (token_ == '.') {
                Advance();
                if (token_ != IDENTIFIER) Fail();
                Node f = Make(field);
                f->text = value_.text;
                Advance();
                n = Chain(std::move(n), std::move(f));
            } else if (token_ == INC_OP) {
                Advance();
                nesting.Deeper();
                n = Make(post_inc, std::move(n));
            } else if (token_ == DEC_OP) {
                Advance();
                nesting.Deeper();
                n = Make(post_dec, std::move(n));
            } else {
                return n;
            }
        }
    }

    // Returns a unary_expression; isUnary tells the assignment rule what it parsed.
    Node Unary() {
        if (token_ == INC_OP || token_ == DEC_OP || token_ == '+' || token_ == '-' || token_ == '~' ||
            token_ == '!' || token_ == SIZEOF)
            return Prefixed();
        return Postfix();
    }

    // A prefix operator and its operand: one level deeper.
    Node Prefixed() {
        Depth d(*this);
        switch (token_) {
            case INC_OP:
                Advance();
                return Make(pre_inc, Unary());
            case DEC_OP:
                Advance();
                return Make(pre_dec, Unary());
            case '+':
                Advance();
                return Make(unary_plus, Cast());
            case '-':
                Advance();
                return Make(unary_minus, Cast());
            case '~':
                Advance();
                return Make(bit_not, Cast());
            case '!':
                Advance();
                return Make(log_not, Cast());
            case SIZEOF: {
                Advance();
                if (token_ == '(' && IsTypeToken(PeekAfterParen())) {
                    Advance();
                    Node t = TypeName();
                    Expect(')');
                    return Make(size_of, std::move(t));
                }
                return Make(size_of, Unary());
            }
            default:
                return Postfix();
        }
    }

    // The token after a "(" that is the current token.
    int PeekAfterParen() const { return scanner_.Peek(); }

    Node Cast(bool* isUnary = nullptr) {
        if (token_ == '(' && IsTypeToken(PeekAfterParen())) {
            Depth d(*this);
            Advance();
            Node t = TypeName();
            Expect(')');
            if (isUnary) *isUnary = false;
            return Make(cast, std::move(t), Cast());
        }
        if (isUnary) *isUnary = true;
        return Unary();
    }

    Node Range(bool* isUnary = nullptr) {
        Node a = Cast(isUnary);
        if (token_ != RANGE_OP) return a;
        if (isUnary) *isUnary = false;
        Advance();
        return Make(range, std::move(a), Cast());
    }

    // The left-associative binary operators, loosest first. A chain of any length is one loop;
    // recursion only climbs to tighter operators (ten levels at most).
    static bool BinaryOperator(int token, int& level, NodeKind& kind) {
        static constexpr struct {
            int token, level;
            NodeKind kind;
        } kOps[] = {{OR_OP, 1, log_or}, {AND_OP, 2, log_and}, {'|', 3, bit_or},   {'^', 4, bit_xor},
                    {'&', 5, bit_and},  {EQ_OP, 6, eq},       {NE_OP, 6, ne},     {'<', 7, lt},
                    {'>', 7, gt},       {LE_OP, 7, le},       {GE_OP, 7, ge},     {LEFT_OP, 8, shl},
                    {RIGHT_OP, 8, shr}, {'+', 9, add},        {'-', 9, subtract}, {'*', 10, mul},
                    {'/', 10, div_},    {'%', 10, mod}};
        for (const auto& op : kOps)
            if (op.token == token) {
                level = op.level;
                kind = op.kind;
                return true;
            }
        return false;
    }

    Node Binary(int minLevel, bool* isUnary) {
        Node a = Range(isUnary);
        int level = 0;
        NodeKind kind{};
        while (BinaryOperator(token_, level, kind) && level >= minLevel) {
            if (isUnary) *isUnary = false;
            Advance();
            a = Make(kind, std::move(a), Binary(level + 1, nullptr));
        }
        return a;
    }

    Node LogOr(bool* u) { return Binary(1, u); }

    Node Conditional(bool* isUnary) {
        Node c = LogOr(isUnary);
        if (token_ != '?') return c;
        Depth d(*this);
        if (isUnary) *isUnary = false;
        Advance();
        Node a = Expression();
        Expect(':');
        Node b = Conditional(nullptr);
        Node n = Make(conditional, std::move(c), std::move(a));
        n->AddChild(std::move(b));
        return n;
    }

    Node Assignment() {
        bool isUnary = false;
        Node target = Conditional(&isUnary);
        static constexpr std::pair<int, NodeKind> kOps[] = {
            {ASSIGN, assign},          {MUL_ASSIGN, mul_assign},   {DIV_ASSIGN, div_assign},
            {MOD_ASSIGN, mod_assign},  {ADD_ASSIGN, add_assign},   {SUB_ASSIGN, subtract_assign},
            {LEFT_ASSIGN, shl_assign}, {RIGHT_ASSIGN, shr_assign}, {AND_ASSIGN, and_assign},
            {XOR_ASSIGN, xor_assign},  {OR_ASSIGN, or_assign}};
        for (auto [tok, kind] : kOps) {
            if (token_ == tok) {
                if (!isUnary) Fail();
                Depth d(*this);
                Advance();
                return Make(kind, std::move(target), Assignment());
            }
        }
        return target;
    }

    // A list of any length is one loop.
    Node Expression() {
        Node a = Assignment();
        if (token_ != ',') return a;
        Node list = Make(expr_list);
        list->AddFlattened(std::move(a), expr_list);
        while (token_ == ',') {
            Advance();
            list->AddFlattened(Assignment(), expr_list);
        }
        return list;
    }

    Scanner scanner_;
    std::string& messages_;
    TokenValue value_;
    int token_ = 0;
    int depth_ = 0;
};

}  // namespace

ParseResult ParseLine(const std::string& text, std::string& messages) {
    ParseResult r;
    try {
        Parser p(text, messages);
        r.root = p.Input();
    } catch (const SyntaxFailure& f) {
        r.status = f.status;
        r.errorOffset = f.offset;
        r.root.reset();
    } catch (const std::bad_alloc&) {
        // Counts as one error of the parse: the line is not evaluated.
        messages += "\n";
        messages += msg::kNodeAllocation;
        r.status = -1;
        r.root.reset();
    }
    return r;
}

}  // namespace zun::script
