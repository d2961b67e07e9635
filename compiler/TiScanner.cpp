// TiScanner: line reading in both forms with overlong-line handling, blank
// and comment skipping, names and keywords, literals through the literal
// scanner, direct addresses, operators, position-deduplicated reports, the
// mark helpers, literal discarding and the echo sink.
#include "compiler/TiScanner.h"

#include "base/TiCharUtil.h"
#include "base/TiCompOptions.h"
#include "base/TiKeywordIF.h"
#include "base/TiMemRegister.h"
#include "compiler/SymAttr.h"
#include "compiler/SymTabSet.h"

#include <cstdio>
#include <cstring>
#include <new>

using namespace scan;

namespace {

// Option values when no option record is given: those of the default record.
constexpr uint16_t kDefaultLangFlags = TiCompOptions::LangDefault;
constexpr uint16_t kDefaultModeFlags = TiCompOptions::QueryVar;

// modeFlags and auxFlags bits that choose the start marker.
constexpr uint16_t kModeStart262 = 0x1000;
constexpr uint16_t kModeStart261 = 0x0400;
constexpr uint16_t kModeStart260 = 0x0800;
constexpr uint16_t kAuxStart264 = 0x0008;

uint16_t SatAdd(uint16_t a, size_t b) {
    size_t s = static_cast<size_t>(a) + b;
    return s > 0xFFFF ? static_cast<uint16_t>(0xFFFF) : static_cast<uint16_t>(s);
}

bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

bool IsAsciiLetter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Length of a plain name at `s`: an ASCII letter, then ASCII letters, digits
// and single underscores, not ending in an underscore, and followed by a
// character that cannot continue a name or make it a literal prefix ('#').
// The literal scanner reads exactly such a text as a name without error, so
// its answer is known without running it. 0 when `s` is no plain name.
size_t PlainNameLength(const char* s) {
    if (!IsAsciiLetter(static_cast<unsigned char>(s[0]))) {
        return 0;
    }
    size_t i = 1;
    for (;;) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (IsAsciiLetter(c) || (c >= '0' && c <= '9')) {
            ++i;
        } else if (c == '_' && s[i - 1] != '_') {
            ++i;
        } else {
            break;
        }
    }
    unsigned char next = static_cast<unsigned char>(s[i]);
    if (s[i - 1] == '_' || next == '#' || next == '_' || next == '$' || next == '~' ||
        next >= 0x80) {
        return 0;
    }
    return i;
}

// What every keyword of the list looks like: its longest length and the
// bytes (both cases of letters) that occur in any keyword. A name that is
// longer or holds another byte cannot be a keyword, so the keyword table
// need not be asked. Built once from the list itself.
struct KeywordShape {
    size_t maxLen = 0;
    bool used[256] = {};

    KeywordShape() {
        for (const KeywordDesc* kw = TiGetIEC_KeywordList(); kw != nullptr && kw->name != nullptr;
             ++kw) {
            size_t n = std::strlen(kw->name);
            maxLen = n > maxLen ? n : maxLen;
            for (size_t i = 0; i < n; ++i) {
                unsigned char c = static_cast<unsigned char>(kw->name[i]);
                used[c] = true;
                used[static_cast<unsigned char>(TiToLower(c))] = true;
                used[static_cast<unsigned char>(TiToUpper(c))] = true;
            }
        }
    }

    bool MayBeKeyword(const char* name) const {
        size_t i = 0;
        for (; name[i] != '\0'; ++i) {
            if (i >= maxLen || !used[static_cast<unsigned char>(name[i])]) {
                return false;
            }
        }
        return i > 0;
    }
};

const KeywordShape& Keywords() {
    static const KeywordShape shape;
    return shape;
}

// Characters that form a token by themselves.
struct SingleCharTable {
    bool single[256] = {};
    SingleCharTable() {
        for (const char* p = "()+-;,[]:.=<>*/&#$\""; *p != '\0'; ++p) {
            single[static_cast<unsigned char>(*p)] = true;
        }
    }
};

bool IsSingleCharToken(unsigned char c) {
    static const SingleCharTable table;
    return table.single[c];
}

} // namespace

