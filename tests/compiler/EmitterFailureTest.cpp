// Failures of the emitter: codes without mnemonic, codes of another form,
// operand checks with their location codes, the piece buffer, missing
// function-block types, constants without pool index, the counter at its
// limit and a listing that cannot be written. No failure lists anything or
// counts an instruction.
#include "EmitterTestSupport.h"
#include "compiler/TiNode.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <regex>

using namespace treetest;
using namespace emittest;

namespace {

// An emitter with a collecting sink and a listing file, for one case.
struct Bench {
    std::unique_ptr<ErrMess> sink = MakeSink();
    Listing listing;
    FakeLookup lookup;
    TiEmitter e{sink.get(), listing.File(), FakeDb(), FakeLibrary(), &lookup};
};

bool IsInternalAt(const Message& m) {
    return m.severity == errmess::SEV_INTERNAL &&
           std::regex_match(m.text, std::regex("E: internal at TiEmitter\\.cpp [1-9][0-9]*"));
}

bool IsInternal(const Message& m, int32_t location) {
    return m.severity == errmess::SEV_INTERNAL &&
           std::regex_match(m.text, std::regex("E: internal " + std::to_string(location) +
                                               " TiEmitter\\.cpp [1-9][0-9]* \\$Revision: 1 \\$"));
}

TEST(EmitterFailure, CodeWithoutMnemonicIsReportedAndNothingEmitted) {
    const struct {
        const char* name;
        int32_t code;
        std::function<short(TiEmitter&, int32_t, int32_t*)> emit;
    } cases[] = {
        {"two-operand form, 16", 16,
         [](TiEmitter& e, int32_t c, int32_t* n) { return e.EmitOp(c, nullptr, nullptr, 0, n); }},
        {"two-operand form, 0", 0,
         [](TiEmitter& e, int32_t c, int32_t* n) { return e.EmitOp(c, nullptr, nullptr, 0, n); }},
        {"two-operand form, -1", -1,
         [](TiEmitter& e, int32_t c, int32_t* n) { return e.EmitOp(c, nullptr, nullptr, 0, n); }},
        {"two-operand form, largest", INT32_MAX,
         [](TiEmitter& e, int32_t c, int32_t* n) { return e.EmitOp(c, nullptr, nullptr, 0, n); }},
        {"plain form, 227", 227,
         [](TiEmitter& e, int32_t c, int32_t* n) { return e.EmitPlain(c, n); }},
        {"conditional branch, 24", 24,
         [](TiEmitter& e, int32_t c, int32_t* n) {
             TiExprOperand o = TiExprOperand::Number(1);
             return e.EmitCondBranch(c, &o, 0, n);
         }},
        {"function-block call, 16", 16,
         [](TiEmitter& e, int32_t c, int32_t* n) { return e.EmitFBCall(c, "TON", 0, n); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        b.e.SetCounter(4);
        int32_t number = -1;
        EXPECT_EQ(c.emit(b.e, c.code, &number), opc::MSG_NO_MNEMONIC);
        EXPECT_EQ(number, 0);
        EXPECT_EQ(b.e.GetCounter(), 4);
        EXPECT_EQ(b.listing.Text(), "");
        auto msgs = Messages(*b.sink);
        ASSERT_EQ(msgs.size(), 2u);
        EXPECT_EQ(msgs[0].severity, errmess::SEV_ERROR);
        EXPECT_EQ(msgs[0].text, "E: no mnemonic " + std::to_string(c.code));
        EXPECT_TRUE(IsInternalAt(msgs[1])) << msgs[1].text;
    }
}

TEST(EmitterFailure, CodeOfAnotherFormIsAnInternalError) {
    const struct {
        const char* name;
        std::function<short(TiEmitter&)> emit;
    } cases[] = {
        {"BRANCH as conditional branch",
         [](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::Number(1);
             return e.EmitCondBranch(opc::BRANCH, &o, 0);
         }},
        {"PAV as function-block call",
         [](TiEmitter& e) { return e.EmitFBCall(opc::PAV, "TON", 0); }},
        {"BNOTEN as function-block call",
         [](TiEmitter& e) { return e.EmitFBCall(opc::BNOTEN, "TON", 0); }},
        {"ADD without operands as plain", [](TiEmitter& e) { return e.EmitPlain(opc::ADD); }},
        {"BRANCH as operation",
         [](TiEmitter& e) { return e.EmitOp(opc::BRANCH, nullptr, nullptr); }},
        {"call as operation", [](TiEmitter& e) { return e.EmitOp(opc::JMPEFB, nullptr, nullptr); }},
        {"ADRADD as operation",
         [](TiEmitter& e) { return e.EmitOp(opc::ADRADD, nullptr, nullptr); }},
        {"RET as operation", [](TiEmitter& e) { return e.EmitOp(opc::RET, nullptr, nullptr); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        EXPECT_EQ(c.emit(b.e), opc::MSG_INTERNAL_AT);
        EXPECT_EQ(b.e.GetCounter(), 0);
        EXPECT_EQ(b.listing.Text(), "");
        auto msgs = Messages(*b.sink);
        ASSERT_EQ(msgs.size(), 1u);
        EXPECT_TRUE(IsInternalAt(msgs[0])) << msgs[0].text;
    }
}

TEST(EmitterFailure, OperandChecksReportTheirLocation) {
    Symbols s;
    SymAttr* unit = s.Unit("Main", 0);
    SymAttr* x = s.Var("x", s.types.Elem(-11), unit);
    SymAttr* typeRecord = s.types.Elem(-11);
    IEC_CONSTANT lword(1);
    lword.typeId = iec::TYPE_LWORD;
    IEC_CONSTANT empty;
    const unsigned char bytes[9] = {};
    const TiExprOperand good = TiExprOperand::Variable(x);
    const struct {
        const char* name;
        std::function<short(TiEmitter&)> emit;
        int32_t location;
    } cases[] = {
        {"operand kind 0",
         [](TiEmitter& e) {
             TiExprOperand o;
             return e.EmitOp(opc::ASS, &o, nullptr);
         },
         opc::LOC_OPERAND_KIND},
        {"operand kind 8",
         [](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::Number(1);
             o.kind = 8;
             return e.EmitOp(opc::ASS, nullptr, &o);
         },
         opc::LOC_OPERAND_KIND},
        {"variable without symbol",
         [](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::Variable(nullptr);
             return e.EmitOp(opc::ASS, &o, nullptr);
         },
         opc::LOC_VAR_NO_SYMBOL},
        {"kind 6 without symbol",
         [](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::SymVariable(nullptr);
             return e.EmitPav(&o);
         },
         opc::LOC_VAR_NO_SYMBOL},
        {"a data type as variable",
         [&](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::Variable(typeRecord);
             return e.EmitOp(opc::ASS, &good, &o);
         },
         opc::LOC_VAR_SYMBOL_KIND},
        {"constant without constant",
         [](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::Constant(nullptr);
             return e.EmitOp(opc::ADD, &o, nullptr);
         },
         opc::LOC_CONST_MISSING},
        {"pooled constant without constant",
         [](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::PoolConstant(nullptr, 1);
             return e.EmitOp(opc::ADD, &o, nullptr);
         },
         opc::LOC_CONST_MISSING},
        {"LWORD constant has no literal text",
         [&](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::Constant(&lword);
             return e.EmitOp(opc::ADD, &good, &o);
         },
         opc::LOC_CONST_TEXT},
        {"constant of no kind",
         [&](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::PoolConstant(&empty, 2);
             return e.EmitOp(opc::ADD, &o, nullptr);
         },
         opc::LOC_CONST_TEXT},
        {"pool variable without name",
         [](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::PoolVariable(nullptr, 2);
             return e.EmitPav(&o);
         },
         opc::LOC_POOLVAR_NO_NAME},
        {"immediate of no bytes",
         [](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::Immediate(-11, nullptr, 2);
             return e.EmitOp(opc::ASS, &o, nullptr);
         },
         opc::LOC_IMM_SIZE},
        {"immediate of 0 bytes",
         [&](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::Immediate(-2, bytes, 0);
             return e.EmitOp(opc::ASS, &o, nullptr);
         },
         opc::LOC_IMM_SIZE},
        {"immediate of 9 bytes",
         [&](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::Immediate(-5, bytes, 9);
             return e.EmitOp(opc::ASS, &o, nullptr);
         },
         opc::LOC_IMM_SIZE},
        {"INT immediate of 4 bytes",
         [&](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::Immediate(-11, bytes, 4);
             return e.EmitOp(opc::ASS, &o, nullptr);
         },
         opc::LOC_IMM_TYPE_SIZE},
        {"DINT immediate of 2 bytes",
         [&](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::Immediate(-12, bytes, 2);
             return e.EmitOp(opc::ASS, &o, nullptr);
         },
         opc::LOC_IMM_TYPE_SIZE},
        {"BTRUE without operand",
         [](TiEmitter& e) { return e.EmitCondBranch(opc::BTRUE, nullptr, 0); },
         opc::LOC_BRANCH_OPERAND},
        {"BFALSE on a bad operand",
         [](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::Variable(nullptr);
             return e.EmitCondBranch(opc::BFALSE, &o, 3);
         },
         opc::LOC_VAR_NO_SYMBOL},
        {"BNOTEN without operand", [](TiEmitter& e) { return e.EmitBNotEn(nullptr); },
         opc::LOC_BNOTEN_OPERAND},
        {"ASSENO without operand", [](TiEmitter& e) { return e.EmitAssEno(nullptr, 4); },
         opc::LOC_ASSENO_OPERAND},
        {"PAV without operand", [](TiEmitter& e) { return e.EmitPav(nullptr); },
         opc::LOC_PAV_OPERAND},
        {"PAV of a constant",
         [](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::Number(3);
             return e.EmitPav(&o);
         },
         opc::LOC_PAV_OPERAND},
        {"PAV of no symbol", [](TiEmitter& e) { return e.EmitPavSymbol(nullptr, 1); },
         opc::LOC_PAV_SYMBOL},
        {"ADRADD without b", [&](TiEmitter& e) { return e.EmitAdrAdd(&good, nullptr); },
         opc::LOC_ADRADD_OPERAND},
        {"ADRADD without a", [&](TiEmitter& e) { return e.EmitAdrAdd(nullptr, &good); },
         opc::LOC_ADRADD_OPERAND},
        {"call without type name",
         [](TiEmitter& e) { return e.EmitFBCall(opc::JMPDFB, nullptr, 1); },
         opc::LOC_FB_NO_TYPE_NAME},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        b.e.SetUnit(unit);
        int32_t before = b.e.GetCounter();
        EXPECT_EQ(c.emit(b.e), opc::MSG_INTERNAL);
        EXPECT_EQ(b.e.GetCounter(), before);
        EXPECT_EQ(b.listing.Text(), "");
        auto msgs = Messages(*b.sink);
        ASSERT_EQ(msgs.size(), 1u);
        EXPECT_TRUE(IsInternal(msgs[0], c.location)) << msgs[0].text;
        // The next instruction gets the number the failed one would have had.
        int32_t n = 0;
        EXPECT_EQ(b.e.EmitPlain(opc::LABEL, &n), 0);
        EXPECT_EQ(n, before + 1);
    }
}

TEST(EmitterFailure, PieceBufferBoundary) {
    // " \t%s, %ld, %s" with size 1 and "POOLVAR" takes 14 characters beside
    // the name; a piece must leave room for its terminating zero in the
    // 300-character buffer, so 285 name characters fit and 286 do not.
    const struct {
        size_t nameLength;
        bool fits;
    } cases[] = {{0, true}, {285, true}, {286, false}, {299, false}, {100000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nameLength);
        Bench b;
        std::string name(c.nameLength, 'n');
        TiExprOperand o = TiExprOperand::PoolVariable(name.c_str(), 1);
        short rc = b.e.EmitPav(&o);
        if (c.fits) {
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(b.listing.Text(), "\n   1:\tPAV \t" + name + ", 1, POOLVAR");
            EXPECT_EQ(14 + c.nameLength,
                      b.listing.Text().size() - std::string("\n   1:\tPAV").size());
        } else {
            EXPECT_EQ(rc, opc::MSG_INTERNAL);
            EXPECT_EQ(b.listing.Text(), "");
            EXPECT_EQ(b.e.GetCounter(), 0);
            auto msgs = Messages(*b.sink);
            ASSERT_EQ(msgs.size(), 1u);
            EXPECT_TRUE(IsInternal(msgs[0], opc::LOC_PIECE_TOO_LONG)) << msgs[0].text;
        }
    }
}

TEST(EmitterFailure, PieceBufferHoldsEveryOperandPiece) {
    // A long name in the nested-unit prefix, a long string literal and a
    // long symbol name for PAV all meet the same limit.
    Symbols s;
    std::string longName(400, 'u');
    SymAttr* main = s.Unit("Main", 0);
    SymAttr* other = s.Unit(longName.c_str(), 0);
    SymAttr* v = s.Var("v", s.types.Elem(-11), other);
    IEC_CONSTANT text;
    text.SetString(std::string(300, 'a').c_str());
    const struct {
        const char* name;
        std::function<short(TiEmitter&)> emit;
    } cases[] = {
        {"unit prefix",
         [&](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::Variable(v);
             return e.EmitOp(opc::ASS, &o, nullptr);
         }},
        {"string literal",
         [&](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::Constant(&text);
             return e.EmitOp(opc::ASS, nullptr, &o);
         }},
        {"pooled string literal",
         [&](TiEmitter& e) {
             TiExprOperand o = TiExprOperand::PoolConstant(&text, 1);
             return e.EmitAdrAdd(&o, &o);
         }},
        {"PAV symbol name", [&](TiEmitter& e) { return e.EmitPavSymbol(other, 1); }},
        {"call of a long type name",
         [&](TiEmitter& e) { return e.EmitFBCall(opc::JMPEFB, longName.c_str(), 1); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        b.lookup.unitTypes[longName] = other;
        b.e.SetUnit(main);
        EXPECT_EQ(c.emit(b.e), opc::MSG_INTERNAL);
        EXPECT_EQ(b.listing.Text(), "");
        auto msgs = Messages(*b.sink);
        ASSERT_EQ(msgs.size(), 1u);
        EXPECT_TRUE(IsInternal(msgs[0], opc::LOC_PIECE_TOO_LONG)) << msgs[0].text;
    }
}

TEST(EmitterFailure, FunctionBlockTypesAreLookedUpInTheUnitThenTheDatabase) {
    Symbols s;
    SymAttr* unitTon = s.Unit("TON", 2);
    SymAttr* dbTof = s.Unit("TOF_DB", 2);
    const struct {
        const char* name;
        const char* type;
        bool inUnit;
        bool inDb;
        std::vector<std::string> asked;
        const char* line; // null: -3577
    } cases[] = {
        {"in the unit's tables", "TON", true, true, {"unit:TON"}, "\n   1:\tJMPEFB \tTON, 2"},
        {"through the database adapter",
         "tof",
         false,
         true,
         {"unit:tof", "db:tof"},
         "\n   1:\tJMPEFB \tTOF_DB, 2"},
        {"nowhere", "CTU", false, false, {"unit:CTU", "db:CTU"}, nullptr},
        {"empty name", "", false, false, {"unit:", "db:"}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        if (c.inUnit) {
            b.lookup.unitTypes[c.type] = unitTon;
        }
        if (c.inDb) {
            b.lookup.dbTypes[c.type] = dbTof;
        }
        short rc = b.e.EmitFBCall(opc::JMPEFB, c.type, 2);
        EXPECT_EQ(b.lookup.asked, c.asked);
        EXPECT_EQ(b.lookup.seenLibrary, FakeLibrary());
        if (c.line != nullptr) {
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(b.listing.Text(), c.line);
            EXPECT_TRUE(Messages(*b.sink).empty());
        } else {
            EXPECT_EQ(b.lookup.seenDb, FakeDb());
            EXPECT_EQ(rc, opc::MSG_NO_FB_TYPE);
            EXPECT_EQ(b.listing.Text(), "");
            EXPECT_EQ(b.e.GetCounter(), 0);
            auto msgs = Messages(*b.sink);
            ASSERT_EQ(msgs.size(), 1u);
            EXPECT_EQ(msgs[0].severity, errmess::SEV_ERROR);
            EXPECT_EQ(msgs[0].text, std::string("E: no fb type '") + c.type + "'");
        }
    }
}

TEST(EmitterFailure, MissingTypeNamesTheLargestSourceLine) {
    Bench b;
    b.sink->SetSourceName("valve.st");
    TiNode n(tree::ASS);
    n.SetPos(42, 3);
    b.e.NoteNode(&n);
    EXPECT_EQ(b.e.EmitFBCall(opc::JMPDFB, "CTU", 1), opc::MSG_NO_FB_TYPE);
    EXPECT_EQ(b.e.EmitOp(16, nullptr, nullptr), opc::MSG_NO_MNEMONIC);
    auto msgs = Messages(*b.sink);
    ASSERT_EQ(msgs.size(), 3u);
    EXPECT_EQ(msgs[0].text, "valve.st(42,0): E: no fb type 'CTU'");
    EXPECT_EQ(msgs[1].text, "valve.st(42,0): E: no mnemonic 16");
    EXPECT_TRUE(IsInternalAt(msgs[2])) << msgs[2].text;
}

TEST(EmitterFailure, WithoutLookupNoTypeIsFound) {
    auto sink = MakeSink();
    TiEmitter e(sink.get(), nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(e.EmitFBCall(opc::JMPEFB, "TON", 0), opc::MSG_NO_FB_TYPE);
    EXPECT_EQ(Messages(*sink).size(), 1u);
}

TEST(EmitterFailure, ConvertingConstantsNeedsAPoolIndex) {
    IEC_CONSTANT placed(3);
    IEC_CONSTANT loose(4);
    const struct {
        const char* name;
        TiExprOperand o;
        bool withLookup;
        short rc;
        int32_t location;
        uint8_t kindAfter;
    } cases[] = {
        {"placed constant", TiExprOperand::Constant(&placed), true, 0, 0, opc::OPD_POOL_CONSTANT},
        {"constant without index", TiExprOperand::Constant(&loose), true, opc::MSG_INTERNAL,
         opc::LOC_CONST_NO_POOL, opc::OPD_CONSTANT},
        {"no lookup", TiExprOperand::Constant(&placed), false, opc::MSG_INTERNAL,
         opc::LOC_CONST_NO_POOL, opc::OPD_CONSTANT},
        {"constant without constant", TiExprOperand::Constant(nullptr), true, opc::MSG_INTERNAL,
         opc::LOC_CONVERT_KIND, opc::OPD_CONSTANT},
        {"already pooled", TiExprOperand::PoolConstant(&placed, 1), true, opc::MSG_INTERNAL,
         opc::LOC_CONVERT_KIND, opc::OPD_POOL_CONSTANT},
        {"a number", TiExprOperand::Number(3), true, opc::MSG_INTERNAL, opc::LOC_CONVERT_KIND,
         opc::OPD_NUMBER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto sink = MakeSink();
        FakeLookup lookup;
        lookup.pool[&placed] = 77;
        TiEmitter e(sink.get(), nullptr, nullptr, nullptr, c.withLookup ? &lookup : nullptr);
        TiExprOperand o = c.o;
        EXPECT_EQ(e.ConvertConstant(o), c.rc);
        EXPECT_EQ(o.kind, c.kindAfter);
        auto msgs = Messages(*sink);
        if (c.rc == 0) {
            EXPECT_EQ(o.poolIndex, 77);
            EXPECT_TRUE(msgs.empty());
            std::string text;
            EXPECT_EQ(e.OperandText(o, text), 0);
            EXPECT_EQ(text, " \t77, 4, VAR (const, val = 3)");
        } else {
            ASSERT_EQ(msgs.size(), 1u);
            EXPECT_TRUE(IsInternal(msgs[0], c.location)) << msgs[0].text;
        }
    }
}

TEST(EmitterFailure, CounterAtItsLargestValueEmitsNothing) {
    Bench b;
    b.e.SetCounter(INT32_MAX);
    int32_t n = -1;
    EXPECT_EQ(b.e.EmitPlain(opc::LABEL, &n), opc::MSG_INTERNAL_AT);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(b.e.GetCounter(), INT32_MAX);
    EXPECT_EQ(b.listing.Text(), "");
    auto msgs = Messages(*b.sink);
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_TRUE(IsInternalAt(msgs[0])) << msgs[0].text;
}

TEST(EmitterFailure, UnwritableListingIsReported) {
    // A file opened for reading refuses every write.
    FILE* readOnly = std::fopen(__FILE__, "r");
    ASSERT_NE(readOnly, nullptr);
    auto sink = MakeSink();
    TiEmitter e(sink.get(), readOnly, nullptr, nullptr, nullptr);
    int32_t n = 0;
    EXPECT_EQ(e.EmitPlain(opc::RET, &n), opc::MSG_INTERNAL_AT);
    // The instruction exists even though its line is lost.
    EXPECT_EQ(n, 1);
    EXPECT_EQ(e.GetCounter(), 1);
    auto msgs = Messages(*sink);
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_TRUE(IsInternalAt(msgs[0])) << msgs[0].text;
    std::fclose(readOnly);
}

TEST(EmitterFailure, WithoutSinkFailuresAreOnlyReturned) {
    TiEmitter e(nullptr, nullptr, nullptr, nullptr, nullptr);
    TiExprOperand bad;
    EXPECT_EQ(e.EmitOp(16, nullptr, nullptr), opc::MSG_NO_MNEMONIC);
    EXPECT_EQ(e.EmitPlain(opc::ADD), opc::MSG_INTERNAL_AT);
    EXPECT_EQ(e.EmitOp(opc::ADD, &bad, nullptr), opc::MSG_INTERNAL);
    EXPECT_EQ(e.EmitFBCall(opc::JMPEFB, "X", 0), opc::MSG_NO_FB_TYPE);
    EXPECT_EQ(e.ConvertConstant(bad), opc::MSG_INTERNAL);
    EXPECT_EQ(e.GetCounter(), 0);
}

} // namespace
