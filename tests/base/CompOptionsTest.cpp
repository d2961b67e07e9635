// Tests of TiCompOptions: the default and inherited records, the field layout,
// comparison, local/global option transfer, the user preferences and the list
// file.
#include "base/TiCompOptions.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>

namespace {

// Saves the user preferences and puts them back after each test, so that the
// tests do not depend on their order.
class CompOptionsTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = TiCompOptionsGetUserPrefs(); }
    void TearDown() override {
        TiCompOptionsInitLocals(saved_);
        TiCompOptionsInitGlobals(saved_);
    }
    TiCompOptions saved_{true};
};

TEST(CompOptionsLayout, FieldsInOrderWithTheirWidths) {
    EXPECT_EQ(offsetof(TiCompOptions, checkFlags), 0u);
    EXPECT_EQ(offsetof(TiCompOptions, auxFlags), 2u);
    EXPECT_EQ(offsetof(TiCompOptions, localFlags), 4u);
    EXPECT_EQ(offsetof(TiCompOptions, hostFlags), 6u);
    EXPECT_EQ(offsetof(TiCompOptions, modeFlags), 8u);
    EXPECT_EQ(offsetof(TiCompOptions, langFlags), 10u);
    EXPECT_EQ(offsetof(TiCompOptions, errRepLimit), 12u);
    EXPECT_EQ(offsetof(TiCompOptions, warnRepLimit), 14u);
    EXPECT_EQ(offsetof(TiCompOptions, reserved), 16u);
    EXPECT_EQ(sizeof(TiCompOptions::reserved), 4u);
    EXPECT_LT(offsetof(TiCompOptions, reserved), offsetof(TiCompOptions, listFileName));
    EXPECT_LT(offsetof(TiCompOptions, listFileName), offsetof(TiCompOptions, listFile));
}

TEST_F(CompOptionsTest, DefaultRecordEqualsTheUserPreferencesAfterLoad) {
    const TiCompOptions d(true);
    EXPECT_EQ(d.checkFlags, 0x0007);
    EXPECT_EQ(d.auxFlags, 0);
    EXPECT_EQ(d.localFlags, 0);
    EXPECT_EQ(d.hostFlags, 0);
    EXPECT_EQ(d.modeFlags, 0x4000);
    EXPECT_EQ(d.langFlags, 0x0080);
    EXPECT_EQ(d.errRepLimit, 25);
    EXPECT_EQ(d.warnRepLimit, 100);
    EXPECT_EQ(d.reserved, 0);
    EXPECT_EQ(d.listFileName, nullptr);
    EXPECT_EQ(d.listFile, nullptr);
    EXPECT_TRUE(d == TiCompOptionsGetUserPrefs());
    EXPECT_TRUE(TiCompOptions() == d);
}

TEST_F(CompOptionsTest, NewRecordsStartFromTheUserPreferences) {
    TiCompOptions host(true);
    host.langFlags = TiCompOptions::NestedComments | TiCompOptions::DigitNames;
    host.checkFlags = TiCompOptions::UnrchCode;
    host.errRepLimit = 3;
    host.warnRepLimit = 4;
    host.localFlags = 0x0042;
    host.hostFlags = 0x0100; // not a local or global option
    TiCompOptionsInitGlobals(host);
    TiCompOptionsInitLocals(host);

    const TiCompOptions fresh;
    EXPECT_EQ(fresh.langFlags, host.langFlags);
    EXPECT_EQ(fresh.checkFlags, host.checkFlags);
    EXPECT_EQ(fresh.errRepLimit, 3);
    EXPECT_EQ(fresh.warnRepLimit, 4);
    EXPECT_EQ(fresh.localFlags, 0x0042);
    EXPECT_EQ(fresh.hostFlags, 0);
    EXPECT_EQ(fresh.modeFlags, 0x4000);
    EXPECT_EQ(fresh.listFileName, nullptr);
    EXPECT_EQ(fresh.listFile, nullptr);

    // Defaults stay defaults whatever the preferences hold.
    const TiCompOptions d(true);
    EXPECT_EQ(d.langFlags, 0x0080);
    EXPECT_EQ(d.errRepLimit, 25);
}

