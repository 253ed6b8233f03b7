#include "script/evaluator.h"

#include <algorithm>
#include <iterator>

#include "script/builtins.h"
#include "script/kernels.h"
#include "script/messages.h"
#include "script/scalar.h"
#include "script/shaped.h"
#include "script/vector.h"

namespace zun::script {

namespace {

bool IsAssignment(NodeKind k) {
    return k >= assign && k <= or_assign;
}

}  // namespace

namespace {

// A binary operator of the left-associative kind: "1 + 2 + ... + n" nests one such node per term
// down the left side.
bool IsChainLink(const SyntaxNode* node) {
    return node->kind >= mul && node->kind <= log_or && node->ChildCount() == 2;
}

}  // namespace

Value* Evaluator::Evaluate(SyntaxNode* node) {
    if (IsChainLink(node)) return EvaluateChain(node);
    if (IsAssignment(node->kind) && pool_.fast)
        if (Value* r = FusedAssignment(node)) return r;
    ValueList kids;
    kids.reserve(node->children.size());
    for (auto& child : node->children) kids.push_back(Evaluate(child.get()));
    return Finish(node, kids);
}

// The left spine of a chain in a loop (its length is the user's: a pasted sum of thousands of
// terms), in the order the recursion would take: the leftmost operand, then each right operand
// and its operator.
Value* Evaluator::EvaluateChain(SyntaxNode* node) {
    std::vector<SyntaxNode*> spine;
    for (SyntaxNode* n = node; IsChainLink(n); n = n->Child(0)) spine.push_back(n);
    Value* left = Evaluate(spine.back()->Child(0));
    ValueList kids(2);
    for (auto it = spine.rbegin(); it != spine.rend(); ++it) {
        kids[0] = left;
        kids[1] = Evaluate((*it)->Child(1));
        left = Finish(*it, kids);
    }
    return left;
}

namespace {

// Whether the node reads its operand `child` element by element; a range there is then better
// read as runs of numbers. Totals keep a range as it is (they are worked out without its elements);
// casts and the operators that start with a cast make their numbers themselves; selections and
// lists keep their operands, which they read as they stand; an unknown function reads nothing.
bool ReadsElements(const SyntaxNode* node, int child, Value& operand) {
    const NodeKind kind = node->kind;
    if (kind == call) {
        const std::string& f = node->text;
        if (f == "maxt" || f == "mint" || f == "sumt")
            return dynamic_cast<VectorJoined*>(&operand) != nullptr;
        return f == "rand" || f == "max" || f == "min" || f == "sum" || f == "grav" || f == "shake" ||
               f == "resamp";
    }
    if (kind >= assign && kind <= or_assign) return child == 1;
    return kind == size_of || (kind >= mul && kind <= conditional);
}

}  // namespace

// Ranges and lists with ranges among their parts make their elements one value object at a time
// as they are read: an operator over millions of them took seconds. As runs of ints they take the
// bulk kernels like any block and answer the type and size checks from their shape, with nothing
// made per element: the checks come before any memory is taken and the operation costs its result.
ValueList Evaluator::RunOperands(SyntaxNode* node, const ValueList& kids) {
    ValueList operands = kids;
    for (size_t i = 0; i < kids.size(); ++i) {
        Value* kid = kids[i];
        if (!dynamic_cast<VectorRange*>(kid) && !dynamic_cast<VectorJoined*>(kid)) continue;
        if (!ReadsElements(node, static_cast<int>(i), *kid)) continue;
        if (Value* runs = RunVector::Of(&pool_, *kid)) operands[i] = runs;
    }
    return operands;
}

Value* Evaluator::Finish(SyntaxNode* node, const ValueList& kids) {
    node->settled = false;
    Value* r = Apply(node, RunOperands(node, kids));
    node->result = r;
    if (!r->IsOwned()) r->owner = node;
    switch (node->kind) {
        case vector_literal:
        case expr_list:
        case subscript:
        case post_inc:
        case post_dec:
            break;
        case postfix_chain:
            for (int i = 1; i < node->ChildCount(); ++i) Release(node->Child(i));
            break;
        default:
            if (IsAssignment(node->kind)) {
                Release(node->Child(1));
            } else {
                for (auto& child : node->children) Release(child.get());
                // Nothing below holds a value now: releasing this node again stops here.
                node->settled = true;
            }
    }
    return r;
}

namespace {

// A leaf whose evaluation changes nothing and whose value is read element by element: a number,
// or a channel with field selections.
bool IsPlainLeaf(const SyntaxNode* node) {
    if (node->kind == const_int || node->kind == const_float || node->kind == const_char) return true;
    if (node->kind != postfix_chain || node->ChildCount() < 1 || node->Child(0)->kind != identifier)
        return false;
    for (int i = 1; i < node->ChildCount(); ++i)
        if (node->Child(i)->kind != field) return false;
    return true;
}

bool IsFusedOperator(NodeKind kind) {
    return kind == mul || kind == div_ || kind == add || kind == subtract;
}

// The built-ins that act element by element and can be taken a chunk at a time.
kernels::FusedCall FusedCallOf(const SyntaxNode* node) {
    if (node->kind != call) return kernels::FusedCall::None;
    const int n = node->ChildCount();
    if (node->text == "rand" && (n == 1 || n == 2)) return kernels::FusedCall::Rand;
    if (n < 1) return kernels::FusedCall::None;
    if (node->text == "max") return kernels::FusedCall::Max;
    if (node->text == "min") return kernels::FusedCall::Min;
    if (node->text == "sum") return kernels::FusedCall::Sum;
    return kernels::FusedCall::None;
}

// The postfix program of an arithmetic tree over plain leaves, the leaves in evaluation order;
// false for any other tree (or one too large to keep its operands in the cache).
bool FusedProgram(SyntaxNode* node, std::vector<kernels::FusedStep>& program,
                  std::vector<SyntaxNode*>& leaves) {
    constexpr size_t kMaxLeaves = 8;
    if (IsPlainLeaf(node)) {
        if (leaves.size() == kMaxLeaves) return false;
        program.push_back({static_cast<int>(leaves.size()), BinOp::Add});
        leaves.push_back(node);
        return true;
    }
    if (const kernels::FusedCall c = FusedCallOf(node); c != kernels::FusedCall::None) {
        for (auto& arg : node->children)
            if (!FusedProgram(arg.get(), program, leaves)) return false;
        kernels::FusedStep step;
        step.call = c;
        step.args = node->ChildCount();
        program.push_back(step);
        return true;
    }
    if (!IsFusedOperator(node->kind) || node->ChildCount() != 2) return false;
    if (!FusedProgram(node->Child(0), program, leaves) || !FusedProgram(node->Child(1), program, leaves))
        return false;
    static constexpr std::pair<NodeKind, BinOp> kOps[] = {
        {mul, BinOp::Mul}, {div_, BinOp::Div}, {add, BinOp::Add}, {subtract, BinOp::Sub}};
    for (auto [k, op] : kOps)
        if (k == node->kind) program.push_back({-1, op});
    return true;
}

}  // namespace

// Each operator would make a whole-volume temporary of its result type (8 bytes a voxel for a
// channel times a decimal number); here the chunks of the leaves go through the whole expression
// while they are in the cache. The checks the operators would make are the kernel's conditions:
// whatever fails them, or fails while the leaves are looked up, goes the usual way and fails
// there with the usual message.
Value* Evaluator::FusedAssignment(SyntaxNode* node) {
    static constexpr std::pair<NodeKind, AsgOp> kKinds[] = {{assign, AsgOp::Assign},
                                                            {mul_assign, AsgOp::Mul},
                                                            {div_assign, AsgOp::Div},
                                                            {add_assign, AsgOp::Add},
                                                            {subtract_assign, AsgOp::Sub}};
    const auto* kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                                    [&](const auto& k) { return k.first == node->kind; });
    if (kind == std::end(kKinds)) return nullptr;
    if (node->ChildCount() != 2 || !IsPlainLeaf(node->Child(0))) return nullptr;
    std::vector<kernels::FusedStep> program;
    std::vector<SyntaxNode*> leafNodes;
    SyntaxNode* right = node->Child(1);
    if ((!IsFusedOperator(right->kind) && FusedCallOf(right) == kernels::FusedCall::None) ||
        !FusedProgram(right, program, leafNodes))
        return nullptr;
    Value* target = nullptr;
    ValueList leaves;
    try {
        target = Evaluate(node->Child(0));
        for (SyntaxNode* leaf : leafNodes) leaves.push_back(Evaluate(leaf));
    } catch (const ScriptError&) {
        return nullptr;
    }
    if (!target->IsWritable() || !kernels::Fused(*target, program, leaves, kind->second)) return nullptr;
    MarkModified(*target);
    node->settled = false;
    node->result = target;
    if (!target->IsOwned()) target->owner = node;
    Release(right);
    return target;
}

