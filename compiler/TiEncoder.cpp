// TiEncoder: the kept unit bodies, and the encoding of Structured Text
// statements and expressions into emitter instructions (two passes per
// unit, temporaries, typed operations, calls, loops and branches).
#include "compiler/TiEncoder.h"

#include "base/IEC_CONSTANT.h"
#include "compiler/ErrMess.h"
#include "compiler/Library.h"
#include "compiler/SymAttr.h"
#include "compiler/SymTab.h"
#include "compiler/SymTabSet.h"
#include "compiler/TiDB.h"
#include "compiler/TiEmitter.h"
#include "compiler/TiNode.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <string>
#include <vector>

using namespace tienc;

namespace {

bool SameName(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) {
        return false;
    }
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::toupper(static_cast<unsigned char>(*a)) !=
            std::toupper(static_cast<unsigned char>(*b))) {
            return false;
        }
    }
    return *a == *b;
}

// Type ids of the elementary types the encoder distinguishes.
constexpr short T_BOOL = -1;
constexpr short T_BYTE = -2;
constexpr short T_WORD = -3;
constexpr short T_DWORD = -4;
constexpr short T_SINT = -10;
constexpr short T_INT = -11;
constexpr short T_DINT = -12;
constexpr short T_USINT = -14;
constexpr short T_UINT = -15;
constexpr short T_UDINT = -16;
constexpr short T_REAL = -18;
constexpr short T_TIME = -20;
constexpr short T_DATE = -21;
constexpr short T_TOD = -22;

enum class Cat { Bool, Signed, Unsigned, Bits, Real, Other, None };

/// How operations treat a type: by its elementary id. LINT, ULINT, LWORD,
/// LREAL and DATE_AND_TIME have no instructions of their own (Other); user
/// types that are no elementary, enumeration or subrange are None.
Cat CatOf(short id) {
    switch (id) {
    case T_BOOL:
        return Cat::Bool;
    case T_SINT:
    case T_INT:
    case T_DINT:
        return Cat::Signed;
    case T_USINT:
    case T_UINT:
    case T_UDINT:
    case T_TIME:
    case T_DATE:
    case T_TOD:
        return Cat::Unsigned;
    case T_BYTE:
    case T_WORD:
    case T_DWORD:
        return Cat::Bits;
    case T_REAL:
        return Cat::Real;
    case -5:
    case -13:
    case -17:
    case -19:
    case -23:
        return Cat::Other;
    default:
        return Cat::None;
    }
}

bool IsInteger(short id) {
    Cat c = CatOf(id);
    return c == Cat::Signed || c == Cat::Unsigned || c == Cat::Bits || id == -13 || id == -17 ||
           id == -5;
}

std::string TypeName(short id) {
    char buf[tree::kTypeIdNameSize];
    return TypeIdName(id, buf, sizeof buf);
}

/// The elementary type that decides how a data type is operated on:
/// enumerations as UINT, subranges as their base, aliases as what they name;
/// 0 for structures, arrays and anything else.
short EffectiveType(const SymAttr* t, int depth = 0) {
    if (t == nullptr || depth > 64) {
        return 0;
    }
    if (t->IsArray()) {
        return 0;
    }
    const SymAttr* e = t->GetElemType(0);
    if (e == nullptr) {
        return 0;
    }
    if (e->GetID() < 0) {
        return e->GetID();
    }
    if (e->IsEnum()) {
        return T_UINT;
    }
    if (e->IsSubrange()) {
        return EffectiveType(e->IsDerivedFrom(), depth + 1);
    }
    return 0;
}

struct ConvEntry {
    short from;
    short to;
    int32_t code;
};

const ConvEntry kConversions[] = {
    {T_INT, T_DINT, opc::INT_TO_DINT},   {T_INT, T_REAL, opc::INT_TO_REAL},
    {T_UINT, T_DINT, opc::UINT_TO_DINT}, {T_UINT, T_REAL, opc::UINT_TO_REAL},
    {T_DINT, T_REAL, opc::DINT_TO_REAL}, {T_UDINT, T_REAL, opc::UDINT_TO_REAL},
    {T_REAL, T_INT, opc::REAL_TO_INT},   {T_REAL, T_UINT, opc::REAL_TO_UINT},
    {T_REAL, T_DINT, opc::REAL_TO_DINT}, {T_REAL, T_UDINT, opc::REAL_TO_UDINT},
};

const char* UnitWord(unsigned char unitType) {
    switch (unitType) {
    case 1:
        return "FUNCTION";
    case 2:
        return "FUNCTION_BLOCK";
    case 4:
        return "PROGRAM";
    default:
        return "UNIT";
    }
}

} // namespace

// ================================================================ bodies

TiUnitBodies::~TiUnitBodies() {
    Clear();
}

void TiUnitBodies::Clear() {
    for (TiNode* t : trees) {
        delete t;
    }
    trees.clear();
    entries.clear();
}

namespace {

/// Calls f(unit, body) for every LABEL of a compilation's chain.
template <typename F> void ForEachUnit(const TiNode* tree, F f) {
    int steps = 0;
    for (const TiNode* p = tree; p != nullptr && steps < 1000000; ++steps) {
        if (p->kind == tree::LABEL) {
            f(p->Sym(1), p->Child(2));
            break;
        }
        if (p->kind != tree::STATEM_LIST) {
            break;
        }
        for (int i = 1; i <= 2; ++i) {
            const TiNode* c = p->Child(i);
            if (c != nullptr && c->kind == tree::LABEL) {
                f(c->Sym(1), c->Child(2));
            }
        }
        p = p->Child(3);
    }
}

} // namespace