// ------------------------------------------------------------- construction

TiScanner::TiScanner(LineReader r, SymTabSet* s, ErrMess* m, const TiCompOptions* opts,
                     short startToken, unsigned short contextFlags, short* st) {
    reader = r;
    Init(s, m, opts, startToken, contextFlags);
    if (status == ST_OK && reader == nullptr) {
        status = ST_NO_READER;
    }
    if (st != nullptr) {
        *st = status;
    }
}

TiScanner::TiScanner(const char* t, SymTabSet* s, ErrMess* m, const TiCompOptions* opts,
                     short startToken, unsigned short contextFlags, short* st) {
    text = t;
    textPos = t;
    textEnd = t != nullptr ? t + std::strlen(t) : nullptr;
    Init(s, m, opts, startToken, contextFlags);
    if (status == ST_OK && text == nullptr) {
        status = ST_NO_TEXT;
    }
    if (st != nullptr) {
        *st = status;
    }
}

void TiScanner::Init(SymTabSet* s, ErrMess* m, const TiCompOptions* opts, short startToken,
                     unsigned short contextFlags) {
    std::memset(line, 0, sizeof line);
    pos = 0;
    tokStart = line;
    set = s;
    sink = m;
    uint16_t auxFlags = 0;
    if (opts != nullptr) {
        langFlags = opts->langFlags;
        modeFlags = opts->modeFlags;
        auxFlags = opts->auxFlags;
    } else {
        langFlags = kDefaultLangFlags;
        modeFlags = kDefaultModeFlags;
    }
    litMode = 0;
    if ((langFlags & TiCompOptions::LowerCaseKeywords) != 0) {
        litMode |= 2;
    }
    if ((langFlags & TiCompOptions::DigitNames) != 0) {
        litMode |= 1;
    }
    if ((langFlags & TiCompOptions::TildeLiterals) != 0) {
        litMode |= 4;
    }
    // The start marker, in the order of precedence of its sources.
    if ((modeFlags & kModeStart262) != 0) {
        startMarker = tok::START_262;
    } else if ((modeFlags & kModeStart261) != 0) {
        startMarker = tok::START_261;
    } else if ((contextFlags & SCAN_CTX_FIRST) != 0) {
        startMarker = tok::START_258;
    } else if ((modeFlags & kModeStart260) != 0) {
        startMarker = tok::START_260;
    } else if ((auxFlags & kAuxStart264) != 0) {
        startMarker = (contextFlags & SCAN_CTX_SECOND) != 0 ? tok::START_263 : tok::START_264;
    } else if ((contextFlags & SCAN_CTX_THIRD) != 0) {
        startMarker = tok::START_259;
    } else {
        startMarker = startToken;
    }
    if (set == nullptr) {
        status = ST_NO_TABLES;
    }
    if (!litParse.IsUsable() && sink != nullptr) {
        sink->ReportNoMemory(kModule, __LINE__);
    }
}

TiScanner::~TiScanner() {
    if (markSet) {
        Emit(MSG_MISSING_SEMICOLON, SatAdd(markRow, 1), markCol);
    }
    delete echo;
}

// ------------------------------------------------------------------ reports

void TiScanner::Emit(short code, uint16_t r, uint16_t c, std::initializer_list<ErrArg> args) {
    // At most one scanner message stands at a position.
    if (reported && r == lastRow && c == lastCol) {
        return;
    }
    reported = true;
    lastRow = r;
    lastCol = c;
    if (sink != nullptr) {
        sink->Report(code >= 1701 ? errmess::SEV_WARNING : errmess::SEV_ERROR, code, r, c, args);
    }
}

void TiScanner::Report(short code, uint16_t r, uint16_t c) {
    Emit(code, r, c);
}

void TiScanner::ReportName(const char* name) {
    Emit(MSG_EXPECTED, row, col, {ErrArg(name)});
}

void TiScanner::ReportName2(const char* name) {
    Emit(MSG_NOT_DECLARED, row, col, {ErrArg(name)});
}

void TiScanner::SetMark() {
    if (markSet) {
        Emit(MSG_MISSING_SEMICOLON, markRow, markCol);
    }
    markSet = true;
    markRow = row;
    markCol = col;
}