void Evaluator::Release(SyntaxNode* node) {
    if (!node) return;
    if (node->result && (node->kind == post_inc || node->kind == post_dec)) {
        Value* operand = node->Child(0)->result;
        if (operand) {
            if (node->kind == post_inc) {
                operand->PostIncrement(true);
            } else {
                operand->PostDecrement(true);
            }
            MarkModified(*operand);
        }
    }
    if (node->result && node->result->owner == node) node->result->Discard();
    node->result = nullptr;
    if (node->settled) return;
    for (auto& child : node->children) Release(child.get());
}

void Evaluator::MarkModified(Value& v) {
    if (document_ && v.IsDocumentData()) document_->SetModified();
}

Value* Evaluator::Identifier(SyntaxNode* node) {
    ChannelData data;
    if (!document_ || !document_->FindChannel(node->text, data)) RaiseNaming(msg::kNoVariable, node->text);
    return ChannelView::Create(&pool_, data);
}

Value* Evaluator::Range(Value& a, Value& b) {
    Check(a.IsIntegral() && a.IsScalar() && b.IsIntegral() && b.IsScalar(), msg::kRangeLimits);
    return pool_.Make<VectorRange>(a.GetInt(), b.GetInt());
}

Value* Evaluator::List(const ValueList& kids) {
    bool anyRange = false;
    for (Value* v : kids) anyRange = anyRange || v->IsRange();
    if (!anyRange) return pool_.Make<VectorStatic>(kids);
    std::vector<bool> isRange;
    for (Value* v : kids) isRange.push_back(v->IsRange());
    return pool_.Make<VectorJoined>(kids, std::move(isRange));
}

