// morval: the command-line compiler. It compiles IEC 61131-3 source files
// in order with one compiler facade (declarations accumulate, as a host that
// feeds several sources sees them), writes the diagnostics to the standard
// error stream, and prints what the options ask for: the user-defined data
// types, their C declarations, the statement trees, the code listing,
// resolved access paths, checked initial values and scanned literals.
//
// Decisions:
// - The compiler library writes traces and an echo of every message to the
//   standard output; the tool sends those to /dev/null and writes its own
//   output to the original standard output, so that it stays readable by
//   programs.
// - Diagnostics are "FILE:LINE:COL: warning|error|internal error NUMBER:
//   TEXT" with the position as the compiler reports it (0 when unknown) and
//   the message number with its sign (the warnings 1704, 1717 and 1718 are
//   positive, every other number negative). Messages of --path and --init
//   carry "--path" and "--init" as FILE; those of --listing the file that
//   declared the program units, or "--listing" when several files did.
//   The summary line is "morval: N error(s), M warning(s)", counted as the
//   compiler counts them (messages beyond its report limits included).
// - --listing encodes only sources without errors; a listing that ends
//   with a status is reported on a line of its own.
// - A file is read whole before it is compiled; a file that cannot be read
//   ends the run at once with exit code 2 and no further output. A NUL byte
//   in a source is read as a blank: the compiler reads zero-terminated
//   lines, and the rest of the line must not vanish unseen.
// - The data types are numbered on across the files ("seq"): the compiler
//   numbers each compilation's types from 1, and the type listing and the
//   C declarations follow the numbers.
// - Statement trees are written with "\n" line ends, each file's tree
//   after a line "(* FILE *)"; a file without statements writes none.
// - --lit takes every argument after its type as a text, except
//   "--lenient"; "canonical" is the text after the scan (with --lenient the
//   corrected text of a successful retry), "value" is null after an error.
// - A literal or initial value with an error status, and an access path
//   with errors, count as errors for the exit code.
#include "tools/morval_output.h"

#include "base/IecTypeIds.h"
#include "base/TiLitScan.h"
#include "base/TiValToLit.h"
#include "compiler/ErrMess.h"
#include "compiler/IOBase.h"
#include "compiler/Library.h"
#include "compiler/SymAttr.h"
#include "compiler/SymTab.h"
#include "compiler/SymTabSet.h"
#include "compiler/TiInitValSpec.h"
#include "compiler/TiNode.h"
#include "compiler/TiTypeGenerator.h"
#include "compiler/TiVariable.h"
#include "compiler/morval.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace morvaltool;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitErrors = 1;
constexpr int kExitUsage = 2;

/// Largest source file read (a larger one is refused as unreadable).
constexpr long kMaxSourceBytes = 64L * 1024 * 1024;
/// Largest initial-value image written.
constexpr unsigned short kMaxImage = 65535;
/// Room for a literal's text after a lenient retry.
constexpr size_t kLitExtra = 64;

