/* The IEC 61131-3 grammar of the compiler: data-type declarations, program
   units with their variable sections, configurations, Structured Text,
   Instruction List and Sequential Function Chart bodies. Bison turns it into
   LALR(1) tables with the skeleton iec_parse.m4; the Parser drives them over
   the tokens of the source scanner (TiScanner). Every action is one call
   into the parse context P (ParseContext), which forwards declarations to
   the declaration context and builds the statement trees.

   Values: every symbol carries a ParseValue. Terminals bring their token
   value and position from the scanner; each action builds its result from
   the values of its right-hand side and takes over what they own. Values
   that leave the stacks unreduced (error recovery) are released by
   P.Discard.

   Start markers (the first token, chosen by the scanner from the options):
   none - a library (types, units, configurations); 258 - one variable
   access path; 259 - a section of the current unit (variable sections and
   a body); 260 - one expression; 261 - one initial value; 262 - variable
   sections only; 263 - a body only; 264 - TYPE blocks only.

   Section flags: the keyword that opens a variable section gives its bit
   (VAR 0x0040, VAR_INPUT 0x0008, VAR_OUTPUT 0x0010, VAR_IN_OUT 0x0020,
   VAR_GLOBAL 0x0080, VAR_EXTERNAL 0x0100, VAR_ACCESS 0x1000), ORed with the
   qualifier's (CONSTANT 0x0200, RETAIN 0x0400); FUNCTION, FUNCTION_BLOCK
   and PROGRAM open their unit's bit (0x0001, 0x0002, 0x0004) for the whole
   unit, so a variable's flags hold its section and its unit.

   Error productions (each reports its message and goes on as if the
   construct were correct): -3509 a missing ';' after a declaration or
   before the end of a list; -3510 '=' written for ':='; -3512 a missing ')'
   after an enumeration; -3514 a missing ']' after array dimensions; -3515 a
   statement not closed before the end of its unit; -3518 an elementary
   type keyword used as a name; -3478 a name as an array bound; -3486 a
   literal where a type is expected; -3572 a variable section after the
   first statement. */

%code {
#include "compiler/ParseContext.h"
}

%define api.value.type {ParseValue}

/* Values that own something: literal tokens (their literal record),
   anonymous type specs, initial values, dimension lists and tree nodes. */
%destructor { P.Discard($$); }
    INT_LIT REAL_LIT TIME_LIT TOD_LIT DATE_LIT DT_LIT STRING_LIT K_TRUE K_FALSE
    literal bound subrange dims type_spec type_spec_init
    init_value array_inits array_init array_inits_opt struct_inits struct_init
    section body_opt body body_list st_list st_list_opt st_item statement
    if_statement if_chain case_statement case_body case_labels case_label case_value
    for_statement by_opt while_statement repeat_statement
    variable indexes expression primary args_opt args arg access_path
    il_list il_item il_instruction il_operand il_operand_opt
    sfc_list sfc_element transition_head steps step_names transition_condition
    action_assocs_opt action_assoc action_time config_args_opt
/* Values that opened something in the context: closed when they are
   dropped, so that the declarations after an error go where they belong. */
%destructor { P.AbandonEnum($$); } enum_open
%destructor { P.AbandonStruct($$); } struct_open
%destructor { P.AbandonSection($$); } var_head
%destructor { P.AbandonUnit($$); } function_head function_block_head program_head
%destructor { P.AbandonCase($$); } case_head

/* Start markers. */
%token START_ACCESS 258 "access path marker"
%token START_SECTION 259 "section marker"
%token START_EXPRESSION 260 "expression marker"
%token START_INITVAL 261 "initial value marker"
%token START_VARDECL 262 "declaration marker"
%token START_BODY 263 "body marker"
%token START_TYPES 264 "type declaration marker"