Value* Evaluator::Arithmetic(NodeKind kind, Value& a, Value& b) {
    const bool integral =
        kind == mod || kind == shl || kind == shr || kind == bit_and || kind == bit_xor || kind == bit_or;
    if (integral) {
        Check(a.IsCompatible(b), msg::kIntegralTypes);
        Check(a.IsIntegral() && b.IsIntegral(), msg::kIntegralArgs);
    } else {
        Check(a.IsCompatible(b), msg::kArithTypes);
        Check(a.IsNumeric() && b.IsNumeric(), msg::kArithNumeric);
    }
    Value& maker = a.IsVector() ? a : b;
    Value& other = &maker == &a ? b : a;
    Value* r = maker.NewResultFor(other);
    static constexpr std::pair<NodeKind, BinOp> kOps[] = {
        {mul, BinOp::Mul},        {div_, BinOp::Div},    {add, BinOp::Add}, {subtract, BinOp::Sub},
        {mod, BinOp::Mod},        {shl, BinOp::Shl},     {shr, BinOp::Shr}, {bit_and, BinOp::BitAnd},
        {bit_xor, BinOp::BitXor}, {bit_or, BinOp::BitOr}};
    for (auto [k, op] : kOps)
        if (k == kind) return r->Binary(op, a, b);
    return r;
}

Value* Evaluator::Compare(NodeKind kind, Value& a, Value& b) {
    BinOp op;
    switch (kind) {
        case lt:
            op = BinOp::Less;
            break;
        case gt:
            op = BinOp::Greater;
            break;
        case le:
            op = BinOp::LessEqual;
            break;
        case ge:
            op = BinOp::GreaterEqual;
            break;
        case eq:
            op = BinOp::Equal;
            break;
        case ne:
            op = BinOp::NotEqual;
            break;
        case log_and:
            op = BinOp::LogicalAnd;
            break;
        default:
            op = BinOp::LogicalOr;
            break;
    }
    if (kind == eq || kind == ne) {
        Check(a.IsCompatible(b), msg::kEqArgs);
    } else if (kind == log_and || kind == log_or) {
        Check(a.IsCompatible(b), msg::kLogTypes);
        Check(a.IsBoolOrIntegral() && b.IsBoolOrIntegral(), msg::kLogArgs);
    } else {
        Check(a.IsCompatible(b), msg::kRelTypes);
        Check(a.IsNumericOrString() && b.IsNumericOrString(), msg::kRelArgs);
    }
    Value& maker = a.IsVector() ? a : b;
    return maker.NewScalar(kBool)->Binary(op, a, b);
}

Value* Evaluator::Conditional(Value& t, Value& a, Value& b) {
    Check(t.IsBoolOrIntegral(), msg::kCondTest);
    Check(a.IsCompatible(b), msg::kCondTypes);
    Check(t.HasCompatibleSize(a) && t.HasCompatibleSize(b) && a.HasCompatibleSize(b), msg::kCondSizes);
    Value* r;
    if (a.IsVector()) {
        r = a.NewResultFor(b);
    } else if (b.IsVector()) {
        r = b.NewResultFor(a);
    } else {
        r = t.NewScalar(a.PromotedType(b));
    }
    return r->Conditional(t, a, b);
}

