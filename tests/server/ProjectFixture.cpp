// A project on disk for the server tests (see ProjectFixture.h).
#include "tests/server/ProjectFixture.h"

#include "server/LogPipe.h"

namespace servertest {

const char* const kStampLine = "Project time stamp,09/13/01 13:46:40";

std::string VarFileText(const std::vector<std::string>& lines, const std::string& stamp) {
    std::string text = "Korvane 2.5\n" + stamp + "\n";
    for (const std::string& line : lines)
        text += line + "\n";
    return text + "@#$@#$\n";
}

ProjectEnv::ProjectEnv(DeclaredTypeCompiler::Declarations d)
    : declarations(std::move(d)), log(std::make_shared<CompileLog>()) {
    dir = std::make_unique<TempDir>();
    MakeDirs(At("bin"));
    MakeDirs(At("tmp"));
    MakeDirs(At("plc/var"));
    temp = std::make_unique<EnvOverride>("TEMP", At("tmp").c_str());
    logName = std::make_unique<EnvOverride>("VQ_LOGNAME", At("log").c_str());
    cwd = std::make_unique<CurrentDir>(At("bin"));
    fifo = std::make_unique<ReadingFifo>(At("log"));
    TheLogPipe().Close();
}

ProjectEnv::~ProjectEnv() {
    TheLogPipe().Close();
    fifo.reset();
    cwd.reset();
    logName.reset();
    temp.reset();
    dir.reset();
}

std::unique_ptr<KorvaneProject> ProjectEnv::MakeProject(const std::string& path) const {
    return std::make_unique<KorvaneProject>(path.empty() ? ProjectPath() : path, Factory()());
}

void DeclareSmallTypes(TypeDeclarer& d) {
    d.Struct("MOTOR_T", {{"Speed", "INT"}, {"On", "BOOL"}});
    d.Array("BUF_T", 1, 3, "INT");
    d.Array2("M2_T", 0, 1, 1, 2, "DINT");
    d.Other("PROG1");
}

} // namespace servertest