void TiUnitBodies::Forget(const SymAttr* unit) {
    if (unit == nullptr) {
        return;
    }
    for (size_t i = 0; i < entries.size();) {
        if (entries[i].unit == unit || SameName(entries[i].unit->GetName(), unit->GetName())) {
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

void TiUnitBodies::ForgetUnitsOf(const TiNode* tree) {
    // A unit declared again gets a new scope table; any kept body, not only
    // its own, may name records of the old one (a call with its formal
    // parameters): none of them is safe to encode any more.
    bool again = false;
    ForEachUnit(tree, [&](SymAttr* unit, TiNode*) {
        TiNode* body = nullptr;
        again = again || Find(unit, &body);
    });
    if (again) {
        Clear();
    }
}

bool TiUnitBodies::Adopt(TiNode* tree) {
    if (tree == nullptr) {
        return true;
    }
    ForgetUnitsOf(tree);
    bool ok = true;
    ForEachUnit(tree, [&](SymAttr* unit, TiNode* body) {
        if (unit == nullptr || !ok) {
            return;
        }
        Entry e{unit, body};
        try {
            entries.push_back(e);
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    });
    if (ok) {
        try {
            trees.push_back(tree);
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    if (!ok) {
        ForgetUnitsOf(tree);
        delete tree;
    }
    return ok;
}

bool TiUnitBodies::Find(const SymAttr* unit, TiNode** body) const {
    if (unit == nullptr) {
        return false;
    }
    // The latest entry of the unit wins; by record first, then by name.
    for (size_t i = entries.size(); i-- > 0;) {
        if (entries[i].unit == unit) {
            *body = entries[i].body;
            return true;
        }
    }
    for (size_t i = entries.size(); i-- > 0;) {
        if (SameName(entries[i].unit->GetName(), unit->GetName())) {
            *body = entries[i].body;
            return true;
        }
    }
    return false;
}

// ================================================================ encoder

namespace {

/// A value an instruction can use: an operand with its type and size.
struct Value {
    TiExprOperand o;
    short type = 0;       ///< elementary id deciding the operations (0: none)
    uint32_t size = 0;    ///< bytes
    bool isConst = false; ///< a constant, typed by the context
    bool isTemp = false;  ///< a temporary of the statement
    bool dynamic = false; ///< addressed with ADRADD by `addr` before use
    TiExprOperand addr;   ///< the byte offset of a dynamic operand
    bool ok = false;
};

} // namespace

class TiEncoder::Impl : public TiEmitLookup {
public:
    Impl(SymTabSet* s, Library* l, TiDB* d, ErrMess* m) : set(s), library(l), db(d), sink(m) {}

    // TiEmitLookup.
    SymAttr* FindUnitFBType(Library* lib, const char* name) override {
        if (lib != nullptr) {
            if (SymAttr* u = lib->FindUnit(name)) {
                return u;
            }
        }
        for (const auto& r : ops) {
            if (SameName(r->GetName(), name)) {
                return r.get();
            }
        }
        return nullptr;
    }
    SymAttr* FindDatabaseFBType(TiDB* d, const char* name) override {
        return d != nullptr ? d->GetFBTemplate(name) : nullptr;
    }

    /// Encodes one unit with `em`; pass 2 (`reporting`) reports and uses
    /// the label numbers learnt in pass 1.
    void Run(TiEmitter& e, SymAttr* unit, TiNode* body, bool reporting) {
        em = &e;
        report = reporting;
        failed = false;
        nextLabel = 0;
        loopEnds.clear();
        tempCount = 0;
        tempFloor = 0;
        depth = 0;
        constants.clear();
        names.clear();
        if (!report) {
            labels.clear();
        }
        currentUnit = unit;
        em->SetUnit(unit);
        Statements(body);
        Ok(em->EmitPlain(opc::RET));
    }

    bool failed = false;

private:
    // ------------------------------------------------------------ basics

    bool Ok(short rc) {
        if (rc != 0) {
            failed = true;
        }
        return rc == 0;
    }

    void Fail(int32_t location, const TiNode* n, int line) {
        failed = true;
        if (report && sink != nullptr) {
            sink->Report(errmess::SEV_INTERNAL, errmess::MSG_INTERNAL, n != nullptr ? n->line : 0,
                         n != nullptr ? n->column : 0, {location, kModule, line, kRevision});
        }
    }

    Value Bad(int32_t location, const TiNode* n, int line) {
        Fail(location, n, line);
        return Value{};
    }

    uint32_t SizeOf(short id) const {
        if (id < 0 && set != nullptr) {
            if (SymAttr* t = set->GetDType(id)) {
                return t->GetMemsize(0);
            }
        }
        return 0;
    }

    const char* Keep(const std::string& s) {
        names.push_back(s);
        return names.back().c_str();
    }

    Value Temp(short type, uint32_t size) {
        ++tempCount;
        Value v;
        v.o = TiExprOperand::PoolVariable(Keep("$T" + std::to_string(tempCount)), size);
        v.type = type;
        v.size = size;
        v.isTemp = true;
        v.ok = true;
        return v;
    }

    Value Constant(IEC_CONSTANT* c, short type) {
        Value v;
        v.o = TiExprOperand::Constant(c, type);
        v.type = type;
        v.size = type < 0 ? SizeOf(type) : 4;
        v.isConst = true;
        v.ok = true;
        return v;
    }

    Value IntConstant(int32_t n, short type) {
        constants.emplace_back(n);
        return Constant(&constants.back(), type);
    }

    /// A constant takes the type of the other operand when its kind fits.
    void Adapt(Value& c, short type, uint32_t size) {
        if (!c.isConst || type == 0 || c.type == type) {
            return;
        }
        IEC_CONSTANT* k = c.o.constant;
        bool integral = k != nullptr && k->IsInteger();
        bool real = k != nullptr && (k->flags & iec::CONST_REAL) != 0;
        bool fits = (integral && (IsInteger(type) || CatOf(type) == Cat::Real || type == T_TIME)) ||
                    (real && (type == T_REAL || type == -19));
        if (c.o.kind == opc::OPD_IMMEDIATE) {
            fits = IsInteger(type) && size == c.size;
        }
        if (fits) {
            if (c.o.kind == opc::OPD_CONSTANT) {
                c.o.typeId = type;
            }
            c.type = type;
            c.size = size;
        }
    }

    // ------------------------------------------------------------ labels

    int NewLabel() { return nextLabel++; }

    int32_t Target(int id) const {
        return report && id >= 0 && static_cast<size_t>(id) < labels.size() ? labels[id] : 0;
    }

    void PlaceLabel(int id) {
        int32_t n = 0;
        Ok(em->EmitPlain(opc::LABEL, &n));
        if (!report && id >= 0) {
            if (labels.size() <= static_cast<size_t>(id)) {
                labels.resize(static_cast<size_t>(id) + 1, 0);
            }
            labels[static_cast<size_t>(id)] = n;
        }
    }

    void Branch(int id) { Ok(em->EmitBranch(Target(id))); }

    void CondBranch(int32_t code, Value& cond, int id) {
        if (cond.dynamic) {
            AdrAdd(cond);
        }
        Ok(em->EmitCondBranch(code, &cond.o, Target(id)));
    }

    // ------------------------------------------------------------ emission

    void AdrAdd(Value& v) { Ok(em->EmitAdrAdd(&v.o, &v.addr)); }

    static int32_t AssignCode(short type) { return type == T_BOOL ? opc::BASS : opc::ASS; }

    /// A two-operand (or one-operand) instruction; a dynamic operand is
    /// addressed by the ADRADD right before it, and of two dynamic operands
    /// the second goes through a temporary first.
    void Op(int32_t code, Value* a, Value* b, unsigned negate = 0) {
        if (a != nullptr && b != nullptr && a->dynamic && b->dynamic) {
            *b = ToTemp(*b);
        }
        if (a != nullptr && a->dynamic) {
            AdrAdd(*a);
        } else if (b != nullptr && b->dynamic) {
            AdrAdd(*b);
        }
        Ok(em->EmitOp(code, a != nullptr ? &a->o : nullptr, b != nullptr ? &b->o : nullptr,
                      negate));
    }

    /// The value in a temporary of its own (a temporary stays as it is).
    Value ToTemp(Value v) {
        if (v.isTemp && !v.dynamic) {
            return v;
        }
        Value t = Temp(v.type, v.size);
        Op(AssignCode(v.type), &t, &v);
        return t;
    }

    /// A call of an elementary function named `name`: the arguments and the
    /// result temporary are passed with PAV.
    Value CallOp(const std::string& name, short resultType, Value* args, int n) {
        SymAttr* rec = OpRecord(name);
        if (rec == nullptr) {
            return Value{};
        }
        // PAV passes variables: constants and indexed operands go through a
        // temporary first.
        for (int i = 0; i < n; ++i) {
            if (args[i].isConst || args[i].dynamic) {
                args[i] = ToTemp(args[i]);
            }
        }
        Value r = Temp(resultType, SizeOf(resultType));
        for (int i = 0; i < n; ++i) {
            Ok(em->EmitPav(&args[i].o));
        }
        Ok(em->EmitPav(&r.o));
        Ok(em->EmitFBCall(opc::JMPFFEFB, rec->GetName(), n + 1));
        return r;
    }

    SymAttr* OpRecord(const std::string& name) {
        for (const auto& r : ops) {
            if (SameName(r->GetName(), name.c_str())) {
                return r.get();
            }
        }
        std::unique_ptr<SymAttr> r(new (std::nothrow) SymAttr(name.c_str()));
        if (r == nullptr || r->DefPOU(1, nullptr, nullptr, nullptr, nullptr, 0) != 0) {
            if (report && sink != nullptr) {
                sink->ReportNoMemory(kModule, __LINE__);
            }
            failed = true;
            return nullptr;
        }
        ops.push_back(std::move(r));
        return ops.back().get();
    }

    // ------------------------------------------------------------ statements

    void Statements(const TiNode* n) {
        int steps = 0;
        for (const TiNode* p = n; p != nullptr && steps < 10000000; ++steps) {
            if (p->kind != tree::STATEM_LIST) {
                Statement(p);
                return;
            }
            Statement(p->Child(1));
            Statement(p->Child(2));
            p = p->Child(3);
        }
    }

    void Statement(const TiNode* s) {
        if (s == nullptr) {
            return;
        }
        if (++depth > kMaxDepth) {
            Fail(LOC_NESTING, s, __LINE__);
            --depth;
            return;
        }
        em->NoteNode(s);
        tempCount = tempFloor;
        switch (s->kind) {
        case tree::STATEM_LIST:
            Statements(s);
            break;
        case tree::ASS:
            Assign(s);
            break;
        case tree::CAL:
            CallStatement(s);
            break;
        case tree::IF_STATEM:
            If(s);
            break;
        case tree::WHILE_STATEM:
            While(s);
            break;
        case tree::REPEAT:
            Repeat(s);
            break;
        case tree::FOR_STATEM:
            For(s);
            break;
        case tree::RET:
            if (s->attribute != tree::JMP_ALWAYS) {
                Fail(LOC_JUMP, s, __LINE__);
            } else {
                Ok(em->EmitPlain(opc::RET));
            }
            break;
        case tree::EXIT:
            if (loopEnds.empty()) {
                Fail(LOC_EXIT, s, __LINE__);
            } else {
                Branch(loopEnds.back());
            }
            break;
        case tree::NIL:
            Statement(s->Child(1));
            break;
        default:
            Fail(LOC_STATEMENT, s, __LINE__);
            break;
        }
        --depth;
    }

    void Assign(const TiNode* s) {
        Value v = Expr(s->Child(2));
        if (!v.ok) {
            return;
        }
        Value t = Variable(s->Child(1), true);
        if (!t.ok) {
            return;
        }
        Adapt(v, t.type, t.size);
        if (!v.isConst && (v.type != t.type || v.size != t.size)) {
            Fail(LOC_TYPES_DIFFER, s, __LINE__);
            return;
        }
        Op(AssignCode(t.type), &t, &v);
    }

    Value Condition(const TiNode* n) {
        Value c = Expr(n);
        if (c.ok && c.type != T_BOOL) {
            return Bad(LOC_TYPE, n, __LINE__);
        }
        return c;
    }

    void If(const TiNode* s) {
        Value c = Condition(s->Child(1));
        if (!c.ok) {
            // The branches are still looked at, for what else they hold.
            Statements(s->Child(2));
            Statements(s->Child(3));
            return;
        }
        int elseLabel = NewLabel();
        CondBranch(opc::BFALSE, c, elseLabel);
        Statements(s->Child(2));
        if (s->Child(3) != nullptr) {
            int endLabel = NewLabel();
            Branch(endLabel);
            PlaceLabel(elseLabel);
            Statements(s->Child(3));
            PlaceLabel(endLabel);
        } else {
            PlaceLabel(elseLabel);
        }
    }

    void While(const TiNode* s) {
        int top = NewLabel();
        int end = NewLabel();
        PlaceLabel(top);
        Value c = Condition(s->Child(1));
        if (c.ok) {
            CondBranch(opc::BFALSE, c, end);
        }
        loopEnds.push_back(end);
        Statements(s->Child(2));
        loopEnds.pop_back();
        Branch(top);
        PlaceLabel(end);
    }

    void Repeat(const TiNode* s) {
        int top = NewLabel();
        int end = NewLabel();
        PlaceLabel(top);
        loopEnds.push_back(end);
        Statements(s->Child(2));
        loopEnds.pop_back();
        tempCount = tempFloor;
        Value c = Condition(s->Child(1));
        if (c.ok) {
            CondBranch(opc::BFALSE, c, top);
        }
        PlaceLabel(end);
    }

    /// The value of a constant step (a literal, or a minus before one).
    static bool ConstantStep(const TiNode* n, int32_t& step) {
        bool negate = false;
        if (n != nullptr && n->kind == tree::UMINUS) {
            negate = true;
            n = n->Child(1);
        }
        if (n == nullptr || n->kind != tree::CONSTANT || n->Const(1) == nullptr ||
            !n->Const(1)->IsInteger()) {
            return false;
        }
        int32_t v = 0;
        n->Const(1)->value.digit.GetINT32Val(&v);
        step = negate ? -v : v;
        return true;
    }

    void For(const TiNode* s) {
        const TiNode* list = s->Child(2);
        if (list == nullptr || list->kind != tree::FOR_LIST) {
            Fail(LOC_STATEMENT, s, __LINE__);
            return;
        }
        Value ctl = Variable(s->Child(1), true);
        Cat cat = CatOf(ctl.type);
        if (ctl.ok && (ctl.dynamic || (cat != Cat::Signed && cat != Cat::Unsigned))) {
            Fail(LOC_TYPE, s, __LINE__);
            ctl.ok = false;
        }
        if (!ctl.ok) {
            // The body is still looked at, for what else it holds.
            Statements(s->Child(3));
            return;
        }
        Value from = Expr(list->Child(1));
        if (!from.ok) {
            return;
        }
        Adapt(from, ctl.type, ctl.size);
        if (!from.isConst && from.type != ctl.type) {
            Fail(LOC_TYPES_DIFFER, list, __LINE__);
            return;
        }
        Op(opc::ASS, &ctl, &from);
        // The limit and the step are evaluated once, before the first test,
        // into temporaries that the body's statements leave alone.
        Value to = Expr(list->Child(2));
        if (!to.ok) {
            return;
        }
        Adapt(to, ctl.type, ctl.size);
        if (!to.isConst) {
            to = ToTemp(to);
        }
        int32_t stepValue = 1;
        bool knownStep = true;
        Value by;
        if (list->Child(3) == nullptr) {
            by = IntConstant(1, ctl.type);
        } else {
            knownStep = ConstantStep(list->Child(3), stepValue);
            // A constant step, also one written with a minus, stays immediate.
            by = knownStep ? IntConstant(stepValue, ctl.type) : Expr(list->Child(3));
            if (!by.ok) {
                return;
            }
            Adapt(by, ctl.type, ctl.size);
            if (!by.isConst) {
                by = ToTemp(by);
            }
        }
        if ((!to.isConst && to.type != ctl.type) || (!by.isConst && by.type != ctl.type)) {
            Fail(LOC_TYPES_DIFFER, list, __LINE__);
            return;
        }
        int savedFloor = tempFloor;
        tempFloor = tempCount;
        int test = NewLabel();
        int end = NewLabel();
        int32_t gt = cat == Cat::Signed ? opc::SGT : opc::UGT;
        int32_t lt = cat == Cat::Signed ? opc::SLT : opc::ULT;
        PlaceLabel(test);
        if (knownStep) {
            Value c = ToTempAlways(ctl);
            Op(stepValue >= 0 ? gt : lt, &c, &to);
            Bool(c);
            CondBranch(opc::BTRUE, c, end);
        } else {
            // The direction is the step's sign at run time.
            int negative = NewLabel();
            int body = NewLabel();
            Value sign = ToTempAlways(by);
            Value zero = IntConstant(0, ctl.type);
            Op(lt, &sign, &zero);
            Bool(sign);
            CondBranch(opc::BTRUE, sign, negative);
            Value up = ToTempAlways(ctl);
            Op(gt, &up, &to);
            Bool(up);
            CondBranch(opc::BTRUE, up, end);
            Branch(body);
            PlaceLabel(negative);
            Value down = ToTempAlways(ctl);
            Op(lt, &down, &to);
            Bool(down);
            CondBranch(opc::BTRUE, down, end);
            PlaceLabel(body);
        }
        loopEnds.push_back(end);
        Statements(s->Child(3));
        loopEnds.pop_back();
        tempCount = tempFloor;
        Op(opc::ADD, &ctl, &by);
        Branch(test);
        PlaceLabel(end);
        tempFloor = savedFloor;
    }

    Value ToTempAlways(Value v) {
        Value t = Temp(v.type, v.size);
        Op(AssignCode(v.type), &t, &v);
        return t;
    }

    /// A temporary that now holds a comparison's BOOL result.
    void Bool(Value& t) {
        t.type = T_BOOL;
        t.size = 1;
        t.o.size = 1;
    }

    // ------------------------------------------------------------ calls

    void CallStatement(const TiNode* s) {
        SymAttr* callee = s->Sym(1);
        if (callee != nullptr && callee->GetKind() == sym::KIND_FB_INSTANCE) {
            FbCall(s, callee);
            return;
        }
        if (callee != nullptr && callee->GetKind() == sym::KIND_POU && callee->GetPOU_Type() == 1) {
            FunctionCall(s, callee);
            return;
        }
        Fail(LOC_CALL, s, __LINE__);
    }

    Value Member(SymAttr* instance, const SymAttr* member) {
        Value v;
        const SymAttr* t = member->GetDType(0);
        v.size = member->GetMemsize(0);
        v.type = EffectiveType(t);
        std::string name = std::string(instance->GetName() != nullptr ? instance->GetName() : "") +
                           "." + (member->GetName() != nullptr ? member->GetName() : "");
        v.o = TiExprOperand::PoolVariable(Keep(name), v.size);
        v.ok = true;
        return v;
    }

    void FbCall(const TiNode* s, SymAttr* instance) {
        SymAttr* fb = instance->GetTypeSpec(0);
        if (fb == nullptr || fb->GetName() == nullptr) {
            Fail(LOC_CALL, s, __LINE__);
            return;
        }
        struct Output {
            Value member;
            const TiNode* target;
            bool negate;
        };
        std::vector<Output> outputs;
        int count = 0;
        int steps = 0;
        for (const TiNode* a = s->Child(2); a != nullptr && steps < 65536;
             a = a->Child(3), ++steps) {
            if (a->kind != tree::ARG_ASS || a->Sym(1) == nullptr) {
                // Function blocks take their parameters by name.
                Fail(LOC_CALL, a, __LINE__);
                return;
            }
            tempCount = tempFloor;
            Value m = Member(instance, a->Sym(1));
            ++count;
            if (a->attribute != 0) {
                outputs.push_back(Output{m, a->Child(2), a->attribute == 2});
                continue;
            }
            Value v = Expr(a->Child(2));
            if (!v.ok) {
                return;
            }
            Adapt(v, m.type, m.size);
            if (!v.isConst && (v.type != m.type || v.size != m.size)) {
                Fail(LOC_TYPES_DIFFER, a, __LINE__);
                return;
            }
            Op(AssignCode(m.type), &m, &v);
        }
        Ok(em->EmitPavSymbol(instance, count));
        Ok(em->EmitFBCall(opc::JMPDFB, fb->GetName(), count));
        for (Output& o : outputs) {
            tempCount = tempFloor;
            Value t = Variable(o.target, true);
            if (!t.ok) {
                continue;
            }
            if (t.type != o.member.type || t.size != o.member.size) {
                Fail(LOC_TYPES_DIFFER, o.target, __LINE__);
                continue;
            }
            Op(AssignCode(t.type), &t, &o.member);
            if (o.negate) {
                if (t.type != T_BOOL) {
                    Fail(LOC_TYPE, o.target, __LINE__);
                } else {
                    Op(opc::BNOT, &t, nullptr);
                }
            }
        }
    }

    /// A function's input parameters in declaration order.
    static std::vector<const SymAttr*> Inputs(const SymAttr* fn) {
        std::vector<const SymAttr*> in;
        int steps = 0;
        for (const SymAttr* v = fn->GetIO_VarEntry(); v != nullptr && steps < 65536;
             v = v->GetNext(), ++steps) {
            in.push_back(v);
        }
        return in;
    }

    Value FunctionCall(const TiNode* s, SymAttr* fn) {
        std::vector<const SymAttr*> formals = Inputs(fn);
        std::vector<const TiNode*> actuals(formals.size(), nullptr);
        size_t positional = 0;
        int steps = 0;
        for (const TiNode* a = s->Child(2); a != nullptr && steps < 65536;
             a = a->Child(3), ++steps) {
            if (a->kind != tree::ARG_ASS || a->attribute != 0) {
                return Bad(LOC_CALL, a, __LINE__);
            }
            size_t k = formals.size();
            if (a->Sym(1) == nullptr) {
                k = positional++;
            } else {
                for (size_t i = 0; i < formals.size(); ++i) {
                    if (formals[i] == a->Sym(1) ||
                        SameName(formals[i]->GetName(), a->Sym(1)->GetName())) {
                        k = i;
                    }
                }
            }
            if (k >= formals.size() || actuals[k] != nullptr) {
                return Bad(LOC_CALL, a, __LINE__);
            }
            actuals[k] = a->Child(2);
        }
        std::vector<Value> values;
        for (size_t i = 0; i < formals.size(); ++i) {
            if (actuals[i] == nullptr) {
                continue;
            }
            Value v = Expr(actuals[i]);
            if (!v.ok) {
                return Value{};
            }
            short ft = EffectiveType(formals[i]->GetDType(0));
            uint32_t fs = formals[i]->GetMemsize(0);
            Adapt(v, ft, fs);
            if (!v.isConst && (v.type != ft || v.size != fs)) {
                return Bad(LOC_TYPES_DIFFER, actuals[i], __LINE__);
            }
            if (v.isConst || v.dynamic) {
                v = ToTemp(v);
            }
            values.push_back(v);
        }
        const SymAttr* rt = fn->GetTypeSpec(0);
        Value r = Temp(EffectiveType(rt), rt != nullptr ? rt->GetMemsize(0) : 0);
        for (Value& v : values) {
            Ok(em->EmitPav(&v.o));
        }
        Ok(em->EmitPav(&r.o));
        Ok(em->EmitFBCall(opc::JMPFDFB, fn->GetName(), static_cast<int>(values.size()) + 1));
        return r;
    }

    // ------------------------------------------------------------ expressions

    Value Expr(const TiNode* n) {
        if (n == nullptr) {
            return Bad(LOC_EXPRESSION, n, __LINE__);
        }
        if (++depth > kMaxDepth) {
            --depth;
            return Bad(LOC_NESTING, n, __LINE__);
        }
        em->NoteNode(n);
        Value v;
        switch (n->kind) {
        case tree::CONSTANT:
            v = ConstantNode(n);
            break;
        case tree::SYMBOL:
            v = Variable(n, false);
            break;
        case tree::ADD:
        case tree::SUB:
        case tree::MUL:
        case tree::DIV:
            v = Arith(n);
            break;
        case tree::MOD:
        case tree::POWER:
            v = TypedBinary(n, n->kind == tree::MOD ? "MOD" : "EXPT");
            break;
        case tree::AND:
        case tree::OR:
        case tree::XOR:
            v = Logic(n);
            break;
        case tree::EQ:
        case tree::NE:
        case tree::GT:
        case tree::GE:
        case tree::LT:
        case tree::LE:
            v = Compare(n);
            break;
        case tree::UMINUS:
        case tree::NOT:
            v = Unary(n);
            break;
        case tree::CONV_DTYPE:
            v = Convert(n);
            break;
        case tree::CAL:
            if (n->Sym(1) != nullptr && n->Sym(1)->GetKind() == sym::KIND_POU &&
                n->Sym(1)->GetPOU_Type() == 1) {
                v = FunctionCall(n, n->Sym(1));
            } else {
                v = Bad(LOC_CALL, n, __LINE__);
            }
            break;
        default:
            v = Bad(LOC_EXPRESSION, n, __LINE__);
            break;
        }
        --depth;
        return v;
    }

    Value ConstantNode(const TiNode* n) {
        IEC_CONSTANT* c = n->Const(1);
        if (c == nullptr) {
            return Bad(LOC_EXPRESSION, n, __LINE__);
        }
        short type = static_cast<short>(n->attribute);
        if (type == 0) {
            type = c->GetElemDTypeID();
        }
        return Constant(c, type);
    }

    /// Brings two operands to one type: a constant takes the other's type.
    bool Unify(Value& l, Value& r, const TiNode* n) {
        if (l.isConst && !r.isConst) {
            Adapt(l, r.type, r.size);
        } else if (r.isConst && !l.isConst) {
            Adapt(r, l.type, l.size);
        } else if (l.isConst && r.isConst) {
            short t = static_cast<short>(n->attribute);
            if (CatOf(t) != Cat::None && CatOf(t) != Cat::Bool) {
                Adapt(l, t, SizeOf(t));
                Adapt(r, t, SizeOf(t));
            }
        }
        if (l.type != r.type || l.type == 0) {
            Fail(l.type == 0 || r.type == 0 ? LOC_TYPE : LOC_TYPES_DIFFER, n, __LINE__);
            return false;
        }
        return true;
    }

    /// The value of an integer constant operand.
    static bool IntValue(const Value& v, int64_t& out) {
        if (!v.isConst || v.o.kind != opc::OPD_CONSTANT || v.o.constant == nullptr ||
            !v.o.constant->IsInteger()) {
            return false;
        }
        int32_t x = 0;
        if (v.o.constant->value.digit.GetINT32Val(&x) != 0) {
            return false;
        }
        out = x;
        return true;
    }

    static bool RealConstant(const Value& v) {
        return v.isConst && v.o.kind == opc::OPD_CONSTANT && v.o.constant != nullptr &&
               (v.o.constant->flags & iec::CONST_REAL) != 0;
    }

    /// Two real constants are combined at once (+ - * and / by a divisor
    /// that is not 0); the result keeps the left constant's kind of literal.
    bool FoldReal(int32_t kind, const Value& l, const Value& r, Value& out) {
        if (!RealConstant(l) || !RealConstant(r)) {
            return false;
        }
        double a = l.o.constant->value.dbl;
        double b = r.o.constant->value.dbl;
        double v = 0.0;
        switch (kind) {
        case tree::ADD:
            v = a + b;
            break;
        case tree::SUB:
            v = a - b;
            break;
        case tree::MUL:
            v = a * b;
            break;
        case tree::DIV:
            if (b == 0.0) {
                return false;
            }
            v = a / b;
            break;
        default:
            return false;
        }
        constants.emplace_back();
        IEC_CONSTANT& c = constants.back();
        if (c.CopyFrom(*l.o.constant) != 0) {
            return false;
        }
        c.value.dbl = v;
        c.flags = static_cast<uint16_t>((c.flags & ~iec::CONST_NEGATIVE) |
                                        (v < 0.0 ? iec::CONST_NEGATIVE : 0));
        out = Constant(&c, l.type);
        out.size = l.size;
        return true;
    }

    /// Two integer constants are combined at once; the result is a constant
    /// that still takes the type of its context. False when either is no
    /// integer constant, or the result does not fit 32 bits (or divides by
    /// zero).
    bool Fold(int32_t kind, const Value& l, const Value& r, Value& out) {
        if (FoldReal(kind, l, r, out)) {
            return true;
        }
        int64_t a = 0;
        int64_t b = 0;
        if (!IntValue(l, a) || !IntValue(r, b)) {
            return false;
        }
        int64_t v = 0;
        switch (kind) {
        case tree::ADD:
            v = a + b;
            break;
        case tree::SUB:
            v = a - b;
            break;
        case tree::MUL:
            v = a * b;
            break;
        case tree::DIV:
        case tree::MOD:
            if (b == 0) {
                return false;
            }
            v = kind == tree::DIV ? a / b : a % b;
            break;
        case tree::AND:
            v = a & b;
            break;
        case tree::OR:
            v = a | b;
            break;
        case tree::XOR:
            v = a ^ b;
            break;
        default:
            return false;
        }
        if (v < INT32_MIN || v > INT32_MAX) {
            return false;
        }
        out = IntConstant(static_cast<int32_t>(v), l.type);
        out.size = l.size;
        return true;
    }

    Value Arith(const TiNode* n) {
        Value l = Expr(n->Child(1));
        if (!l.ok) {
            return l;
        }
        Value r = Expr(n->Child(2));
        if (!r.ok) {
            return r;
        }
        Value folded;
        if (Fold(n->kind, l, r, folded)) {
            return folded;
        }
        static const char* const kNames[] = {"ADD", "SUB", "MUL", "DIV"};
        int k = n->kind - tree::ADD;
        // A duration multiplied or divided by a number.
        if (l.type == T_TIME && r.type != T_TIME &&
            (n->kind == tree::MUL || n->kind == tree::DIV)) {
            if (r.isConst) {
                Adapt(r, T_DINT, 4);
            }
            if (!IsInteger(r.type) && CatOf(r.type) != Cat::Real) {
                return Bad(LOC_TYPE, n, __LINE__);
            }
            Value args[2] = {l, r};
            return CallOp(std::string("TIME_") + kNames[k] + "_" + TypeName(r.type), T_TIME, args,
                          2);
        }
        if (!Unify(l, r, n)) {
            return Value{};
        }
        Cat c = CatOf(l.type);
        static const int32_t kSigned[] = {opc::ADD, opc::SUB, opc::MUL, opc::DIV};
        static const int32_t kUnsigned[] = {opc::ADD, opc::SUB, opc::MUL, opc::UDIV};
        static const int32_t kReal[] = {opc::FADD, opc::FSUB, opc::FMUL, opc::FDIV};
        int32_t code = 0;
        if (c == Cat::Signed) {
            code = kSigned[k];
        } else if (c == Cat::Unsigned && (l.type != T_DATE && l.type != T_TOD)) {
            code = kUnsigned[k];
        } else if (c == Cat::Real) {
            code = kReal[k];
        }
        if (code == 0) {
            if (c == Cat::None || c == Cat::Bool) {
                return Bad(LOC_TYPE, n, __LINE__);
            }
            Value args[2] = {l, r};
            return CallOp(std::string(kNames[k]) + "_" + TypeName(l.type), l.type, args, 2);
        }
        Value d = ToTemp(l);
        Op(code, &d, &r);
        return d;
    }

    Value TypedBinary(const TiNode* n, const char* op) {
        Value l = Expr(n->Child(1));
        if (!l.ok) {
            return l;
        }
        Value r = Expr(n->Child(2));
        Value folded;
        if (r.ok && Fold(n->kind, l, r, folded)) {
            return folded;
        }
        if (!r.ok || !Unify(l, r, n)) {
            return Value{};
        }
        Cat c = CatOf(l.type);
        if (c == Cat::None || c == Cat::Bool) {
            return Bad(LOC_TYPE, n, __LINE__);
        }
        Value args[2] = {l, r};
        return CallOp(std::string(op) + "_" + TypeName(l.type), l.type, args, 2);
    }

    Value Logic(const TiNode* n) {
        Value l = Expr(n->Child(1));
        if (!l.ok) {
            return l;
        }
        Value r = Expr(n->Child(2));
        Value folded;
        if (r.ok && Fold(n->kind, l, r, folded)) {
            return folded;
        }
        if (!r.ok || !Unify(l, r, n)) {
            return Value{};
        }
        Cat c = CatOf(l.type);
        if (c != Cat::Bool && c != Cat::Bits) {
            return Bad(LOC_TYPE, n, __LINE__);
        }
        static const int32_t kCodes[] = {opc::OR, opc::XOR, opc::AND};
        Value d = ToTemp(l);
        Op(kCodes[n->kind - tree::OR], &d, &r);
        return d;
    }

    Value Compare(const TiNode* n) {
        Value l = Expr(n->Child(1));
        if (!l.ok) {
            return l;
        }
        Value r = Expr(n->Child(2));
        if (!r.ok || !Unify(l, r, n)) {
            return Value{};
        }
        int k = n->kind - tree::EQ;
        static const char* const kNames[] = {"EQ", "NE", "GT", "GE", "LT", "LE"};
        static const int32_t kBool[] = {opc::BEQ, opc::BNE, opc::BGT, opc::BGE, opc::BLT, opc::BLE};
        static const int32_t kSigned[] = {opc::EQ, opc::NE, opc::SGT, opc::SGE, opc::SLT, opc::SLE};
        static const int32_t kUnsigned[] = {opc::EQ,  opc::NE,  opc::UGT,
                                            opc::UGE, opc::ULT, opc::ULE};
        Cat c = CatOf(l.type);
        int32_t code = 0;
        if (c == Cat::Bool) {
            code = kBool[k];
        } else if (c == Cat::Signed) {
            code = kSigned[k];
        } else if (c == Cat::Unsigned || c == Cat::Bits) {
            code = kUnsigned[k];
        }
        if (code == 0) {
            if (c == Cat::None) {
                return Bad(LOC_TYPE, n, __LINE__);
            }
            Value args[2] = {l, r};
            return CallOp(std::string(kNames[k]) + "_" + TypeName(l.type), T_BOOL, args, 2);
        }
        Value d = ToTemp(l);
        Op(code, &d, &r);
        Bool(d);
        return d;
    }

    Value Unary(const TiNode* n) {
        Value v = Expr(n->Child(1));
        if (!v.ok) {
            return v;
        }
        Cat c = CatOf(v.type);
        if (n->kind == tree::UMINUS) {
            // A minus before a literal gives a negative constant.
            if (v.isConst && v.o.kind == opc::OPD_CONSTANT && v.o.constant != nullptr) {
                const IEC_CONSTANT* k = v.o.constant;
                int32_t value = 0;
                if (k->IsInteger() && k->value.digit.GetINT32Val(&value) == 0 &&
                    value != INT32_MIN) {
                    Value neg = IntConstant(-value, v.type);
                    neg.size = v.size;
                    return neg;
                }
                if ((k->flags & iec::CONST_REAL) != 0) {
                    constants.emplace_back();
                    IEC_CONSTANT& r = constants.back();
                    if (r.CopyFrom(*k) == 0) {
                        r.value.dbl = -r.value.dbl;
                        r.flags = static_cast<uint16_t>(r.flags ^ iec::CONST_NEGATIVE);
                        Value neg = Constant(&r, v.type);
                        neg.size = v.size;
                        return neg;
                    }
                }
            }
            if (c == Cat::Signed || c == Cat::Real) {
                Value d = ToTemp(v);
                Op(opc::UMIN, &d, nullptr);
                return d;
            }
            if (v.type == -13 || v.type == -19) {
                return CallOp("NEG_" + TypeName(v.type), v.type, &v, 1);
            }
            return Bad(LOC_TYPE, n, __LINE__);
        }
        if (c == Cat::Bool || c == Cat::Bits) {
            Value d = ToTemp(v);
            Op(c == Cat::Bool ? opc::BNOT : opc::NOT, &d, nullptr);
            return d;
        }
        return Bad(LOC_TYPE, n, __LINE__);
    }

    Value Convert(const TiNode* n) {
        short to = static_cast<short>(n->attribute);
        if (to == 0 && n->Sym(1) != nullptr) {
            to = EffectiveType(n->Sym(1)->GetDType(0));
        }
        Value v = Expr(n->Child(2));
        if (!v.ok) {
            return v;
        }
        if (CatOf(to) == Cat::None || CatOf(v.type) == Cat::None) {
            return Bad(LOC_TYPE, n, __LINE__);
        }
        if (v.type == to) {
            return v;
        }
        for (const ConvEntry& e : kConversions) {
            if (e.from == v.type && e.to == to) {
                Value d = Temp(to, SizeOf(to));
                Op(e.code, &d, &v);
                return d;
            }
        }
        // Integers of one size change only their type.
        if (IsInteger(v.type) && IsInteger(to) && SizeOf(to) == v.size) {
            Value d = Temp(to, SizeOf(to));
            Op(opc::ASS, &d, &v);
            return d;
        }
        return CallOp(TypeName(v.type) + "_TO_" + TypeName(to), to, &v, 1);
    }

    // ------------------------------------------------------------ variables

    /// The component's offset in its structure: the sizes before it.
    static uint32_t ComponentOffset(const SymAttr* c) {
        uint32_t off = 0;
        int steps = 0;
        for (const SymAttr* p = c->GetPrev(); p != nullptr && steps < 65536;
             p = p->GetPrev(), ++steps) {
            off += p->GetMemsize(0);
        }
        return off;
    }

    /// A variable, enumeration value, named constant or function result as
    /// an operand. `target`: the value is written (constants are refused).
    Value Variable(const TiNode* n, bool target) {
        if (n == nullptr || n->kind != tree::SYMBOL || n->Sym(1) == nullptr) {
            return Bad(target ? LOC_SYMBOL : LOC_EXPRESSION, n, __LINE__);
        }
        SymAttr* s = n->Sym(1);
        switch (s->GetKind()) {
        case sym::KIND_VARIABLE:
            return Path(n, s, nullptr);
        case sym::KIND_FB_INSTANCE: {
            const TiNode* sel = n->Child(3);
            if (sel == nullptr || sel->kind != tree::SYMBOL || sel->Sym(1) == nullptr ||
                n->Child(2) != nullptr) {
                return Bad(LOC_SYMBOL, n, __LINE__);
            }
            return Path(sel, sel->Sym(1), s);
        }
        case sym::KIND_POU:
            if (s->GetPOU_Type() == 1 && s == currentUnit && n->Child(2) == nullptr &&
                n->Child(3) == nullptr) {
                const SymAttr* rt = s->GetTypeSpec(0);
                Value v;
                v.size = rt != nullptr ? rt->GetMemsize(0) : 0;
                v.type = EffectiveType(rt);
                v.o = TiExprOperand::PoolVariable(s->GetName(), v.size);
                v.ok = true;
                return v;
            }
            return Bad(LOC_SYMBOL, n, __LINE__);
        case sym::KIND_ENUM_VALUE:
            if (!target) {
                short value = 0;
                s->GetEnumVal(value);
                unsigned char bytes[2] = {static_cast<unsigned char>(value & 0xFF),
                                          static_cast<unsigned char>((value >> 8) & 0xFF)};
                Value v;
                v.o = TiExprOperand::Immediate(T_UINT, bytes, 2);
                v.type = T_UINT;
                v.size = 2;
                v.isConst = true;
                v.ok = true;
                return v;
            }
            return Bad(LOC_SYMBOL, n, __LINE__);
        case sym::KIND_CONSTANT:
            if (!target && s->GetConstant() != nullptr) {
                return Constant(s->GetConstant(), s->GetConstant()->GetElemDTypeID());
            }
            return Bad(LOC_SYMBOL, n, __LINE__);
        default:
            return Bad(LOC_SYMBOL, n, __LINE__);
        }
    }

    /// The operand of a variable path from the SYMBOL node `n` of `root`
    /// (or, with `instance`, of the instance member `root`): a static byte
    /// offset, or code that puts the whole offset into a temporary for an
    /// ADRADD when an index is not constant.
    Value Path(const TiNode* n, SymAttr* root, SymAttr* instance) {
        int64_t constPart = 0;
        struct Term {
            const TiNode* index;
            uint32_t stride;
        };
        std::vector<Term> terms;
        const SymAttr* type = nullptr;
        int links = 0;
        for (const TiNode* link = n; link != nullptr; link = link->Child(3)) {
            if (++links > 4096 || link->kind != tree::SYMBOL || link->Sym(1) == nullptr) {
                return Bad(LOC_SYMBOL, link, __LINE__);
            }
            const SymAttr* s = link->Sym(1);
            if (link != n) {
                if (s->GetKind() != sym::KIND_COMPONENT) {
                    return Bad(LOC_SYMBOL, link, __LINE__);
                }
                constPart += ComponentOffset(s);
            }
            unsigned short dims = s->GetArrayDimension();
            unsigned k = 0;
            for (const TiNode* a = link->Child(2); a != nullptr; a = a->Child(2), ++k) {
                const Subrange* d = s->GetArraySubr(0);
                for (unsigned i = 0; d != nullptr && i < k; ++i) {
                    d = d->GetNext();
                }
                if (a->kind != tree::ADRADD || !s->IsArray() || k >= dims || d == nullptr) {
                    return Bad(LOC_INDEX, a, __LINE__);
                }
                if (k == 0) {
                    constPart += s->GetArrayAddSize();
                }
                const TiNode* ix = a->Child(1);
                if (ix != nullptr && ix->kind == tree::CONSTANT && ix->Const(1) != nullptr &&
                    ix->Const(1)->IsInteger()) {
                    int32_t value = 0;
                    bool beyond = ix->Const(1)->value.digit.GetINT32Val(&value) != 0;
                    int32_t contribution = 0;
                    short rc = Subrange::ElemOffset(d, value, contribution);
                    if ((rc == sym::DEF_INDEX_CLAMPED || beyond) && report && sink != nullptr) {
                        sink->Report(errmess::SEV_ERROR, -3479, ix->line, ix->column);
                    }
                    constPart += contribution;
                } else if (instance != nullptr) {
                    return Bad(LOC_INDEX, a, __LINE__);
                } else {
                    terms.push_back(Term{ix, d->GetStride()});
                }
            }
            if (k > 0) {
                const Subrange* d = s->GetArraySubr(0);
                for (unsigned i = 0; d != nullptr && i < k; ++i) {
                    d = d->GetNext();
                }
                for (; d != nullptr && k < dims; d = d->GetNext(), ++k) {
                    constPart += static_cast<int64_t>(d->GetLR()) * d->GetStride();
                }
            }
            type = s->GetDType(static_cast<unsigned short>(k));
        }
        Value v;
        v.type = EffectiveType(type);
        v.size = type != nullptr ? type->GetMemsize(0) : 0;
        v.ok = true;
        if (instance != nullptr) {
            Value m = Member(instance, root);
            v.o = TiExprOperand::PoolVariable(m.o.name, v.size,
                                              static_cast<uint32_t>(constPart < 0 ? 0 : constPart));
            return v;
        }
        if (terms.empty()) {
            if (constPart < 0 || constPart > UINT32_MAX) {
                return Bad(LOC_INDEX, n, __LINE__);
            }
            v.o = TiExprOperand::Variable(root, static_cast<uint32_t>(constPart));
            return v;
        }
        // offset := Σ index × stride + the constant part, in DINT.
        Value offset;
        for (const Term& t : terms) {
            Value ix = Expr(t.index);
            if (!ix.ok) {
                return Value{};
            }
            Value term = Widen(ix, t.index);
            if (!term.ok) {
                return Value{};
            }
            if (t.stride != 1) {
                Value stride = IntConstant(static_cast<int32_t>(t.stride), T_DINT);
                Op(opc::MUL, &term, &stride);
            }
            if (!offset.ok) {
                offset = term;
            } else {
                Op(opc::ADD, &offset, &term);
            }
        }
        if (constPart != 0) {
            if (constPart < INT32_MIN || constPart > INT32_MAX) {
                return Bad(LOC_INDEX, n, __LINE__);
            }
            Value c = IntConstant(static_cast<int32_t>(constPart), T_DINT);
            Op(opc::ADD, &offset, &c);
        }
        v.o = TiExprOperand::Variable(root, 0);
        v.dynamic = true;
        v.addr = offset.o;
        return v;
    }

    /// An index value as a DINT temporary.
    Value Widen(Value ix, const TiNode* n) {
        if (ix.isConst) {
            Adapt(ix, T_DINT, 4);
            return ToTempAlways(ix);
        }
        switch (ix.type) {
        case T_DINT:
        case T_UDINT:
            return ToTempAlways(ix);
        case T_INT:
        case T_UINT: {
            Value d = Temp(T_DINT, 4);
            Op(ix.type == T_INT ? opc::INT_TO_DINT : opc::UINT_TO_DINT, &d, &ix);
            return d;
        }
        default:
            if (IsInteger(ix.type)) {
                return CallOp(TypeName(ix.type) + "_TO_DINT", T_DINT, &ix, 1);
            }
            return Bad(LOC_INDEX, n, __LINE__);
        }
    }

    SymTabSet* set;
    Library* library;
    TiDB* db;
    ErrMess* sink;
    TiEmitter* em = nullptr;
    bool report = false;
    int nextLabel = 0;
    std::vector<int32_t> labels;
    std::vector<int> loopEnds;
    int tempCount = 0;
    int tempFloor = 0;
    int depth = 0;
    const SymAttr* currentUnit = nullptr;
    std::deque<IEC_CONSTANT> constants;
    std::deque<std::string> names;
    std::vector<std::unique_ptr<SymAttr>> ops;
};

TiEncoder::TiEncoder(SymTabSet* s, Library* l, TiDB* d, ErrMess* m)
    : set(s), library(l), db(d), sink(m) {
    ops = new (std::nothrow) Impl(s, l, d, m);
}

TiEncoder::~TiEncoder() {
    delete ops;
}

short TiEncoder::EncodeUnit(SymAttr* unit, TiNode* body, FILE* listing, int32_t* instructions) {
    if (instructions != nullptr) {
        *instructions = 0;
    }
    if (ops == nullptr) {
        if (sink != nullptr) {
            sink->ReportNoMemory(kModule, __LINE__);
        }
        return UNIT_NO_ENCODER;
    }
    uint16_t errorsBefore = sink != nullptr ? sink->GetErrors() : 0;
    // Pass 1: the numbers of the labels, silently.
    {
        TiEmitter quiet(nullptr, nullptr, db, library, ops);
        ops->Run(quiet, unit, body, false);
    }
    if (listing != nullptr) {
        std::fprintf(listing, "\n(* %s %s *)", UnitWord(unit != nullptr ? unit->GetPOU_Type() : 0),
                     unit != nullptr && unit->GetName() != nullptr ? unit->GetName() : "");
    }
    TiEmitter emitter(sink, listing, db, library, ops);
    ops->Run(emitter, unit, body, true);
    if (instructions != nullptr) {
        *instructions = emitter.GetCounter();
    }
    bool errors = ops->failed || (sink != nullptr && sink->GetErrors() != errorsBefore);
    return errors ? UNIT_ERRORS : UNIT_OK;
}

short TiEncoder::EncodeNamed(const TiUnitBodies* bodies, const char* name, FILE* listing,
                             int32_t* instructions) {
    if (instructions != nullptr) {
        *instructions = 0;
    }
    SymAttr* unit = library != nullptr && name != nullptr ? library->FindUnit(name) : nullptr;
    TiNode* body = nullptr;
    if (unit == nullptr || bodies == nullptr || !bodies->Find(unit, &body)) {
        if (sink != nullptr) {
            sink->Report(errmess::SEV_INTERNAL, errmess::MSG_INTERNAL, 0, 0,
                         {LOC_NO_BODY, kModule, __LINE__, kRevision});
        }
        return UNIT_ERRORS;
    }
    short rc = EncodeUnit(unit, body, listing, instructions);
    if (listing != nullptr) {
        std::fputc('\n', listing);
        std::fflush(listing);
    }
    return rc;
}

short TiEncoder::EncodeAll(const TiUnitBodies* bodies, FILE* listing) {
    short result = 0;
    size_t count = library != nullptr ? library->GetUnitCount() : 0;
    for (size_t i = 0; i < count; ++i) {
        SymAttr* unit = library->GetUnit(i);
        TiNode* body = nullptr;
        short rc;
        if (bodies == nullptr || !bodies->Find(unit, &body)) {
            if (sink != nullptr) {
                sink->Report(errmess::SEV_INTERNAL, errmess::MSG_INTERNAL, 0, 0,
                             {LOC_NO_BODY, kModule, __LINE__, kRevision});
            }
            rc = UNIT_ERRORS;
        } else {
            rc = EncodeUnit(unit, body, listing);
            if (rc == UNIT_OK && listing == nullptr) {
                rc = UNIT_NO_OUTPUT;
            }
        }
        if (result == 0) {
            result = rc;
        }
    }
    if (listing != nullptr) {
        if (count > 0) {
            std::fputc('\n', listing);
        }
        std::fflush(listing);
    }
    return result;
}
