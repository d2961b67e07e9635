// TiScanner: the compiler's source scanner. It reads IEC 61131-3 text line
// by line (from a host's line reader or from one string), skips blanks and
// comments, and returns the grammar's tokens: operators, direct addresses,
// names and keywords looked up in the symbol tables, and literals read by
// the base library's literal scanner. Positions of every token are kept for
// messages, which go to the compiler's message sink.
//
// Decisions where the rules leave room:
// - Names are looked up in the keyword table, then the current table, the
//   tables of the open scopes from the innermost out, the unit table and the
//   global table; a new name is entered into the current table.
// - A literal the literal parser gives up on is entered as a name and
//   returned as a name (398), with the literal scanner's error reported:
//   returning the end of input there would end the compilation silently in
//   the middle of the text. Every token consumes at least one character.
// - A comment in line mode marks the line; 1718 is reported (unless
//   ILCommentsOk) when a further token follows the comment on that line, the
//   case the option allows; a comment at the end of a line is no error.
// - Overlong lines are reported (-3555 with the length) in both forms: a
//   reader that hands over a full buffer without line feed delivers the rest
//   of the line with the next call, which keeps the row.
// - Direct addresses accept the upper-case area letters I, Q, M and size
//   letters B, D, L, W, X; an address without a number is reported with
//   -3519 as well.
// - The language level starts at 1 (all literals allowed); a host that sets
//   0 gets -3603 for date, time-of-day, date-and-time and string literals.
// - The three conditions of the compilation context that choose start
//   markers are passed by the caller as flags (SCAN_CTX_...).
#pragma once

#include "base/IEC_CONSTANT.h"
#include "base/ts_parse.h"
#include "base/ts_scan.h"
#include "compiler/ErrMess.h"
#include "compiler/TiEchoSink.h"
#include "compiler/Tokens.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>

class SymAttr;
class SymTab;
class SymTabSet;
class TiCompOptions;

/// What the scanner hands the parser with each token.
///
/// Ownership: for a literal (391-397) `sym` is a new literal constant record
/// (kind 10) that the receiver owns (release it with DiscardLiteral or keep
/// it); `text` is a copy of the literal's source text, owned by the token
/// value when `ownsText` is set (free it with delete[]). For a name, keyword
/// or direct address `sym` is the symbol-table entry (owned by its table)
/// and `text` is null.
struct TokenValue {
    SymAttr* sym = nullptr;
    char* text = nullptr;
    uint8_t ownsText = 0;
};

namespace scan {

/// Size of the line buffer, the terminating zero included.
constexpr unsigned short kLineBuffer = 1024;
/// Longest line taken at once in text form; a longer line is cut.
constexpr size_t kMaxLineTaken = 1023;
/// An overlong line is cut at a blank found searching back from its end,
/// no further back than this column.
constexpr size_t kCutSearchLimit = 11;
/// Longest name entered: a longer new name is reported and truncated.
constexpr size_t kMaxNameLength = 32;
/// Longest direct-address text entered.
constexpr size_t kMaxAddressLength = 40;
/// Depth of the literal parser's stacks.
constexpr int kLiteralParserDepth = 150;

// Status of construction.
constexpr short ST_OK = 0;
constexpr short ST_NO_TABLES = 1;
constexpr short ST_NO_READER = 2;
constexpr short ST_NO_TEXT = 3;

// Conditions of the compilation context that choose a start marker.
constexpr unsigned short SCAN_CTX_FIRST = 0x0001;  ///< gives 258
constexpr unsigned short SCAN_CTX_SECOND = 0x0002; ///< with auxFlags 0x0008: 263 instead of 264
constexpr unsigned short SCAN_CTX_THIRD = 0x0004;  ///< gives 259

// Line mode.
constexpr uint8_t LINE_MODE_OFF = 0;
constexpr uint8_t LINE_MODE_ON = 1;
constexpr uint8_t LINE_MODE_COMMENT = 2; ///< on, and a comment stood on this line

// Messages of the scanner.
constexpr short MSG_UNCLOSED_COMMENT = -3495; ///< start row, start column
constexpr short MSG_MISSING_SEMICOLON = -3509;
constexpr short MSG_EXPECTED = -3511;         ///< name
constexpr short MSG_BAD_ADDRESS = -3519;
constexpr short MSG_NAME_TOO_LONG = -3552;
constexpr short MSG_LOWER_CASE = -3553;
constexpr short MSG_NOT_DECLARED = -3575;     ///< name
constexpr short MSG_LANGUAGE_LEVEL = -3603;   ///< elementary type name
constexpr short MSG_BAD_CHARACTER = -3419;
constexpr short MSG_IL_COMMENT = 1718;

/// Source unit, line and revision named in the scanner's internal errors.
constexpr const char* kModule = "lex";
constexpr int32_t kOverlongLine = 833;
constexpr const char* kRevision = "$Revision: 4 $";

} // namespace scan

/// The source scanner of one compilation.
class TiScanner {
public:
    /// Host line reader: fills `buffer` (of `size` bytes) with the next line
    /// and returns it, or null at the end of the text.
    using LineReader = char* (*)(char* buffer, unsigned short size);

    /// A scanner over the lines of `reader`. `status` (if given) receives 0,
    /// 1 without table set, 2 without reader; a scanner with a non-zero
    /// status returns the end of input at once. `opts` may be null (default
    /// options); `sink` may be null (no messages). `startToken` is the start
    /// marker unless the options or `contextFlags` choose another.
    TiScanner(LineReader reader, SymTabSet* set, ErrMess* sink, const TiCompOptions* opts,
              short startToken, unsigned short contextFlags, short* status);
    /// A scanner over `text` (zero-terminated; the scanner does not copy it,
    /// so it must outlive the scanner). Status 3 without text.
    TiScanner(const char* text, SymTabSet* set, ErrMess* sink, const TiCompOptions* opts,
              short startToken, unsigned short contextFlags, short* status);
    /// Reports a pending mark (-3509 at the row after it); destroys the echo
    /// sink.
    ~TiScanner();
    TiScanner(const TiScanner&) = delete;
    TiScanner& operator=(const TiScanner&) = delete;