void TiScanner::ClearMark(uint16_t r, uint16_t c) {
    if (markSet && (r != markRow || c != markCol)) {
        Emit(MSG_MISSING_SEMICOLON, markRow, markCol);
    }
    markSet = false;
}

void TiScanner::GetTokenEndPos(uint16_t& outRow, uint16_t& outCol) const {
    outRow = row != 0 ? row : 1;
    outCol = col != 0 ? col : 1;
}

void TiScanner::SetLineMode(bool on) {
    lineMode = on ? LINE_MODE_ON : LINE_MODE_OFF;
    eolReturned = false;
}

// --------------------------------------------------------------------- echo

void TiScanner::EnableEcho() {
    if ((modeFlags & TiCompOptions::EchoSource) == 0) {
        return;
    }
    TiEchoSink* e = new (std::nothrow) TiEchoSink;
    if (e == nullptr) {
        if (sink != nullptr) {
            sink->ReportNoMemory(kModule, __LINE__);
        }
        return;
    }
    delete echo;
    echo = e;
}

TiEchoSink* TiScanner::TakeEcho() {
    TiEchoSink* e = echo;
    echo = nullptr;
    return e;
}

void TiScanner::Echo(const char* s, size_t n) {
    if (echo != nullptr) {
        echo->Append(s, n);
    }
}

// ------------------------------------------------------------ reading lines

bool TiScanner::ReadLine() {
    return reader != nullptr ? ReadReaderLine() : ReadTextLine();
}

bool TiScanner::ReadTextLine() {
    if (textPos == nullptr || *textPos == '\0') {
        line[0] = '\0';
        pos = 0;
        return false;
    }
    // The text's length is known: the line feed is found with memchr.
    const void* lf = std::memchr(textPos, '\n', static_cast<size_t>(textEnd - textPos));
    size_t len = lf != nullptr ? static_cast<size_t>(static_cast<const char*>(lf) - textPos)
                               : static_cast<size_t>(textEnd - textPos);
    size_t take = len + (textPos[len] == '\n' ? 1 : 0);
    const bool cont = continuation;
    continuation = false;
    if (take > kMaxLineTaken) {
        if (!cont && sink != nullptr) {
            sink->ReportInternal(static_cast<int32_t>(len > 0x7FFFFFFF ? 0x7FFFFFFF : len),
                                 kModule, kOverlongLine, kRevision);
        }
        // Cut at the last blank, so that no token is split; the rest is read
        // as the next line with the same row.
        take = kMaxLineTaken;
        for (size_t i = kMaxLineTaken - 1; i >= kCutSearchLimit; --i) {
            if (textPos[i] == ' ' || textPos[i] == '\t') {
                take = i + 1;
                break;
            }
        }
        continuation = true;
    }
    std::memcpy(line, textPos, take);
    line[take] = '\0';
    textPos += take;
    pos = 0;
    if (!cont) {
        row = SatAdd(row, 1);
        col = 0;
    }
    return true;
}

bool TiScanner::ReadReaderLine() {
    line[0] = '\0';
    pos = 0;
    char* got = reader(line, kLineBuffer);
    // Whatever the reader did, the buffer ends within its bounds.
    line[kLineBuffer - 1] = '\0';
    if (got == nullptr) {
        line[0] = '\0';
        return false;
    }
    size_t len = std::strlen(line);
    const bool cont = continuation;
    // A full buffer without line feed: the reader hands over the rest of the
    // line with the next call.
    continuation = len == kLineBuffer - 1 && line[len - 1] != '\n';
    if (continuation && !cont && sink != nullptr) {
        sink->ReportInternal(static_cast<int32_t>(len), kModule, kOverlongLine, kRevision);
    }
    if (!cont) {
        row = SatAdd(row, 1);
        col = 0;
    }
    return true;
}

// ---------------------------------------------------------- blanks, comments

