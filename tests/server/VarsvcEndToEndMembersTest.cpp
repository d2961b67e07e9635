// The members of the document interface through a real server process
// started by activation and the client varsvc-call: exact JSON answers,
// the server's trace lines (its debug channel) and log lines (the FIFO
// named by VQ_LOGNAME), the default project from the registry, and
// late-bound failures.
#include <gtest/gtest.h>

#include <charconv>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "server/CDocument.h"
#include "tests/server/VarsvcEndToEndSupport.h"

using namespace e2e;

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string Entry(const std::string& member) {
    return std::string(kDocumentCompileTime) + ": CDocument::" + member + " () invoked.\n";
}

std::string Log(const std::string& german) { return "VARSVC32\t" + german + "\r\n"; }

std::string Number(double value) {
    char buffer[64];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, r.ptr);
}

std::string Json(const std::string& member, const std::string& rc, const std::string& out,
                 const std::string& hresult = "0x00000000") {
    return "{\"member\": \"" + member + "\", \"hresult\": \"" + hresult + "\", \"rc\": " + rc + ", \"out\": {" + out +
           "}}";
}

class VarsvcEndToEndMembers : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(install.RunProgram({"-RegServer"}), 0); }
    std::string Open() { return "ProjOpen($Handle, \"" + install.ProjectPath() + "\")"; }
    ServerInstall install;
};