/* Keywords, numbered as the keyword list numbers them. */
%token K_ACTION 265 "ACTION"
%token K_ADD 266 "ADD"
%token K_ANL_IN 267 "ANL_IN"
%token K_ANL_OUT 268 "ANL_OUT"
%token K_ANDN 269 "ANDN"
%token K_ANY 270 "ANY"
%token K_ANY_BIT 271 "ANY_BIT"
%token K_ANY_DATE 272 "ANY_DATE"
%token K_ANY_ELEM 273 "ANY_ELEM"
%token K_ANY_INT 274 "ANY_INT"
%token K_ANY_NUM 275 "ANY_NUM"
%token K_ANY_REAL 276 "ANY_REAL"
%token K_ARRAY 277 "ARRAY"
%token K_AT 278 "AT"
%token K_BOOL 279 "BOOL"
%token K_BY 280 "BY"
%token K_BYTE 281 "BYTE"
%token K_CAL 282 "CAL"
%token K_CALC 283 "CALC"
%token K_CALCN 284 "CALCN"
%token K_CASE 285 "CASE"
%token K_CONFIGURATION 286 "CONFIGURATION"
%token K_CONSTANT 287 "CONSTANT"
%token K_DATE 288 "DATE"
%token K_DATE_AND_TIME 289 "DATE_AND_TIME"
%token K_DINT 290 "DINT"
%token K_DIV 291 "DIV"
%token K_DO 292 "DO"
%token K_DT 293 "DT"
%token K_DWORD 294 "DWORD"
%token K_EN 295 "EN"
%token K_ELSE 296 "ELSE"
%token K_ELSIF 297 "ELSIF"
%token K_END_ACTION 298 "END_ACTION"
%token K_END_CASE 299 "END_CASE"
%token K_END_CONFIGURATION 300 "END_CONFIGURATION"
%token K_END_FOR 301 "END_FOR"
%token K_END_FUNCTION 302 "END_FUNCTION"
%token K_END_FUNCTION_BLOCK 303 "END_FUNCTION_BLOCK"
%token K_END_IF 304 "END_IF"
%token K_END_PROGRAM 305 "END_PROGRAM"
%token K_END_REPEAT 306 "END_REPEAT"
%token K_END_RESOURCE 307 "END_RESOURCE"
%token K_END_STEP 308 "END_STEP"
%token K_END_STRUCT 309 "END_STRUCT"
%token K_END_TYPE 310 "END_TYPE"
%token K_END_TRANSITION 311 "END_TRANSITION"
%token K_END_VAR 312 "END_VAR"
%token K_END_WHILE 313 "END_WHILE"
%token K_ENO 314 "ENO"
%token K_EQ 315 "EQ"
%token K_EXIT 316 "EXIT"
%token K_F_EDGE 317 "F_EDGE"
%token K_FALSE 318 "FALSE"
%token K_FOR 319 "FOR"
%token K_FROM 320 "FROM"
%token K_FUNCTION 321 "FUNCTION"
%token K_FUNCTION_BLOCK 322 "FUNCTION_BLOCK"
%token K_GE 323 "GE"
%token K_GT 324 "GT"
%token K_IF 325 "IF"
%token K_INITIAL_STEP 326 "INITIAL_STEP"
%token K_INT 327 "INT"
%token K_INTSTATE 328 "INTSTATE"
%token K_JMP 329 "JMP"
%token K_JMPC 330 "JMPC"
%token K_JMPCN 331 "JMPCN"
%token K_LD 333 "LD"
%token K_LDN 334 "LDN"
%token K_LE 335 "LE"
%token K_LINT 336 "LINT"
%token K_LREAL 337 "LREAL"
%token K_LT 338 "LT"
%token K_LWORD 339 "LWORD"
%token K_MUL 340 "MUL"
%token K_NE 341 "NE"
%token K_NOT 342 "NOT"
%token K_OF 343 "OF"
%token K_ON 344 "ON"
%token K_ORN 345 "ORN"
%token K_PROGRAM 346 "PROGRAM"
%token K_R_EDGE 347 "R_EDGE"
%token K_READ_ONLY 348 "READ_ONLY"
%token K_READ_WRITE 349 "READ_WRITE"
%token K_REAL 350 "REAL"
%token K_REPEAT 351 "REPEAT"
%token K_RESOURCE 352 "RESOURCE"
%token K_RET 353 "RET"
%token K_RETAIN 354 "RETAIN"
%token K_RETC 355 "RETC"
%token K_RETCN 356 "RETCN"
%token K_RETURN 357 "RETURN"
%token K_SINT 358 "SINT"
%token K_ST 359 "ST"
%token K_STEP 360 "STEP"
%token K_STN 361 "STN"
%token K_STRING 362 "STRING"
%token K_STRUCT 363 "STRUCT"
%token K_SUB 364 "SUB"
%token K_TASK 366 "TASK"
%token K_THEN 367 "THEN"
%token K_TIME 368 "TIME"
%token K_TIME_OF_DAY 369 "TIME_OF_DAY"
%token K_TO 370 "TO"
%token K_TOD 371 "TOD"
%token K_TRANSITION 372 "TRANSITION"
%token K_TRUE 373 "TRUE"
%token K_TYPE 374 "TYPE"
%token K_UDINT 375 "UDINT"
%token K_UINT 376 "UINT"
%token K_ULINT 377 "ULINT"
%token K_UNTIL 378 "UNTIL"
%token K_USINT 379 "USINT"
%token K_VAR 380 "VAR"
%token K_VAR_ACCESS 381 "VAR_ACCESS"
%token K_VAR_EXTERNAL 382 "VAR_EXTERNAL"
%token K_VAR_GLOBAL 383 "VAR_GLOBAL"
%token K_VAR_IN_OUT 384 "VAR_IN_OUT"
%token K_VAR_INPUT 385 "VAR_INPUT"
%token K_VAR_OUTPUT 386 "VAR_OUTPUT"
%token K_WHILE 387 "WHILE"
%token K_WITH 388 "WITH"
%token K_WORD 389 "WORD"
%token K_XORN 390 "XORN"
%token K_OR 401 "OR"
%token K_XOR 402 "XOR"
%token K_AND 403 "AND"
%token K_MOD 407 "MOD"