void TiScanner::AdvanceChar() {
    char ch = line[pos];
    Echo(&line[pos], 1);
    ++pos;
    switch (ch) {
    case '\t':
        col = SatAdd(static_cast<uint16_t>(col - col % 4), 4);
        break;
    case '\r':
        break;
    case '\n':
        // A line feed inside the buffer starts the next row here; one at its
        // end leaves that to the next line read.
        if (line[pos] != '\0') {
            row = SatAdd(row, 1);
            col = 0;
        }
        break;
    default:
        col = SatAdd(col, 1);
        break;
    }
}

TiScanner::Skip TiScanner::SkipBlanks() {
    for (;;) {
        if (atEnd) {
            return Skip::End;
        }
        unsigned char c = static_cast<unsigned char>(line[pos]);
        if (c == '\0') {
            if (!ReadLine()) {
                atEnd = true;
                return Skip::End;
            }
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r') {
            AdvanceChar();
            continue;
        }
        if (c == '\n') {
            if (lineMode != LINE_MODE_OFF && !eolReturned) {
                return Skip::EndOfLine;
            }
            eolReturned = false;
            AdvanceChar();
            continue;
        }
        if (c == '(' && line[pos + 1] == '*') {
            if (!SkipComment()) {
                atEnd = true;
                return Skip::End;
            }
            continue;
        }
        return Skip::Token;
    }
}

bool TiScanner::SkipComment() {
    const uint16_t startRow = row;
    const uint16_t startCol = col;
    const bool nested = (langFlags & TiCompOptions::NestedComments) != 0;
    AdvanceChar();
    AdvanceChar();
    long depth = 1;
    for (;;) {
        char c = line[pos];
        if (c == '\0') {
            if (!ReadLine()) {
                Emit(MSG_UNCLOSED_COMMENT, startRow, startCol,
                     {ErrArg(static_cast<int>(startRow)), ErrArg(static_cast<int>(startCol))});
                return false;
            }
            continue;
        }
        if (c == '*' && line[pos + 1] == ')') {
            AdvanceChar();
            AdvanceChar();
            if (--depth == 0) {
                break;
            }
            continue;
        }
        if (nested && c == '(' && line[pos + 1] == '*') {
            AdvanceChar();
            AdvanceChar();
            ++depth;
            continue;
        }
        AdvanceChar();
    }
    if (lineMode != LINE_MODE_OFF) {
        lineMode = LINE_MODE_COMMENT;
        commentRow = startRow;
        commentCol = startCol;
    }
    return true;
}

// ------------------------------------------------------------------- tokens

void TiScanner::FinishToken(size_t n) {
    Echo(&line[pos], n);
    pos += n;
    col = SatAdd(col, n);
    tokLen = n > 0xFFFF ? static_cast<uint16_t>(0xFFFF) : static_cast<uint16_t>(n);
}

short TiScanner::lex(TokenValue* value) {
    if (value != nullptr) {
        *value = TokenValue{};
    }
    if (status != ST_OK) {
        return tok::END;
    }
    if (startMarker != 0) {
        short t = startMarker;
        startMarker = 0;
        return t;
    }
    tokLen = 0;
    Skip s = SkipBlanks();
    tokRow = row;
    tokCol = col;
    tokStart = &line[pos];
    if (s == Skip::End) {
        return tok::END;
    }
    if (s == Skip::EndOfLine) {
        // The line feed itself is consumed by the next call.
        eolReturned = true;
        lineMode = LINE_MODE_ON;
        return tok::END_OF_LINE;
    }
    if (lineMode == LINE_MODE_COMMENT) {
        // A token after a comment on an instruction-list line.
        if ((langFlags & TiCompOptions::ILCommentsOk) == 0) {
            Emit(MSG_IL_COMMENT, commentRow, commentCol);
        }
        lineMode = LINE_MODE_ON;
    }
    unsigned char c = static_cast<unsigned char>(line[pos]);
    if (TiIsAlpha(c) != 0 || IsDigit(c) || c == '\'' || c == '_' ||
        (c == '~' && (langFlags & TiCompOptions::TildeLiterals) != 0)) {
        return ScanLiteralOrName(value);
    }
    if (c == '%') {
        return ScanDirectAddress(value);
    }
    return ScanOperator();
}