TEST_F(VarsvcEndToEndMembers, LoginProjectStampsAndLogout) {
    const double stamp = (6465 + 30682.0) + 49600000 * (1.0 / 86400000.0);
    int exitCode = -1;
    const std::vector<std::string> lines = install.Calls(
        {"Login(0, \"M\\u00fcller\")", Open(), "GetProjStampCC($Handle, _, _)", "GetProjConsistency($Handle, _, _, _)",
         "ConvRelMsecDate2DateMsec(49600000, 6465, _, _)", "GetProjStamp($Handle, _, _)",
         "ConvRelMsecDate2DateMsec(86399999, 0, _, _)", "ProjOpen($Handle, \"*\")", "ProjReOpen($Handle, \"*\")",
         Open().replace(0, 8, "ProjReOpen"), "Logout($Handle, 1)", "Logout($Handle, 0)", "GetProjStamp($Handle, _, _)"},
        &exitCode);
    const std::vector<std::string> expected = {
        Json("Login", "0", "\"Handle\": 1"),
        Json("ProjOpen", "0", ""),
        Json("GetProjStampCC", "0", "\"relMsec\": 49600000, \"relDate\": 6465"),
        Json("GetProjConsistency", "0", "\"IsConsistent\": 1, \"relMsec\": 49600000, \"relDate\": 6465"),
        Json("ConvRelMsecDate2DateMsec", "0", "\"Date\": " + Number(stamp) + ", \"Msec\": 0"),
        Json("GetProjStamp", "0", "\"ProjDate\": " + Number(stamp) + ", \"ProjMsec\": 0"),
        Json("ConvRelMsecDate2DateMsec", "0",
             "\"Date\": " + Number(30682.0 + 86399999 * (1.0 / 86400000.0)) + ", \"Msec\": 999"),
        Json("ProjOpen", "1", ""),
        Json("ProjReOpen", "-1", ""),
        Json("ProjReOpen", "0", ""),
        Json("Logout", "0", "\"Handle\": 1"),
        Json("Logout", "1", "\"Handle\": 1"),
        Json("GetProjStamp", "null", "\"ProjDate\": 0, \"ProjMsec\": 0", "0x80004005"),
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(exitCode, 1) << "GetProjStamp's E_FAIL";

    const std::string project = Lower(install.ProjectPath());
    EXPECT_TRUE(ContainsInOrder(
        install.NewTraces(),
        {Entry("Login"), "C_LoginSet::bAdd: new Login object created: 0x00000001.\n",
         "C_KorvaneProject::Login: Login completed. Handle: 0x00000001,Login-Name: 'M\xfcller'.\n", Entry("ProjOpen"),
         "CDocument::FindProjectByHandle: This Login isn't attached to a project, yet (Handle: 0x00000001).\nLocation 'CDocument.cpp',Line ",
         "KorvaneProject::FindOrAddProject: Created new project for '" + project + "' at address 0x",
         "CDocument::ProjOpen: Succeeded!\n", Entry("GetProjStampCC"),
         "KorvaneProject::Read: var file " + project + " is up to date.\n", Entry("GetProjConsistency"),
         Entry("GetProjStampCC"), Entry("GetProjStamp"), Entry("GetProjStampCC"), Entry("ProjOpen"),
         "C_KorvaneProject::ProjOpen: Failed.\nLocation 'CDocument.cpp',Line ", "CDocument::ProjReopen () invoked.\n",
         "CDocument::ProjReOpen: the handle 0x00000001 is not attached to Project '*',\nbut to project '" +
             install.ProjectPath() + "'.\nLocation 'CDocument.cpp',Line ",
         "CDocument::ProjReopen () invoked.\n", Entry("Logout"),
         "C_KorvaneProject::Logout: Successfully logged out. Handle: 0x00000001\n", Entry("Logout"),
         "C_KorvaneProject::Logout: Handle 0x00000001 not found!\nLocation 'CDocument.cpp',Line ",
         Entry("GetProjStamp"), Entry("GetProjStampCC"),
         "CDocument::FindProjectByHandle: Handle 0x00000001 not found!\nLocation 'CDocument.cpp',Line "}));
    EXPECT_TRUE(ContainsInOrder(
        install.NewLogs(),
        {Log("Login (handle = 0x00000001)"), " Zeilen eingelesen\r\n",
         Log("ProjOpen: Projekt '" + project + "' ge\xf6" "ffnet"), Log("Projekt konnte nicht ge\xf6" "ffnet werden"),
         Log("ProjReOpen: Handle 0x00000001 ist nicht an dieses Projekt gebunden"),
         Log("ProjReOpen: Projekt '" + project + "' wird neu gelesen"), Log("Logout (Handle = 0x00000001)"),
         Log("Fehler w\xe4hrend Logout aufgetreten (ung\xfcltiges Handle 0x00000001)"),
         Log("FindProjectByHandle: Fehler - ung\xfcltiges Handle 0x00000001")}));
}

TEST_F(VarsvcEndToEndMembers, DefaultProjectFromTheRegistry) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora Automation\\Norvik\\Devices", 0, nullptr, 0,
                              KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::string path = install.ProjectPath();
    RegSetValueExA(key, "Symb00", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>(path.size() + 1));
    RegCloseKey(key);
    const std::vector<std::string> lines =
        install.Calls({"Login(0, \"a\")", "ProjOpen($Handle, \"\")", "ProjReOpen($Handle, \"\")",
                       "GetTypeId($Handle, \"VALVE_T\", _)", "Login(0, \"b\")", "ProjOpen($Handle, \"*\")",
                       "ProjReOpen($Handle, \"*\")"});
    EXPECT_EQ(lines, (std::vector<std::string>{
                         Json("Login", "0", "\"Handle\": 1"), Json("ProjOpen", "0", ""), Json("ProjReOpen", "0", ""),
                         Json("GetTypeId", "0", "\"TypeId\": 3"), Json("Login", "0", "\"Handle\": 2"),
                         Json("ProjOpen", "0", ""), Json("ProjReOpen", "0", "")}));
    const std::string logs = install.NewLogs();
    EXPECT_TRUE(ContainsInOrder(logs, {Log("ProjOpen: Projekt '" + Lower(path) + "' ge\xf6" "ffnet"),
                                       Log("ProjOpen: Projekt '" + Lower(path) + "' ge\xf6" "ffnet")}));
    EXPECT_EQ(logs.find("Zeilen eingelesen", logs.find("Zeilen eingelesen") + 1), std::string::npos)
        << "read once: the second login takes the loaded project";
}

TEST_F(VarsvcEndToEndMembers, NoDefaultProject) {
    const std::vector<std::string> lines = install.Calls({"Login(0, \"a\")", "ProjOpen($Handle, \"*\")"});
    EXPECT_EQ(lines, (std::vector<std::string>{Json("Login", "0", "\"Handle\": 1"), Json("ProjOpen", "1", "")}));
    EXPECT_TRUE(ContainsInOrder(install.NewTraces(),
                                {Entry("ProjOpen"),
                                 "CDocument::FindOrAddProject: couldn't retrieve default project - no new project "
                                 "created.\nLocation 'CDocument.cpp',Line ",
                                 "C_KorvaneProject::ProjOpen: Failed."}));
    EXPECT_TRUE(ContainsInOrder(install.NewLogs(), {Log("ProjReOpen: Fehler beim Ermitteln des Default-Projektes"),
                                                    Log("Projekt konnte nicht ge\xf6" "ffnet werden")}));
}

