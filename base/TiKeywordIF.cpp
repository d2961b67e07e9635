// The static IEC keyword list and the keyword interface that indexes it by
// name (case-blind) and by token number.
#include "base/TiKeywordIF.h"

#include "base/IecTypeIds.h"

#include <new>

namespace {

// Insertion order: INTSTATE, ANL_IN and ANL_OUT first, then nearly
// alphabetical. Token numbers are those of the grammar; 332, 365, 391-400
// and 404-406 belong to no keyword.
const KeywordDesc kKeywordList[kIEC_KeywordCount + 1] = {
    {"INTSTATE", 328, iec::TYPE_INTSTATE, 1, 2},
    {"ANL_IN", 267, iec::TYPE_ANL_IN, 1, 18},
    {"ANL_OUT", 268, iec::TYPE_ANL_OUT, 1, 18},
    {"ACTION", 265, 0, 0, 0},
    {"ADD", 266, 0, 0, 0},
    {"AND", 403, 0, 0, 0},
    {"ANDN", 269, 0, 0, 0},
    {"ANY", 270, iec::TYPE_ANY, 2, 8},
    {"ANY_BIT", 271, iec::TYPE_ANY_BIT, 2, 8},
    {"ANY_DATE", 272, iec::TYPE_ANY_DATE, 2, 8},
    {"ANY_ELEM", 273, iec::TYPE_ANY_ELEM, 2, 8},
    {"ANY_INT", 274, iec::TYPE_ANY_INT, 2, 8},
    {"ANY_NUM", 275, iec::TYPE_ANY_NUM, 2, 8},
    {"ANY_REAL", 276, iec::TYPE_ANY_REAL, 2, 8},
    {"ARRAY", 277, 0, 0, 0},
    {"AT", 278, 0, 0, 0},
    {"BOOL", 279, iec::TYPE_BOOL, 1, 1},
    {"BY", 280, 0, 0, 0},
    {"BYTE", 281, iec::TYPE_BYTE, 1, 1},
    {"CAL", 282, 0, 0, 0},
    {"CALC", 283, 0, 0, 0},
    {"CALCN", 284, 0, 0, 0},
    {"CASE", 285, 0, 0, 0},
    {"CONFIGURATION", 286, 0, 0, 0},
    {"CONSTANT", 287, 0, 0, 0},
    {"DATE", 288, iec::TYPE_DATE, 1, 2},
    {"DATE_AND_TIME", 289, iec::TYPE_DATE_AND_TIME, 1, 8},
    {"DINT", 290, iec::TYPE_DINT, 1, 4},
    {"DIV", 291, 0, 0, 0},
    {"DO", 292, 0, 0, 0},
    {"DT", 293, iec::TYPE_DATE_AND_TIME, 1, 8},
    {"DWORD", 294, iec::TYPE_DWORD, 1, 4},
    {"ELSE", 296, 0, 0, 0},
    {"ELSIF", 297, 0, 0, 0},
    {"EN", 295, 0, 0, 0},
    {"END_ACTION", 298, 0, 0, 0},
    {"END_CASE", 299, 0, 0, 0},
    {"END_CONFIGURATION", 300, 0, 0, 0},
    {"END_FOR", 301, 0, 0, 0},
    {"END_FUNCTION", 302, 0, 0, 0},
    {"END_FUNCTION_BLOCK", 303, 0, 0, 0},
    {"END_IF", 304, 0, 0, 0},
    {"ENO", 314, 0, 0, 0},
    {"END_PROGRAM", 305, 0, 0, 0},
    {"END_REPEAT", 306, 0, 0, 0},
    {"END_RESOURCE", 307, 0, 0, 0},
    {"END_STEP", 308, 0, 0, 0},
    {"END_STRUCT", 309, 0, 0, 0},
    {"END_TYPE", 310, 0, 0, 0},
    {"END_VAR", 312, 0, 0, 0},
    {"END_WHILE", 313, 0, 0, 0},
    {"END_TRANSITION", 311, 0, 0, 0},
    {"EQ", 315, 0, 0, 0},
    {"EXIT", 316, 0, 0, 0},
    {"F_EDGE", 317, 0, 0, 0},
    {"FALSE", 318, 0, 0, 0},
    {"FOR", 319, 0, 0, 0},
    {"FROM", 320, 0, 0, 0},
    {"FUNCTION", 321, 0, 0, 0},
    {"FUNCTION_BLOCK", 322, 0, 0, 0},
    {"GE", 323, 0, 0, 0},
    {"GT", 324, 0, 0, 0},
    {"IF", 325, 0, 0, 0},
    {"INITIAL_STEP", 326, 0, 0, 0},
    {"INT", 327, iec::TYPE_INT, 1, 2},
    {"JMP", 329, 0, 0, 0},
    {"JMPC", 330, 0, 0, 0},
    {"JMPCN", 331, 0, 0, 0},
    {"LD", 333, 0, 0, 0},
    {"LDN", 334, 0, 0, 0},
    {"LE", 335, 0, 0, 0},
    {"LINT", 336, iec::TYPE_LINT, 1, 8},
    {"LREAL", 337, iec::TYPE_LREAL, 1, 8},
    {"LT", 338, 0, 0, 0},
    {"LWORD", 339, iec::TYPE_LWORD, 1, 8},
    {"MOD", 407, 0, 0, 0},
    {"MUL", 340, 0, 0, 0},
    {"NE", 341, 0, 0, 0},
    {"NOT", 342, 0, 0, 0},
    {"OF", 343, 0, 0, 0},
    {"ON", 344, 0, 0, 0},
    {"OR", 401, 0, 0, 0},
    {"ORN", 345, 0, 0, 0},
    {"PROGRAM", 346, 0, 0, 0},
    {"R_EDGE", 347, 0, 0, 0},
    {"READ_ONLY", 348, 0, 0, 0},
    {"READ_WRITE", 349, 0, 0, 0},
    {"REAL", 350, iec::TYPE_REAL, 1, 4},
    {"REPEAT", 351, 0, 0, 0},
    {"RESOURCE", 352, 0, 0, 0},
    {"RET", 353, 0, 0, 0},
    {"RETAIN", 354, 0, 0, 0},
    {"RETC", 355, 0, 0, 0},
    {"RETCN", 356, 0, 0, 0},
    {"RETURN", 357, 0, 0, 0},
    {"SINT", 358, iec::TYPE_SINT, 1, 1},
    {"ST", 359, 0, 0, 0},
    {"STEP", 360, 0, 0, 0},
    {"STN", 361, 0, 0, 0},
    {"STRING", 362, iec::TYPE_STRING, 1, 0},
    {"STRUCT", 363, 0, 0, 0},
    {"SUB", 364, 0, 0, 0},
    {"TASK", 366, 0, 0, 0},
    {"THEN", 367, 0, 0, 0},
    {"TIME", 368, iec::TYPE_TIME, 1, 4},
    {"TIME_OF_DAY", 369, iec::TYPE_TIME_OF_DAY, 1, 4},
    {"TO", 370, 0, 0, 0},
    {"TOD", 371, iec::TYPE_TIME_OF_DAY, 1, 4},
    {"TRANSITION", 372, 0, 0, 0},
    {"TRUE", 373, 0, 0, 0},
    {"TYPE", 374, 0, 0, 0},
    {"UDINT", 375, iec::TYPE_UDINT, 1, 4},
    {"UINT", 376, iec::TYPE_UINT, 1, 2},
    {"ULINT", 377, iec::TYPE_ULINT, 1, 8},
    {"UNTIL", 378, 0, 0, 0},
    {"USINT", 379, iec::TYPE_USINT, 1, 1},
    {"VAR", 380, 0, 0, 0},
    {"VAR_ACCESS", 381, 0, 0, 0},
    {"VAR_EXTERNAL", 382, 0, 0, 0},
    {"VAR_GLOBAL", 383, 0, 0, 0},
    {"VAR_IN_OUT", 384, 0, 0, 0},
    {"VAR_INPUT", 385, 0, 0, 0},
    {"VAR_OUTPUT", 386, 0, 0, 0},
    {"WHILE", 387, 0, 0, 0},
    {"WITH", 388, 0, 0, 0},
    {"WORD", 389, iec::TYPE_WORD, 1, 2},
    {"XOR", 402, 0, 0, 0},
    {"XORN", 390, 0, 0, 0},
    {nullptr, 0, 0, 0, 0},
};

// Slot count of the name table (a prime, as for every keyword table).
constexpr unsigned short kNameTabSize = 191;

} // namespace