const char* const kHelp =
    "Usage: morval [options] FILE...\n"
    "\n"
    "Compiles IEC 61131-3 source files (data types, program units, Structured\n"
    "Text, Instruction List, Sequential Function Chart) in the order given with\n"
    "one compiler: the declarations of a file are known to the files after it.\n"
    "Diagnostics go to the standard error stream as\n"
    "  FILE:LINE:COL: warning|error|internal error NUMBER: TEXT\n"
    "followed by the summary line \"morval: N error(s), M warning(s)\".\n"
    "\n"
    "Options:\n"
    "  --server           compile with the option settings the catalogue server\n"
    "                     uses for a project's data-type files (equivalent type\n"
    "                     redeclarations accepted silently, names may begin with\n"
    "                     digits, keywords and names only in upper case)\n"
    "  --lower-case       accept keywords and names in any letter case\n"
    "  --types            print the user-defined data types in declaration order\n"
    "  --json             with --types: one JSON object per line,\n"
    "                     {\"name\",\"class\":\"struct|array|enum|subrange|alias\",\n"
    "                     \"size\",\"seq\", ...} and by class:\n"
    "                       struct   \"components\":[{\"name\",\"type\",\"offset\",\"size\"}]\n"
    "                       array    \"element\", \"dims\":[{\"lower\",\"upper\",\"stride\"}],\n"
    "                                \"add\"\n"
    "                       enum     \"values\":[{\"name\",\"value\"}]\n"
    "                       subrange \"base\", \"lower\", \"upper\"\n"
    "                       alias    \"base\"\n"
    "                     \"seq\" numbers the types in declaration order over all\n"
    "                     files\n"
    "  --c-types          print the C typedef declarations of the data types\n"
    "  --tree             print the statement trees of the files\n"
    "  --listing          print the code listing of the program units (only when\n"
    "                     the sources have no errors)\n"
    "  --path TEXT        after compiling, resolve the access path TEXT and print\n"
    "                     {\"path\",\"status\",\"offset\",\"type\",\"text\"}\n"
    "                     (status 0, 102 for an offset that is not constant, or\n"
    "                     the reading's failure); may be given several times\n"
    "  --init TYPE VALUE  check the initial value VALUE against the data type TYPE\n"
    "                     and print {\"status\",\"image\":\"hex bytes\",\"text\"};\n"
    "                     may be given several times\n"
    "  --lit TYPE TEXT... scan each TEXT as a literal of the elementary type TYPE\n"
    "                     and print {\"text\",\"type\",\"status\",\"accepted\",\n"
    "                     \"value\",\"canonical\"} per text; every argument after\n"
    "                     TYPE is a text\n"
    "  --lenient          with --lit: retry a failed literal leniently\n"
    "  --help, -h         print this help\n"
    "  --                 end of the options\n"
    "\n"
    "Exit code: 0 without errors, 1 with errors, 2 for a usage error or a file\n"
    "that cannot be read.\n";

struct InitRequest {
    std::string type;
    std::string value;
};

struct Options {
    bool server = false;
    bool lowerCase = false;
    bool types = false;
    bool json = false;
    bool cTypes = false;
    bool tree = false;
    bool listing = false;
    bool lenient = false;
    bool help = false;
    std::vector<std::string> paths;
    std::vector<InitRequest> inits;
    bool lit = false;
    std::string litType;
    std::vector<std::string> litTexts;
    std::vector<std::string> files;
};

/// Reads the arguments. Returns an empty text, or the usage error.
std::string ParseArgs(int argc, char** argv, Options& o) {
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (o.lit) {
            if (a == "--lenient") {
                o.lenient = true;
            } else {
                o.litTexts.push_back(a);
            }
            continue;
        }
        if (optionsEnd || a.empty() || a[0] != '-' || a == "-") {
            o.files.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnd = true;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--server") {
            o.server = true;
        } else if (a == "--lower-case") {
            o.lowerCase = true;
        } else if (a == "--types") {
            o.types = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--c-types") {
            o.cTypes = true;
        } else if (a == "--tree") {
            o.tree = true;
        } else if (a == "--listing") {
            o.listing = true;
        } else if (a == "--lenient") {
            o.lenient = true;
        } else if (a == "--path") {
            if (i + 1 >= argc) {
                return "--path needs a TEXT";
            }
            o.paths.emplace_back(argv[++i]);
        } else if (a == "--init") {
            if (i + 2 >= argc) {
                return "--init needs a TYPE and a VALUE";
            }
            o.inits.push_back(InitRequest{argv[i + 1], argv[i + 2]});
            i += 2;
        } else if (a == "--lit") {
            if (i + 1 >= argc) {
                return "--lit needs a TYPE";
            }
            o.lit = true;
            o.litType = argv[++i];
        } else {
            return "unknown option " + a;
        }
    }
    if (o.help) {
        return "";
    }
    if (o.json && !o.types) {
        return "--json needs --types";
    }
    if (o.lit && o.litTexts.empty()) {
        return "--lit needs at least one TEXT";
    }
    if (o.files.empty() && o.paths.empty() && o.inits.empty() && !o.lit) {
        return "no FILE given";
    }
    return "";
}

// ------------------------------------------------------------------ sources

/// The source being compiled, served line by line to the facade.
struct Source {
    std::vector<char> bytes;
    size_t at = 0;
};
Source g_source;