Value* Evaluator::Assignment(NodeKind kind, Value& a, Value& b) {
    Check(a.IsWritable(), msg::kCannotAssign);
    Check(a.IsCompatible(b), msg::kAssignTypes);
    Check(!(a.IsScalar() && b.IsVector()), msg::kAssignVector);
    static constexpr AsgOp kOps[] = {AsgOp::Assign, AsgOp::Mul, AsgOp::Div, AsgOp::Mod,
                                     AsgOp::Add,    AsgOp::Sub, AsgOp::Shl, AsgOp::Shr,
                                     AsgOp::And,    AsgOp::Xor, AsgOp::Or};
    const AsgOp op = kOps[kind - assign];
    switch (op) {
        case AsgOp::Assign:
            break;
        case AsgOp::Mul:
        case AsgOp::Div:
        case AsgOp::Sub:
            Check(a.IsNumeric() && b.IsNumeric(), msg::kAssignNumeric);
            break;
        case AsgOp::Add:
            Check(a.IsNumericOrString() && b.IsNumericOrString(), msg::kAddAssignArgs);
            break;
        default:
            Check(a.IsIntegral() && b.IsIntegral(), msg::kAssignIntegral);
            break;
    }
    // A failure part-way leaves the elements before it changed, so the flag is set either way.
    try {
        a.AssignWith(op, b);
    } catch (...) {
        MarkModified(a);
        throw;
    }
    MarkModified(a);
    return &a;
}

Value* Evaluator::Constant(SyntaxNode* node) {
    const NodeKind kind = node->kind;
    if (kind <= type_double) {
        static constexpr int kTypes[] = {kBool, kChar, kUShort, kShort, kUInt, kInt, kLong, kFloat, kDouble};
        return pool_.Make<ScalarRO>(kTypes[kind]);
    }
    switch (kind) {
        case const_bool: {
            Value* v = pool_.Make<ScalarRO>(kBool);
            v->PutBool(node->intValue != 0);
            return v;
        }
        case const_char: {
            Value* v = pool_.Make<ScalarRO>(kChar);
            v->PutChar(static_cast<int8_t>(node->intValue));
            return v;
        }
        case const_int: {
            Value* v = pool_.Make<ScalarRO>(kInt);
            v->PutInt(node->intValue);
            return v;
        }
        case const_float: {
            Value* v = pool_.Make<ScalarRO>(kDouble);
            v->PutDouble(node->floatValue);
            return v;
        }
        default: {
            Value* v = pool_.Make<ScalarRO>(kString);
            v->PutString(node->text.c_str());
            return v;
        }
    }
}

Value* Evaluator::UnaryNode(NodeKind kind, Value& a) {
    switch (kind) {
        case post_inc:
        case post_dec:
        case pre_inc:
        case pre_dec:
            Check(a.IsWritable(), msg::kCannotAssign);
            Check(a.IsNumeric(), msg::kIncNumeric);
            if (kind == pre_inc || kind == pre_dec) {
                if (kind == pre_inc) {
                    a.PreIncrement();
                } else {
                    a.PreDecrement();
                }
                MarkModified(a);
            }
            return a.Cast(0);
        case unary_plus:
        case unary_minus: {
            Check(a.IsNumeric(), msg::kUnaryPlusMinus);
            Value* c = a.Cast(0);
            return kind == unary_plus ? c->UnaryPlus() : c->Negate();
        }
        case bit_not:
            Check(a.IsIntegral(), msg::kUnaryBitNot);
            return a.Cast(0)->BitNot();
        case log_not:
            Check(a.IsBoolOrIntegral(), msg::kUnaryLogNot);
            return a.Cast(kBool)->LogicalNot();
        default:
            return a.SizeOf();
    }
}

Value* Evaluator::Apply(SyntaxNode* node, const ValueList& kids) {
    const NodeKind kind = node->kind;
    if (kind <= const_string || kind == field) return Constant(node);
    if (kind >= post_inc && kind <= size_of) return UnaryNode(kind, *kids[0]);
    if ((kind >= mul && kind <= shr) || (kind >= bit_and && kind <= bit_or))
        return Arithmetic(kind, *kids[0], *kids[1]);
    switch (kind) {
        case identifier:
            return Identifier(node);
        case range:
            return Range(*kids[0], *kids[1]);
        case subscript: {
            for (Value* v : kids) Check(v->IsIntegral(), msg::kSubscriptIntegral);
            Value* v = pool_.Make<VectorStatic>(kids);
            v->owner = node;
            return v;
        }
        case postfix_chain:
            return kids[0]->ApplySelectors(kids, 1);
        case call:
            return BuiltinCall(node->text, kids, pool_);
        case vector_literal:
        case expr_list:
            return List(kids);
        case cast:
            Check(kids[0]->IsAssignableFrom(*kids[1]), msg::kCastTypes);
            return kids[1]->CastLike(*kids[0]);
        case lt:
        case gt:
        case le:
        case ge:
        case eq:
        case ne:
        case log_and:
        case log_or:
            return Compare(kind, *kids[0], *kids[1]);
        case conditional:
            return Conditional(*kids[0], *kids[1], *kids[2]);
        default:
            return Assignment(kind, *kids[0], *kids[1]);
    }
}

}  // namespace zun::script