const KeywordDesc* TiGetIEC_KeywordList() {
    return kKeywordList;
}

// ------------------------------------------------------------ TiKeywordIF_Imp

TiKeywordIF_Imp::TiKeywordIF_Imp(const KeywordDesc* list)
    : nameTab(kNameTabSize, 0, nullptr, nullptr, nullptr, nullptr), tokTab(nullptr),
      status(0) {
    if (nameTab.GetStatus() != 0 || tokTab.GetStatus() != 0) {
        status = 1;
        return;
    }
    for (const KeywordDesc* rec = list; rec != nullptr && rec->name != nullptr; ++rec) {
        // The name table stores the record's own name pointer; it never
        // writes through it.
        char* name = const_cast<char*>(rec->name);
        void* got = nameTab.add(name, false);
        if (got == nullptr) {
            // The table is sound, so only the entry's allocation can have
            // failed.
            status = -1;
            return;
        }
        if (got != name) {
            status = 1; // the name is in the list twice
            return;
        }
        void* self = const_cast<KeywordDesc*>(rec);
        got = tokTab.add(HashNumberKey(rec->token), self, false);
        if (got == nullptr) {
            status = -1;
            return;
        }
        if (got != self) {
            status = 1; // the token number is in the list twice
            return;
        }
    }
}

short TiKeywordIF_Imp::IsIEC_Keyword(char* name) {
    if (status != 0 || name == nullptr) {
        return 0;
    }
    return nameTab.find(name) != nullptr ? 1 : 0;
}

const char* TiKeywordIF_Imp::GetKeywordName(short token) {
    if (status != 0) {
        return nullptr;
    }
    const KeywordDesc* rec = static_cast<const KeywordDesc*>(tokTab.find(HashNumberKey(token)));
    return rec != nullptr ? rec->name : nullptr;
}

// ---------------------------------------------------------------- TiKeywordIF

TiKeywordIF::TiKeywordIF(short* status) : imp(new (std::nothrow) TiKeywordIF_Imp(TiGetIEC_KeywordList())) {
    if (status != nullptr) {
        *status = GetConstrStatus();
    }
}

TiKeywordIF::~TiKeywordIF() {
    delete imp;
}

short TiKeywordIF::IsIEC_Keyword(char* name) {
    return imp != nullptr ? imp->IsIEC_Keyword(name) : 0;
}

const char* TiKeywordIF::GetKeywordName(short token) {
    return imp != nullptr ? imp->GetKeywordName(token) : nullptr;
}

short TiKeywordIF::GetConstrStatus() const {
    return imp != nullptr ? imp->GetConstrStatus() : -1;
}
