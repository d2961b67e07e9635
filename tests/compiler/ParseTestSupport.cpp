// Test helpers for the parser and the facade: the compact tree form, the
// global table listing and the facade with test texts.
#include "tests/compiler/ParseTestSupport.h"

#include <algorithm>
#include <cstdio>

namespace parsetest {

namespace {

std::string SymbolShape(const TiNode* n) {
    const SymAttr* s = n->Sym(1);
    std::string out = s != nullptr && s->GetName() != nullptr ? s->GetName() : "?";
    if (const TiNode* idx = n->Child(2)) {
        out += "[";
        bool first = true;
        for (; idx != nullptr; idx = idx->Child(2)) {
            if (!first) {
                out += ",";
            }
            first = false;
            out += Shape(idx->Child(1));
        }
        out += "]";
    }
    if (const TiNode* sel = n->Child(3)) {
        out += "." + Shape(sel);
    }
    return out;
}

std::string ConstShape(const TiNode* n) {
    const IEC_CONSTANT* c = n->Const(1);
    if (c == nullptr) {
        return "?const";
    }
    std::string lit;
    if (TiFormatConstant(*c, lit) != 0) {
        return "?const";
    }
    return lit;
}

std::string LinkShape(const TiNode* n, int i) {
    const TiLink& l = n->Link(i);
    switch (l.Tag()) {
    case TiLinkTag::None:
        return "-";
    case TiLinkTag::Node:
        return Shape(l.AsNode());
    case TiLinkTag::NodeRef:
        return "ref";
    case TiLinkTag::Symbol:
        return l.AsSymbol() != nullptr && l.AsSymbol()->GetName() != nullptr
                   ? l.AsSymbol()->GetName()
                   : "?";
    case TiLinkTag::Constant:
    case TiLinkTag::ConstantRef: {
        std::string lit;
        return TiFormatConstant(*l.AsConstant(), lit) == 0 ? lit : "?const";
    }
    case TiLinkTag::Text:
        return l.AsText();
    case TiLinkTag::Steps: {
        std::string out;
        const TiStepLists* st = l.AsSteps();
        if (st->name != nullptr) {
            out += st->name->GetName();
            out += ":";
        }
        for (const TiStepRef* r = st->from; r != nullptr; r = r->next) {
            out += r->step != nullptr ? r->step->GetName() : "?";
            out += r->next != nullptr ? "," : "";
        }
        out += "->";
        for (const TiStepRef* r = st->to; r != nullptr; r = r->next) {
            out += r->step != nullptr ? r->step->GetName() : "?";
            out += r->next != nullptr ? "," : "";
        }
        return out;
    }
    case TiLinkTag::RefCount:
        return "refs";
    }
    return "?";
}

} // namespace

std::string Shape(const TiNode* n) {
    if (n == nullptr) {
        return "-";
    }
    switch (n->kind) {
    case tree::CONSTANT:
        return ConstShape(n);
    case tree::SYMBOL:
        return SymbolShape(n);
    case tree::STATEM_LIST: {
        std::string out = "{";
        bool first = true;
        for (const TiNode* l = n; l != nullptr; l = l->Child(3)) {
            for (int i = 1; i <= 2; ++i) {
                if (l->Link(i).IsEmpty()) {
                    continue;
                }
                if (!first) {
                    out += "; ";
                }
                first = false;
                out += LinkShape(l, i);
            }
        }
        return out + "}";
    }
    case tree::JMP:
    case tree::RET: {
        std::string out = NodeKindName(n->kind);
        out += n->attribute == tree::JMP_COND ? "C" : n->attribute == tree::JMP_COND_NEG ? "CN" : "";
        if (n->kind == tree::JMP) {
            out += " " + LinkShape(n, 1);
        }
        return out;
    }
    case tree::EXPR_REF:
        return "REF";
    case tree::QUALIFIER: {
        std::string out = "QUALIFIER[";
        out += tree::QualifierName(n->attribute);
        out += "](" + LinkShape(n, 1);
        if (!n->Link(2).IsEmpty()) {
            out += "," + LinkShape(n, 2);
        }
        return out + ")";
    }
    default:
        break;
    }
    int last = 0;
    for (int i = 1; i <= 3; ++i) {
        if (!n->Link(i).IsEmpty() && n->Link(i).Tag() != TiLinkTag::RefCount) {
            last = i;
        }
    }
    std::string out = NodeKindName(n->kind);
    if (n->kind == tree::ARG_ASS && n->attribute != 0) {
        out += n->attribute == 2 ? "=>NOT" : "=>";
    }
    out += "(";
    for (int i = 1; i <= last; ++i) {
        if (i > 1) {
            out += ",";
        }
        out += LinkShape(n, i);
    }
    return out + ")";
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) {
        out += l;
        out += "\n";
    }
    return out;
}

std::unique_ptr<morval> NewFacade(bool lowerCase) {
    auto m = std::make_unique<morval>(nullptr, nullptr, nullptr);
    if (m->errMess != nullptr) {
        m->errMess->SetTextLoader(testsink::Texts);
        m->errMess->SetCollect(true);
    }
    if (lowerCase) {
        m->langFlags |= TiCompOptions::LowerCaseKeywords;
    }
    return m;
}

std::string GlobalTable(SymTabSet* set, bool withUndefined) {
    std::vector<std::string> lines;
    SymTab* g = set->GetGlobalTab();
    for (SymAttr* e = g->FindFirstEntry(); e != nullptr; e = g->FindNextEntry(e)) {
        if (!withUndefined && e->GetKind() == sym::KIND_UNDEFINED) {
            continue;
        }
        char buf[256];
        std::snprintf(buf, sizeof buf, "%s %d %u", e->GetName() != nullptr ? e->GetName() : "?",
                      static_cast<int>(e->GetKind()), static_cast<unsigned>(e->GetMemsize(0)));
        lines.emplace_back(buf);
    }
    std::sort(lines.begin(), lines.end());
    return Joined(lines);
}

std::vector<std::string> Messages(morval& m) {
    return m.errMess != nullptr ? testsink::Lines(*m.errMess) : std::vector<std::string>{};
}

} // namespace parsetest