char* ReadLine(char* buffer, unsigned short size) {
    if (buffer == nullptr || size < 2 || g_source.at >= g_source.bytes.size()) {
        return nullptr;
    }
    size_t n = 0;
    while (n + 1 < size && g_source.at < g_source.bytes.size()) {
        char c = g_source.bytes[g_source.at++];
        buffer[n++] = c == '\0' ? ' ' : c;
        if (c == '\n') {
            break;
        }
    }
    buffer[n] = '\0';
    return buffer;
}

/// Reads the whole file. False with the reason in `why`.
bool ReadFile(const std::string& name, std::vector<char>& bytes, std::string& why) {
    FILE* f = std::fopen(name.c_str(), "rb");
    if (f == nullptr) {
        why = std::strerror(errno);
        return false;
    }
    bytes.clear();
    char buf[65536];
    for (;;) {
        size_t n = std::fread(buf, 1, sizeof buf, f);
        bytes.insert(bytes.end(), buf, buf + n);
        if (static_cast<long>(bytes.size()) > kMaxSourceBytes) {
            why = "file too large";
            std::fclose(f);
            return false;
        }
        if (n < sizeof buf) {
            break;
        }
    }
    bool failed = std::ferror(f) != 0;
    int err = errno;
    std::fclose(f);
    if (failed) {
        why = std::strerror(err != 0 ? err : EIO);
        return false;
    }
    return true;
}

// ------------------------------------------------------------------ helpers

/// Errors and warnings of the whole run.
struct Counts {
    unsigned errors = 0;
    unsigned warnings = 0;
};

/// Takes the facade's collected messages and writes them as diagnostics.
void Flush(morval& m, const char* file) {
    ErrDesc* list = m.GetErrMess() != nullptr ? m.GetErrMess()->TakeCollected() : nullptr;
    WriteDiagnostics(stderr, file, list);
    ErrDesc::DeleteList(list);
}

/// Adds what the facade counted since its counts were last reset: the
/// messages beyond the report limits included.
void Account(morval& m, Counts& counts) {
    if (m.GetErrMess() != nullptr) {
        counts.errors += m.GetErrMess()->GetErrors();
        counts.warnings += m.GetErrMess()->GetWarnings();
    }
}

/// Numbers the data types of a compilation on from the ones before: the
/// compiler numbers the types of each compilation from 1, so that with
/// several files the numbers alone would not give the order of declaration
/// (which the type listing and the C declarations follow). `numbered` keeps
/// the number given to each type; a type declared again gets a new one.
void NumberOn(SymTab* global, std::map<const SymAttr*, unsigned short>& numbered,
              unsigned short& last) {
    if (global == nullptr) {
        return;
    }
    unsigned short base = last;
    for (SymAttr* r = global->FindFirstEntry(); r != nullptr; r = global->FindNextEntry(r)) {
        if (!r->IsDType() || !r->IsVisibleDType() || r->GetSeqNo() == 0) {
            continue;
        }
        auto it = numbered.find(r);
        if (it != numbered.end() && it->second == r->GetSeqNo()) {
            continue; // numbered before and not declared again
        }
        unsigned n = static_cast<unsigned>(base) + r->GetSeqNo();
        unsigned short seq =
            n > 0xFFFF ? static_cast<unsigned short>(0xFFFF) : static_cast<unsigned short>(n);
        r->SetSeqNo(seq);
        numbered[r] = seq;
        if (seq > last) {
            last = seq;
        }
    }
}

/// The tree dump with "\n" line ends.
std::string DumpTree(const TiNode* tree) {
    std::string text = TiDumpTreeText(tree);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out += text[i];
    }
    return out;
}

/// A data type by name: the global table (any case), else the elementary
/// types (as written, then upper-cased).
SymAttr* FindType(morval& m, const std::string& name) {
    SymTabSet* set = m.GetSymTabSet();
    if (set == nullptr) {
        return nullptr;
    }
    SymAttr* t = set->GetGlobalTab()->lookup(name.c_str());
    if (t != nullptr && t->IsDType()) {
        return t;
    }
    t = set->GetElemTab()->lookup(name.c_str());
    if (t != nullptr) {
        return t;
    }
    std::string upper = name;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return set->GetElemTab()->lookup(upper.c_str());
}

