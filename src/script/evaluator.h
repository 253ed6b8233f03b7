#pragma once

#include "script/scriptdocument.h"
#include "script/syntax.h"
#include "script/value.h"

namespace zun::script {

// Walks a syntax tree and computes a value for every node; failures are thrown as ScriptError.
class Evaluator {
public:
    Evaluator(ScriptDocument* document, ValuePool& pool) : document_(document), pool_(pool) {}

    Value* Evaluate(SyntaxNode* node);
    // Applies pending post-increments, frees what the node owns and releases its children.
    void Release(SyntaxNode* node);

    static constexpr double kBytesPerElement = script::kBytesPerElement;

private:
    Value* EvaluateChain(SyntaxNode* node);
    // An assignment of arithmetic on whole channels in one pass; null when it does not apply
    // (then nothing was changed and the node is evaluated as usual).
    Value* FusedAssignment(SyntaxNode* node);
    // Applies the node to its children's values and releases what it no longer needs.
    Value* Finish(SyntaxNode* node, const ValueList& kids);
    // The operands the node applies to, with ranges it reads element by element as runs.
    ValueList RunOperands(SyntaxNode* node, const ValueList& kids);
    Value* Apply(SyntaxNode* node, const ValueList& kids);
    Value* Constant(SyntaxNode* node);
    Value* UnaryNode(NodeKind kind, Value& a);
    Value* Identifier(SyntaxNode* node);
    Value* Range(Value& a, Value& b);
    Value* List(const ValueList& kids);
    Value* Arithmetic(NodeKind kind, Value& a, Value& b);
    Value* Compare(NodeKind kind, Value& a, Value& b);
    Value* Conditional(Value& t, Value& a, Value& b);
    Value* Assignment(NodeKind kind, Value& a, Value& b);
    void MarkModified(Value& v);

    ScriptDocument* document_;
    ValuePool& pool_;
};

}  // namespace zun::script