TEST_F(VarsvcEndToEndMembers, CatalogueQueries) {
    const std::vector<std::string> names = PlantNames(install.VarFile());
    ASSERT_EQ(names.size(), 355u);
    std::string nameList;
    for (const std::string& n : names)
        nameList += (nameList.empty() ? "\"" : ", \"") + n + "\"";
    int exitCode = -1;
    const std::vector<std::string> lines = install.Calls(
        {"Login(0, \"q\")", Open(), "SetVarInfoFilter($Handle, \"\", 0, -1, 0, _)",
         "GetVarInfoBlockEx($Handle, 7, 1000, _, _, none, none, none, none, none, none, none, none, none)",
         "GetVarInfoBlockEx($Handle, 0, 1000, _, _, none, none, none, none, none, none, none, none, none)",
         "SetVarInfoFilter($Handle, \"v21\", 0, -1, 0, _)",
         "GetVarInfoBlockEx($Handle, 0, -5, _, _, _, _, _, _, _, _, _, _, _)",
         "GetVarInfoBlockEx($Handle, 0, 0, _, _, _, _, _, _, _, _, _, _, _)",
         "GetFirstVarInfoEx($Handle, \"v216+\", 0, -1, _, _, _, _, _, _, _)",
         "GetNamedVarInfoEx($Handle, \"V216.Fault.Code\", _, _, _, _, _, _, _, _, _)",
         "GetNamedVarInfo2Ex($Handle, \"v216.fault.code\", _, _, _, _, _, _, _, _, _, _, _)",
         "GetNamedVarInfoEx($Handle, \"nothing\", _, _, _, _, _, _, _, _, _)",
         "GetNamedVarInfosEx($Handle, bstr[\"V216\", null, \"nothing\"], _, _, none, _, _, _, _, _, _)",
         "GetFirstAdrInfoEx($Handle, 1, 1, 71, -1, _)", "GetNextAdrInfoEx($Handle, _)",
         "GetAdrInfosEx($Handle, 1, 1, 71, 0, _)", "GetTypeIds($Handle, bstr[\"VALVE_T\", \"UINT\"], _)",
         "GetTypeNames($Handle, i2[3, -15, 0], _)", "GetTypeSizes($Handle, variant[3], _)",
         "GetTypeSize($Handle, 0, _)", "GetStateRamLayout(0, 1, 2, 3, 4, 5, 6, 7, 8, 9)",
         "GetFirstVarInfo($Handle, \"v\", 0, -1, \"keep\", _, 5, _, _)", "ExecRequ(\"x\")"},
        &exitCode);
    const std::vector<std::string> expected = {
        Json("Login", "0", "\"Handle\": 1"),
        Json("ProjOpen", "0", ""),
        Json("SetVarInfoFilter", "0", "\"BlockIterator\": 0"),
        Json("GetVarInfoBlockEx", "0",
             "\"BlockIterator\": 362, \"NumberReq\": 800, \"NumberRet\": 355, \"VarNames\": [" + nameList + [&] {
                     std::string nulls;
                     for (int i = 355; i < 800; ++i)
                         nulls += ", null";
                     return nulls;
                 }() + "], \"VarCmnts\": 0, \"VarTypes\": 0, \"VarSizes\": 0, \"VarAddrs\": 0, "
                       "\"VarIECMemDescSectIDs\": 0, \"VarIECMemDescAddrOffsets\": 0, \"VarIECMemDescSectCIxs\": 0, "
                       "\"VarAttrs\": 0, \"CompOffs\": 0"),
        Json("GetVarInfoBlockEx", "0",
             "\"BlockIterator\": 0, \"NumberReq\": 800, \"NumberRet\": 0, \"VarNames\": [" + [] {
                 std::string nulls;
                 for (int i = 0; i < 800; ++i)
                     nulls += i ? ", null" : "null";
                 return nulls;
             }() + "], \"VarCmnts\": 0, \"VarTypes\": 0, \"VarSizes\": 0, \"VarAddrs\": 0, "
                   "\"VarIECMemDescSectIDs\": 0, \"VarIECMemDescAddrOffsets\": 0, \"VarIECMemDescSectCIxs\": 0, "
                   "\"VarAttrs\": 0, \"CompOffs\": 0"),
        Json("SetVarInfoFilter", "0", "\"BlockIterator\": 0"),
        "", // the block of "v21": checked below
        "", // NumberReq 0: checked below
        Json("GetFirstVarInfoEx", "0",
             "\"VarName\": \"V216.Open\", \"VarCmnt\": \"\", \"VarType\": -1, \"VarAddr\": 4, "
             "\"VarIECMemDescSectID\": 4, \"VarIECMemDescAddrOffset\": 392, \"VarIECMemDescSectCIx\": -1"),
        Json("GetNamedVarInfoEx", "0",
             "\"VarCmnt\": \"Valve V216\", \"VarType\": -15, \"VarSize\": 2, \"VarAddr\": 4, \"VarIECMemDescSectID\": "
             "4, \"VarIECMemDescAddrOffset\": 393, \"VarIECMemDescSectCIx\": -1, \"VarAttr\": 0, \"CompOff\": 1"),
        Json("GetNamedVarInfo2Ex", "0",
             "\"VarCmnt\": \"Valve V216\", \"VarInit\": \"\", \"VarKind\": 0, \"VarType\": -15, \"VarSize\": 2, "
             "\"VarAddr\": 4, \"VarIECMemDescSectID\": 4, \"VarIECMemDescAddrOffset\": 394, "
             "\"VarIECMemDescSectCIx\": -1, \"VarAttr\": 0, \"CompOff\": 1"),
        Json("GetNamedVarInfoEx", "0",
             "\"VarCmnt\": \"\", \"VarType\": 0, \"VarSize\": 0, \"VarAddr\": 0, \"VarIECMemDescSectID\": 0, "
             "\"VarIECMemDescAddrOffset\": -1, \"VarIECMemDescSectCIx\": 0, \"VarAttr\": 0, \"CompOff\": 0"),
        Json("GetNamedVarInfosEx", "0",
             "\"VarCmnts\": [\"Valve V216\", null, null], \"VarTypes\": [3, 0, 0], \"VarSizes\": 0, \"VarAddrs\": "
             "[4, 0, 0], \"VarIECMemDescSectIDs\": [4, 0, 0], \"VarIECMemDescAddrOffsets\": [391, 0, -1], "
             "\"VarIECMemDescSectCIxs\": [-1, 0, 0], \"VarAttrs\": [0, 0, 0], \"CompOffs\": [0, 0, 0]"),
        Json("GetFirstAdrInfoEx", "0", "\"VarName\": \"DI_St8_Stop\""),
        Json("GetNextAdrInfoEx", "0", "\"VarName\": \"\""),
        Json("GetAdrInfosEx", "-23", "\"VarName\": null"),
        Json("GetTypeIds", "0", "\"Ids\": [3, -15]"),
        Json("GetTypeNames", "1", "\"Names\": [\"VALVE_T\", \"UINT\", null]"),
        Json("GetTypeSizes", "1", "\"Sizes\": null"),
        Json("GetTypeSize", "1", "\"TypeSize\": 0"),
        Json("GetStateRamLayout", "0",
             "\"NumOfCoils\": 1, \"NumOfInputs\": 2, \"NumOfInputRegs\": 3, \"NumOfHoldingRegs\": 4, "
             "\"NumOfExtRegs\": 5, \"BegCoilsUnProt\": 6, \"EndCoilsUnProt\": 7, \"BegHoldsUnProt\": 8, "
             "\"EndHoldsUnProt\": 9"),
        Json("GetFirstVarInfo", "1",
             "\"VarName\": \"keep\", \"VarCmnt\": null, \"VarType\": 5, \"VarAddr\": 0, \"VarIndx\": 0"),
        Json("ExecRequ", "1", "\"xPacket\": \"x\""),
    };
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        if (!expected[i].empty()) {
            EXPECT_EQ(lines[i], expected[i]);
        }
    }
    EXPECT_EQ(exitCode, 0);
    // The block of the filter "v21" with comments and every array: the
    // limit 400 for a negative request; V210 .. V219.
    EXPECT_EQ(lines[6].substr(0, lines[6].find("\"VarNames\"")),
              "{\"member\": \"GetVarInfoBlockEx\", \"hresult\": \"0x00000000\", \"rc\": 0, \"out\": {\"BlockIterator\": "
              "10, \"NumberReq\": 400, \"NumberRet\": 10, ");
    EXPECT_NE(lines[6].find("\"VarNames\": [\"V210\", \"V211\", \"V212\""), std::string::npos);
    // The comment ends at the next comma of the line ("Valve V210, line 1").
    EXPECT_NE(lines[6].find("\"VarCmnts\": [\"Valve V210\", "), std::string::npos);
    EXPECT_NE(lines[6].find("\"VarTypes\": [3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 0, "), std::string::npos);
    // NumberReq 0: empty arrays.
    EXPECT_EQ(lines[7], Json("GetVarInfoBlockEx", "0",
                             "\"BlockIterator\": 0, \"NumberReq\": 0, \"NumberRet\": 0, \"VarNames\": [], "
                             "\"VarCmnts\": [], \"VarTypes\": [], \"VarSizes\": [], \"VarAddrs\": [], "
                             "\"VarIECMemDescSectIDs\": [], \"VarIECMemDescAddrOffsets\": [], "
                             "\"VarIECMemDescSectCIxs\": [], \"VarAttrs\": [], \"CompOffs\": []"));
    // Traces of queries: entry traces only.
    EXPECT_TRUE(ContainsInOrder(install.NewTraces(),
                                {Entry("SetVarInfoFilter"), Entry("GetVarInfoBlockEx"), Entry("GetVarInfoBlockEx"),
                                 Entry("GetNamedVarInfosEx"), Entry("GetStateRamLayout"), Entry("ExecRequ"),
                                 "Server needs compatible clients!\nCannot work in this environment!\nLocation"}));
}