/* The other tokens of the scanner. */
%token DOTDOT 365 ".."
%token INT_LIT 391 "integer literal"
%token REAL_LIT 392 "real literal"
%token TIME_LIT 393 "duration literal"
%token TOD_LIT 394 "time-of-day literal"
%token DATE_LIT 395 "date literal"
%token DT_LIT 396 "date-and-time literal"
%token STRING_LIT 397 "string literal"
%token IDENT 398 "name"
%token DIRECT 399 "direct address"
%token ARROW 400 "=>"
%token NOT_EQUAL 404 "<>"
%token LESS_EQUAL 405 "<="
%token GREATER_EQUAL 406 ">="
%token POWER 408 "**"
%token ASSIGN 410 ":="
%token EOL 411 "end of line"

/* Operator precedence of Structured Text, lowest first. MISSING_END marks
   the error productions that close a statement without its END_ keyword:
   they lose against every shift. */
%precedence MISSING_END
%precedence error ';' IDENT DIRECT K_IF K_CASE K_FOR K_WHILE K_REPEAT K_EXIT K_RETURN
            K_END_IF K_ELSE K_ELSIF K_END_CASE K_END_FOR K_END_WHILE
            INT_LIT REAL_LIT TIME_LIT TOD_LIT DATE_LIT DT_LIT STRING_LIT K_TRUE K_FALSE
%left K_OR
%left K_XOR
%left K_AND '&'
%left '=' NOT_EQUAL
%left '<' '>' LESS_EQUAL GREATER_EQUAL
%left '+' '-'
%left '*' '/' K_MOD
%precedence UNARY
%left POWER

%%

start
    : library
    | START_ACCESS variable                  { P.SetTree($2); }
    | START_SECTION section                  { P.SetTree($2); }
    | START_EXPRESSION expression            { P.SetTree($2); }
    | START_INITVAL init_value               { P.SetInitVal($2); }
    | START_VARDECL var_blocks_opt
    | START_BODY body                        { P.SetTree($2); }
    | START_TYPES type_blocks_opt
    ;

/* ------------------------------------------------------------ library */

library
    : %empty
    | library library_element
    ;

library_element
    : type_block
    | function_decl
    | function_block_decl
    | program_decl
    | configuration_decl
    | var_block
    | error K_END_TYPE
    | error K_END_FUNCTION
    | error K_END_FUNCTION_BLOCK
    | error K_END_PROGRAM
    | error K_END_CONFIGURATION
    ;

type_blocks_opt
    : %empty
    | type_blocks_opt type_block
    ;

/* ------------------------------------------------------- data types */

type_block
    : K_TYPE type_decls K_END_TYPE
    | K_TYPE K_END_TYPE
    ;

type_decls
    : type_decl
    | type_decls type_decl
    ;

type_decl
    : decl_name ':' type_spec_init ';'       { P.DeclareType($1, $3); }
    | decl_name ':' type_spec_init %prec MISSING_END
                                             { P.DeclareTypeNoSemicolon($1, $3); }
    | error ';'
    | error
    ;