    /// The construction status.
    short GetStatus() const { return status; }

    /// The next token; `value` (may be null) receives its value (see
    /// TokenValue) and is cleared for tokens without one. 0 at the end of the
    /// input, and from then on.
    short lex(TokenValue* value);

    /// Reports `code` at row/column (severity from the code: 1701 and up are
    /// warnings), unless the last report stood at the same position.
    void Report(short code, uint16_t row, uint16_t col);
    /// Reports `code` at the current position.
    void Report(short code) { Report(code, row, col); }
    /// -3511 with `name` at the current position, unless the last report
    /// stood there.
    void ReportName(const char* name);
    /// -3575 with `name`, likewise.
    void ReportName2(const char* name);
    /// A pending mark is reported (-3509 at it); then the current position
    /// is marked.
    void SetMark();
    /// A pending mark at another position than row/column is reported
    /// (-3509); the mark is cleared.
    void ClearMark(uint16_t markRow, uint16_t markCol);

    /// Releases the value of a token the parser throws away: for a literal
    /// token (391-397, or a BOOL literal whose value is a literal record)
    /// whose record can be withdrawn from the memory registry, the record
    /// and its text are freed and "\nlex: discard constant %s, last
    /// lookahead: row=%d, col=%d" is written to the standard output. The
    /// value is cleared then.
    void DiscardLiteral(short token, TokenValue* value);

    /// With the option EchoSource: a new, empty echo sink (replacing an old
    /// one) that receives every character consumed from now on. Out of
    /// memory: -3406.
    void EnableEcho();
    /// Hands the echo sink over to the caller (who deletes it); null if none.
    TiEchoSink* TakeEcho();

    /// Line mode on or off: on, the end of each line is a token (411).
    void SetLineMode(bool on);
    uint8_t GetLineMode() const { return lineMode; }
    /// The compiler's language level (initially 1); at 0 date, time-of-day,
    /// date-and-time and string literals are reported with -3603.
    void SetLanguageLevel(short level) { languageLevel = level; }

    /// The position after the last token (row 1 = first line; column 0 =
    /// first character).
    uint16_t GetRow() const { return row; }
    uint16_t GetCol() const { return col; }
    /// The position after the last token as the parser stores it: a row or
    /// column of 0 is given as 1.
    void GetTokenEndPos(uint16_t& outRow, uint16_t& outCol) const;
    /// Row, column and length of the last token.
    uint16_t GetTokenRow() const { return tokRow; }
    uint16_t GetTokenCol() const { return tokCol; }
    uint16_t GetTokenLength() const { return tokLen; }
    /// The start marker chosen at construction (0 once returned).
    short GetPendingStart() const { return startMarker; }
    /// The literal scanner mode built from the options.
    short GetLiteralMode() const { return litMode; }

private:
    enum class Skip { Token, End, EndOfLine };

    void Init(SymTabSet* set, ErrMess* sink, const TiCompOptions* opts, short startToken,
              unsigned short contextFlags);
    bool ReadLine();
    bool ReadTextLine();
    bool ReadReaderLine();
    void AdvanceChar();
    void Echo(const char* s, size_t n);
    Skip SkipBlanks();
    bool SkipComment();
    short ScanLiteralOrName(TokenValue* value);
    short ScanDirectAddress(TokenValue* value);
    short ScanOperator();
    short NameToken(const char* name, size_t len, uint16_t nameCol, TokenValue* value,
                    bool allowLong);
    SymAttr* LookupName(const char* name);
    SymAttr* EnterName(const char* name);
    short MakeLiteral(short token, size_t len, TokenValue* value);
    void Emit(short code, uint16_t r, uint16_t c, std::initializer_list<ErrArg> args = {});
    void FinishToken(size_t n);

    // Current token and line buffer.
    char* tokStart = nullptr;
    uint16_t tokLen = 0;
    char line[scan::kLineBuffer];
    size_t pos = 0;
    // Literal scanner and parser.
    ts_scan litScan;
    ts_parse litParse{scan::kLiteralParserDepth};
    IEC_CONSTANT constant;
    SymTabSet* set = nullptr;
    LineReader reader = nullptr;
    uint8_t lineMode = scan::LINE_MODE_OFF;
    bool eolReturned = false;
    uint16_t row = 0;
    uint16_t col = 0;
    ErrMess* sink = nullptr;
    uint16_t langFlags = 0;
    uint16_t modeFlags = 0;
    short startMarker = 0;
    TiEchoSink* echo = nullptr;
    const char* text = nullptr;
    const char* textPos = nullptr;
    const char* textEnd = nullptr; // the text's terminating zero
    bool markSet = false;
    uint16_t markRow = 0;
    uint16_t markCol = 0;
    bool reported = false;
    uint16_t lastRow = 0;
    uint16_t lastCol = 0;
    uint16_t commentRow = 0;
    uint16_t commentCol = 0;
    short litMode = 0;
    // Beyond the fields of the design.
    short status = scan::ST_OK;
    bool atEnd = false;
    bool continuation = false; // the next line continues an overlong one
    short languageLevel = 1;
    uint16_t tokRow = 0;
    uint16_t tokCol = 0;
};