TEST_F(VarsvcEndToEndMembers, CallFailuresAndExitCodes) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        std::vector<std::string> out;
        const char* err;
    } const cases[] = {
        {"a 16-bit overflow reported by the server", {"-e", "Logout(1, 70000)"}, 1,
         {Json("Logout", "null", "\"Handle\": 1", "0x8002000A")}, ""},
        {"a string that is no number", {"-e", "ConvRelMsecDate2DateMsec(\"x\", 0, _, _)"}, 1,
         {Json("ConvRelMsecDate2DateMsec", "null", "\"Date\": 0, \"Msec\": 0", "0x80020005")}, ""},
        {"a syntax error: nothing is called", {"-e", "Login(0, \"a\")", "-e", "Logout(1"}, 2, {},
         "varsvc-call: line 2, column 9: ',' or ')' expected\n"},
        {"an unknown member", {"-e", "Launch()"}, 2, {}, "varsvc-call: line 1, column 1: unknown member 'Launch'\n"},
        {"a reference to nothing", {"-e", "Login(0, \"a\")", "-e", "ProjOpen($Nope, \"x\")"}, 2,
         {Json("Login", "0", "\"Handle\": 1")}, "varsvc-call: line 2, column 10: no output called 'Nope' so far\n"},
        {"a wrong command line", {"--browse"}, 2, {},
         "usage: varsvc-call [-e CALL]... [SCRIPT | -]\n       varsvc-call --browse PROJECT [--mask M]\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunResult r = install.Client(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.Lines(), c.out);
        EXPECT_EQ(r.err, c.err);
    }
    // A script on standard input, with comments.
    RunResult r = install.Client({}, "# a script\nLogin(0, \"s\")\n\n" + Open() + "\nLogout($Handle, 0)\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.Lines().size(), 3u);
}

TEST_F(VarsvcEndToEndMembers, BrowseTheExampleProject) {
    RunResult r = install.Client({"--browse", install.ProjectPath(), "--mask", "v216"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "Name  Type     Size  Addr  Section  Offset  Attr  Comment\n"
              "V216  VALVE_T     7     4        4     392     0  Valve V216\n"
              "1 variables\n");
    r = install.Client({"--browse", install.ProjectPath()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.Lines().size(), 355u + 2);
    r = install.Client({"--browse", install.Root() + "/nowhere.prj"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("varsvc-call: ProjOpen failed: ", 0), 0u) << r.err;
}

} // namespace