/* A name being declared; an elementary type keyword in its place is
   reported and declares nothing. */
decl_name
    : IDENT
    | elem_type_keyword                      { $$ = P.KeywordAsName($1); }
    ;

type_spec_init
    : type_spec edge_opt
    | type_spec edge_opt ASSIGN init_value   { $$ = P.WithInitVal($1, $4); }
    ;

edge_opt
    : %empty
    | K_R_EDGE
    | K_F_EDGE
    ;

type_spec
    : type_name                              { $$ = P.ResolveType($1); }
    | type_name '(' subrange ')'             { $$ = P.SubrangeType($1, $3); }
    | enum_open enum_values ')'              { $$ = P.EndEnum($1, $3); }
    | enum_open enum_values %prec MISSING_END
                                             { $$ = P.EndEnumNoParen($1); }
    | K_ARRAY '[' dims ']' K_OF type_spec    { $$ = P.ArraySpec($1, $3, $6); }
    | K_ARRAY '[' dims K_OF type_spec        { $$ = P.ArraySpecNoBracket($3, $4, $5); }
    | struct_open struct_comps_opt K_END_STRUCT
                                             { $$ = P.EndStruct($1, $3); }
    | literal                                { $$ = P.LiteralAsType($1); }
    ;

type_name
    : IDENT
    | elem_type_keyword
    ;

elem_type_keyword
    : K_BOOL | K_BYTE | K_WORD | K_DWORD | K_LWORD
    | K_SINT | K_INT | K_DINT | K_LINT | K_USINT | K_UINT | K_UDINT | K_ULINT
    | K_REAL | K_LREAL | K_TIME | K_DATE | K_TIME_OF_DAY | K_TOD
    | K_DATE_AND_TIME | K_DT | K_STRING | K_INTSTATE | K_ANL_IN | K_ANL_OUT
    | K_ANY | K_ANY_NUM | K_ANY_REAL | K_ANY_INT | K_ANY_BIT | K_ANY_DATE | K_ANY_ELEM
    ;

enum_open
    : '('                                    { $$ = P.BeginEnum($1); }
    ;

enum_values
    : IDENT                                  { P.DeclareEnumValue($1); }
    | enum_values ',' IDENT                  { P.DeclareEnumValue($3); }
    ;

struct_open
    : K_STRUCT                               { $$ = P.BeginStruct($1); }
    ;

struct_comps_opt
    : %empty
    | struct_comps_opt struct_comp
    ;

struct_comp
    : decl_name ':' type_spec_init ';'       { P.DeclareComponent($1, $3); }
    | decl_name ':' type_spec_init %prec MISSING_END
                                             { P.DeclareComponentNoSemicolon($1, $3); }
    | error ';'
    | error
    ;

dims
    : subrange                               { $$ = P.AddDimension(nullptr, $1); }
    | dims ',' subrange                      { $$ = P.AddDimension(&$1, $3); }
    ;

subrange
    : bound DOTDOT bound                     { $$ = P.Range($1, $3); }
    ;

bound
    : literal
    | '-' literal                            { $$ = P.NegativeBound($1, $2); }
    | '+' literal                            { $$ = $2; }
    | IDENT                                  { $$ = P.NameBound($1); }
    ;

literal
    : INT_LIT | REAL_LIT | TIME_LIT | TOD_LIT | DATE_LIT | DT_LIT | STRING_LIT
    | K_TRUE | K_FALSE
    ;

/* ---------------------------------------------------- initial values */

init_value
    : literal                                { $$ = P.InitLiteral($1, nullptr); }
    | '-' literal                            { $$ = P.InitLiteral($2, &$1); }
    | '+' literal                            { $$ = P.InitLiteral($2, nullptr); }
    | IDENT                                  { $$ = P.InitName($1); }
    | '[' array_inits ']'                    { $$ = P.InitArray($1, $2); }
    | '(' struct_inits ')'                   { $$ = P.InitStruct($1, $2); }
    ;

array_inits
    : array_init
    | array_inits ',' array_init             { $$ = P.InitAppend($1, $3); }
    ;

array_init
    : init_value
    | INT_LIT '(' array_inits_opt ')'        { $$ = P.InitRepeat($1, $3); }
    ;

array_inits_opt
    : %empty
    | array_inits
    ;

struct_inits
    : struct_init
    | struct_inits ',' struct_init           { $$ = P.InitAppend($1, $3); }
    ;

