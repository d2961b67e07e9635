// The C declarations of a realistic type library compile with the C
// compiler against a small header that defines the elementary names, and
// describe the same memory layout: sizes and component offsets of every
// type without an enumeration (a C enumeration is not 2 bytes) are checked
// by the C compiler itself.
#include "tests/compiler/PathTestSupport.h"

#include "compiler/IOBase.h"
#include "compiler/SymAttr.h"
#include "compiler/SymTab.h"
#include "compiler/TiTypeGenerator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string DataDir() {
    const char* d = std::getenv("KORVANE_TEST_DATA");
    return d != nullptr ? std::string(d) + "/tools" : std::string("tests/data/tools");
}

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

/// True when the type's layout involves an enumeration anywhere.
bool HasEnum(const SymAttr* t, int depth = 0) {
    if (t == nullptr || depth > 64) {
        return false;
    }
    if (t->IsEnum()) {
        return true;
    }
    if (t->IsArray()) {
        unsigned short dims = t->GetArrayDimension();
        return HasEnum(t->GetElemType(dims), depth + 1) || HasEnum(t->IsDerivedFrom(), depth + 1);
    }
    if (t->IsStruct()) {
        for (const SymAttr* c = t->GetStructCompEntry(); c != nullptr; c = c->GetNext()) {
            if (HasEnum(c->GetDType(0), depth + 1)) {
                return true;
            }
        }
    }
    return false;
}

/// A private directory for one test run.
class TempDir {
public:
    TempDir() {
        auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path = fs::temp_directory_path() / ("korvane-ctypes-" + std::to_string(stamp));
        fs::create_directories(path);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    fs::path path;
};

TEST(TypeGeneratorCompile, LibraryCompilesWithTheCCompiler) {
    std::string source = ReadFile(DataDir() + "/library.dty");
    ASSERT_FALSE(source.empty()) << "missing " << DataDir() << "/library.dty";
    pathtest::Compiled env(source.c_str());
    ASSERT_EQ(env.parseResult, 0);
    ASSERT_TRUE(env.declMessages.empty()) << decltest::Describe(env.declMessages);

    TempDir dir;
    DosFile out;
    ASSERT_EQ(out.Open((dir.path / "library_types.h").c_str()), 0);
    TiTypeGenerator gen(env.set()->GetGlobalTab(), &out);
    ASSERT_EQ(gen.GenerateAll_C_Types(nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(out.Close(), 0);
    ASSERT_EQ(gen.GetTypeCount(), 14u);

    // The checks of the layout, evaluated by the C compiler.
    std::string check = "#include <stddef.h>\n#include \"elementary.h\"\n#include "
                        "\"library_types.h\"\n";
    int asserts = 0;
    for (size_t i = 0; i < gen.GetTypeCount(); ++i) {
        const SymAttr* t = gen.GetType(i);
        if (HasEnum(t)) {
            continue;
        }
        std::string n = t->GetName();
        check += "_Static_assert(sizeof(" + n + ") == " + std::to_string(t->GetMemsize(0)) +
                 ", \"size of " + n + "\");\n";
        ++asserts;
        if (t->IsStruct() && t->IsDerivedFrom() == nullptr) {
            uint32_t off = 0;
            for (const SymAttr* c = t->GetStructCompEntry(); c != nullptr; c = c->GetNext()) {
                std::string cn = c->GetName();
                check += "_Static_assert(offsetof(" + n + ", " + cn +
                         ") == " + std::to_string(off) + ", \"offset of " + n + "." + cn + "\");\n";
                off += c->GetMemsize(0);
                ++asserts;
            }
        }
        // Every pointer type is declared.
        check += "static PTR_" + n + " ptr_" + n + ";\n";
    }
    ASSERT_GE(asserts, 10);
    std::ofstream(dir.path / "check.c") << check;
    fs::copy_file(DataDir() + "/elementary.h", dir.path / "elementary.h");

    const char* cc = std::getenv("CC");
    std::string compiler = cc != nullptr && cc[0] != '\0' ? cc : "cc";
    if (std::system((compiler + " --version > /dev/null 2>&1").c_str()) != 0) {
        GTEST_SKIP() << "no C compiler " << compiler;
    }
    std::string cmd = compiler + " -fsyntax-only -std=c11 -Wall -Werror -I" + dir.path.string() +
                      " " + (dir.path / "check.c").string() + " > " +
                      (dir.path / "cc.txt").string() + " 2>&1";
    int rc = std::system(cmd.c_str());
    EXPECT_EQ(rc, 0) << ReadFile(dir.path / "cc.txt") << "\n--- declarations:\n"
                     << ReadFile(dir.path / "library_types.h");
}

TEST(TypeGeneratorCompile, BrokenDeclarationsAreCaught) {
    // The check is real: a declaration the header does not cover (a
    // component of type LREAL is "*****") makes the C compiler fail.
    pathtest::Compiled env("TYPE BAD_T : STRUCT X : LREAL; END_STRUCT; END_TYPE");
    TempDir dir;
    DosFile out;
    ASSERT_EQ(out.Open((dir.path / "bad.h").c_str()), 0);
    TiTypeGenerator gen(env.set()->GetGlobalTab(), &out);
    ASSERT_EQ(gen.GenerateAll_C_Types(nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(out.Close(), 0);
    std::ofstream(dir.path / "check.c") << "#include \"elementary.h\"\n#include \"bad.h\"\n";
    fs::copy_file(DataDir() + "/elementary.h", dir.path / "elementary.h");
    const char* cc = std::getenv("CC");
    std::string compiler = cc != nullptr && cc[0] != '\0' ? cc : "cc";
    if (std::system((compiler + " --version > /dev/null 2>&1").c_str()) != 0) {
        GTEST_SKIP() << "no C compiler " << compiler;
    }
    std::string cmd = compiler + " -fsyntax-only -std=c11 -I" + dir.path.string() + " " +
                      (dir.path / "check.c").string() + " > /dev/null 2>&1";
    EXPECT_NE(std::system(cmd.c_str()), 0);
}

TEST(DosFileTest, LinesAndLineEnds) {
    TempDir dir;
    struct Case {
        const char* name;
        const char* end; // null: the default
        std::string expected;
    };
    const Case cases[] = {
        {"default CR LF", nullptr, "a\r\n\r\nb c\r\n"},
        {"LF", "\n", "a\n\nb c\n"},
        {"too long keeps CR LF", "\r\n\r\n", "a\r\n\r\nb c\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path p = dir.path / "lines.txt";
        DosFile f;
        EXPECT_EQ(f.PutLine("x"), 0); // no file yet
        ASSERT_EQ(f.Open(p.c_str()), 0);
        EXPECT_TRUE(f.IsOpen());
        if (c.end != nullptr) {
            f.SetLineEnd(c.end);
        }
        EXPECT_NE(f.PutLine("a"), 0);
        EXPECT_NE(f.PutLine(nullptr), 0);
        EXPECT_NE(f.PutLine("b c"), 0);
        EXPECT_EQ(f.Close(), 0);
        EXPECT_FALSE(f.IsOpen());
        EXPECT_EQ(ReadFile(p), c.expected);
    }
    DosFile f;
    EXPECT_EQ(f.Open(nullptr), 1);
    EXPECT_EQ(f.Open(""), 1);
    EXPECT_EQ(f.Open((dir.path / "no" / "such" / "dir" / "x").c_str()), 2);
    EXPECT_FALSE(f.IsOpen());
    DosFile none(nullptr);
    EXPECT_EQ(none.PutLine("x"), 0);
}

} // namespace
