// Tests of TiMorval, the facade for editor sections: its option flags,
// ParseSection through the host's section reader (chunked reads, the section
// mode, marking compiled sections, traces) and EncodeSection's codes.
#include "tests/compiler/ParseTestSupport.h"

#include "compiler/TiMorval.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// A host section: its name and text; the reader serves the text in the
// sizes the facade asks for and records them.
struct FakeSection {
    std::string name;
    std::string text;
    size_t pos = 0;
    bool compiled = false;
};

class FakeReader : public TiSectionReader {
public:
    std::vector<unsigned short> sizes;

    const char* Name(AISection* s) override { return Get(s)->name.c_str(); }
    char* Read(AISection* s, char* buffer, unsigned short size) override {
        sizes.push_back(size);
        FakeSection* f = Get(s);
        if (f->pos >= f->text.size()) {
            return nullptr;
        }
        // As fgets: up to a line feed or size - 1 characters.
        size_t n = 0;
        while (f->pos < f->text.size() && n + 1 < size) {
            char c = f->text[f->pos++];
            buffer[n++] = c;
            if (c == '\n') {
                break;
            }
        }
        buffer[n] = '\0';
        return buffer;
    }
    void MarkCompiled(AISection* s) override { Get(s)->compiled = true; }

private:
    static FakeSection* Get(AISection* s) { return reinterpret_cast<FakeSection*>(s); }
};

AISection* AsSection(FakeSection& f) {
    return reinterpret_cast<AISection*>(&f);
}

std::unique_ptr<TiMorval> NewTiMorval() {
    auto m = std::make_unique<TiMorval>(nullptr, nullptr);
    m->errMess->SetTextLoader(testsink::Texts);
    m->errMess->SetCollect(true);
    m->langFlags |= TiCompOptions::LowerCaseKeywords;
    return m;
}

} // namespace

TEST(FacadeSection, ConstructionFlags) {
    testing::internal::CaptureStdout();
    TiCompOptions prefs = TiCompOptionsGetUserPrefs();
    TiMorval m(nullptr, nullptr);
    EXPECT_EQ(m.GetStatus(), 0);
    EXPECT_EQ(m.modeFlags & timorvalcode::MODE_CLEARED, 0);
    EXPECT_EQ(m.modeFlags & timorvalcode::MODE_SET, timorvalcode::MODE_SET);
    EXPECT_EQ(m.modeFlags & ~(timorvalcode::MODE_CLEARED | timorvalcode::MODE_SET),
              prefs.modeFlags & ~(timorvalcode::MODE_CLEARED | timorvalcode::MODE_SET));
    testing::internal::GetCapturedStdout();
}

TEST(FacadeSection, ParseSection) {
    struct Case {
        const char* name;
        std::string text;
        bool flag;
        bool compiled;
        int errors;
    };
    std::string longLine = "PROGRAM SEC VAR A : INT; END_VAR\n A := 1" + std::string(900, ' ') +
                           "+ 2;\nEND_PROGRAM\n";
    const Case cases[] = {
        {"clean section", "PROGRAM SEC VAR A : INT; END_VAR A := 1; END_PROGRAM\n", false, true, 0},
        {"clean section, flag set", "PROGRAM SEC END_PROGRAM\n", true, false, 0},
        {"section with an error", "PROGRAM SEC A := ; END_PROGRAM\n", false, false, 2},
        {"empty section", "", false, true, 0},
        {"line longer than one read", longLine, false, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStdout();
        auto m = NewTiMorval();
        FakeReader reader;
        m->SetSectionReader(&reader);
        FakeSection section{"SEC", c.text};
        ErrCount counts;
        TiNode* tree = nullptr;
        short rc = m->ParseSection(AsSection(section), &counts, &tree, c.flag, nullptr);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(section.compiled, c.compiled);
        EXPECT_EQ(counts.errors, c.errors);
        EXPECT_EQ(m->db_if->GetSectionMode(), c.flag);
        EXPECT_EQ(m->db_if->GetSection(), AsSection(section));
        ASSERT_FALSE(reader.sizes.empty());
        EXPECT_EQ(*std::max_element(reader.sizes.begin(), reader.sizes.end()),
                  timorvalcode::kReadSize);
        EXPECT_NE(out.find("Begin TiMorval::ParseSection(SEC)\n"), std::string::npos) << out;
        EXPECT_NE(out.find("End TiMorval::ParseSection, Status = 0\n"), std::string::npos) << out;
        delete tree;
    }
}

TEST(FacadeSection, ParseSectionWithoutReaderOrSection) {
    testing::internal::CaptureStdout();
    auto m = NewTiMorval();
    FakeSection section{"SEC", "PROGRAM SEC END_PROGRAM"};
    EXPECT_EQ(m->ParseSection(AsSection(section), nullptr, nullptr, false, nullptr),
              timorvalcode::PS_NO_READER);
    FakeReader reader;
    m->SetSectionReader(&reader);
    EXPECT_EQ(m->ParseSection(nullptr, nullptr, nullptr, false, nullptr), timorvalcode::PS_NO_READER);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("End TiMorval::ParseSection, Status = 1\n"), std::string::npos) << out;
    EXPECT_FALSE(section.compiled);
}

TEST(FacadeSection, EncodeSectionCodes) {
    testing::internal::CaptureStdout();
    {
        auto m = NewTiMorval();
        FakeReader reader;
        m->SetSectionReader(&reader);
        FakeSection good{"GOOD", "PROGRAM GOOD END_PROGRAM\n"};
        unsigned long size = 77;
        // The section is parsed first: the library has no unit of its name.
        EXPECT_EQ(m->EncodeSection(AsSection(good), &size, nullptr), 0);
        EXPECT_EQ(size, 1ul); // the RET that ends every unit
        EXPECT_TRUE(good.compiled);
        EXPECT_NE(m->library->FindUnit("GOOD"), nullptr);
        // Now it is there: not parsed again.
        size_t reads = reader.sizes.size();
        EXPECT_EQ(m->EncodeSection(AsSection(good), nullptr, nullptr), 0);
        EXPECT_EQ(reader.sizes.size(), reads);

        FakeSection bad{"BAD", "PROGRAM BAD $ END_PROGRAM\n"};
        EXPECT_EQ(m->EncodeSection(AsSection(bad), nullptr, nullptr), timorvalcode::ES_ERRORS);
    }
    {
        auto m = NewTiMorval();
        TiDB* db = m->db_if;
        m->db_if = nullptr;
        EXPECT_EQ(m->EncodeSection(nullptr, nullptr, nullptr), timorvalcode::ES_NO_ADAPTER);
        m->db_if = db;
    }
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Begin TiMorval::EncodeSection(GOOD)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("End TiMorval::EncodeSection, Status = 0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("End TiMorval::EncodeSection, Status = 3\n"), std::string::npos) << out;
}