TEST_F(CompOptionsTest, InitLocalsAndInitGlobalsTakeOnlyTheirFields) {
    TiCompOptions o(true);
    o.localFlags = 0x0011;
    o.langFlags = 0x0201;
    o.checkFlags = 0;
    o.errRepLimit = 1;
    o.warnRepLimit = 2;
    o.auxFlags = 0x7777;
    o.modeFlags = 0x0400;

    TiCompOptionsInitLocals(o);
    TiCompOptions prefs = TiCompOptionsGetUserPrefs();
    EXPECT_EQ(prefs.localFlags, 0x0011);
    EXPECT_EQ(prefs.langFlags, 0x0080);
    EXPECT_EQ(prefs.checkFlags, 0x0007);

    TiCompOptionsInitGlobals(o);
    prefs = TiCompOptionsGetUserPrefs();
    EXPECT_EQ(prefs.langFlags, 0x0201);
    EXPECT_EQ(prefs.checkFlags, 0);
    EXPECT_EQ(prefs.errRepLimit, 1);
    EXPECT_EQ(prefs.warnRepLimit, 2);
    EXPECT_EQ(prefs.auxFlags, 0);
    EXPECT_EQ(prefs.modeFlags, 0x4000);
}

TEST_F(CompOptionsTest, UpdateUserPrefsMakesTheRecordsOptionsThePreferences) {
    TiCompOptions host(true);
    host.localFlags = 0x0003;
    host.langFlags = TiCompOptions::LowerCaseKeywords | TiCompOptions::TildeLiterals;
    host.checkFlags = TiCompOptions::ParNotAssigned;
    host.errRepLimit = 7;
    host.warnRepLimit = 8;
    host.auxFlags = 0x0101;
    host.hostFlags = 0x0202;
    host.modeFlags = TiCompOptions::EchoSource;
    const TiCompOptions before = host;

    host.UpdateUserPrefs();

    EXPECT_TRUE(host == before); // the record itself is not changed
    const TiCompOptions prefs = TiCompOptionsGetUserPrefs();
    EXPECT_EQ(prefs.localFlags, 0x0003);
    EXPECT_EQ(prefs.langFlags, host.langFlags);
    EXPECT_EQ(prefs.checkFlags, TiCompOptions::ParNotAssigned);
    EXPECT_EQ(prefs.errRepLimit, 7);
    EXPECT_EQ(prefs.warnRepLimit, 8);
    // Only local and global options travel.
    EXPECT_EQ(prefs.auxFlags, 0);
    EXPECT_EQ(prefs.hostFlags, 0);
    EXPECT_EQ(prefs.modeFlags, 0x4000);
    // A record created afterwards needs no recompilation against the host's.
    EXPECT_FALSE(TiCompOptions().MustBeRecompiled(host));
}

TEST(CompOptionsCopy, CopyLocalsAndCopyGlobals) {
    TiCompOptions src(true);
    src.localFlags = 0x00F0;
    src.langFlags = 0x0001;
    src.checkFlags = 0x0002;
    src.errRepLimit = 9;
    src.warnRepLimit = 10;
    src.auxFlags = 0x1234;

    TiCompOptions a(true);
    a.CopyLocals(src);
    EXPECT_EQ(a.localFlags, 0x00F0);
    EXPECT_EQ(a.langFlags, 0x0080);

    TiCompOptions b(true);
    b.CopyGlobals(src);
    EXPECT_EQ(b.localFlags, 0);
    EXPECT_EQ(b.langFlags, 0x0001);
    EXPECT_EQ(b.checkFlags, 0x0002);
    EXPECT_EQ(b.errRepLimit, 9);
    EXPECT_EQ(b.warnRepLimit, 10);
    EXPECT_EQ(b.auxFlags, 0);
}