struct_init
    : IDENT ASSIGN init_value                { $$ = P.InitAssign($1, $3); }
    | init_value
    ;

/* ----------------------------------------------------- program units */

function_decl
    : function_head var_blocks_opt body_opt K_END_FUNCTION
                                             { P.EndUnit($1, $3); }
    ;

function_head
    : K_FUNCTION decl_name ':' type_name     { $$ = P.BeginUnit($1, $2, &$4); }
    ;

function_block_decl
    : function_block_head var_blocks_opt body_opt K_END_FUNCTION_BLOCK
                                             { P.EndUnit($1, $3); }
    ;

function_block_head
    : K_FUNCTION_BLOCK decl_name             { $$ = P.BeginUnit($1, $2, nullptr); }
    ;

program_decl
    : program_head var_blocks_opt body_opt K_END_PROGRAM
                                             { P.EndUnit($1, $3); }
    ;

program_head
    : K_PROGRAM decl_name                    { $$ = P.BeginUnit($1, $2, nullptr); }
    ;

/* A section of the current unit, as an editor host hands it over. */
section
    : var_blocks_opt body_opt                { $$ = $2; }
    ;

/* ------------------------------------------------- variable sections */

var_blocks_opt
    : %empty
    | var_blocks_opt var_block
    ;

var_block
    : var_head var_decls_opt K_END_VAR       { P.EndSection($1); }
    ;

var_head
    : var_keyword                            { $$ = P.BeginSection($1, nullptr); }
    | var_keyword K_CONSTANT                 { $$ = P.BeginSection($1, &$2); }
    | var_keyword K_RETAIN                   { $$ = P.BeginSection($1, &$2); }
    ;

var_keyword
    : K_VAR | K_VAR_INPUT | K_VAR_OUTPUT | K_VAR_IN_OUT
    | K_VAR_EXTERNAL | K_VAR_GLOBAL | K_VAR_ACCESS
    ;

var_decls_opt
    : %empty
    | var_decls_opt var_decl
    ;

var_decl
    : var_names ':' type_spec_init ';'       { P.DeclareVarType($3); }
    | var_names ':' type_spec_init %prec MISSING_END
                                             { P.DeclareVarTypeNoSemicolon($3); }
    | var_names ':' access_path ':' type_spec access_direction ';'
                                             { P.DeclareAccess($3, $5); }
    | error ';'                              { P.DropDeclaration(); }
    | error                                  { P.DropDeclaration(); }
    ;

var_names
    : var_name
    | var_names ',' var_name
    ;

var_name
    : decl_name                              { P.DeclareVariable($1, nullptr); }
    | decl_name K_AT DIRECT                  { P.DeclareVariable($1, &$3); }
    ;

/* The path of a VAR_ACCESS declaration: a name with selections. */
access_path
    : IDENT '.' IDENT                        { $$ = P.AccessPath($1, $3); }
    | access_path '.' IDENT                  { $$ = P.AccessPath($1, $3); }
    | DIRECT
    ;

access_direction
    : %empty
    | K_READ_ONLY
    | K_READ_WRITE
    ;

/* -------------------------------------------------------------- bodies */

body_opt
    : %empty                                 { $$ = P.EmptyBody(); }
    | body
    ;

body
    : body_list                              { $$ = P.EndBody($1); }
    | il_list                                { $$ = P.EndBody($1); }
    | sfc_list                               { $$ = P.EndBody($1); }
    ;

/* ------------------------------------------------- Structured Text */

/* The statements of a unit body; a variable section among them is
   reported and declared all the same. */
body_list
    : st_item                                { $$ = P.AppendStatement(nullptr, $1); }
    | body_list st_item                      { $$ = P.AppendStatement(&$1, $2); }
    | body_list var_block                    { $$ = P.LateDeclaration($1, $2); }
    ;

st_list
    : st_item                                { $$ = P.AppendStatement(nullptr, $1); }
    | st_list st_item                        { $$ = P.AppendStatement(&$1, $2); }
    ;

st_list_opt
    : %empty %prec MISSING_END               { $$ = P.EmptyList(); }
    | st_list %prec MISSING_END
    ;

st_item
    : statement ';'
    | statement %prec MISSING_END            { $$ = P.MissingSemicolon($1); }
    | ';'                                    { $$ = P.EmptyStatement($1); }
    | error ';'                              { $$ = P.EmptyStatement($2); }
    ;