short TiScanner::ScanOperator() {
    unsigned char c = static_cast<unsigned char>(line[pos]);
    unsigned char n = static_cast<unsigned char>(line[pos + 1]);
    struct Pair {
        char a, b;
        short token;
    };
    static const Pair pairs[] = {
        {'*', '*', tok::POWER},      {'.', '.', tok::RANGE},      {':', '=', tok::ASSIGN},
        {'<', '=', tok::LESS_EQUAL}, {'<', '>', tok::NOT_EQUAL},  {'=', '>', tok::ARROW},
        {'>', '=', tok::GREATER_EQUAL},
    };
    for (const Pair& p : pairs) {
        if (c == static_cast<unsigned char>(p.a) && n == static_cast<unsigned char>(p.b)) {
            FinishToken(2);
            return p.token;
        }
    }
    if (!IsSingleCharToken(c)) {
        // Begins no token: reported, and handed to the parser as itself.
        Emit(MSG_BAD_CHARACTER, tokRow, tokCol);
    }
    FinishToken(1);
    return static_cast<short>(c);
}

SymAttr* TiScanner::LookupName(const char* name) {
    SymTab* kw = set->GetKeywordTab();
    if (kw != nullptr && Keywords().MayBeKeyword(name)) {
        if (SymAttr* r = kw->lookup(name)) {
            return r;
        }
    }
    // The current table, the open scopes from the innermost out, the unit
    // table and the global table; each table is searched once.
    SymTab* searched[8];
    int nSearched = 0;
    auto search = [&](SymTab* t) -> SymAttr* {
        if (t == nullptr || (t->GetIndexFlags() & (symtab::IDX_NAME | symtab::IDX_NAME_DUP)) == 0) {
            return nullptr;
        }
        for (int i = 0; i < nSearched; ++i) {
            if (searched[i] == t) {
                return nullptr;
            }
        }
        if (nSearched < 8) {
            searched[nSearched++] = t;
        }
        return t->lookup(name);
    };
    if (SymAttr* r = search(set->GetCurrent())) {
        return r;
    }
    for (unsigned short i = 0; SymTab* t = set->GetStackTab(i); ++i) {
        if (SymAttr* r = search(t)) {
            return r;
        }
    }
    if (SymAttr* r = search(set->GetUnitTab())) {
        return r;
    }
    return search(set->GetGlobalTab());
}

SymAttr* TiScanner::EnterName(const char* name) {
    SymTab* t = set->GetCurrent();
    if (t == nullptr || (t->GetIndexFlags() & (symtab::IDX_NAME | symtab::IDX_NAME_DUP)) == 0) {
        t = set->GetGlobalTab();
    }
    return t != nullptr ? t->insert(name, 0, nullptr) : nullptr;
}

short TiScanner::NameToken(const char* name, size_t len, uint16_t nameCol, TokenValue* value,
                           bool allowLong) {
    SymAttr* e = LookupName(name);
    if (e == nullptr) {
        if (len > kMaxNameLength && !allowLong) {
            Emit(MSG_NAME_TOO_LONG, tokRow, SatAdd(nameCol, kMaxNameLength + 1));
            char shortName[kMaxNameLength + 1];
            std::memcpy(shortName, name, kMaxNameLength);
            shortName[kMaxNameLength] = '\0';
            e = LookupName(shortName);
            if (e == nullptr) {
                e = EnterName(shortName);
            }
        } else {
            e = EnterName(name);
        }
        if (value != nullptr) {
            value->sym = e;
        }
        return tok::NAME;
    }
    if ((langFlags & TiCompOptions::LowerCaseKeywords) == 0) {
        for (size_t i = 0; i < len; ++i) {
            unsigned char ch = static_cast<unsigned char>(name[i]);
            // ASCII is decided at once; other bytes by the code page.
            bool lower = ch < 0x80 ? (ch >= 'a' && ch <= 'z')
                                   : static_cast<unsigned char>(TiToUpper(ch)) != ch;
            if (lower) {
                Emit(MSG_LOWER_CASE, tokRow, SatAdd(nameCol, i));
                break;
            }
        }
    }
    if (value != nullptr) {
        value->sym = e;
    }
    return e->GetKind() == sym::KIND_KEYWORD ? static_cast<short>(e->GetToken()) : tok::NAME;
}

