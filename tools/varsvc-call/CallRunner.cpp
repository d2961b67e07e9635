// Binding, invocation and JSON results of varsvc-call's calls, and the
// browse mode.
#include "tools/varsvc-call/CallRunner.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "platform/Bstr.h"
#include "platform/SafeArray.h"
#include "platform/Text.h"
#include "server/VarsvcTypeLib.h"
#include "tools/varsvc-call/CallJson.h"

namespace varsvccall {

namespace {

std::string Narrow(const char16_t* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text)
        out += static_cast<char>(*text);
    return out;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The parameters a caller passes: all but the final [out, retval] status.
UINT PassedCount(const MemberDescription& m) {
    UINT n = m.paramCount;
    if (n > 0 && (m.params[n - 1].flags & PARAMFLAG_FRETVAL))
        --n;
    return n;
}

bool IsOutput(const ParamDescription& p) { return (p.flags & PARAMFLAG_FOUT) && !(p.flags & PARAMFLAG_FRETVAL); }

using Kind = CallValue::Kind;

// Whether a value of `kind` can stand for the parameter (references are
// checked when they are resolved).
const char* Unfit(const ParamDescription& p, const CallValue& v) {
    const bool byRef = (p.vt & VT_BYREF) != 0;
    const VARTYPE base = static_cast<VARTYPE>(p.vt & ~VT_BYREF);
    if (v.kind == Kind::Reference)
        return nullptr;
    if (v.kind == Kind::Default && !IsOutput(p))
        return "'_' stands for an output's default; this parameter is an input";
    if (!byRef) {
        if (base == VT_BSTR)
            return v.kind == Kind::String || v.kind == Kind::Null ? nullptr : "a string or null expected";
        return v.kind == Kind::Integer || v.kind == Kind::String || v.kind == Kind::None || v.kind == Kind::Array
                   ? nullptr
                   : "an integer expected";
    }
    switch (base) {
    case VT_I2:
        if (v.kind == Kind::Integer && (v.integer < -32768 || v.integer > 32767))
            return "a 16-bit integer expected";
        [[fallthrough]];
    case VT_I4:
    case VT_DATE:
        return v.kind == Kind::Integer || v.kind == Kind::None || v.kind == Kind::Default ? nullptr
                                                                                          : "an integer expected";
    case VT_BSTR:
        return v.kind == Kind::String || v.kind == Kind::Null || v.kind == Kind::Default ? nullptr
                                                                                         : "a string or null expected";
    case VT_VARIANT:
        return nullptr;
    default:
        return "a parameter type this program cannot pass";
    }
}

BSTR NewBstr(const std::u16string& text) {
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// The VARIANT of an array value.
void ArrayVariant(const CallValue& v, VARIANT& out) {
    VARTYPE vt = VT_VARIANT;
    switch (v.arrayType) {
    case CallValue::ArrayType::Bstr: vt = VT_BSTR; break;
    case CallValue::ArrayType::I2: vt = VT_I2; break;
    case CallValue::ArrayType::I4: vt = VT_I4; break;
    case CallValue::ArrayType::Variant: vt = VT_VARIANT; break;
    }
    SAFEARRAY* array = SafeArrayCreateVector(vt, 0, static_cast<ULONG>(v.elements.size()));
    if (array == nullptr)
        return;
    void* data = nullptr;
    SafeArrayAccessData(array, &data);
    for (size_t i = 0; i < v.elements.size(); ++i) {
        const CallValue& e = v.elements[i];
        switch (vt) {
        case VT_BSTR:
            static_cast<BSTR*>(data)[i] = e.kind == Kind::Null ? nullptr : NewBstr(e.text);
            break;
        case VT_I2:
            static_cast<SHORT*>(data)[i] = static_cast<SHORT>(e.integer);
            break;
        case VT_I4:
            static_cast<LONG*>(data)[i] = e.integer;
            break;
        default: {
            VARIANT& cell = static_cast<VARIANT*>(data)[i];
            if (e.kind == Kind::Integer) {
                cell.vt = VT_I4;
                cell.lVal = e.integer;
            } else if (e.kind == Kind::String) {
                cell.vt = VT_BSTR;
                cell.bstrVal = NewBstr(e.text);
            }
        }
        }
    }
    SafeArrayUnaccessData(array);
    out.vt = static_cast<VARTYPE>(VT_ARRAY | vt);
    out.parray = array;
}

// The natural VARIANT of a value: integers VT_I4, strings VT_BSTR, null and
// `_` empty, `none` the marker VT_I4 0, arrays as arrays.
void NaturalVariant(const CallValue& v, VARIANT& out) {
    VariantInit(&out);
    switch (v.kind) {
    case Kind::Integer:
        out.vt = VT_I4;
        out.lVal = v.integer;
        break;
    case Kind::None:
        out.vt = VT_I4;
        out.lVal = 0;
        break;
    case Kind::String:
        out.vt = VT_BSTR;
        out.bstrVal = NewBstr(v.text);
        break;
    case Kind::Array:
        ArrayVariant(v, out);
        break;
    default:
        break;
    }
}

ScriptError ErrorAt(const CallValue& v, const std::string& message) {
    ScriptError e;
    e.line = v.line;
    e.column = v.column;
    e.message = message;
    return e;
}

} // namespace

const MemberDescription* FindMember(const std::string& name) {
    for (UINT i = 0; i < kIVarsvcInterface.memberCount; ++i)
        if (SameName(Narrow(kIVarsvcInterface.members[i].name), name))
            return &kIVarsvcInterface.members[i];
    return nullptr;
}

bool CheckCall(const Call& call, ScriptError& error) {
    const MemberDescription* m = FindMember(call.member);
    error.line = call.line;
    error.column = call.column;
    if (m == nullptr) {
        error.message = "unknown member '" + call.member + "'";
        return false;
    }
    const UINT count = PassedCount(*m);
    if (call.args.size() != count) {
        error.message = Narrow(m->name) + " takes " + std::to_string(count) + " arguments, not " +
                        std::to_string(call.args.size());
        return false;
    }
    for (UINT i = 0; i < count; ++i)
        if (const char* why = Unfit(m->params[i], call.args[i])) {
            error = ErrorAt(call.args[i], Narrow(m->params[i].name) + ": " + why);
            return false;
        }
    return true;
}

CallRunner::CallRunner(IDispatch* o) : object(o) {
    if (object != nullptr)
        object->AddRef();
}

CallRunner::~CallRunner() {
    for (auto& entry : outputs)
        VariantClear(&entry.second);
    if (object != nullptr)
        object->Release();
}

const VARIANT* CallRunner::Output(const std::string& name) const {
    auto it = outputs.find(name);
    return it == outputs.end() ? nullptr : &it->second;
}

bool CallRunner::Run(const Call& call, CallOutcome& outcome, ScriptError& error) {
    const MemberDescription* m = FindMember(call.member);
    if (m == nullptr || !CheckCall(call, error))
        return false;
    const UINT n = PassedCount(*m);

    // Every argument gets a cell that owns its value; a by-reference
    // argument points into its cell.
    std::vector<VARIANT> cells(n);
    std::vector<VARIANT> args(n);
    for (VARIANT& c : cells)
        VariantInit(&c);
    auto cleanup = [&] {
        for (VARIANT& c : cells)
            VariantClear(&c);
    };
    for (UINT i = 0; i < n; ++i) {
        const ParamDescription& p = m->params[i];
        const CallValue& v = call.args[i];
        const bool byRef = (p.vt & VT_BYREF) != 0;
        const VARTYPE base = static_cast<VARTYPE>(p.vt & ~VT_BYREF);
        VARIANT& cell = cells[i];
        if (v.kind == Kind::Reference) {
            const VARIANT* stored = Output(v.reference);
            if (stored == nullptr) {
                error = ErrorAt(v, "no output called '" + v.reference + "' so far");
                cleanup();
                return false;
            }
            if (byRef && base != VT_VARIANT) {
                if (FAILED(VariantChangeType(&cell, stored, 0, base))) {
                    error = ErrorAt(v, "the value of $" + v.reference + " does not fit " + Narrow(p.name));
                    cleanup();
                    return false;
                }
            } else {
                VariantCopy(&cell, stored);
            }
        } else if (byRef && base != VT_VARIANT) {
            cell.vt = base;
            if (base == VT_BSTR)
                cell.bstrVal = v.kind == Kind::String ? NewBstr(v.text) : nullptr;
            else if (base == VT_I2)
                cell.iVal = static_cast<SHORT>(v.kind == Kind::Integer ? v.integer : 0);
            else if (base == VT_I4)
                cell.lVal = v.kind == Kind::Integer ? v.integer : 0;
            else if (base == VT_DATE)
                cell.date = v.kind == Kind::Integer ? v.integer : 0;
        } else if (!byRef && base == VT_BSTR) {
            cell.vt = VT_BSTR;
            cell.bstrVal = v.kind == Kind::String ? NewBstr(v.text) : nullptr;
        } else {
            NaturalVariant(v, cell);
        }
        // Arguments go in reverse order.
        VARIANT& arg = args[n - 1 - i];
        VariantInit(&arg);
        if (!byRef) {
            arg = cell; // a shallow copy: the cell keeps ownership
        } else if (base == VT_VARIANT) {
            arg.vt = VT_BYREF | VT_VARIANT;
            arg.pvarVal = &cell;
        } else {
            arg.vt = static_cast<VARTYPE>(VT_BYREF | base);
            arg.byref = &cell.iVal; // every member of the union starts here
        }
    }

    DISPPARAMS params = {n != 0 ? args.data() : nullptr, nullptr, n, 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception = {};
    UINT argErr = 0;
    HRESULT hr = object->Invoke(m->dispid, IID_NULL, 0x0409, DISPATCH_METHOD, &params, &result, &exception,
                                &argErr);
    if (hr == DISP_E_EXCEPTION && FAILED(exception.scode))
        hr = exception.scode;
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);

    outcome = CallOutcome();
    outcome.hr = hr;
    if (result.vt == VT_I2) {
        outcome.hasRc = true;
        outcome.rc = result.iVal;
    }
    VariantClear(&result);
    std::string out;
    for (UINT i = 0; i < n; ++i) {
        const ParamDescription& p = m->params[i];
        if (!IsOutput(p))
            continue;
        const std::string name = Narrow(p.name);
        if (!out.empty())
            out += ", ";
        out += JsonString(p.name, std::char_traits<char16_t>::length(p.name)) + ": " + JsonVariant(cells[i]);
        VARIANT& kept = outputs[name];
        VariantClear(&kept);
        VariantInit(&kept);
        VariantCopy(&kept, &cells[i]);
    }
    outcome.json = "{\"member\": " + JsonString(m->name, std::char_traits<char16_t>::length(m->name)) +
                   ", \"hresult\": \"" + HexStatus(hr) + "\", \"rc\": " +
                   (outcome.hasRc ? std::to_string(outcome.rc) : std::string("null")) + ", \"out\": {" + out +
                   "}}";
    cleanup();
    return true;
}

// ------------------------------------------------------------------ browse

namespace {

// A call built in code (positions are of no interest).
Call MakeCall(const std::string& member, std::vector<CallValue> args) {
    Call c;
    c.member = member;
    c.args = std::move(args);
    return c;
}

CallValue Int(int32_t v) {
    CallValue c;
    c.kind = Kind::Integer;
    c.integer = v;
    return c;
}

CallValue Text(const std::string& utf8) {
    CallValue c;
    c.kind = Kind::String;
    c.text = Utf16FromUtf8(utf8);
    return c;
}

CallValue Ref(const std::string& name) {
    CallValue c;
    c.kind = Kind::Reference;
    c.reference = name;
    return c;
}

CallValue Def() {
    CallValue c;
    c.kind = Kind::Default;
    return c;
}

CallValue NotWanted() {
    CallValue c;
    c.kind = Kind::None;
    return c;
}

// Runs a call; false (with a message on `err`) unless it returned S_OK and
// status 0.
bool Step(CallRunner& runner, const Call& call, FILE* err, CallOutcome& outcome) {
    ScriptError error;
    if (!runner.Run(call, outcome, error)) {
        fprintf(err, "varsvc-call: %s: %s\n", call.member.c_str(), error.message.c_str());
        return false;
    }
    if (outcome.hr != S_OK || !outcome.hasRc || outcome.rc != 0) {
        fprintf(err, "varsvc-call: %s failed: %s\n", call.member.c_str(), outcome.json.c_str());
        return false;
    }
    return true;
}

// The text of a BSTR as UTF-8, as the terminal takes it.
std::string Utf8(BSTR text) {
    if (text == nullptr)
        return std::string();
    // The JSON form without its quotes is UTF-8 with escapes only for
    // quotes, backslashes and control characters, which a table shows as
    // they are written there.
    const std::string json = JsonBstr(text);
    return json.substr(1, json.size() - 2);
}

std::vector<std::string> Strings(const VARIANT* v) {
    std::vector<std::string> out;
    if (v == nullptr || v->vt != (VT_ARRAY | VT_BSTR) || v->parray == nullptr)
        return out;
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(v->parray, 1, &lower);
    SafeArrayGetUBound(v->parray, 1, &upper);
    BSTR* data = nullptr;
    SafeArrayAccessData(v->parray, reinterpret_cast<void**>(&data));
    for (LONG i = 0; i <= upper - lower; ++i)
        out.push_back(Utf8(data[i]));
    SafeArrayUnaccessData(v->parray);
    return out;
}

std::vector<int32_t> Numbers(const VARIANT* v) {
    std::vector<int32_t> out;
    if (v == nullptr || !(v->vt & VT_ARRAY) || v->parray == nullptr)
        return out;
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(v->parray, 1, &lower);
    SafeArrayGetUBound(v->parray, 1, &upper);
    void* data = nullptr;
    SafeArrayAccessData(v->parray, &data);
    for (LONG i = 0; i <= upper - lower; ++i)
        out.push_back(v->vt == (VT_ARRAY | VT_I4) ? static_cast<LONG*>(data)[i] : static_cast<SHORT*>(data)[i]);
    SafeArrayUnaccessData(v->parray);
    return out;
}

// Display width of UTF-8 text: one column per character.
size_t Width(const std::string& text) {
    size_t w = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80)
            ++w;
    return w;
}

} // namespace

int Browse(IDispatch* object, const std::string& project, const std::string& mask, FILE* out, FILE* err) {
    CallRunner runner(object);
    CallOutcome outcome;
    if (!Step(runner, MakeCall("Login", {Int(0), Text("varsvc-call")}), err, outcome))
        return 1;
    int exitCode = 1;
    struct Row {
        std::string name, type, size, addr, sect, offset, attr, comment;
    };
    std::vector<Row> rows;
    std::map<int32_t, std::string> typeNames;
    do {
        if (!Step(runner, MakeCall("ProjOpen", {Ref("Handle"), Text(project)}), err, outcome))
            break;
        if (!Step(runner, MakeCall("SetVarInfoFilter", {Ref("Handle"), Text(mask), Int(0), Int(-1), Int(0), Def()}),
                  err, outcome))
            break;
        constexpr int32_t kRequest = 400;
        bool ok = true;
        for (;;) {
            const Call block = MakeCall("GetVarInfoBlockEx", {Ref("Handle"), Def(), Int(kRequest), Def(), Def(),
                                                              Def(), Def(), Def(), Def(), Def(), Def(), Def(),
                                                              Def(), NotWanted()});
            if (!Step(runner, block, err, outcome)) {
                ok = false;
                break;
            }
            const VARIANT* retV = runner.Output("NumberRet");
            const VARIANT* reqV = runner.Output("NumberReq");
            const int ret = retV != nullptr && retV->vt == VT_I2 ? retV->iVal : 0;
            const int req = reqV != nullptr && reqV->vt == VT_I2 ? reqV->iVal : kRequest;
            const std::vector<std::string> names = Strings(runner.Output("VarNames"));
            const std::vector<std::string> comments = Strings(runner.Output("VarCmnts"));
            const std::vector<int32_t> types = Numbers(runner.Output("VarTypes"));
            const std::vector<int32_t> sizes = Numbers(runner.Output("VarSizes"));
            const std::vector<int32_t> addrs = Numbers(runner.Output("VarAddrs"));
            const std::vector<int32_t> sects = Numbers(runner.Output("VarIECMemDescSectIDs"));
            const std::vector<int32_t> offsets = Numbers(runner.Output("VarIECMemDescAddrOffsets"));
            const std::vector<int32_t> attrs = Numbers(runner.Output("VarAttrs"));
            for (int i = 0; i < ret && static_cast<size_t>(i) < names.size(); ++i) {
                const size_t k = static_cast<size_t>(i);
                const int32_t type = k < types.size() ? types[k] : 0;
                if (typeNames.find(type) == typeNames.end()) {
                    CallOutcome typeOutcome;
                    std::string typeName = std::to_string(type);
                    if (Step(runner, MakeCall("GetTypeName", {Ref("Handle"), Int(type), Def()}), err, typeOutcome)) {
                        const VARIANT* t = runner.Output("TypeName");
                        if (t != nullptr && t->vt == VT_BSTR)
                            typeName = Utf8(t->bstrVal);
                    }
                    typeNames[type] = typeName;
                }
                rows.push_back({names[k], typeNames[type], k < sizes.size() ? std::to_string(sizes[k]) : "",
                                k < addrs.size() ? std::to_string(addrs[k]) : "",
                                k < sects.size() ? std::to_string(sects[k]) : "",
                                k < offsets.size() ? std::to_string(offsets[k]) : "",
                                k < attrs.size() ? std::to_string(attrs[k]) : "",
                                k < comments.size() ? comments[k] : ""});
            }
            // The end: nothing more, or fewer than asked without the budget
            // having lowered the request.
            if (ret == 0 || (ret < kRequest && req == kRequest))
                break;
        }
        if (!ok)
            break;
        exitCode = 0;
    } while (false);

    if (exitCode == 0) {
        const Row header = {"Name", "Type", "Size", "Addr", "Section", "Offset", "Attr", "Comment"};
        size_t w[7] = {};
        auto widen = [&](const Row& r) {
            const std::string* cols[7] = {&r.name, &r.type, &r.size, &r.addr, &r.sect, &r.offset, &r.attr};
            for (int c = 0; c < 7; ++c)
                w[c] = std::max(w[c], Width(*cols[c]));
        };
        widen(header);
        for (const Row& r : rows)
            widen(r);
        auto print = [&](const Row& r) {
            const std::string* cols[7] = {&r.name, &r.type, &r.size, &r.addr, &r.sect, &r.offset, &r.attr};
            std::string line;
            for (int c = 0; c < 7; ++c) {
                const bool right = c >= 2;
                const std::string pad(w[c] - Width(*cols[c]), ' ');
                line += right ? pad + *cols[c] : *cols[c] + pad;
                line += "  ";
            }
            line += r.comment;
            while (!line.empty() && line.back() == ' ')
                line.pop_back();
            fprintf(out, "%s\n", line.c_str());
        };
        print(header);
        for (const Row& r : rows)
            print(r);
        fprintf(out, "%zu variables\n", rows.size());
    }
    CallOutcome logout;
    if (!Step(runner, MakeCall("Logout", {Ref("Handle"), Int(0)}), err, logout))
        exitCode = 1;
    return exitCode;
}

} // namespace varsvccall
