// A project on disk for the server tests: a private directory tree with the
// server's directory (made current), a project directory with its var
// directory, a temporary directory named by TEMP, the log pipe as a FIFO
// named by VQ_LOGNAME, and the test type compiler with chosen declarations.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "server/KorvaneProject.h"
#include "tests/server/DeclaredTypes.h"
#include "tests/server/ServerTestSupport.h"

namespace servertest {

/// The time stamp line of the test var files: 13 September 2001, 13:46:40
/// (date 6465, 49600000 ms).
extern const char* const kStampLine;
constexpr unsigned short kStampDate = 6465;
constexpr int32_t kStampMsec = 49600000;

/// A var file: version line, `stamp`, the variable lines and the end line,
/// every line ended by "\n".
std::string VarFileText(const std::vector<std::string>& lines, const std::string& stamp = kStampLine);

class ProjectEnv {
public:
    /// root/bin is made current; root/plc/var exists; TEMP = root/tmp;
    /// VQ_LOGNAME = root/log (a FIFO read by the test).
    explicit ProjectEnv(DeclaredTypeCompiler::Declarations declarations = {});
    ~ProjectEnv();

    std::string Root() const { return dir->Path(); }
    /// root + "/" + relative.
    std::string At(const std::string& relative) const { return dir->Path() + "/" + relative; }
    /// The project path handed to the server: root/plc/line1.prj.
    std::string ProjectPath() const { return At("plc/line1.prj"); }
    /// The var file of ProjectPath().
    std::string VarFile() const { return At("plc/var/line1.var"); }
    /// Writes the var file.
    void WriteVar(const std::string& text) const { WriteBytes(VarFile(), text); }
    /// A new project for `path` (ProjectPath() when empty) with the test type
    /// compiler.
    std::unique_ptr<KorvaneProject> MakeProject(const std::string& path = "") const;
    /// The factory that MakeProject uses.
    TypeCompilerFactory Factory() const { return DeclaredTypes(declarations, log); }
    /// Everything written to the log pipe since the last call.
    std::string LogLines() { return fifo->ReadAll(); }
    /// What the type compiler saw.
    CompileLog& Compiles() { return *log; }

private:
    std::unique_ptr<TempDir> dir;
    std::unique_ptr<EnvOverride> temp;
    std::unique_ptr<EnvOverride> logName;
    std::unique_ptr<CurrentDir> cwd;
    std::unique_ptr<ReadingFifo> fifo;
    DeclaredTypeCompiler::Declarations declarations;
    std::shared_ptr<CompileLog> log;
};

/// Declarations used by many tests: MOTOR_T (Speed : INT; On : BOOL),
/// BUF_T (ARRAY[1..3] OF INT), M2_T (ARRAY[0..1, 1..2] OF DINT), and a
/// global record "PROG1" that is no data type.
void DeclareSmallTypes(TypeDeclarer& d);

} // namespace servertest