statement
    : variable ASSIGN expression %prec MISSING_END
                                             { $$ = P.Assign($1, $2, $3); }
    | variable '=' expression %prec MISSING_END
                                             { $$ = P.AssignWithEqual($1, $2, $3); }
    | IDENT '(' args_opt ')'                 { $$ = P.Call($1, $3); }
    | if_statement
    | case_statement
    | for_statement
    | while_statement
    | repeat_statement
    | K_EXIT                                 { $$ = P.Exit($1); }
    | K_RETURN                               { $$ = P.Return($1); }
    ;

if_statement
    : if_chain K_END_IF                      { $$ = P.EndIf($1, nullptr); }
    | if_chain K_ELSE st_list_opt K_END_IF   { $$ = P.EndIf($1, &$3); }
    | if_chain %prec MISSING_END             { $$ = P.IfNotClosed($1, nullptr); }
    | if_chain K_ELSE st_list_opt %prec MISSING_END
                                             { $$ = P.IfNotClosed($1, &$3); }
    ;

if_chain
    : K_IF expression K_THEN st_list_opt     { $$ = P.If($1, $2, $4); }
    | if_chain K_ELSIF expression K_THEN st_list_opt
                                             { $$ = P.ElsIf($1, $3, $5); }
    ;

case_statement
    : case_head case_body K_END_CASE         { $$ = P.EndCase($1, $2, nullptr); }
    | case_head case_body K_ELSE st_list_opt K_END_CASE
                                             { $$ = P.EndCase($1, $2, &$4); }
    | case_head case_body %prec MISSING_END  { $$ = P.CaseNotClosed($1, $2); }
    ;

case_head
    : K_CASE expression K_OF                 { $$ = P.BeginCase($1, $2); }
    ;

/* Labels and statements in order: every label group opens a case element,
   every statement goes into the element opened last. */
case_body
    : case_labels ':'                        { $$ = P.CaseElement(nullptr, $1); }
    | case_body case_labels ':'              { $$ = P.CaseElement(&$1, $2); }
    | case_body st_item                      { $$ = P.CaseStatement($1, $2); }
    ;

case_labels
    : case_label                             { $$ = P.CaseLabel(nullptr, $1); }
    | case_labels ',' case_label             { $$ = P.CaseLabel(&$1, $3); }
    ;

case_label
    : case_value                             { $$ = P.CaseRange($1, nullptr); }
    | case_value DOTDOT case_value           { $$ = P.CaseRange($1, &$3); }
    ;

case_value
    : literal                                { $$ = P.Constant($1); }
    | '-' literal                            { $$ = P.NegativeConstant($1, $2); }
    | IDENT                                  { $$ = P.CaseName($1); }
    ;

for_statement
    : K_FOR variable ASSIGN expression K_TO expression by_opt K_DO st_list_opt K_END_FOR
                                             { $$ = P.For($1, $2, $4, $6, $7, $9); }
    | K_FOR variable ASSIGN expression K_TO expression by_opt K_DO st_list_opt %prec MISSING_END
                                             { $$ = P.ForNotClosed($1, $2, $4, $6, $7, $9); }
    ;

by_opt
    : %empty                                 { $$ = P.EmptyList(); }
    | K_BY expression                        { $$ = $2; }
    ;

while_statement
    : K_WHILE expression K_DO st_list_opt K_END_WHILE
                                             { $$ = P.While($1, $2, $4); }
    | K_WHILE expression K_DO st_list_opt %prec MISSING_END
                                             { $$ = P.WhileNotClosed($1, $2, $4); }
    ;

repeat_statement
    : K_REPEAT st_list_opt K_UNTIL expression K_END_REPEAT
                                             { $$ = P.Repeat($1, $2, $4); }
    | K_REPEAT st_list_opt K_UNTIL expression %prec MISSING_END
                                             { $$ = P.RepeatNotClosed($1, $2, $4); }
    ;

/* Variables: a name or direct address with indexes and selections. */
variable
    : IDENT                                  { $$ = P.Symbol($1); }
    | DIRECT                                 { $$ = P.Symbol($1); }
    | variable '[' indexes ']'               { $$ = P.Index($1, $3); }
    | variable '.' IDENT                     { $$ = P.Select($1, $3); }
    ;

