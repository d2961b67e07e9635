// Failure injection: every allocation the declaration context and the
// initial values make with the nothrow operator new is failed in turn while
// a realistic set of declarations is made. Each run must report the
// failure, keep the tables usable and (under the sanitizer) leak nothing.
// Memory registration stays off here: the registry's own allocations would
// be failed too, and a block it could not record is reported as unknown when
// it is withdrawn (DeclContextMemoryTest checks the registration).
#include "DeclTestSupport.h"
#include "tests/compiler/AllocFailure.h"

#include <gtest/gtest.h>

using namespace decltest;

namespace {

void Declarations(DeclEnv& env, InitValReader& reader) {
    auto& c = *env.ctx;
    c.DeclareType(env.Name("pair"), DeclPos{}, env.Struct({{"a", "INT"}, {"b", "INT"}}), nullptr);
    c.DeclareType(env.Name("color"), DeclPos{}, env.Enum({"r", "g"}), nullptr);
    c.DeclareType(env.Name("grid"), DeclPos{},
                  c.MakeArraySpec(env.Dims({{1, 2}, {1, 3}}), env.Name("pair"), DeclPos{}),
                  nullptr);
    c.DeclareType(env.Name("lvl"), DeclPos{},
                  c.MakeSubrangeType(env.Name("INT"), env.Range(0, 9), DeclPos{}), nullptr);
    c.BeginUnit(env.Name("prog"), decl::UNIT_PROGRAM, nullptr, DeclPos{});
    c.BeginSection(decl::SEC_VAR, DeclPos{});
    c.DeclareVariable(env.Name("x"), DeclPos{});
    c.DeclareVariable(env.Name("y"), DeclPos{});
    c.DeclareVarType(c.MakeArraySpec(env.Dims({{0, 9}}), env.Name("INT"), DeclPos{}),
                     reader.Read("[3(1, 2), 4(0)]"));
    c.DeclareVariable(env.Name("z"), DeclPos{});
    c.DeclareVarType(env.Struct({{"k", "color"}, {"s", "STRING"}}),
                     reader.Read("(k := g, s := 'abc')"));
    c.DeclareVariable(env.Name("e"), DeclPos{});
    c.DeclareVarType(env.Enum({"u", "v"}), reader.Read("v"));
    c.EndSection(decl::SEC_VAR);
    c.EndUnit();
    TiInitValSpec* v = reader.Read("[(a := 1), 5((b := 2))]");
    if (v != nullptr) {
        SymAttr* t = env.Type("grid");
        if (t != nullptr && v->Check(t, &env.sink) == 0) {
            char buf[64];
            unsigned short len = sizeof buf;
            v->GetBinVal(buf, &len);
            v->GetAsciiSpec();
        }
        TiDelInitValSpecList(v);
    }
    short pairValue[2] = {1, 2};
    uint32_t len = 0;
    if (SymAttr* t = env.Type("pair")) {
        TiValToAsciiSpec(t, pairValue, nullptr, &len, &env.sink);
    }
}

bool Reported(const std::vector<Msg>& ms, int number) {
    for (const Msg& m : ms) {
        if (m.number == number) {
            return true;
        }
    }
    return false;
}

TEST(DeclContextFailure, EveryAllocationFailsInTurn) {
    long n = 0;
    int reported = 0;
    for (; n < 5000; ++n) {
        SCOPED_TRACE(n);
        testing::internal::CaptureStdout();
        bool failed = false;
        std::vector<Msg> messages;
        {
            DeclEnv env;
            InitValReader reader(&env.sink, env.set.get());
            {
                allocfail::Scope fail(n);
                Declarations(env, reader);
                failed = allocfail::Failed();
            }
            messages = env.Take();
            // The tables stay usable: the next compilation declares anew.
            env.NextCompilation();
            env.ctx->DeclareType(env.Name("after"), DeclPos{}, env.Type("INT"), nullptr);
            EXPECT_NE(env.Global("after"), nullptr);
        }
        testing::internal::GetCapturedStdout();
        if (!failed) {
            break; // every allocation of the run has been failed once
        }
        if (Reported(messages, -3406) || Reported(messages, -3405) || Reported(messages, -3555)) {
            ++reported;
        }
    }
    EXPECT_LT(n, 5000);
    EXPECT_GT(n, 100);
    // Every failure is reported as out of memory, except those that hit the
    // sink's own copy of one of the run's few messages (it then cannot be
    // collected) or the cached canonical text (null by contract).
    EXPECT_GE(reported, n - 8);
}

} // namespace