TEST(CompOptionsCompare, MustBeRecompiledOnlyForLocalAndLanguageFlags) {
    struct Case {
        const char* name;
        std::function<void(TiCompOptions&)> change;
        bool recompile;
        bool equal;
    };
    const Case cases[] = {
        {"nothing", [](TiCompOptions&) {}, false, true},
        {"checkFlags", [](TiCompOptions& o) { o.checkFlags = 0; }, false, false},
        {"auxFlags", [](TiCompOptions& o) { o.auxFlags = 1; }, false, false},
        {"hostFlags", [](TiCompOptions& o) { o.hostFlags = 1; }, false, false},
        {"modeFlags", [](TiCompOptions& o) { o.modeFlags = 0; }, false, false},
        {"errRepLimit", [](TiCompOptions& o) { o.SetErrRepLimit(1); }, false, false},
        {"warnRepLimit", [](TiCompOptions& o) { o.SetWarnRepLimit(1); }, false, false},
        {"reserved", [](TiCompOptions& o) { o.reserved = 1; }, false, false},
        {"langFlags", [](TiCompOptions& o) { o.langFlags |= TiCompOptions::DigitNames; }, true,
         false},
        {"localFlags", [](TiCompOptions& o) { o.localFlags = 1; }, true, false},
        {"listFile", [](TiCompOptions& o) { o.listFile = stdout; }, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TiCompOptions base(true);
        TiCompOptions other(true);
        c.change(other);
        EXPECT_EQ(base.MustBeRecompiled(other), c.recompile);
        EXPECT_EQ(other.MustBeRecompiled(base), c.recompile);
        EXPECT_EQ(base == other, c.equal);
        EXPECT_EQ(base != other, !c.equal);
    }
}

TEST(CompOptionsCompare, SettersSetTheirBits) {
    TiCompOptions o(true);
    o.checkFlags = 0;
    o.modeFlags = 0;
    o.SetParNotAssigned();
    EXPECT_EQ(o.checkFlags, 0x0001);
    o.SetDeclNotUsed();
    EXPECT_EQ(o.checkFlags, 0x0003);
    o.SetUnrchCode();
    EXPECT_EQ(o.checkFlags, 0x0007);
    o.SetQueryVar();
    EXPECT_EQ(o.modeFlags, 0x4000);
}

std::string TempPath(const char* leaf) {
    // A random part keeps concurrent runs of the test program apart.
    static const std::string tag = std::to_string(std::random_device{}());
    return ::testing::TempDir() + "compoptions_" + tag + "_" + leaf;
}

TEST(CompOptionsListFile, OpenWriteCloseAndEmptyName) {
    const std::string path = TempPath("list.lst");
    TiCompOptions o(true);
    o.OpenListFile(path.c_str());
    ASSERT_NE(o.listFile, nullptr);
    ASSERT_NE(o.listFileName, nullptr);
    EXPECT_STREQ(o.listFileName, path.c_str());
    std::fputs("line 1\n", o.listFile);

    // A copy has its own name and shares the handle; it compares equal.
    {
        const TiCompOptions copy = o;
        EXPECT_NE(copy.listFileName, o.listFileName);
        EXPECT_STREQ(copy.listFileName, o.listFileName);
        EXPECT_EQ(copy.listFile, o.listFile);
        EXPECT_TRUE(copy == o);
    }

    // An empty name closes the open file and leaves none open.
    o.OpenListFile("");
    EXPECT_EQ(o.listFile, nullptr);
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "line 1");

    o.OpenListFile(path.c_str());
    ASSERT_NE(o.listFile, nullptr);
    o.CloseListFile();
    EXPECT_EQ(o.listFile, nullptr);
    EXPECT_EQ(o.listFileName, nullptr);
    std::remove(path.c_str());

    o.OpenListFile(nullptr);
    EXPECT_EQ(o.listFile, nullptr);
}

TEST(CompOptionsListFile, UnopenableNameLeavesNoFile) {
    TiCompOptions o(true);
    const std::string path = TempPath("no/such/dir/list.lst");
    o.OpenListFile(path.c_str());
    EXPECT_EQ(o.listFile, nullptr);
    EXPECT_STREQ(o.listFileName, path.c_str());
}

TEST(CompOptionsListFile, StandardOutputIsNeverClosed) {
    TiCompOptions o(true);
    o.listFile = stdout;
    o.CloseListFile();
    EXPECT_EQ(o.listFile, nullptr);
    o.listFile = stdout;
    o.OpenListFile("");
    EXPECT_EQ(o.listFile, nullptr);
    // stdout is still open: writing and flushing succeed.
    EXPECT_GE(std::fputs("", stdout), 0);
    EXPECT_EQ(std::fflush(stdout), 0);
}

TEST(CompOptionsCopy, AssignmentDuplicatesTheName) {
    const std::string path = TempPath("assign.lst");
    TiCompOptions a(true);
    a.OpenListFile(path.c_str());
    TiCompOptions b(true);
    b = a;
    EXPECT_STREQ(b.listFileName, path.c_str());
    EXPECT_NE(b.listFileName, a.listFileName);
    TiCompOptions& alias = b;
    b = alias; // self-assignment keeps the name
    EXPECT_STREQ(b.listFileName, path.c_str());
    // Closing through one record only; the other forgets the shared handle.
    a.CloseListFile();
    b.listFile = nullptr;
    std::remove(path.c_str());
}

} // namespace
