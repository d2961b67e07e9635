// Memory layout of data types: elementary sizes and defaults, packed
// structures and their component offsets, array strides, sizes and add
// corrections, dimension stripping of arrays built as chains, clamped
// element offsets and enumeration sizes.
#include "compiler/SymAttr.h"
#include "tests/compiler/TypeArena.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

using sym::DEF_INDEX_CLAMPED;
using sym::DEF_NO_DIMENSION;
using sym::DEF_OK;
using sym::DEF_TOO_LARGE;

TEST(ElementaryTypes, IdsSizesDefaultsAndFlags) {
    struct Case {
        short id;
        const char* name;
        uint32_t size;
        const char* def; // null: none
        bool restricted;
        bool generic;
    };
    const Case cases[] = {
        {-1, "BOOL", 1, "FALSE", false, false},
        {-2, "BYTE", 1, "0", false, false},
        {-3, "WORD", 2, "0", false, false},
        {-4, "DWORD", 4, "0", true, false},
        {-5, "LWORD", 8, "0", true, false},
        {-10, "SINT", 1, "0", true, false},
        {-11, "INT", 2, "0", false, false},
        {-12, "DINT", 4, "0", false, false},
        {-13, "LINT", 8, "0", true, false},
        {-14, "USINT", 1, "0", true, false},
        {-15, "UINT", 2, "0", false, false},
        {-16, "UDINT", 4, "0", false, false},
        {-17, "ULINT", 8, "0", true, false},
        {-18, "REAL", 4, "0.0", false, false},
        {-19, "LREAL", 8, "0.0", true, false},
        {-20, "TIME", 4, "t#0s", false, false},
        {-21, "DATE", 2, "01.01.80", true, false},
        {-22, "TIME_OF_DAY", 4, "00:00:00", true, false},
        {-23, "DATE_AND_TIME", 8, "01.01.80-00:00:00", true, false},
        {-24, "STRING", 0, "''", true, false},
        {-25, "ANY", 8, nullptr, true, true},
        {-26, "ANY_NUM", 8, nullptr, true, true},
        {-27, "ANY_REAL", 8, nullptr, true, true},
        {-28, "ANY_INT", 8, nullptr, true, true},
        {-29, "ANY_BIT", 8, nullptr, true, true},
        {-30, "ANY_DATE", 8, nullptr, true, true},
        {-31, "INTSTATE", 2, "", false, false},
        {-64, "ANL_IN", 18, "failed", false, false},
        {-65, "ANL_OUT", 18, nullptr, false, false},
        {-100, "ANY_ELEM", 8, nullptr, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const sym::ElemTypeInfo* info = sym::GetElemTypeInfo(c.id);
        ASSERT_NE(info, nullptr);
        EXPECT_STREQ(info->name, c.name);
        EXPECT_EQ(info->size, c.size);
        if (c.def == nullptr) {
            EXPECT_EQ(info->defaultLit, nullptr);
        } else {
            EXPECT_STREQ(info->defaultLit, c.def);
        }
        EXPECT_EQ(info->restricted, c.restricted);
        EXPECT_EQ(info->generic, c.generic);

        // The record built from it carries the same data and flags.
        SymAttr r(c.name);
        ASSERT_EQ(r.DefElemType(c.id, info->size, info->defaultLit, true, info->restricted,
                                info->generic),
                  DEF_OK);
        EXPECT_EQ(r.GetMemsize(0), c.size);
        EXPECT_EQ(r.GetTypeClass(), sym::CLASS_ELEMENTARY);
        EXPECT_TRUE(r.IsVisibleDType());
        EXPECT_EQ((r.GetTypeFlags() & sym::TFLAG_RESTRICTED) != 0, c.restricted);
        EXPECT_EQ(r.IsAnyDType(), c.generic);
        EXPECT_EQ(r.GetElemTypeID(0), c.id);
    }
}

TEST(ElementaryTypes, IdClassesAtTheirBoundaries) {
    // The elementary range is -24 ... -1 as a whole (also the ids that no
    // type uses), plus -31, -64 and -65; the generic ids are -30 ... -25
    // and -100.
    struct Case {
        short id;
        bool elementary;
        bool generic;
        bool known; // a type of the table has this id
    };
    const Case cases[] = {
        {0, false, false, false},     {1, false, false, false},     {-1, true, false, true},
        {-24, true, false, true},     {-25, false, true, true},     {-30, false, true, true},
        {-31, true, false, true},     {-32, false, false, false},   {-63, false, false, false},
        {-64, true, false, true},     {-65, true, false, true},     {-66, false, false, false},
        {-99, false, false, false},   {-100, false, true, true},    {-101, false, false, false},
        {-6, true, false, false},     {-9, true, false, false},     {4711, false, false, false},
        {4714, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(sym::IsElementaryId(c.id), c.elementary);
        EXPECT_EQ(sym::IsGenericId(c.id), c.generic);
        EXPECT_EQ(sym::GetElemTypeInfo(c.id) != nullptr, c.known);
    }
}

// Component offsets as the catalogue computes them: walk the components from
// GetStructCompEntry along GetNext and add each component's size.
std::vector<uint32_t> Offsets(const SymAttr* type, std::vector<std::string>* names = nullptr) {
    std::vector<uint32_t> out;
    uint32_t off = 0;
    for (SymAttr* c = type->GetStructCompEntry(); c != nullptr; c = c->GetNext()) {
        out.push_back(off);
        if (names != nullptr) {
            names->push_back(c->GetName());
        }
        off += c->GetMemsize(0);
    }
    return out;
}

TEST(StructureLayout, PackedSizesAndComponentOffsets) {
    TypeArena a;
    SymAttr* BOOL = a.Elem(-1);
    SymAttr* INT = a.Elem(-11);
    SymAttr* REAL = a.Elem(-18);
    SymAttr* LREAL = a.Elem(-19);
    SymAttr* STRING = a.Elem(-24);
    SymAttr* DT = a.Elem(-23);
    SymAttr* s7 = a.Struct("S7", {{"a", BOOL}, {"b", INT}, {"c", REAL}});
    SymAttr* arr = a.Array1("INT[1..3]", 1, 3, INT);
    SymAttr* en = a.Enum("E", {"x", "y", "z"});

    struct Case {
        const char* name;
        std::vector<std::pair<const char*, SymAttr*>> comps;
        uint32_t size;
        std::vector<uint32_t> offsets;
    };
    const std::vector<Case> cases = {
        {"one BOOL", {{"a", BOOL}}, 1, {0}},
        {"STRING has size 0", {{"s", STRING}, {"b", BOOL}}, 1, {0, 0}},
        {"BOOL INT REAL packed", {{"a", BOOL}, {"b", INT}, {"c", REAL}}, 7, {0, 1, 3}},
        {"LREAL after BOOL unaligned", {{"a", BOOL}, {"b", LREAL}, {"c", BOOL}}, 10, {0, 1, 9}},
        {"nested structure", {{"f", BOOL}, {"s", s7}, {"g", INT}}, 10, {0, 1, 8}},
        {"array and enumeration components", {{"v", arr}, {"e", en}, {"d", DT}}, 16, {0, 6, 8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        short rc = -1;
        SymAttr* s = a.Struct("T", c.comps, &rc);
        EXPECT_EQ(rc, DEF_OK);
        EXPECT_TRUE(s->IsStruct());
        EXPECT_FALSE(s->IsArray());
        EXPECT_EQ(s->GetMemsize(0), c.size);
        std::vector<std::string> names;
        EXPECT_EQ(Offsets(s, &names), c.offsets);
        ASSERT_EQ(names.size(), c.comps.size());
        for (size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(names[i], c.comps[i].first); // declaration order
        }
    }
}

TEST(StructureLayout, SizeLimitAt65535) {
    TypeArena a;
    SymAttr* BOOL = a.Elem(-1);
    SymAttr* INT = a.Elem(-11);
    SymAttr* big = a.Array1("INT[1..32767]", 1, 32767, INT); // 65534 bytes
    ASSERT_EQ(big->GetMemsize(0), 65534u);
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, SymAttr*>> comps;
        short rc;
        uint32_t size;
    };
    const std::vector<Case> cases = {
        {"65534", {{"a", big}}, DEF_OK, 65534},
        {"exactly 65535", {{"a", big}, {"b", BOOL}}, DEF_OK, 65535},
        {"one past: 65536", {{"a", big}, {"b", INT}}, DEF_TOO_LARGE, 65536},
        {"far beyond keeps the full sum", {{"a", big}, {"b", big}, {"c", big}}, DEF_TOO_LARGE,
         3 * 65534},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        short rc = -1;
        SymAttr* s = a.Struct("T", c.comps, &rc);
        EXPECT_EQ(rc, c.rc);
        EXPECT_TRUE(s->IsDType()); // still defined
        EXPECT_EQ(s->GetMemsize(0), c.size);
    }
}

TEST(StructureLayout, DefinedFromAnyComponentOfTheList) {
    TypeArena a;
    SymAttr* INT = a.Elem(-11);
    SymAttr* c1 = a.Named("a");
    ASSERT_EQ(c1->DefStructComp(INT, nullptr), DEF_OK);
    SymAttr* c2 = a.Named("b");
    ASSERT_EQ(c2->DefStructComp(INT, c1), DEF_OK);
    SymAttr* c3 = a.Named("c");
    ASSERT_EQ(c3->DefStructComp(INT, c2), DEF_OK);
    // A component whose type is no data type cannot join the list.
    SymAttr* kw = a.Named("KW");
    kw->DefKeyword(0, 280, nullptr);
    SymAttr* odd = a.Named("odd");
    ASSERT_EQ(odd->DefStructComp(kw, c1), sym::DEF_WRONG_KIND);
    EXPECT_EQ(c1->GetNext(), c2);
    // The body handed over is the last component; the first is stored.
    SymAttr* s = a.Named("S");
    ASSERT_EQ(s->DefStructType(c3, a.FakeTab()), DEF_OK);
    EXPECT_EQ(s->GetMemsize(0), 6u);
    EXPECT_EQ(s->GetStructCompEntry(), c1);
    EXPECT_EQ(c3->GetStructCompEntry(), c1);
    EXPECT_EQ(Offsets(s), (std::vector<uint32_t>{0, 2, 4}));
}

TEST(ArrayLayout, StridesSizesAndAddCorrections) {
    struct Case {
        const char* name;
        std::vector<std::pair<int32_t, int32_t>> dims;
        short elemId;
        bool chain; // built as the declaration context does, else with one list
        uint32_t size;
        std::vector<uint32_t> strides;
        int32_t add;
    };
    const std::vector<Case> cases = {
        {"single element [5..5]", {{5, 5}}, -11, true, 2, {2}, -10},
        {"empty [3..2]", {{3, 2}}, -11, true, 0, {2}, -6},
        {"[1..3] OF INT", {{1, 3}}, -11, true, 6, {2}, -2},
        {"[-5..5] OF BYTE", {{-5, 5}}, -2, true, 11, {1}, 5},
        {"[0..1,1..2] OF DINT chain", {{0, 1}, {1, 2}}, -12, true, 16, {8, 4}, -4},
        {"[0..1,1..2] OF DINT direct", {{0, 1}, {1, 2}}, -12, false, 16, {8, 4}, -4},
        {"[1..2,1..3] OF INT chain", {{1, 2}, {1, 3}}, -11, true, 12, {6, 2}, -8},
        {"[0..1,0..2,1..4] OF BOOL chain", {{0, 1}, {0, 2}, {1, 4}}, -1, true, 24, {12, 4, 1}, -1},
        {"[0..1,0..2,1..4] OF BOOL direct", {{0, 1}, {0, 2}, {1, 4}}, -1, false, 24, {12, 4, 1},
         -1},
        {"[0..70000] OF DINT (size unchecked here)", {{0, 70000}}, -12, true, 280004, {4}, 0},
        {"[1..300,1..300] OF DINT", {{1, 300}, {1, 300}}, -12, true, 360000, {1200, 4}, -1204},
        {"widest range saturates", {{INT32_MIN, INT32_MAX}}, -19, true, UINT32_MAX, {8}, INT32_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TypeArena a;
        SymAttr* elem = a.Elem(c.elemId);
        SymAttr* arr = nullptr;
        if (c.chain) {
            arr = a.ArrayChain(c.dims, elem);
        } else {
            Subrange* first = nullptr;
            Subrange* last = nullptr;
            for (auto [lo, hi] : c.dims) {
                Subrange tmp(lo, hi);
                last = new Subrange(&tmp, last);
                if (first == nullptr) {
                    first = last;
                }
            }
            arr = a.Anonymous();
            ASSERT_EQ(arr->DefArrayType(first, elem), DEF_OK);
        }
        EXPECT_TRUE(arr->IsArray());
        EXPECT_EQ(arr->GetMemsize(0), c.size);
        EXPECT_EQ(arr->GetArrayDimension(), c.dims.size());
        EXPECT_EQ(arr->GetArrayAddSize(), c.add);
        std::vector<uint32_t> strides;
        size_t k = 0;
        for (Subrange* s = arr->GetArraySubr(0); s != nullptr; s = s->GetNext(), ++k) {
            strides.push_back(s->GetStride());
            EXPECT_EQ(s->GetAdd(), c.add); // the same in every dimension
            ASSERT_LT(k, c.dims.size());
            EXPECT_EQ(s->GetLR(), c.dims[k].first);
            EXPECT_EQ(s->GetUR(), c.dims[k].second);
        }
        EXPECT_EQ(strides, c.strides);
        EXPECT_EQ(arr->GetElemTypeID(c.dims.size()), c.elemId);
    }
}

TEST(ArrayLayout, ElementOffsetIsSumOfIndexTimesStrideplusAdd) {
    TypeArena a;
    SymAttr* arr = a.ArrayChain({{0, 1}, {1, 2}}, a.Elem(-12)); // [0..1,1..2] OF DINT
    struct Case {
        int32_t i1, i2;
        int32_t offset;
    };
    const Case cases[] = {{0, 1, 0}, {0, 2, 4}, {1, 1, 8}, {1, 2, 12}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.i1) + "," + std::to_string(c.i2));
        int32_t o1 = -1;
        int32_t o2 = -1;
        EXPECT_EQ(arr->GetElemOffset(0, c.i1, o1), DEF_OK);
        EXPECT_EQ(arr->GetElemOffset(1, c.i2, o2), DEF_OK);
        EXPECT_EQ(o1 + o2 + arr->GetArrayAddSize(), c.offset);
    }
}

TEST(ArrayLayout, ElementOffsetClampsOutOfBoundsIndexes) {
    TypeArena a;
    SymAttr* arr = a.Array1("DINT[2..5]", 2, 5, a.Elem(-12)); // stride 4
    struct Case {
        const char* name;
        unsigned short dim;
        int32_t index;
        int32_t offset;
        short rc;
    };
    const Case cases[] = {
        {"lowest int", 0, INT32_MIN, 8, DEF_INDEX_CLAMPED},
        {"one below", 0, 1, 8, DEF_INDEX_CLAMPED},
        {"lower bound", 0, 2, 8, DEF_OK},
        {"inside", 0, 3, 12, DEF_OK},
        {"upper bound", 0, 5, 20, DEF_OK},
        {"one above", 0, 6, 20, DEF_INDEX_CLAMPED},
        {"highest int", 0, INT32_MAX, 20, DEF_INDEX_CLAMPED},
        {"no such dimension", 1, 3, 0, DEF_NO_DIMENSION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int32_t off = -12345;
        EXPECT_EQ(arr->GetElemOffset(c.dim, c.index, off), c.rc);
        EXPECT_EQ(off, c.offset);
    }
    int32_t off = -1;
    EXPECT_EQ(Subrange::ElemOffset(nullptr, 0, off), DEF_NO_DIMENSION);
    EXPECT_EQ(off, 0);
    // A record without dimensions (INT) has none to offer either.
    EXPECT_EQ(a.Elem(-11)->GetElemOffset(0, 0, off), DEF_NO_DIMENSION);
}

TEST(ArrayLayout, ArrayOfArrayTakesTheElementDimensions) {
    TypeArena a;
    SymAttr* INT = a.Elem(-11);
    SymAttr* inner = a.Array1("ROW", 1, 4, INT); // named row type
    SymAttr* outer = a.Array1("MATRIX", 0, 2, inner);
    EXPECT_EQ(outer->GetArrayDimension(), 2);
    EXPECT_EQ(outer->GetMemsize(0), 24u);
    EXPECT_EQ(outer->GetArrayAddSize(), -2);
    EXPECT_EQ(outer->GetTypeClass(), sym::CLASS_ARRAY | sym::CLASS_ELEMENTARY);
    EXPECT_EQ(outer->GetDType(1), inner);
    EXPECT_EQ(outer->GetDType(2), INT);
    // The element's own list is copied, not shared.
    EXPECT_NE(outer->GetArraySubr(0)->GetNext(), inner->GetArraySubr(0));
    EXPECT_EQ(inner->GetArraySubr(0)->GetPrev(), nullptr);
    EXPECT_EQ(inner->GetArraySubr(0)->GetAdd(), -2); // the inner array keeps its own add
}

TEST(DimensionStripping, ChainsDirectListsAndNonArrays) {
    TypeArena a;
    SymAttr* DINT = a.Elem(-12);
    SymAttr* BOOL = a.Elem(-1);
    SymAttr* INT = a.Elem(-11);
    SymAttr* chain2 = a.ArrayChain({{0, 1}, {1, 2}}, DINT);
    SymAttr* chain3 = a.ArrayChain({{0, 1}, {0, 2}, {1, 4}}, BOOL);
    Subrange* first = new Subrange(0, 1);
    Subrange tmp(1, 2);
    new Subrange(&tmp, first);
    SymAttr* direct2 = a.Anonymous();
    ASSERT_EQ(direct2->DefArrayType(first, DINT), DEF_OK);
    SymAttr* s = a.Struct("S", {{"a", INT}});
    SymAttr* arrOfStruct = a.Array1("S[1..2]", 1, 2, s);
    SymAttr* var = a.Named("v");
    ASSERT_EQ(var->DefVarAttr(nullptr, 0x40, chain2, 0, nullptr), DEF_OK);

    struct Case {
        const char* name;
        SymAttr* rec;
        unsigned short dims;
        const char* typeName; // expected GetDType(dims) name; "" anonymous; null none
        uint32_t size;
    };
    const Case cases[] = {
        {"chain2 0", chain2, 0, "", 16},
        {"chain2 1", chain2, 1, "DINT[1..2]", 8},
        {"chain2 2", chain2, 2, "DINT", 4},
        {"chain2 3 (too many)", chain2, 3, nullptr, 0},
        {"chain3 1", chain3, 1, "BOOL[0..2,1..4]", 12},
        {"chain3 2", chain3, 2, "BOOL[1..4]", 4},
        {"chain3 3", chain3, 3, "BOOL", 1},
        {"chain3 4", chain3, 4, nullptr, 0},
        {"direct 1 (not on a boundary)", direct2, 1, nullptr, 0},
        {"direct 2", direct2, 2, "DINT", 4},
        {"direct 3", direct2, 3, nullptr, 0},
        {"array of struct 1", arrOfStruct, 1, "S", 2},
        {"non-array is returned as it is", INT, 1, "INT", 2},
        {"variable of chain2, 1", var, 1, "DINT[1..2]", 8},
        {"variable of chain2, 2", var, 2, "DINT", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SymAttr* t = c.rec->GetDType(c.dims);
        EXPECT_EQ(c.rec->GetTypeSpec(c.dims), t);
        if (c.typeName == nullptr) {
            EXPECT_EQ(t, nullptr);
        } else {
            ASSERT_NE(t, nullptr);
            EXPECT_STREQ(t->GetName() != nullptr ? t->GetName() : "", c.typeName);
            EXPECT_STREQ(c.rec->GetDTypeName(c.dims) != nullptr ? c.rec->GetDTypeName(c.dims) : "",
                         c.typeName);
        }
        EXPECT_EQ(c.rec->GetMemsize(c.dims), c.size);
    }
    // GetArraySubr follows the stripping: the inner array's own dimension.
    ASSERT_NE(chain2->GetArraySubr(1), nullptr);
    EXPECT_EQ(chain2->GetArraySubr(1)->GetLR(), 1);
    EXPECT_EQ(chain2->GetArraySubr(1)->GetUR(), 2);
    EXPECT_EQ(chain2->GetArraySubr(2), nullptr); // DINT is no array
}

TEST(EnumerationLayout, AlwaysTwoBytes) {
    struct Case {
        const char* name;
        size_t values;
    };
    const Case cases[] = {{"one value", 1}, {"three values", 3}, {"300 values", 300}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TypeArena a;
        std::vector<std::string> names;
        for (size_t i = 0; i < c.values; ++i) {
            names.push_back("v" + std::to_string(i));
        }
        std::vector<const char*> ptrs;
        for (auto& n : names) {
            ptrs.push_back(n.c_str());
        }
        SymAttr* e = a.Enum("E", ptrs);
        EXPECT_TRUE(e->IsEnum());
        EXPECT_EQ(e->GetMemsize(0), 2u);
        size_t n = 0;
        short expect = 0;
        for (SymAttr* v = e->GetEnumCompEntry(); v != nullptr; v = v->GetNext(), ++n) {
            short val = -5;
            EXPECT_EQ(v->GetEnumVal(val), DEF_OK);
            EXPECT_EQ(val, expect++);
            EXPECT_EQ(v->GetTypeSpec(0), e); // owner
        }
        EXPECT_EQ(n, c.values);
    }
}

} // namespace
