// Load on the server program: 32 client processes at once, each logging in,
// opening the example project and reading its whole catalogue in blocks
// over and over, get identical, complete answers; the server's memory stays
// flat from one wave of clients to the next.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/server/VarsvcEndToEndSupport.h"

using namespace e2e;

namespace {

constexpr int kClients = 32;
// Block reads per client and wave; three waves. Bounded so that the test
// takes seconds also under the sanitizers on two cores.
constexpr int kRounds = 10;
constexpr int kWaves = 3;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMeasuresMemory = false; // the sanitizer's allocator keeps freed memory
#else
constexpr bool kMeasuresMemory = true;
#endif

TEST(VarsvcEndToEndLoad, ThirtyTwoClientsReadTheCatalogueIdentically) {
    ServerInstall install(false); // no log pipe: nobody would drain it
    ASSERT_EQ(install.RunProgram({"-RegServer"}), 0);
    ComClient com;
    IDispatch* keeper = com.Activate(); // keeps the server between waves
    ASSERT_NE(keeper, nullptr);
    const pid_t server = install.Server();
    ASSERT_GT(server, 0);

    std::string script = "Login(0, \"load\")\nProjOpen($Handle, \"" + install.ProjectPath() + "\")\n";
    for (int i = 0; i < kRounds; ++i)
        script += "SetVarInfoFilter($Handle, \"\", 0, -1, 0, _)\n"
                  "GetVarInfoBlockEx($Handle, _, 400, _, _, _, _, _, _, _, _, _, _, _)\n";
    script += "Logout($Handle, 0)\n";

    const std::vector<std::string> names = PlantNames(install.VarFile());
    ASSERT_EQ(names.size(), 355u);
    std::string expectedNames = "\"VarNames\": [";
    for (size_t i = 0; i < 400; ++i)
        expectedNames += (i ? ", " : "") + (i < names.size() ? "\"" + names[i] + "\"" : std::string("null"));
    expectedNames += "]";

    std::string reference; // the first block answer of all
    std::vector<long> resident;
    for (int wave = 0; wave < kWaves; ++wave) {
        SCOPED_TRACE("wave " + std::to_string(wave));
        std::vector<std::unique_ptr<Process>> clients;
        for (int c = 0; c < kClients; ++c) {
            clients.push_back(std::make_unique<Process>(std::vector<std::string>{BuiltProgram("varsvc-call")}));
            clients.back()->Write(script);
            clients.back()->CloseInput();
        }
        for (int c = 0; c < kClients; ++c) {
            SCOPED_TRACE("client " + std::to_string(c));
            ASSERT_EQ(clients[c]->Wait(120000), 0) << clients[c]->Err();
            std::vector<std::string> lines;
            std::string line;
            while (clients[c]->ReadLine(line, 0))
                lines.push_back(line);
            ASSERT_EQ(lines.size(), static_cast<size_t>(3 + 2 * kRounds));
            for (int i = 0; i < kRounds; ++i) {
                const std::string& block = lines[static_cast<size_t>(3 + 2 * i)];
                if (reference.empty()) {
                    reference = block;
                    ASSERT_NE(reference.find("\"NumberRet\": 355, "), std::string::npos) << "complete";
                    ASSERT_NE(reference.find(expectedNames), std::string::npos) << "every name, in order";
                }
                // The iterator counts this login's deliveries; the rest is
                // the same for everybody.
                EXPECT_EQ(block.substr(block.find("\"NumberReq\"")), reference.substr(reference.find("\"NumberReq\"")));
            }
        }
        resident.push_back(ResidentKb(server));
    }
    EXPECT_TRUE(Alive(server));
    printf("server resident memory after each wave (kB):");
    for (long kb : resident)
        printf(" %ld", kb);
    printf("\n");
    if (kMeasuresMemory) {
        // After the first wave everything the server keeps is made; later
        // waves must not add to it.
        EXPECT_LT(resident.back() - resident[1], 1024) << "kB: " << resident[0] << ", " << resident[1] << ", "
                                                       << resident.back();
    }
    // The server ends cleanly (exit code 0, also under the leak checker).
    EXPECT_EQ(install.Calls({"ExecRequ(0)"}).size(), 1u);
    EXPECT_TRUE(WaitUntil([&] { return !Alive(server); }, 10000));
    keeper->Release();
}

} // namespace
