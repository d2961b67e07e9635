// Token numbers of the compiler's grammar that the source scanner returns
// and that belong to no keyword. Keyword tokens (265-390, 401-403, 407)
// come from the base library's keyword list; a single character that forms
// a token by itself stands for its own byte value (1-255).
//
// The grammar declares the same numbers for its terminals (bison:
// `%token NAME 398` and so on), so the scanner's numbers are the parser's
// numbers without translation. 256 is the parser's error token; 257 is not
// used by the scanner.
#pragma once

namespace tok {

constexpr short END = 0; ///< end of input

// Start markers: returned once as the very first token; each selects the
// part of the grammar that is parsed.
constexpr short START_258 = 258;
constexpr short START_259 = 259;
constexpr short START_260 = 260;
constexpr short START_261 = 261;
constexpr short START_262 = 262;
constexpr short START_263 = 263;
constexpr short START_264 = 264;
constexpr short START_FIRST = START_258;
constexpr short START_LAST = START_264;

// Keyword tokens that also stand for the BOOL literals.
constexpr short FALSE_LIT = 318; ///< the keyword "FALSE"
constexpr short TRUE_LIT = 373;  ///< the keyword "TRUE"

constexpr short RANGE = 365;       ///< ".."
constexpr short INT_LIT = 391;     ///< integer literal
constexpr short REAL_LIT = 392;    ///< real literal
constexpr short TIME_LIT = 393;    ///< duration (TIME) literal
constexpr short TOD_LIT = 394;     ///< time-of-day literal
constexpr short DATE_LIT = 395;    ///< date literal
constexpr short DT_LIT = 396;      ///< date-and-time literal
constexpr short STRING_LIT = 397;  ///< string literal
constexpr short NAME = 398;        ///< name (identifier)
constexpr short DIRECT_ADDR = 399; ///< direct address ("%" followed by I, Q or M)
constexpr short ARROW = 400;       ///< "=>"
constexpr short NOT_EQUAL = 404;   ///< "<>"
constexpr short LESS_EQUAL = 405;  ///< "<="
constexpr short GREATER_EQUAL = 406; ///< ">="
constexpr short POWER = 408;       ///< "**"
constexpr short ASSIGN = 410;      ///< ":="
constexpr short END_OF_LINE = 411; ///< end of line (line mode only)

/// First and last literal tokens (the range DiscardLiteral releases).
constexpr short LITERAL_FIRST = INT_LIT;
constexpr short LITERAL_LAST = STRING_LIT;

} // namespace tok
