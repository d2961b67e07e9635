// morval: construction and reset of the compiler facade, the compilations of
// Parse, ParseVar and ParseInitVal, the deletion of variables and the
// message-count handling.
#include "compiler/morval.h"

#include "base/TiMemRegister.h"
#include "compiler/ErrMess.h"
#include "compiler/Library.h"
#include "compiler/ParseContext.h"
#include "compiler/Parser.h"
#include "compiler/SymAttr.h"
#include "compiler/SymTab.h"
#include "compiler/SymTabSet.h"
#include "compiler/TiDB.h"
#include "compiler/TiEncoder.h"
#include "compiler/TiInitValSpec.h"
#include "compiler/TiNode.h"
#include "compiler/TiScanner.h"
#include "compiler/TiVariable.h"

#include <cstdio>
#include <new>
#include <vector>

using namespace morvalcode;

namespace {

char* Unit() {
    return const_cast<char*>(kModule);
}

// Announces a block the facade made to the memory registration.
template <class T>
T* Registered(T* p, int line) {
    if (p != nullptr) {
        TiMemRegisterMemory(p, Unit(), line);
    }
    return p;
}

// Withdraws and frees a block the facade made.
template <class T>
void Release(T*& p, int line) {
    if (p != nullptr) {
        TiMemDeRegisterMemoryFkt(p, Unit(), line);
        delete p;
        p = nullptr;
    }
}

void Trace(const char* text) {
    std::fputs(text, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

uint16_t Remaining(uint16_t max, uint16_t sofar) {
    if (max == 0) {
        return 0; // no limit
    }
    if (sofar >= max) {
        return 1;
    }
    uint16_t left = static_cast<uint16_t>(max - sofar);
    return left;
}

uint16_t AddSaturated(uint16_t a, uint16_t b) {
    uint32_t s = static_cast<uint32_t>(a) + b;
    return s > 0xFFFF ? static_cast<uint16_t>(0xFFFF) : static_cast<uint16_t>(s);
}

} // namespace

// ================================================================ lifetime

morval::morval(BADatabase* db, wiShellWindow* win, TiCompOptions* opts)
    : TiCompOptions(false), database(db) {
    if (opts != nullptr) {
        TiCompOptions::operator=(*opts);
    }
    hostFlags |= HOST_FACADE;
    errMess = Registered(new (std::nothrow) ErrMess(win), __LINE__);
    if (errMess == nullptr) {
        status = ST_NO_SINK;
        return;
    }
    reset(0);
}

morval::~morval() {
    char line[160];
    std::snprintf(line, sizeof line, "~morval %p, st_set: %p, sysGlobTab: %p, db_if : %p",
                  static_cast<void*>(this), static_cast<void*>(st_set),
                  st_set != nullptr ? static_cast<void*>(st_set->GetGlobalTab()) : nullptr,
                  static_cast<void*>(db_if));
    Trace(line);
    // The kept trees point into the tables.
    Release(bodies, __LINE__);
    if (library != nullptr) {
        library->ReleaseUnits();
    }
    // The library goes first: the initial values it keeps point into the
    // tables.
    Release(library, __LINE__);
    Release(st_set, __LINE__);
    Release(errMess, __LINE__);
    CloseListFile();
    Release(db_if, __LINE__);
}

short morval::reset(short mode) {
    if (errMess == nullptr) {
        status = ST_NO_SINK;
        return static_cast<short>(status);
    }
    status = 0;
    if (bodies != nullptr) {
        bodies->Clear();
    }
    if (library != nullptr) {
        library->ReleaseUnits();
        // With the global table kept, its variables must not keep pointing
        // to initial values that go with the library.
        library->ReleaseInitVals(st_set != nullptr && (mode & 1) != 0 ? st_set->GetGlobalTab()
                                                                        : nullptr);
    }
    if (st_set != nullptr) {
        char line[96];
        std::snprintf(line, sizeof line, "st_set %p, reset mode = %d", static_cast<void*>(st_set),
                      static_cast<int>(mode));
        Trace(line);
        if (st_set->reset(database, mode) != 0) {
            status = ST_SET_FAILED;
        }
    } else {
        st_set = Registered(new (std::nothrow) SymTabSet(kGlobalBuckets, database, errMess),
                            __LINE__);
        if (st_set == nullptr) {
            status = ST_NO_SET;
            ReportNoMemory(__LINE__);
        } else if (st_set->GetStatus() != 0) {
            status = ST_SET_FAILED;
        }
    }
    if (status == 0) {
        Release(library, __LINE__);
        library = Registered(new (std::nothrow) Library(errMess), __LINE__);
        if (library == nullptr) {
            status = ST_NO_LIBRARY;
            ReportNoMemory(__LINE__);
        }
    }
    if (status == 0) {
        Release(db_if, __LINE__);
        db_if = Registered(new (std::nothrow) TiDB(database, st_set, errMess), __LINE__);
        if (db_if != nullptr && db_if->GetConstrStatus() != 0) {
            Release(db_if, __LINE__); // an adapter without its unit name is none
        }
        if (db_if == nullptr) {
            status = ST_NO_ADAPTER;
            ReportNoMemory(__LINE__);
        }
    }
    char line[160];
    std::snprintf(line, sizeof line, "new morval %p, st_set: %p, sysGlobTab: %p, db_if : %p",
                  static_cast<void*>(this), static_cast<void*>(st_set),
                  st_set != nullptr ? static_cast<void*>(st_set->GetGlobalTab()) : nullptr,
                  static_cast<void*>(db_if));
    Trace(line);
    return static_cast<short>(status);
}

// ================================================================ messages

void morval::ReportInternal(int32_t location, int line) {
    if (errMess != nullptr) {
        errMess->ReportInternal(location, kModule, line, kRevision);
    }
}

void morval::ReportNoMemory(int line) {
    if (errMess != nullptr) {
        errMess->ReportNoMemory(kModule, line);
    }
}

short morval::SetErrMessWin(wiShellWindow* win) {
    if (errMess == nullptr) {
        errMess = Registered(new (std::nothrow) ErrMess(win), __LINE__);
    } else {
        errMess->Init(win);
    }
    return errMess != nullptr ? 0 : 1;
}

short morval::GetNoOfErrors() {
    return errMess != nullptr ? static_cast<short>(errMess->GetErrors()) : 1;
}

short morval::GetNoOfWarnings() {
    return errMess != nullptr ? static_cast<short>(errMess->GetWarnings()) : 0;
}

void morval::ResetErrors(ErrCount* counts) {
    if (errMess == nullptr) {
        return;
    }
    errMess->ResetCounts();
    if (counts != nullptr) {
        errMess->SetLimits(Remaining(counts->maxErrors, counts->errors),
                           Remaining(counts->maxWarnings, counts->warnings));
    } else {
        errMess->SetLimits(errRepLimit > 0 ? static_cast<uint16_t>(errRepLimit) : 0,
                           warnRepLimit > 0 ? static_cast<uint16_t>(warnRepLimit) : 0);
    }
}

short morval::SetContext(BADatabase* db) {
    if (status != 0) {
        ReportInternal(status, __LINE__);
        return 0;
    }
    database = db;
    db_if->SetContext(db);
    st_set->SetDatabase(db);
    return 0;
}

// ============================================================ compilation

short morval::Compile(LineReader reader, const char* text, TiCompOptions* opts, short startToken,
                      unsigned short contextFlags, AST_Update* update, TiNode** tree,
                      TiInitValSpec** initVal) {
    short code = 0;
    short ctxStatus = 0;
    ParseContext* ctx = Registered(
        new (std::nothrow) ParseContext(st_set, library, db_if, errMess, opts, update, &ctxStatus),
        __LINE__);
    Parser* parser = nullptr;
    TiScanner* scanner = nullptr;
    if (ctx == nullptr) {
        code = CC_NO_CONTEXT;
    } else if (ctxStatus != 0) {
        code = CC_CONTEXT_FAILED;
    }
    if (code == 0) {
        parser = Registered(new (std::nothrow) Parser(ctx, Parser::kDefaultCapacity), __LINE__);
        if (parser == nullptr || !parser->IsUsable()) {
            code = CC_NO_PARSER;
        }
    }
    if (code == 0) {
        short scanStatus = 0;
        if (reader != nullptr) {
            scanner = new (std::nothrow)
                TiScanner(reader, st_set, errMess, opts, startToken, contextFlags, &scanStatus);
        } else if (text != nullptr) {
            scanner = new (std::nothrow)
                TiScanner(text, st_set, errMess, opts, startToken, contextFlags, &scanStatus);
        } else {
            code = CC_NO_SOURCE;
        }
        if (code == 0) {
            Registered(scanner, __LINE__);
            if (scanner == nullptr) {
                code = CC_NO_SCANNER;
            } else if (scanStatus != 0) {
                code = CC_SCANNER_FAILED;
            }
        }
    }
    if (code == 0) {
        // Syntax errors are counted and reported; they do not make the
        // compilation fail.
        parser->parse(scanner);
    }
    Release(scanner, __LINE__);
    Release(parser, __LINE__);
    if (code > 0) {
        ReportInternal(code, __LINE__);
    } else if (code < 0) {
        ReportNoMemory(__LINE__);
    }
    if (ctx != nullptr && code == 0) {
        if (tree != nullptr) {
            *tree = ctx->TakeTree();
        }
        if (initVal != nullptr) {
            *initVal = ctx->TakeInitVal();
        }
    }
    Release(ctx, __LINE__);
    return code;
}

short morval::Parse(LineReader reader, const char* sourceName, AISection* section, TiNode** tree,
                    ErrCount* counts, AST_Update* update) {
    if (status != 0) {
        ReportInternal(status, __LINE__);
        return static_cast<short>(status);
    }
    if (tree != nullptr) {
        *tree = nullptr;
    }
    hostFlags |= HOST_READER;
    db_if->SetSection(section, this);
    database = db_if->GetDatabase();
    st_set->SetDatabase(database);
    ResetErrors(counts);
    short result = 0;
    if (status == 0) {
        errMess->SetSourceName(sourceName);
        TiNode* kept = nullptr;
        result = Compile(reader, nullptr, this, 0, 0, update, tree != nullptr ? tree : &kept,
                         nullptr);
        KeepTree(tree, kept);
    }
    if (counts != nullptr) {
        counts->errors = AddSaturated(counts->errors, errMess->GetErrors());
        counts->warnings = AddSaturated(counts->warnings, errMess->GetWarnings());
    }
    return result;
}

short morval::Parse(const char* text, const char* sourceName, AISection* section, TiNode** tree,
                    ErrCount* counts, AST_Update* update) {
    if (status != 0) {
        ReportInternal(status, __LINE__);
        return static_cast<short>(status);
    }
    if (tree != nullptr) {
        *tree = nullptr;
    }
    db_if->SetSection(section, this);
    database = db_if->GetDatabase();
    st_set->SetDatabase(database);
    ResetErrors(counts);
    short result = 0;
    if (status == 0) {
        errMess->SetSourceName(sourceName);
        TiNode* kept = nullptr;
        result = Compile(nullptr, text, this, 0, 0, update, tree != nullptr ? tree : &kept,
                         nullptr);
        KeepTree(tree, kept);
    }
    if (counts != nullptr) {
        counts->errors = AddSaturated(counts->errors, errMess->GetErrors());
        counts->warnings = AddSaturated(counts->warnings, errMess->GetWarnings());
    }
    return result;
}

short morval::ParseVar(const char* text, TiVariable** var, ErrDesc** errors, bool flag) {
    char line[96];
    std::snprintf(line, sizeof line, "morval::ParseVar %.64s", text != nullptr ? text : "");
    Trace(line);
    if (var != nullptr) {
        *var = nullptr;
    }
    if (errors != nullptr) {
        *errors = nullptr;
    }
    if (status != 0) {
        ReportInternal(status, __LINE__);
        return static_cast<short>(status);
    }
    TiCompOptions runOpts(true);
    runOpts.langFlags = langFlags;
    runOpts.modeFlags |= MODE_PARSE_VAR | MODE_QUERY_VAR;
    runOpts.hostFlags |= HOST_READER;
    if (flag) {
        runOpts.langFlags |= TiCompOptions::TildeLiterals;
    }
    ResetErrors(nullptr);
    bool collecting = errMess->IsCollecting();
    if (errors != nullptr) {
        errMess->SetCollect(true);
    }
    TiVariable* parsed = nullptr;
    short result = TiVariable::Parse(text, st_set, errMess, &runOpts, TiVarModes{}, &parsed);
    if (var != nullptr) {
        *var = parsed;
    } else {
        delete parsed;
    }
    if (errors != nullptr) {
        *errors = errMess->TakeCollected();
        errMess->SetCollect(collecting);
    }
    return result;
}

short morval::ParseInitVal(const char* text, SymAttr* type, TiInitValSpec** value,
                           ErrDesc** errors) {
    if (value != nullptr) {
        *value = nullptr;
    }
    if (errors != nullptr) {
        *errors = nullptr;
    }
    if (status != 0) {
        ReportInternal(status, __LINE__);
        return static_cast<short>(status);
    }
    // A private copy of the default options selects the initial-value part
    // of the grammar; the value is spelled by the facade's language rules,
    // as the declarations it refers to are (so does ParseVar).
    TiCompOptions runOpts(true);
    runOpts.langFlags = langFlags;
    runOpts.modeFlags |= MODE_INIT_VAL | MODE_QUERY_VAR;
    runOpts.hostFlags |= HOST_READER;
    ResetErrors(nullptr);
    bool collecting = errMess->IsCollecting();
    if (errors != nullptr) {
        errMess->SetCollect(true);
    }
    TiInitValSpec* parsed = nullptr;
    short result = Compile(nullptr, text, &runOpts, 0, 0, nullptr, nullptr, &parsed);
    if (result == 0) {
        if (parsed == nullptr || errMess->GetErrors() != 0) {
            result = PI_NO_VALUE;
        } else if (type == nullptr) {
            result = PI_NO_VALUE;
        } else {
            result = parsed->Check(type, errMess);
        }
    }
    if (result != 0) {
        TiDelInitValSpecList(parsed);
        parsed = nullptr;
    }
    if (value != nullptr) {
        *value = parsed;
    } else {
        TiDelInitValSpecList(parsed);
    }
    if (errors != nullptr) {
        *errors = errMess->TakeCollected();
        errMess->SetCollect(collecting);
    }
    return result;
}

// ====================================================== deleting variables

short morval::CurrentUnitTable(SymTab** table) {
    *table = nullptr;
    if (db_if == nullptr || st_set == nullptr) {
        return DV_NO_UNIT;
    }
    const char* unit = db_if->GetUnitName();
    if (unit == nullptr || unit[0] == '\0') {
        return DV_NO_UNIT;
    }
    *table = st_set->GetLocalTab(unit);
    return *table != nullptr ? 0 : DV_NO_TABLE;
}

short morval::DeleteRecord(SymAttr* rec) {
    SymTab* table = nullptr;
    short rc = CurrentUnitTable(&table);
    if (rc != 0) {
        return rc;
    }
    if (rec == nullptr) {
        return DV_NOT_FOUND;
    }
    bool variable = rec->GetKind() == sym::KIND_VARIABLE || rec->GetKind() == sym::KIND_FB_INSTANCE;
    if (!variable || (rec->GetContext() & kDeletableSections) == 0) {
        return DV_NOT_DELETABLE;
    }
    if (rec->GetKind() == sym::KIND_FB_INSTANCE) {
        SymTab* instance = rec->GetScopeTab();
        rec->DropScopeTab();
        if (instance != nullptr && instance != table) {
            st_set->DeleteTab(instance);
        }
    }
    // The unit's lists must not start at a record that goes.
    if (SymAttr* unit = rec->GetUnit()) {
        SymAttr* io = unit->GetIO_VarEntry();
        SymAttr* other = unit->GetOtherVarEntry();
        if (io == rec || other == rec) {
            unit->DefPOU(unit->GetPOU_Type(), unit->GetScopeTab(), io == rec ? rec->GetNext() : io,
                         other == rec ? rec->GetNext() : other, unit->GetTypeSpec(0),
                         unit->GetTypeFlags());
        }
    }
    if (library != nullptr) {
        library->ForgetRecord(rec);
    }
    // Kept bodies may name the record (a unit's own, or a call with the
    // formal parameters of a function block): none is encoded any more.
    if (bodies != nullptr) {
        bodies->Clear();
    }
    rec->Unlink();
    return table->remove(rec) == 0 ? 0 : DV_NOT_FOUND;
}

short morval::DelVar(const char* name) {
    char line[96];
    std::snprintf(line, sizeof line, "morval::DelVar %.64s", name != nullptr ? name : "");
    Trace(line);
    if (status != 0) {
        ReportInternal(status, __LINE__);
        return static_cast<short>(status);
    }
    SymTab* table = nullptr;
    short rc = CurrentUnitTable(&table);
    if (rc != 0) {
        return rc;
    }
    SymAttr* rec = name != nullptr ? table->lookup(name) : nullptr;
    if (rec == nullptr || rec->GetKind() == sym::KIND_UNDEFINED) {
        return DV_NOT_FOUND;
    }
    return DeleteRecord(rec);
}

short morval::DelVars() {
    if (status != 0) {
        ReportInternal(status, __LINE__);
        return static_cast<short>(status);
    }
    SymTab* table = nullptr;
    short rc = CurrentUnitTable(&table);
    if (rc != 0) {
        return rc;
    }
    // Collected first: removing records while walking the table would
    // disturb the walk.
    std::vector<SymAttr*> doomed;
    for (SymAttr* r = table->FindFirstEntry(); r != nullptr; r = table->FindNextEntry(r)) {
        bool variable =
            r->GetKind() == sym::KIND_VARIABLE || r->GetKind() == sym::KIND_FB_INSTANCE;
        if (variable && (r->GetContext() & kDeletableSections) != 0) {
            try {
                doomed.push_back(r);
            } catch (const std::bad_alloc&) {
                ReportNoMemory(__LINE__);
                break;
            }
        }
    }
    short result = 0;
    for (SymAttr* r : doomed) {
        char line[96];
        std::snprintf(line, sizeof line, "morval::DelVars %.64s",
                      r->GetName() != nullptr ? r->GetName() : "");
        Trace(line);
        result = static_cast<short>(result | DeleteRecord(r));
    }
    return result;
}

// ================================================================= encode

short morval::Encode(FILE* out) {
    if (status != 0) {
        ReportInternal(status, __LINE__);
        return static_cast<short>(status);
    }
    if (st_set == nullptr) {
        return EN_NO_SET;
    }
    if (GetNoOfErrors() != 0) {
        return EN_ERRORS;
    }
    TiEncoder* made = Registered(new (std::nothrow) TiEncoder(st_set, library, db_if, errMess),
                                 __LINE__);
    if (made == nullptr) {
        ReportNoMemory(__LINE__);
        return EN_NO_ENCODER;
    }
    encoder = made;
    short result = made->EncodeAll(bodies, out);
    encoder = nullptr;
    Release(made, __LINE__);
    return result;
}

void morval::AdoptTree(TiNode* tree) {
    if (tree == nullptr) {
        return;
    }
    if (bodies == nullptr) {
        bodies = Registered(new (std::nothrow) TiUnitBodies, __LINE__);
        if (bodies == nullptr) {
            ReportNoMemory(__LINE__);
            delete tree;
            return;
        }
    }
    if (!bodies->Adopt(tree)) {
        ReportNoMemory(__LINE__);
    }
}

void morval::KeepTree(TiNode** hostTree, TiNode* kept) {
    if (hostTree != nullptr) {
        if (bodies != nullptr && *hostTree != nullptr) {
            bodies->ForgetUnitsOf(*hostTree);
        }
        return;
    }
    AdoptTree(kept);
}