short TiScanner::MakeLiteral(short token, size_t len, TokenValue* value) {
    if (value == nullptr) {
        return token; // nobody would own the record
    }
    SymAttr* rec = new (std::nothrow) SymAttr(static_cast<const TiMemSpec*>(nullptr));
    if (rec == nullptr) {
        if (sink != nullptr) {
            sink->ReportNoMemory(kModule, __LINE__);
        }
        return token;
    }
    short typeId = constant.GetElemDTypeID();
    if (rec->DefConstant(constant) != sym::DEF_OK) {
        delete rec;
        if (sink != nullptr) {
            sink->ReportNoMemory(kModule, __LINE__);
        }
        return token;
    }
    rec->DefID(typeId);
    char* copy = new (std::nothrow) char[len + 1];
    if (copy == nullptr) {
        delete rec;
        if (sink != nullptr) {
            sink->ReportNoMemory(kModule, __LINE__);
        }
        return token;
    }
    std::memcpy(copy, &line[pos], len);
    copy[len] = '\0';
    TiMemRegisterMemory(rec, const_cast<char*>(kModule), __LINE__);
    value->sym = rec;
    value->text = copy;
    value->ownsText = 1;
    return token;
}

short TiScanner::ScanLiteralOrName(TokenValue* value) {
    char* start = &line[pos];
    if (size_t plain = PlainNameLength(start)) {
        // Names and keywords are most tokens: they skip the literal parser.
        char saved = start[plain];
        start[plain] = '\0';
        short token = NameToken(start, plain, tokCol, value, false);
        start[plain] = saved;
        FinishToken(plain);
        return token;
    }
    constant.reset();
    litScan.tsreset(start, constant, litMode);
    litParse.tsreset();
    int r = litParse.tsparse(&litScan);
    if (r == ts_parse::TSPARSE_UNUSABLE) {
        // Without parser stacks the literal's extent still comes from the
        // literal scanner's own tokens; the text then stands as a name.
        litScan.tsreset(start, constant, litMode);
        TSSTYPE tv;
        for (size_t guard = 0; guard < kLineBuffer; ++guard) {
            short t = litScan.tslex(tv);
            if (t == TS_END) {
                break;
            }
            if (t == TS_STRING) {
                void* text = tv.str; // the decoded text is not needed
                litScan.DiscardToken(t, &text);
            }
        }
        constant.reset();
    }
    size_t n = static_cast<size_t>(litScan.Cur() - start);
    // Never past the line feed (rows are counted there), never nothing: every
    // token moves the scanner on.
    size_t lineRest = std::strcspn(start, "\n");
    if (n > lineRest) {
        n = lineRest;
    }
    if (n == 0) {
        n = 1;
    }
    const short errStatus = litScan.ErrStatus();
    const short errPos = litScan.ErrPos();

    // The consumed text is a string of its own while it is looked at.
    char saved = start[n];
    start[n] = '\0';
    short token = tok::NAME;
    const uint16_t f = constant.flags;
    if (r != ts_parse::TSPARSE_OK) {
        // The literal parser gave up: the text stands as a name.
        SymAttr* e = LookupName(start);
        if (e == nullptr) {
            e = EnterName(start);
        }
        if (value != nullptr) {
            value->sym = e;
        }
        token = tok::NAME;
    } else if ((f & (iec::CONST_INTEGER | iec::CONST_REAL | iec::CONST_TIME | iec::CONST_BOOL |
                     iec::CONST_DATE | iec::CONST_TOD | iec::CONST_DT | iec::CONST_STRING)) != 0) {
        const char* typeName = nullptr;
        if ((f & iec::CONST_INTEGER) != 0) {
            token = tok::INT_LIT;
        } else if ((f & iec::CONST_REAL) != 0) {
            token = tok::REAL_LIT;
        } else if ((f & iec::CONST_TIME) != 0) {
            token = tok::TIME_LIT;
        } else if ((f & iec::CONST_BOOL) != 0) {
            token = constant.value.digit.NRelDigits() != 0 ? tok::TRUE_LIT : tok::FALSE_LIT;
        } else if ((f & iec::CONST_DATE) != 0) {
            token = tok::DATE_LIT;
            typeName = "DATE";
        } else if ((f & iec::CONST_TOD) != 0) {
            token = tok::TOD_LIT;
            typeName = "TIME_OF_DAY";
        } else if ((f & iec::CONST_DT) != 0) {
            token = tok::DT_LIT;
            typeName = "DATE_AND_TIME";
        } else {
            token = tok::STRING_LIT;
            typeName = "STRING";
        }
        if (typeName != nullptr && languageLevel == 0) {
            Emit(MSG_LANGUAGE_LEVEL, tokRow, tokCol, {ErrArg(typeName)});
        }
        start[n] = saved;
        token = MakeLiteral(token, n, value);
        saved = start[n];
        start[n] = '\0';
    } else {
        token = NameToken(start, n, tokCol, value, false);
    }
    start[n] = saved;
    if (errStatus != 0) {
        Emit(errStatus, tokRow, SatAdd(tokCol, errPos > 0 ? static_cast<size_t>(errPos) : 0));
    }
    FinishToken(n);
    return token;
}

