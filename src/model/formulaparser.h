#pragma once
// The chemical-formula scanner and grammar. Each parse keeps its state in its own objects, so
// formulas may be parsed on several threads at once.
//
// Grammar: formula -> list; list -> item | item list; item -> atom | atom INTEGER | atom FLOAT;
// atom -> ELEMENT | "(" list ")".

#include <memory>
#include <string>
#include <vector>

namespace zun {

class Compound;

// One node of the parse tree: 0 element leaf, 1 counted item, 2 list (flat, children in formula
// order).
struct FormulaNode {
    enum Type : int { kElement = 0, kCounted = 1, kList = 2 };
    int type = kElement;
    std::vector<std::unique_ptr<FormulaNode>> children;
    std::string symbol;  // type 0
    double count = 0.0;  // type 1
};

using FormulaNodePtr = std::unique_ptr<FormulaNode>;

// Tree building. Errors (type not handled, memory) are reported to the target compound of the
// parse, when one is given, and yield null.
FormulaNodePtr make_node(int type, FormulaNodePtr a, FormulaNodePtr b, double count, Compound* target);
FormulaNodePtr make_leaf(const std::string& symbol, Compound* target);
void add_child_node(FormulaNode& parent, FormulaNodePtr child);
FormulaNodePtr remove_child_node(FormulaNode& parent, Compound* target);

// Parses text into target: 0 success, 1 syntax error, 2 nesting beyond the parser's limit,
// negative: minus the number of memory errors. Messages go through target->ReportParseError.
int parse_formula(const char* text, Compound* target);

}  // namespace zun