struct ElemType {
    const char* name;
    short id;
};

const ElemType kElemTypes[] = {
    {"BOOL", -1},    {"BYTE", -2},   {"WORD", -3},         {"DWORD", -4},  {"SINT", -10},
    {"INT", -11},    {"DINT", -12},  {"LINT", -13},        {"USINT", -14}, {"UINT", -15},
    {"UDINT", -16},  {"ULINT", -17}, {"REAL", -18},        {"LREAL", -19}, {"TIME", -20},
    {"DATE", -21},   {"TOD", -22},   {"TIME_OF_DAY", -22}, {"DT", -23},    {"DATE_AND_TIME", -23},
    {"STRING", -24},
};

const ElemType* FindElemType(const std::string& name) {
    std::string upper = name;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    for (const ElemType& e : kElemTypes) {
        if (upper == e.name) {
            return &e;
        }
    }
    return nullptr;
}

// ------------------------------------------------------------------ actions

void WritePath(FILE* out, morval& m, const std::string& text, Counts& counts) {
    TiVariable* v = nullptr;
    short rc = m.ParseVar(text.c_str(), &v, nullptr, false);
    std::unique_ptr<TiVariable> own(v);
    Flush(m, "--path");
    std::string offset = "null";
    std::string type = "null";
    std::string canonical = "null";
    short status = rc;
    if (v != nullptr) {
        unsigned long off = 0;
        short offRc = v->GetCompOffset(&off);
        Flush(m, "--path");
        if (status == 0) {
            status = offRc;
        }
        offset = std::to_string(off);
        SymAttr* t = v->GetCurDType();
        type = JsonString(t != nullptr && t->GetName() != nullptr ? t->GetName() : "");
        char* c = nullptr;
        if (v->GetAsciiSpec(&c) == 0 && c != nullptr) {
            canonical = JsonString(c);
        }
        delete[] c;
    }
    Account(m, counts);
    std::fprintf(out, "{\"path\":%s,\"status\":%d,\"offset\":%s,\"type\":%s,\"text\":%s}\n",
                 JsonString(text.c_str()).c_str(), static_cast<int>(status), offset.c_str(),
                 type.c_str(), canonical.c_str());
}

void WriteInit(FILE* out, morval& m, const InitRequest& req, Counts& counts) {
    SymAttr* type = FindType(m, req.type);
    if (type == nullptr) {
        if (m.GetErrMess() != nullptr) {
            m.ResetErrors(nullptr);
            m.GetErrMess()->Report(errmess::SEV_ERROR, -3486, 0, 0);
            Flush(m, "--init");
            Account(m, counts);
        }
        std::fprintf(out, "{\"status\":-3486,\"image\":null,\"text\":null}\n");
        return;
    }
    TiInitValSpec* value = nullptr;
    ErrDesc* errors = nullptr;
    short rc = m.ParseInitVal(req.value.c_str(), type, &value, &errors);
    WriteDiagnostics(stderr, "--init", errors);
    unsigned errorsBefore = counts.errors;
    Account(m, counts);
    if (rc != 0 && counts.errors == errorsBefore) {
        ++counts.errors; // refused without a message of its own
    }
    ErrDesc::DeleteList(errors);
    std::string image = "null";
    std::string text = "null";
    if (value != nullptr) {
        std::vector<char> buf(kMaxImage);
        unsigned short len = kMaxImage;
        if (value->GetBinVal(buf.data(), &len) == 0) {
            image.assign(1, '"');  // not operator= of a literal: GCC 12 -O3 warns falsely (-Wrestrict)
            for (unsigned short i = 0; i < len; ++i) {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%s%02X", i ? " " : "",
                              static_cast<unsigned>(static_cast<unsigned char>(buf[i])));
                image += hex;
            }
            image += "\"";
        }
        const char* t = value->GetAsciiSpec();
        if (t != nullptr) {
            text = JsonString(t);
        }
        TiDelInitValSpecList(value);
    }
    std::fprintf(out, "{\"status\":%d,\"image\":%s,\"text\":%s}\n", static_cast<int>(rc),
                 image.c_str(), text.c_str());
}