short TiScanner::ScanDirectAddress(TokenValue* value) {
    char text[kMaxAddressLength + 1];
    size_t tl = 0;
    auto put = [&](char ch) {
        if (tl < kMaxAddressLength) {
            text[tl++] = ch;
        }
    };
    put('%');
    size_t i = pos + 1;
    unsigned char area = static_cast<unsigned char>(line[i]);
    if (area != 'I' && area != 'M' && area != 'Q') {
        Emit(MSG_BAD_ADDRESS, tokRow, tokCol);
        while (line[i] == ' ' || line[i] == '\t') {
            ++i;
        }
    } else {
        put(static_cast<char>(area));
        ++i;
        unsigned char size = static_cast<unsigned char>(line[i]);
        if (size == 'B' || size == 'D' || size == 'L' || size == 'W' || size == 'X') {
            put(static_cast<char>(size));
            ++i;
        } else if (IsDigit(size)) {
            put('X'); // a bit address without size letter
        }
        bool digits = false;
        bool dotReported = false;
        for (;;) {
            unsigned char ch = static_cast<unsigned char>(line[i]);
            if (IsDigit(ch)) {
                digits = true;
            } else if (ch == '.') {
                if (!dotReported) {
                    Emit(MSG_BAD_ADDRESS, tokRow, SatAdd(tokCol, i - pos));
                    dotReported = true;
                }
            } else {
                break;
            }
            put(static_cast<char>(ch));
            ++i;
        }
        if (!digits) {
            Emit(MSG_BAD_ADDRESS, tokRow, tokCol);
        }
    }
    text[tl] = '\0';
    SymAttr* e = LookupName(text);
    if (e == nullptr) {
        e = EnterName(text);
    }
    if (value != nullptr) {
        value->sym = e;
    }
    FinishToken(i - pos);
    return tok::DIRECT_ADDR;
}

// ----------------------------------------------------------------- literals

void TiScanner::DiscardLiteral(short token, TokenValue* value) {
    if (value == nullptr || value->sym == nullptr) {
        return;
    }
    SymAttr* rec = value->sym;
    bool literalToken = (token >= tok::LITERAL_FIRST && token <= tok::LITERAL_LAST) ||
                        token == tok::TRUE_LIT || token == tok::FALSE_LIT;
    // Only a literal record the scanner made is released: never a table's
    // entry (a keyword's value, or a literal a table took over).
    if (!literalToken || rec->GetKind() != sym::KIND_CONSTANT || rec->IsTableOwned()) {
        return;
    }
    if (TiMemDeRegisterMemoryFkt(rec, const_cast<char*>(kModule), __LINE__) != 0) {
        return;
    }
    std::printf("\nlex: discard constant %s, last lookahead: row=%d, col=%d",
                value->ownsText != 0 && value->text != nullptr ? value->text : "",
                static_cast<int>(row), static_cast<int>(col));
    std::fflush(stdout);
    delete rec;
    if (value->ownsText != 0) {
        delete[] value->text;
    }
    *value = TokenValue{};
}
