/* The literal grammar of IEC 61131-3: numbers with sign, based integers,
   reals with exponent, typed literals, durations, dates, times of day,
   date-and-times, strings and names. Bison turns it into LALR(1) tables with
   the skeleton ts_parse.m4; ts_parse drives them over the tokens of ts_scan.
   Each action is one call into the reductions of base/ts_reduce.h, with the
   scanner S (its constant, mode and status). */

%code {
#include "base/ts_reduce.h"
}

%define api.value.type {TSSTYPE}
/* Reductions without a lookahead happen only in states that have nothing
   else to do: an error is then found at the token that causes it, inside
   the literal it belongs to, and the error rule of that literal runs while
   that token is still the lookahead (tssync goes back to its start). */
%define lr.default-reduction consistent
/* One conflict, on `error` after "sign DIGITS": shift, so that a decimal
   number followed by a stray character ("12x") reports its digit error
   rather than reducing first and reporting text after the literal. */
%expect 1

%token DURPREFIX 257 "duration prefix"
%token DTPREFIX 258 "date-and-time prefix"
%token DATEPREFIX 259 "date prefix"
%token TODPREFIX 260 "time-of-day prefix"
%token <digit> DIGITS 261 "decimal digits"
%token <digit> BINDIGITS 262 "binary digits"
%token <digit> OCTDIGITS 263 "octal digits"
%token <digit> HEXDIGITS 264 "hexadecimal digits"
%token NAME 265 "name"
%token <str> STRING 266 "string"
%token <typeId> TYPEPREFIX 267 "type prefix"
%token NAMEHASH 268 "name with '#'"

%type <ival> sign exponent unit upper_unit upper_ms
%type <dur> components component
%type <ms> daytime
%type <date> date

%%

start
    : literal
    | literal error                      { tsreduce::TextAfterLiteral(S); tsclearin(); }
    ;

literal
    : number
    | TYPEPREFIX number                  { tsreduce::TypedNumber(S, $1); }
    | TYPEPREFIX error                   { tsreduce::Malformed(S, iec::LIT_PREFIX_NOT_APPLICABLE); tsclearin(); }
    | duration
    | date_literal
    | time_of_day
    | date_and_time
    | STRING                             { tsreduce::String(S, $1); }
    | NAME                               { /* a name: no constant */ }
    | NAMEHASH                           { tsreduce::NameHash(S); }
    | error                              { tsreduce::Malformed(S, iec::LIT_NOT_A_LITERAL); tsclearin(); }
    ;

/* Numbers. */

sign
    : %empty                             { $$ = 0; }
    | '+'                                { $$ = 0; }
    | '-'                                { $$ = 1; }
    ;

number
    : sign DIGITS                        { tsreduce::Integer(S, $2, $1); }
    | sign DIGITS error                  { tsreduce::Malformed(S, iec::LIT_BAD_DECIMAL_DIGIT); tsclearin(); }
    | BINDIGITS                          { tsreduce::Based(S, $1, iec::CONST_BINARY); }
    | OCTDIGITS                          { tsreduce::Based(S, $1, iec::CONST_OCTAL); }
    | HEXDIGITS                          { tsreduce::Based(S, $1, iec::CONST_HEX); }
    | sign DIGITS '.' DIGITS exponent    { tsreduce::Real(S, $1, $<frac>4, $5); }
    | sign DIGITS '.' error              { tsreduce::Malformed(S, iec::LIT_REAL_REQUIRED); tsclearin(); }
    ;

exponent
    : %empty                             { $$ = 0; }
    | 'e' sign DIGITS                    { $$ = tsreduce::Exponent($2, $3); }
    | 'E' sign DIGITS                    { $$ = tsreduce::Exponent($2, $3); }
    | 'e' error                          { tsreduce::Malformed(S, iec::LIT_REAL_REQUIRED); tsclearin(); $$ = 0; }
    | 'E' error                          { tsreduce::Malformed(S, iec::LIT_REAL_REQUIRED); tsclearin(); $$ = 0; }
    ;

/* Durations: components from the largest unit to the smallest, separated by
   nothing or '_'. The list is right-recursive so that each component is
   joined with the already reduced rest after it, which is what the range
   rules need ("the components after h stay below one hour"). */

duration
    : DURPREFIX components               { tsreduce::Duration(S, 0, $2); }
    | DURPREFIX '-' components           { tsreduce::Duration(S, 1, $3); }
    | DURPREFIX error                    { tsreduce::Malformed(S, iec::LIT_TIME_REQUIRED); tsclearin(); }
    ;

components
    : component
    | component components               { $$ = tsreduce::JoinComponents(S, $1, $2); }
    | component '_' components           { $$ = tsreduce::JoinComponents(S, $1, $3); }
    ;

component
    : DIGITS unit                        { $$ = tsreduce::Component(S, $1, {nullptr, nullptr}, $2); }
    | DIGITS '.' DIGITS unit             { $$ = tsreduce::Component(S, $1, $<frac>3, $4); }
    ;

unit
    : 'd'                                { $$ = TS_UNIT_D; }
    | 'h'                                { $$ = TS_UNIT_H; }
    | 'm'                                { $$ = TS_UNIT_M; }
    | 's'                                { $$ = TS_UNIT_S; }
    | 'm' 's'                            { $$ = TS_UNIT_MS; }
    /* The two case-lenient duration rules: -3410 unless mode 2. */
    | upper_unit                         { $$ = tsreduce::CaseLenientUnit(S, $1); }
    | upper_ms                           { $$ = tsreduce::CaseLenientUnit(S, $1); }
    ;

upper_unit
    : 'D'                                { $$ = TS_UNIT_D; }
    | 'H'                                { $$ = TS_UNIT_H; }
    | 'M'                                { $$ = TS_UNIT_M; }
    | 'S'                                { $$ = TS_UNIT_S; }
    ;

upper_ms
    : 'M' 'S'                            { $$ = TS_UNIT_MS; }
    | 'M' 's'                            { $$ = TS_UNIT_MS; }
    | 'm' 'S'                            { $$ = TS_UNIT_MS; }
    ;

/* Dates, times of day, date-and-times. */

date_literal
    : DATEPREFIX date                    { tsreduce::Date(S, $2); }
    | DATEPREFIX error                   { tsreduce::Malformed(S, iec::LIT_DATE_REQUIRED); tsclearin(); }
    ;

date
    : DIGITS '-' DIGITS '-' DIGITS       { $$ = tsreduce::MakeDate(S, $1, $3, $5); }
    ;

time_of_day
    : TODPREFIX daytime                  { tsreduce::TimeOfDay(S, $2); }
    | TODPREFIX error                    { tsreduce::Malformed(S, iec::LIT_TOD_REQUIRED); tsclearin(); }
    ;

daytime
    : DIGITS ':' DIGITS ':' DIGITS                 { $$ = tsreduce::MakeDaytime(S, $1, $3, &$5, {nullptr, nullptr}); }
    | DIGITS ':' DIGITS ':' DIGITS '.' DIGITS      { $$ = tsreduce::MakeDaytime(S, $1, $3, &$5, $<frac>7); }
    /* The lenient time-of-day rule, without seconds: -3418 unless mode 8. */
    | DIGITS ':' DIGITS                            { $$ = tsreduce::MakeDaytime(S, $1, $3, nullptr, {nullptr, nullptr}); }
    ;

date_and_time
    : DTPREFIX date '-' daytime          { tsreduce::DateAndTime(S, $2, $4); }
    | DTPREFIX error                     { tsreduce::Malformed(S, iec::LIT_DT_REQUIRED); tsclearin(); }
    ;

%%