void WriteLiterals(FILE* out, const Options& o, Counts& counts) {
    const ElemType* e = FindElemType(o.litType);
    TiLitScan scan;
    TiValToLit formatter;
    if (o.lenient) {
        scan.flags = TI_LITSCAN_LENIENT;
    }
    for (const std::string& text : o.litTexts) {
        std::vector<char> buf(text.size() + kLitExtra + 1, '\0');
        std::memcpy(buf.data(), text.c_str(), text.size());
        scan.SetTextCapacity(static_cast<unsigned short>(buf.size()));
        union {
            unsigned char u8;
            signed char s8;
            unsigned short u16;
            short s16;
            uint32_t u32;
            int32_t s32;
            float f;
            double d;
            IEC_DT dt;
            char* str;
        } value;
        std::memset(&value, 0, sizeof value);
        short status = scan.scan(buf.data(), e->id, &value);
        short accepted = scan.AcceptedLen();
        std::string shown = "null";
        if (status == 0 || status >= 1701) {
            char lit[512];
            void* p = e->id == iec::TYPE_STRING ? static_cast<void*>(value.str)
                                                : static_cast<void*>(&value);
            if (formatter.TiBinValToLit(e->id, p, lit, static_cast<short>(sizeof lit)) == 0) {
                shown = JsonString(lit);
            }
        }
        if (status < 0) {
            ++counts.errors;
        } else if (status >= 1701) {
            ++counts.warnings;
        }
        std::fprintf(out,
                     "{\"text\":%s,\"type\":\"%s\",\"status\":%d,\"accepted\":%d,\"value\":%s,"
                     "\"canonical\":%s}\n",
                     JsonString(text.c_str()).c_str(), e->name, static_cast<int>(status),
                     static_cast<int>(accepted), shown.c_str(), JsonString(buf.data()).c_str());
    }
}

