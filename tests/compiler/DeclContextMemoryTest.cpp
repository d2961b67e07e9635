// Memory registration across a compilation's declarations: every record the
// declaration context and the initial values register is withdrawn again
// when it is taken over or destroyed, also on the error paths, so nothing
// stays registered and nothing is withdrawn twice.
#include "DeclTestSupport.h"
#include "base/TiMemRegister.h"

#include <gtest/gtest.h>

using namespace decltest;

namespace {

void Declarations(DeclEnv& env) {
    auto& c = *env.ctx;
    InitValReader reader(&env.sink, env.set.get());
    c.DeclareType(env.Name("pair"), DeclPos{}, env.Struct({{"a", "INT"}, {"b", "INT"}}),
                  reader.Read("(a := 1)"));
    c.DeclareType(env.Name("pair"), DeclPos{}, env.Struct({{"a", "INT"}, {"b", "INT"}}), nullptr);
    c.DeclareType(env.Name("color"), DeclPos{}, env.Enum({"r", "g"}), nullptr);
    c.DeclareType(env.Name("grid"), DeclPos{},
                  c.MakeArraySpec(env.Dims({{1, 2}, {1, 3}}), env.Name("pair"), DeclPos{}),
                  nullptr);
    c.BeginUnit(env.Name("prog"), decl::UNIT_PROGRAM, nullptr, DeclPos{});
    c.BeginSection(decl::SEC_VAR, DeclPos{});
    c.DeclareVariable(env.Name("x"), DeclPos{});
    c.DeclareVariable(env.Name("y"), DeclPos{});
    c.DeclareVarType(c.MakeArraySpec(env.Dims({{0, 9}}), env.Name("INT"), DeclPos{}),
                     reader.Read("[3(1, 2), 4(0)]"));
    c.DeclareVariable(env.Name("z"), DeclPos{});
    c.DeclareVarType(env.Struct({{"k", "color"}}), reader.Read("(k := g)"));
    c.DeclareVariable(env.Name("bad"), DeclPos{});
    c.DeclareVarType(env.Type("SINT"), reader.Read("1000"));
    c.DeclareVariable(env.Name("e"), DeclPos{});
    c.DeclareVarType(env.Enum({"u", "v"}), nullptr);
    c.DeclareVariable(env.Name("dropped"), DeclPos{});
    c.DeclareVarType(env.Name("nosuchtype"), reader.Read("5"));
    c.EndSection(decl::SEC_VAR);
    c.EndUnit();
    // Leftovers of syntax errors: a spec nobody took, open bodies, waiting
    // names.
    env.Struct({{"lost", "INT"}});
    c.MakeArraySpec(env.Dims({{1, 4}}), env.Name("BOOL"), DeclPos{});
    c.BeginUnit(env.Name("cut"), decl::UNIT_FUNCTION_BLOCK, nullptr, DeclPos{});
    c.BeginSection(decl::SEC_VAR, DeclPos{});
    c.DeclareVariable(env.Name("w"), DeclPos{});
    c.BeginStruct();
    c.DeclareStructComponent(env.Name("q"), DeclPos{}, env.Type("INT"), nullptr);
}

TEST(DeclContextMemory, NothingStaysRegistered) {
    TiMemRegisterEnable(true);
    testing::internal::CaptureStdout();
    {
        DeclEnv env;
        Declarations(env);
        env.NextCompilation();
        Declarations(env);
    }
    std::string during = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    TiMemDumpMemory();
    std::string dump = testing::internal::GetCapturedStdout();
    TiMemRegisterEnable(false);
    EXPECT_EQ(during.find("Speicher"), std::string::npos) << during;
    EXPECT_EQ(dump, "");
}

} // namespace
