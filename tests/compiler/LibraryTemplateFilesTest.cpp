// Tests of the reader of the function-block library template files: the
// record grammar, comments, line lengths, skipped records, replaced
// templates, and the files found below the root from QDRSRC.
#include "compiler/TiTemplateFiles.h"

#include "platform/Environment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string Describe(const TiTemplateFiles& t, const char* name) {
    const TiFBTemplate* f = t.Find(name);
    if (f == nullptr) {
        return "-";
    }
    std::string out = f->name + "#" + std::to_string(f->token);
    for (const TiFBParam& p : f->params) {
        out += " " + std::to_string(p.direction) + ":" + p.name + ":" + p.type;
    }
    return out;
}

} // namespace

TEST(LibraryTemplateFiles, Records) {
    struct Case {
        const char* name;
        std::string text;
        const char* lookup;
        std::string expected;
        size_t count;
        size_t skipped;
    };
    const std::string longTail(600, 'x');
    const Case cases[] = {
        {"empty", "", "TON", "-", 0, 0},
        {"one block",
         "CL_EFB TON\nFBTK_EFB 42\nFP_IO_INPUT IN BOOL\nFP_IO_INPUT PT TIME\n"
         "FP_IO_OUTPUT Q BOOL\nFP_IO_INOUT ET TIME\n",
         "ton", "TON#42 1:IN:BOOL 1:PT:TIME 2:Q:BOOL 3:ET:TIME", 1, 0},
        {"comments, blank lines, tabs and carriage returns",
         "/ timers\r\n\r\n  CL_EFB\tTOF \r\n/FP_IO_INPUT X INT\nFP_IO_INPUT  IN\tBOOL\r\n", "TOF",
         "TOF#0 1:IN:BOOL", 1, 0},
        {"records before any block are skipped", "FP_IO_INPUT X INT\nFBTK_EFB 3\nCL_EFB CTU\n",
         "CTU", "CTU#0", 1, 2},
        {"malformed and unknown records are skipped",
         "CL_EFB\nCL_EFB R_TRIG\nFBTK_EFB x7\nFBTK_EFB\nFP_IO_INPUT CLK\nFP_IO_SOMETHING A B\n"
         "FP_IO_INPUT CLK BOOL\n",
         "R_TRIG", "R_TRIG#0 1:CLK:BOOL", 1, 5},
        {"a block read again replaces the first",
         "CL_EFB SR\nFP_IO_INPUT S1 BOOL\nCL_EFB RS\nCL_EFB sr\nFP_IO_INPUT R BOOL\n", "SR",
         "sr#0 1:R:BOOL", 2, 0},
        {"a line is taken up to 500 characters",
         "CL_EFB LONG\nFP_IO_INPUT " + std::string(480, 'A') + " " + longTail + "\n", "LONG",
         "LONG#0 1:" + std::string(480, 'A') + ":" + std::string(7, 'x'), 1, 0},
        {"a field beyond 500 characters is not read",
         "CL_EFB CUT\nFP_IO_INPUT" + std::string(495, ' ') + "IN BOOL\n", "CUT", "CUT#0", 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TiTemplateFiles t;
        EXPECT_EQ(t.LoadText(c.text.data(), c.text.size()), 0);
        EXPECT_EQ(Describe(t, c.lookup), c.expected);
        EXPECT_EQ(t.Count(), c.count);
        EXPECT_EQ(t.Skipped(), c.skipped);
    }
}

TEST(LibraryTemplateFiles, FilesBelowTheRoot) {
    namespace fs = std::filesystem;
    fs::path root = fs::temp_directory_path() /
                    ("tplroot_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(root / "run" / "lib");
    std::ofstream(root / "run" / "lib" / "efb_tim.tpl") << "CL_EFB TON\nFP_IO_INPUT IN BOOL\n";
    // Names match without regard to case, as on Windows.
    std::ofstream(root / "run" / "lib" / "EFB_CNT.TPL") << "CL_EFB CTU\nFP_IO_INPUT CU BOOL\n";
    std::ofstream(root / "run" / "lib" / "other.tpl") << "CL_EFB NOT_READ\n";

    struct Case {
        const char* name;
        bool viaVariable;
        std::string root;
        int files;
        size_t templates;
    };
    const Case cases[] = {
        {"root given", false, root.string(), 2, 2},
        {"root given with a trailing separator", false, root.string() + "/", 2, 2},
        {"root from QDRSRC", true, root.string(), 2, 2},
        {"a root without files", false, (root / "none").string(), 0, 0},
        {"the default root names nothing here", true, "", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TiTemplateFiles t;
        int read = 0;
        if (c.viaVariable) {
            SetEnvironmentVariableA(tplfile::kRootVariable, c.root.empty() ? nullptr : c.root.c_str());
            read = t.Load(nullptr);
            SetEnvironmentVariableA(tplfile::kRootVariable, nullptr);
        } else {
            read = t.Load(c.root.c_str());
        }
        EXPECT_EQ(read, c.files);
        EXPECT_EQ(t.Count(), c.templates);
        EXPECT_EQ(t.Find("NOT_READ"), nullptr);
        if (c.templates != 0) {
            EXPECT_EQ(Describe(t, "TON"), "TON#0 1:IN:BOOL");
            EXPECT_EQ(Describe(t, "CTU"), "CTU#0 1:CU:BOOL");
        }
    }
    fs::remove_all(root);
}
