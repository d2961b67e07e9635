// KorvaneProject: reading the var file (bRead, ReadHeader, ReadVarLine) and
// comparing its time stamp (bVerifyTimeStamp).
#include <cstring>

#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "server/CsLock.h"
#include "server/KorvaneProject.h"
#include "server/LogPipe.h"
#include "server/ServerLimits.h"
#include "server/ServerSleep.h"
#include "server/Trace.h"
#include "server/VarFileFormat.h"

using namespace varsvc;

namespace {
constexpr char kVersionStamp[] = "Korvane 2.5";
/// Bytes per variable line that the size hint assumes: a real line is
/// rarely shorter, so the hint rarely over-reserves.
constexpr long kHintBytesPerLine = 96;

// A hint for the table: the variables a file of this size holds at least
// roughly. The read position stays where it was.
size_t ExpectedVariables(FILE* file) {
    const long here = ftell(file);
    if (here < 0 || fseek(file, 0, SEEK_END) != 0)
        return 0;
    const long size = ftell(file);
    if (fseek(file, here, SEEK_SET) != 0 || size < here)
        return 0;
    return static_cast<size_t>((size - here) / kHintBytesPerLine);
}
} // namespace

FILE* KorvaneProject::OpenVarFile() {
    std::string hostPath;
    if (PlatformResolvePath(varFile.c_str(), false, hostPath) != ERROR_SUCCESS)
        return nullptr;
    return fopen(hostPath.c_str(), "r");
}

bool KorvaneProject::CheckLastLine() {
    CsLock hold(lock);
    FILE* file = OpenVarFile();
    if (file == nullptr)
        return false;
    fclose(file);
    return true;
}

int KorvaneProject::ReadHeader(FILE* file, unsigned short& date, int32_t& msec) {
    CsLock hold(lock);
    date = 0;
    msec = 0;
    char line[kVarLineBufferSize];

    if (!ReadTextLine(file, line, sizeof line)) {
        LogMessage("can't read version stamp from file!", "Projektversion konnte nicht ermittelt werden!");
        return readheader::NoVersionLine;
    }
    if (strncmp(line, kVersionStamp, sizeof kVersionStamp - 1) != 0) {
        LogMessage("bad version stamp '%s'!", "Versionsinformation ung\xfcltig: '%s'!", line);
        MessageBoxA(nullptr, "bad var file - transform project to 2.5 format, first",
                    "Varsvc var file parser", MB_OK);
        return readheader::WrongVersion;
    }
    LogMessage("version stamp = '%s'", "Version = '%s'", line);

    if (!ReadTextLine(file, line, sizeof line)) {
        LogMessage("can't read time stamp from file!",
                   "Projekt-Zeitstempel konnte nicht ermittelt werden!");
        return readheader::NoTimeStampLine;
    }
    uint16_t newDate = 0;
    int32_t newMsec = 0;
    // A line without comma, with fewer than six numbers or with a month
    // outside 1..12 has no defined stamp; it counts as a missing stamp line.
    if (!ParseTimeStamp(line, newDate, newMsec))
        return readheader::NoTimeStampLine;
    date = newDate;
    msec = newMsec;
    return readheader::Ok;
}

bool KorvaneProject::ReadVarLine(FILE* file, bool& eof) {
    CsLock hold(lock);
    char line[kVarLineBufferSize];
    size_t length = 0;
    // The end-of-file state after the read decides, as the C runtime keeps
    // it: a last line without line end ends the file before its end line.
    // A read error counts the same way.
    if (!ReadTextLine(file, line, sizeof line, length) || feof(file) || ferror(file)) {
        eof = true;
        return false;
    }
    length = TrimTrailingSpace(line, length);
    std::string_view text(line, length);
    if (IsEndLine(text)) {
        eof = true;
        return true;
    }
    eof = false;

    VarFields f;
    SplitVarFields(text, f);
    const uint32_t keyHash = table.Prepare(f[0]);
    int32_t typeId = 0;
    if (!TypeIdOf(f[4], typeId)) {
        std::string typeName(f[4]);
        LogMessage("ReadVarLine: TypeID '%s' not found!", "ReadVarLine: TypeID '%s' nicht gefunden!",
                   typeName.c_str());
        return false;
    }

    VarRecord r;
    r.VarName = f[0];
    r.VarCmnt = f[12];
    r.VarKind = static_cast<int16_t>(ParseLong(f[2]));
    r.VarType = typeId;
    r.VarSize = ParseLong(f[5]);
    const int32_t section = ParseLong(f[6]);
    r.VarIECMemDescSectID = static_cast<int16_t>(section);
    r.VarIECMemDescAddrOffset = ParseLong(f[7]);
    r.VarIECMemDescSectCIx = -1;
    const int32_t kind = r.VarKind;
    const bool unlocated = kind == 2 || kind == 4 || (kind >= 6 && kind <= 9);
    r.VarAddr = unlocated ? kUnlocatedArea : section;
    int32_t attr = (kind == 4 || kind == 5) ? 1 : 0;
    if (ParseLong(f[11]) != 0)
        attr |= 6;
    if (attr == 0 && kind >= 6 && kind <= 9)
        attr = 3;
    r.VarAttr = attr;
    return table.Insert(r, keyHash);
}

