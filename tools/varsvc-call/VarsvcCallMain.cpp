// varsvc-call: a client of the catalogue server for users and tests. It
// activates "Varsvc.Document" like any client (by ProgID; the server is
// started through the registry when none runs) and calls its members
// late-bound, printing one JSON object per call; or browses a project's
// catalogue as a table.
//
//   varsvc-call [-e CALL]... [SCRIPT | -]
//   varsvc-call --browse PROJECT [--mask M]
//
// Calls come from the -e options, else from the script file, else from
// standard input ("-" names it too). Exit codes: 0 when every call returned
// S_OK; 1 when one did not, or the server could not be reached; 2 for a
// syntax error (named by line and column; nothing is called) or a wrong
// command line.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ComRuntime.h"
#include "server/VarsvcTypeLib.h"
#include "tools/varsvc-call/CallJson.h"
#include "tools/varsvc-call/CallRunner.h"
#include "tools/varsvc-call/CallScript.h"

using namespace varsvccall;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int Usage() {
    fprintf(stderr,
            "usage: varsvc-call [-e CALL]... [SCRIPT | -]\n"
            "       varsvc-call --browse PROJECT [--mask M]\n");
    return kExitUsage;
}

// Activates the server's document; null with a message on failure.
IDispatch* Activate() {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(u"Varsvc.Document", &clsid);
    if (FAILED(hr)) {
        fprintf(stderr, "varsvc-call: Varsvc.Document is not registered (%s)\n", HexStatus(hr).c_str());
        return nullptr;
    }
    IDispatch* object = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object));
    if (FAILED(hr)) {
        fprintf(stderr, "varsvc-call: cannot activate Varsvc.Document (%s)\n", HexStatus(hr).c_str());
        return nullptr;
    }
    return object;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> expressions;
    std::string script;
    bool haveScript = false;
    std::string browseProject;
    bool browse = false;
    std::string mask;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-e" && i + 1 < argc) {
            expressions.push_back(argv[++i]);
        } else if (arg == "--browse" && i + 1 < argc) {
            browse = true;
            browseProject = argv[++i];
        } else if (arg == "--mask" && i + 1 < argc) {
            mask = argv[++i];
        } else if ((arg == "-" || arg[0] != '-') && !haveScript) {
            haveScript = true;
            script = arg;
        } else {
            return Usage();
        }
    }
    if (browse && (haveScript || !expressions.empty()))
        return Usage();

    std::vector<Call> calls;
    if (!browse) {
        ScriptError error;
        if (!expressions.empty()) {
            if (haveScript)
                return Usage();
            for (size_t i = 0; i < expressions.size(); ++i) {
                Call call;
                bool hasCall = false;
                if (!ParseCallLine(expressions[i], static_cast<int>(i + 1), call, hasCall, error)) {
                    fprintf(stderr, "varsvc-call: %s\n", FormatError(error).c_str());
                    return kExitUsage;
                }
                if (hasCall)
                    calls.push_back(std::move(call));
            }
        } else {
            std::string text;
            if (!haveScript || script == "-") {
                text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
            } else {
                std::ifstream file(script, std::ios::binary);
                if (!file) {
                    fprintf(stderr, "varsvc-call: cannot read '%s'\n", script.c_str());
                    return kExitUsage;
                }
                text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
            }
            if (!ParseScript(text, calls, error)) {
                fprintf(stderr, "varsvc-call: %s\n", FormatError(error).c_str());
                return kExitUsage;
            }
        }
        for (const Call& call : calls)
            if (!CheckCall(call, error)) {
                fprintf(stderr, "varsvc-call: %s\n", FormatError(error).c_str());
                return kExitUsage;
            }
    }

    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        fprintf(stderr, "varsvc-call: COM cannot be initialised\n");
        return kExitFailed;
    }
    IDispatch* object = Activate();
    if (object == nullptr) {
        CoUninitialize();
        return kExitFailed;
    }
    int exitCode = kExitOk;
    if (browse) {
        exitCode = Browse(object, browseProject, mask, stdout, stderr);
    } else {
        CallRunner runner(object);
        for (const Call& call : calls) {
            CallOutcome outcome;
            ScriptError error;
            if (!runner.Run(call, outcome, error)) {
                fprintf(stderr, "varsvc-call: %s\n", FormatError(error).c_str());
                exitCode = kExitUsage;
                break;
            }
            fprintf(stdout, "%s\n", outcome.json.c_str());
            fflush(stdout);
            if (outcome.hr != S_OK)
                exitCode = kExitFailed;
        }
    }
    object->Release();
    CoUninitialize();
    return exitCode;
}