indexes
    : expression                             { $$ = P.AddIndex(nullptr, $1); }
    | indexes ',' expression                 { $$ = P.AddIndex(&$1, $3); }
    ;

expression
    : expression K_OR expression             { $$ = P.Binary($1, $2, $3); }
    | expression K_XOR expression            { $$ = P.Binary($1, $2, $3); }
    | expression K_AND expression            { $$ = P.Binary($1, $2, $3); }
    | expression '&' expression              { $$ = P.Binary($1, $2, $3); }
    | expression '=' expression              { $$ = P.Binary($1, $2, $3); }
    | expression NOT_EQUAL expression        { $$ = P.Binary($1, $2, $3); }
    | expression '<' expression              { $$ = P.Binary($1, $2, $3); }
    | expression '>' expression              { $$ = P.Binary($1, $2, $3); }
    | expression LESS_EQUAL expression       { $$ = P.Binary($1, $2, $3); }
    | expression GREATER_EQUAL expression    { $$ = P.Binary($1, $2, $3); }
    | expression '+' expression              { $$ = P.Binary($1, $2, $3); }
    | expression '-' expression              { $$ = P.Binary($1, $2, $3); }
    | expression '*' expression              { $$ = P.Binary($1, $2, $3); }
    | expression '/' expression              { $$ = P.Binary($1, $2, $3); }
    | expression K_MOD expression            { $$ = P.Binary($1, $2, $3); }
    | expression POWER expression            { $$ = P.Binary($1, $2, $3); }
    | '-' expression %prec UNARY             { $$ = P.Unary($1, $2); }
    | '+' expression %prec UNARY             { $$ = $2; }
    | K_NOT expression %prec UNARY           { $$ = P.Unary($1, $2); }
    | primary
    ;

primary
    : literal                                { $$ = P.Constant($1); }
    | variable
    | IDENT '(' args_opt ')'                 { $$ = P.Call($1, $3); }
    | '(' expression ')'                     { $$ = $2; }
    ;

args_opt
    : %empty                                 { $$ = P.EmptyList(); }
    | args
    ;

args
    : arg                                    { $$ = P.AddArgument(nullptr, $1); }
    | args ',' arg                           { $$ = P.AddArgument(&$1, $3); }
    ;

arg
    : expression                             { $$ = P.Argument(nullptr, $1, false); }
    | formal_name ASSIGN expression          { $$ = P.Argument(&$1, $3, false); }
    | formal_name ARROW variable             { $$ = P.Argument(&$1, $3, true); }
    | K_NOT formal_name ARROW variable       { $$ = P.NegatedOutput($2, $4); }
    ;

formal_name
    : IDENT
    | K_EN
    | K_ENO
    ;

/* ------------------------------------------------- Instruction List */

il_list
    : il_item                                { $$ = P.AppendStatement(nullptr, $1); }
    | il_list il_item                        { $$ = P.AppendStatement(&$1, $2); }
    | il_list EOL
    ;

il_item
    : il_instruction
    | IDENT ':'                              { $$ = P.IlLabel($1); }
    | error EOL                              { $$ = P.EmptyStatement($2); }
    ;

il_instruction
    : K_LD il_operand                        { $$ = P.IlLoad($1, $2); }
    | K_LDN il_operand                       { $$ = P.IlLoad($1, $2); }
    | K_ST variable                          { $$ = P.IlStore($1, $2); }
    | K_STN variable                         { $$ = P.IlStore($1, $2); }
    | IDENT variable                         { $$ = P.IlSetReset($1, $2); }
    | il_operator il_operand                 { $$ = P.IlOperator($1, $2); }
    | il_operator '(' il_operand_opt         { $$ = P.IlOpenParen($1, $3); }
    | ')'                                    { $$ = P.IlCloseParen($1); }
    | K_NOT                                  { $$ = P.IlNot($1); }
    | il_jump IDENT                          { $$ = P.IlJump($1, $2); }
    | il_call IDENT                          { $$ = P.IlCall($1, $2, nullptr); }
    | il_call IDENT '(' args_opt ')'         { $$ = P.IlCall($1, $2, &$4); }
    | il_return                              { $$ = P.IlReturn($1); }
    ;

il_operator
    : K_AND | '&' | K_ANDN | K_OR | K_ORN | K_XOR | K_XORN
    | K_ADD | K_SUB | K_MUL | K_DIV | K_MOD
    | K_GT | K_GE | K_EQ | K_NE | K_LE | K_LT
    ;