/// The original standard output for the tool's own output; the library's
/// standard output goes to /dev/null.
FILE* DivertStdout() {
    std::fflush(stdout);
    int keep = dup(STDOUT_FILENO);
    if (keep < 0) {
        return stdout;
    }
    FILE* out = fdopen(keep, "w");
    if (out == nullptr) {
        close(keep);
        return stdout;
    }
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    std::string usage = ParseArgs(argc, argv, o);
    if (o.help) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (!usage.empty()) {
        std::fprintf(stderr, "morval: %s\nTry 'morval --help'.\n", usage.c_str());
        return kExitUsage;
    }
    if (o.lit && FindElemType(o.litType) == nullptr) {
        std::fprintf(stderr, "morval: --lit: '%s' is no elementary type\nTry 'morval --help'.\n",
                     o.litType.c_str());
        return kExitUsage;
    }

    // Every file is read before anything is compiled or written.
    std::vector<std::vector<char>> sources(o.files.size());
    for (size_t i = 0; i < o.files.size(); ++i) {
        std::string why;
        if (!ReadFile(o.files[i], sources[i], why)) {
            std::fprintf(stderr, "morval: cannot read %s: %s\n", o.files[i].c_str(), why.c_str());
            return kExitUsage;
        }
    }

    FILE* out = DivertStdout();
    Counts counts;
    int exitCode = kExitOk;
    {
        std::unique_ptr<morval> m(new morval(nullptr, nullptr, nullptr));
        if (o.server) {
            m->modeFlags |= 0x8000;
            m->langFlags |= TiCompOptions::DigitNames;
            m->langFlags &= static_cast<uint16_t>(~TiCompOptions::LowerCaseKeywords);
        }
        if (o.lowerCase) {
            m->langFlags |= TiCompOptions::LowerCaseKeywords;
        }
        ErrMess* sink = m->GetErrMess();
        if (sink != nullptr) {
            sink->SetTextLoader(MarkedTexts);
            sink->SetCollect(true);
        }
        if (m->GetStatus() != 0) {
            std::fprintf(stderr, "morval: the compiler could not be made (status %d)\n",
                         static_cast<int>(m->GetStatus()));
            ++counts.errors;
        }

        std::vector<std::pair<std::string, std::string>> trees;
        std::map<const SymAttr*, unsigned short> numbered;
        unsigned short lastSeq = 0;
        std::map<const SymAttr*, size_t> unitFile; // the file that declared each unit
        for (size_t i = 0; i < o.files.size() && m->GetStatus() == 0; ++i) {
            g_source.bytes = std::move(sources[i]);
            g_source.at = 0;
            TiNode* tree = nullptr;
            short rc = m->Parse(ReadLine, o.files[i].c_str(), nullptr, o.tree ? &tree : nullptr,
                                nullptr, nullptr);
            Flush(*m, o.files[i].c_str());
            Account(*m, counts);
            NumberOn(m->GetSymTabSet()->GetGlobalTab(), numbered, lastSeq);
            for (size_t u = 0; m->GetLibrary() != nullptr && u < m->GetLibrary()->GetUnitCount();
                 ++u) {
                unitFile.emplace(m->GetLibrary()->GetUnit(u), i);
            }
            if (rc != 0) {
                std::fprintf(stderr, "%s:0:0: internal error %d: compilation failed\n",
                             o.files[i].c_str(), static_cast<int>(rc));
                ++counts.errors;
            }
            if (tree != nullptr) {
                trees.emplace_back(o.files[i], DumpTree(tree));
                m->AdoptTree(tree); // its units stay encodable for --listing
            }
        }

        if (m->GetStatus() == 0) {
            SymTab* global = m->GetSymTabSet()->GetGlobalTab();
            if (o.types) {
                WriteTypes(out, global, o.json);
            }
            if (o.cTypes) {
                DosFile lines(out);
                lines.SetLineEnd("\n");
                TiTypeGenerator gen(global, &lines);
                int st = gen.GenerateAll_C_Types(nullptr, nullptr, nullptr);
                if (st != 0) {
                    std::fprintf(stderr, "morval: C declarations failed with status %d\n", st);
                    ++counts.errors;
                }
            }
            if (o.tree) {
                for (const auto& [file, dump] : trees) {
                    std::fprintf(out, "(* %s *)\n%s", file.c_str(), dump.c_str());
                }
            }
            if (o.listing && counts.errors > 0) {
                std::fputs("morval: --listing: the sources have errors; nothing encoded\n", stderr);
            } else if (o.listing) {
                std::fflush(out);
                // The counts of the last compilation are no longer wanted:
                // what encoding reports is counted on its own.
                m->ResetErrors(nullptr);
                short rc = m->Encode(out);
                // Positions of encoding messages are those of the file that
                // declared the units, when one file declared them all.
                std::string where = "--listing";
                size_t owner = o.files.size();
                bool one = !unitFile.empty();
                for (const auto& [unit, file] : unitFile) {
                    one = one && (owner == o.files.size() || owner == file);
                    owner = file;
                }
                if (one && owner < o.files.size()) {
                    where = o.files[owner];
                }
                Flush(*m, where.c_str());
                unsigned before = counts.errors;
                Account(*m, counts);
                if (rc != 0) {
                    std::fprintf(stderr, "morval: --listing: encoding ended with status %d\n",
                                 static_cast<int>(rc));
                    if (counts.errors == before) {
                        ++counts.errors;
                    }
                }
            }
            for (const std::string& p : o.paths) {
                WritePath(out, *m, p, counts);
            }
            for (const InitRequest& r : o.inits) {
                WriteInit(out, *m, r, counts);
            }
        }
        if (o.lit) {
            WriteLiterals(out, o, counts);
        }
        std::fflush(out);
        // The facade's destructor traces to the diverted output.
    }
    std::fprintf(stderr, "morval: %u error%s, %u warning%s\n", counts.errors,
                 counts.errors == 1 ? "" : "s", counts.warnings, counts.warnings == 1 ? "" : "s");
    if (counts.errors > 0) {
        exitCode = kExitErrors;
    }
    if (std::fflush(out) != 0 && exitCode == kExitOk) {
        exitCode = kExitErrors;
    }
    return exitCode;
}
