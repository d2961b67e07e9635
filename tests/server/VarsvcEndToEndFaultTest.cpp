// Faults around the server program: a client killed in the middle of its
// session (the server serves the others and releases that client's
// objects), and a var file rewritten while clients read the catalogue,
// re-read on ProjReOpen, also while it is torn, without a crash and
// without a torn answer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/Bstr.h"
#include "platform/SafeArray.h"
#include "tests/server/VarsvcEndToEndSupport.h"

using namespace e2e;

namespace {

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// One login of an in-process client.
class Session {
public:
    Session(IDispatch* doc, const std::string& project) : doc(doc) {
        SHORT rc = -1;
        VARIANT name = Str(u"session");
        Invoke(doc, u"Login", {RefI4(&handle), name}, &rc);
        VariantClear(&name);
        ok = rc == 0;
        const std::u16string path = Wide(project);
        VARIANT p = Str(path.c_str());
        Invoke(doc, u"ProjOpen", {I4(handle), p}, &rc);
        VariantClear(&p);
        ok = ok && rc == 0;
    }
    SHORT Filter() {
        SHORT rc = -1;
        LONG iterator = 0;
        VARIANT mask = Str(u"");
        Invoke(doc, u"SetVarInfoFilter", {I4(handle), mask, I4(0), I4(-1), I4(0), RefI4(&iterator)}, &rc);
        VariantClear(&mask);
        return rc;
    }
    // One block of up to 400 names; the status (-9999 for a failed call).
    SHORT Block(std::vector<std::string>& names) {
        LONG iterator = 0;
        SHORT req = 400, ret = 0, rc = -9999;
        VARIANT arrays[10];
        for (VARIANT& a : arrays)
            VariantInit(&a);
        std::vector<VARIANT> args = {I4(handle), RefI4(&iterator), RefI2(&req), RefI2(&ret)};
        for (VARIANT& a : arrays)
            args.push_back(RefVar(&a));
        const HRESULT hr = Invoke(doc, u"GetVarInfoBlockEx", args, &rc);
        names.clear();
        if (hr == S_OK && rc == 0 && arrays[0].vt == (VT_ARRAY | VT_BSTR)) {
            BSTR* data = nullptr;
            SafeArrayAccessData(arrays[0].parray, reinterpret_cast<void**>(&data));
            for (SHORT i = 0; i < ret; ++i) {
                std::string n;
                for (UINT k = 0; k < SysStringLen(data[i]); ++k)
                    n += static_cast<char>(data[i][k]);
                names.push_back(n);
            }
            SafeArrayUnaccessData(arrays[0].parray);
        }
        for (VARIANT& a : arrays)
            VariantClear(&a);
        return hr == S_OK ? rc : -9999;
    }
    SHORT ReOpen(const std::string& project) {
        SHORT rc = -9999;
        const std::u16string path = Wide(project);
        VARIANT p = Str(path.c_str());
        Invoke(doc, u"ProjReOpen", {I4(handle), p}, &rc);
        VariantClear(&p);
        return rc;
    }
    bool ok = false;

private:
    IDispatch* doc;
    LONG handle = 0;
};

TEST(VarsvcEndToEndFault, KilledClientLeavesTheServerServingOthersAndReleasesItsObjects) {
    ServerInstall install(false);
    ASSERT_EQ(install.RunProgram({"-RegServer"}), 0);
    ComClient com;
    IDispatch* other = com.Activate();
    ASSERT_NE(other, nullptr);
    const pid_t server = install.Server();
    ASSERT_GT(server, 0);
    Session before(other, install.ProjectPath());
    ASSERT_TRUE(before.ok);

    // A client in the middle of a long session.
    std::string script = "Login(0, \"victim\")\nProjOpen($Handle, \"" + install.ProjectPath() + "\")\n";
    for (int i = 0; i < 5000; ++i)
        script += "SetVarInfoFilter($Handle, \"\", 0, -1, 0, _)\n"
                  "GetVarInfoBlockEx($Handle, _, 400, _, _, _, _, _, _, _, _, _, _, _)\n";
    Process victim({BuiltProgram("varsvc-call")});
    victim.Write(script);
    victim.CloseInput();
    std::string line;
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(victim.ReadLine(line, 20000)) << "the victim is under way";
    victim.Kill();
    EXPECT_EQ(victim.Wait(10000), 128 + 9);

    // The others are served as before.
    std::vector<std::string> names;
    ASSERT_EQ(before.Filter(), 0);
    EXPECT_EQ(before.Block(names), 0);
    EXPECT_EQ(names, PlantNames(install.VarFile()));
    Session after(other, install.ProjectPath());
    EXPECT_TRUE(after.ok);
    EXPECT_TRUE(Alive(server));

    // With the last object of this client released, the server ends 5 s
    // later: the killed client holds nothing any more.
    other->Release();
    const auto released = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitUntil([&] { return !Alive(server); }, 10000));
    EXPECT_GE(std::chrono::steady_clock::now() - released, std::chrono::milliseconds(5000));
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// Writes `text` in place in small pieces, so that a reader can see any
// part of it.
void WriteSlowly(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    for (size_t at = 0; at < text.size(); at += 2048) {
        file.write(text.data() + at, static_cast<std::streamsize>(std::min<size_t>(2048, text.size() - at)));
        file.flush();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

TEST(VarsvcEndToEndFault, VarFileRewrittenWhileClientsReadIsReReadWithoutTornAnswers) {
    ServerInstall install(false);
    ASSERT_EQ(install.RunProgram({"-RegServer"}), 0);
    const std::string original = ReadFile(install.VarFile());
    const std::vector<std::string> before = PlantNames(install.VarFile());
    // The new version: a changed stamp and one more variable.
    std::string changed = original;
    changed.replace(changed.find("13:46:40"), 8, "13:46:41");
    changed.insert(changed.find("@#$@#$"), "AAA_New,1,2,0,INT,2,0,0,0,0,0,0,Added\n");
    const std::string changedPath = install.Root() + "/changed.var";
    std::ofstream(changedPath, std::ios::binary) << changed;
    const std::vector<std::string> after = PlantNames(changedPath);
    ASSERT_EQ(after.size(), before.size() + 1);

    ComClient com;
    IDispatch* doc = com.Activate();
    ASSERT_NE(doc, nullptr);
    Session opener(doc, install.ProjectPath());
    ASSERT_TRUE(opener.ok);

    // Readers read whole catalogues while the file is rewritten and
    // re-read; every answer is the old or the new catalogue, complete.
    std::atomic<bool> stop{false};
    std::atomic<int> answers{0}, refused{0}, torn{0}, failed{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 4; ++r)
        readers.emplace_back([&] {
            ComClient client;
            IDispatch* d = client.Activate();
            if (d == nullptr) {
                ++failed;
                return;
            }
            {
                Session s(d, install.ProjectPath());
                std::vector<std::string> names;
                while (!stop.load()) {
                    if (s.Filter() != 0) {
                        ++failed;
                        break;
                    }
                    const SHORT rc = s.Block(names);
                    if (rc == 1)
                        ++refused; // the selection was replaced by a re-read
                    else if (rc != 0)
                        ++failed;
                    else if (names == before || names == after)
                        ++answers;
                    else
                        ++torn;
                }
            }
            d->Release();
        });

    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    WriteSlowly(install.VarFile(), changed);
    EXPECT_EQ(opener.ReOpen(install.ProjectPath()), 1) << "re-read";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    WriteSlowly(install.VarFile(), original);
    EXPECT_EQ(opener.ReOpen(install.ProjectPath()), 1) << "re-read again";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop.store(true);
    for (std::thread& t : readers)
        t.join();
    EXPECT_GT(answers.load(), 0);
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(failed.load(), 0);

    // A re-read of a torn file (no end line) fails after its attempts; the
    // server goes on, and the completed file is read on the next re-open.
    {
        std::ofstream partial(install.VarFile(), std::ios::binary | std::ios::trunc);
        partial << changed.substr(0, changed.size() / 2);
    }
    EXPECT_EQ(opener.ReOpen(install.ProjectPath()), 2);
    std::ofstream(install.VarFile(), std::ios::binary | std::ios::trunc) << changed;
    EXPECT_EQ(opener.ReOpen(install.ProjectPath()), 1);
    std::vector<std::string> names;
    ASSERT_EQ(opener.Filter(), 0);
    EXPECT_EQ(opener.Block(names), 0);
    EXPECT_EQ(names, after);
    EXPECT_TRUE(Alive(install.Server()));
    doc->Release();
}

} // namespace