il_jump
    : K_JMP | K_JMPC | K_JMPCN
    ;

il_call
    : K_CAL | K_CALC | K_CALCN
    ;

il_return
    : K_RET | K_RETC | K_RETCN
    ;

il_operand
    : variable
    | literal                                { $$ = P.Constant($1); }
    | '-' literal                            { $$ = P.NegativeConstant($1, $2); }
    ;

il_operand_opt
    : %empty %prec MISSING_END               { $$ = P.EmptyList(); }
    | il_operand
    ;

/* ------------------------------------- Sequential Function Chart */

sfc_list
    : sfc_element                            { $$ = P.AppendSfc(nullptr, $1); }
    | sfc_list sfc_element                   { $$ = P.AppendSfc(&$1, $2); }
    ;

sfc_element
    : K_INITIAL_STEP IDENT ':' action_assocs_opt K_END_STEP
                                             { $$ = P.Step($1, $2, $4); }
    | K_STEP IDENT ':' action_assocs_opt K_END_STEP
                                             { $$ = P.Step($1, $2, $4); }
    | transition_head K_FROM steps K_TO steps transition_condition K_END_TRANSITION
                                             { $$ = P.Transition($1, $3, $5, $6); }
    | K_ACTION IDENT ':' body_opt K_END_ACTION
                                             { $$ = P.Action($1, $2, $4); }
    ;

transition_head
    : K_TRANSITION                           { $$ = P.TransitionName($1, nullptr); }
    | K_TRANSITION IDENT                     { $$ = P.TransitionName($1, &$2); }
    ;

steps
    : IDENT                                  { $$ = P.AddStep(nullptr, $1); }
    | '(' step_names ')'                     { $$ = $2; }
    ;

step_names
    : IDENT                                  { $$ = P.AddStep(nullptr, $1); }
    | step_names ',' IDENT                   { $$ = P.AddStep(&$1, $3); }
    ;

transition_condition
    : ASSIGN expression ';'                  { $$ = $2; }
    | ':' il_list                            { $$ = P.EndBody($2); }
    ;

action_assocs_opt
    : %empty                                 { $$ = P.EmptyList(); }
    | action_assocs_opt action_assoc         { $$ = P.AppendAction($1, $2); }
    ;

action_assoc
    : IDENT '(' ')' ';'                      { $$ = P.ActionAssoc($1, nullptr, nullptr); }
    | IDENT '(' IDENT ')' ';'                { $$ = P.ActionAssoc($1, &$3, nullptr); }
    | IDENT '(' IDENT ',' action_time ')' ';'
                                             { $$ = P.ActionAssoc($1, &$3, &$5); }
    ;

action_time
    : literal                                { $$ = P.Constant($1); }
    | variable
    ;

/* -------------------------------------------------- configurations */

configuration_decl
    : K_CONFIGURATION IDENT config_items_opt K_END_CONFIGURATION
                                             { P.Configuration($2); }
    ;

config_items_opt
    : %empty
    | config_items_opt config_item
    ;

config_item
    : var_block
    | resource_decl
    | task_decl
    | program_config
    ;

resource_decl
    : K_RESOURCE IDENT K_ON IDENT resource_items_opt K_END_RESOURCE
                                             { P.Resource($2, $4); }
    ;

resource_items_opt
    : %empty
    | resource_items_opt resource_item
    ;

resource_item
    : var_block
    | task_decl
    | program_config
    ;

task_decl
    : K_TASK IDENT '(' task_inits ')' ';'    { P.Task($2); }
    ;

task_inits
    : task_init
    | task_inits ',' task_init
    ;

task_init
    : IDENT ASSIGN literal                   { P.TaskInit($1, $3); }
    | IDENT ASSIGN variable                  { P.TaskInit($1, $3); }
    ;

program_config
    : K_PROGRAM IDENT ':' IDENT config_args_opt ';'
                                             { P.ProgramInstance($2, nullptr, $4, $5); }
    | K_PROGRAM IDENT K_WITH IDENT ':' IDENT config_args_opt ';'
                                             { P.ProgramInstance($2, &$4, $6, $7); }
    ;

config_args_opt
    : %empty                                 { $$ = P.EmptyList(); }
    | '(' args ')'                           { $$ = $2; }
    ;

%%
