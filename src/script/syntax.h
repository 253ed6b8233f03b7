#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zun::script {

class Value;

enum NodeKind : int {
    type_bool,
    type_char,
    type_ushort,
    type_short,
    type_uint,
    type_int,
    type_long,
    type_float,
    type_double,
    const_bool,
    const_char,
    const_int,
    const_float,
    const_string,
    vector_literal,
    expr_list,
    identifier,
    range,
    subscript,
    field,
    postfix_chain,
    call,
    post_inc,
    post_dec,
    pre_inc,
    pre_dec,
    unary_plus,
    unary_minus,
    bit_not,
    log_not,
    size_of,
    cast,
    mul,
    div_,
    mod,
    add,
    subtract,
    shl,
    shr,
    lt,
    gt,
    le,
    ge,
    eq,
    ne,
    bit_and,
    bit_xor,
    bit_or,
    log_and,
    log_or,
    conditional,
    assign,
    mul_assign,
    div_assign,
    mod_assign,
    add_assign,
    subtract_assign,
    shl_assign,
    shr_assign,
    and_assign,
    xor_assign,
    or_assign,
};

// One node of the syntax tree. It also keeps the value computed for it while a line is evaluated.
class SyntaxNode {
public:
    explicit SyntaxNode(NodeKind k) : kind(k) {}
    // Frees the subtree without recursion: a chain of thousands of terms is that deep.
    ~SyntaxNode();
    SyntaxNode(const SyntaxNode&) = delete;
    SyntaxNode& operator=(const SyntaxNode&) = delete;

    void AddChild(std::unique_ptr<SyntaxNode> child);
    // Adds the child, or the child's own children when it is a list of the given kind.
    void AddFlattened(std::unique_ptr<SyntaxNode> child, NodeKind listKind);
    int ChildCount() const { return static_cast<int>(children.size()); }
    SyntaxNode* Child(int i) const { return children[static_cast<size_t>(i)].get(); }

    NodeKind kind;
    std::vector<std::unique_ptr<SyntaxNode>> children;
    Value* result = nullptr;
    bool settled = false;  // evaluated, and no node below holds a value any more
    int32_t intValue = 0;
    double floatValue = 0.0;
    std::string text;
};

const char* NodeKindName(NodeKind kind);

// Lisp-like dump of a tree, for tests and diagnostics: "(add (chain (id a)) (int 1))".
std::string DumpTree(const SyntaxNode* node);

struct ParseResult {
    int status = 0;  // 0 accepted, 1 syntax error, 2 nesting too deep
    // Byte offset of the token the grammar could not take (status 1).
    size_t errorOffset = 0;
    std::unique_ptr<SyntaxNode> root;
};

// Parses one line; scanner and parser messages are appended to messages, each on a new line.
ParseResult ParseLine(const std::string& text, std::string& messages);

// Deepest nesting (parentheses, braces, brackets, calls, prefix operators, casts, conditional and
// assignment right sides, postfix increments) the parser accepts before it reports "memory
// exhausted". Lists and chains of binary operators do not nest and have no limit.
inline constexpr int kMaxParseDepth = 1000;

}  // namespace zun::script