bool KorvaneProject::bRead(bool force) {
    CsLock hold(lock);
    if (loaded && !force) {
        Trace(1, "", 0, "KorvaneProject::bRead: var file '%s' doesn't have to be re-read.",
              varFile.c_str());
        return true;
    }

    loaded = false;
    // Every selection built from the catalogue so far is stale from here on.
    BeginGeneration();
    if (!bReadTypes())
        return false;

    int lineNumber = 0;
    for (int attempt = 0; attempt < kReadAttempts && !loaded; ++attempt) {
        if (attempt != 0)
            ServerSleep(kReadRetryWaitMs);
        Trace(1, "", 0, "KorvaneProject::bRead: check var file:<%s>.\n", varFile.c_str());
        if (!CheckLastLine()) {
            Trace(3, TRACE_HERE, "KorvaneProject::bRead: can't find last line in var file '%s'",
                  varFile.c_str());
            continue;
        }
        FILE* file = OpenVarFile();
        if (file == nullptr) {
            Trace(3, TRACE_HERE, "KorvaneProject::bRead: can't find var file '%s'", varFile.c_str());
            LogMessage("can't find var file '%s'!", "Variablendatei '%s' konnte nicht gefunden werden!",
                       varFile.c_str());
            continue;
        }
        int header = ReadHeader(file, stampDate, stampMsec);
        if (header != readheader::Ok) {
            Trace(3, TRACE_HERE, "KorvaneProject::bRead: header of var file '%s' is incorrect.",
                  varFile.c_str());
            LogMessage("header of var file '%s' is incorrect.",
                       "Header von Variablendatei '%s' ist ung\xfcltig.", varFile.c_str());
            fclose(file);
            if (header == readheader::WrongVersion)
                break;
            continue;
        }

        Trace(1, "", 0, "KorvaneProject::bRead: reading var file.\n");
        loaded = true;
        table.Clear();
        table.Reserve(ExpectedVariables(file));
        lineNumber = 3;
        for (;;) {
            bool eof = false;
            if (ReadVarLine(file, eof)) {
                ++lineNumber;
                if (eof)
                    break;
                continue;
            }
            loaded = false;
            if (eof) {
                Trace(3, TRACE_HERE, "KorvaneProject::bRead: end-of-file token missing in var file");
                LogMessage("bRead: Error - end-of-file token missing in var file",
                           "bRead: Fehler - Endekennung in var-Datei fehlt!");
            } else {
                Trace(3, TRACE_HERE, "KorvaneProject::bRead: bad or double defined variable in line %d",
                      lineNumber);
                LogMessage("bRead: Error - bad or double defined variable in var file",
                           "bRead: Fehler - Variable in var-Datei fehlerhaft oder doppelt!");
            }
            break;
        }
        fclose(file);
    }

    if (!loaded) {
        Trace(1, "", 0, "KorvaneProject::bRead: Failed.");
        return false;
    }
    Trace(1, "", 0, "KorvaneProject::bRead: Finished.");
    LogMessage("bRead: %ld lines parsed", "bRead: %ld Zeilen eingelesen", static_cast<long>(lineNumber));
    return true;
}

bool KorvaneProject::bVerifyTimeStamp(unsigned short& date, int32_t& msec, bool& upToDate) {
    CsLock hold(lock);
    FILE* file = OpenVarFile();
    if (file == nullptr) {
        Trace(3, TRACE_HERE, "KorvaneProject::bVerifyTimeStamp: var file not found: '%s'",
              varFile.c_str());
        return false;
    }
    if (ReadHeader(file, date, msec) != readheader::Ok)
        Trace(3, TRACE_HERE, "KorvaneProject::bVerifyTimeStamp: can't read file '%s'", varFile.c_str());
    fclose(file);
    upToDate = loaded && date == stampDate && msec == stampMsec;
    if (!upToDate)
        loaded = false;
    return true;
}
