// Trace: formats a developer trace and hands it to the debug channel.
#include "server/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/DebugOutput.h"
#include "server/ServerLimits.h"

using varsvc::kTraceBufferSize;

void Trace(int level, const char* sourceFile, int sourceLine, const char* format, ...) {
    if (level == 0 || format == nullptr)
        return;

    // Each part gets its own bounded buffer; vsnprintf cuts, never overruns.
    char text[kTraceBufferSize];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0)
        text[0] = '\0';

    char suffix[kTraceBufferSize];
    if (sourceFile != nullptr && sourceFile[0] != '\0' && sourceLine != 0) {
        if (snprintf(suffix, sizeof suffix, "\nLocation '%s',Line %i \r\n\n", sourceFile,
                     sourceLine) < 0)
            suffix[0] = '\0';
    } else {
        suffix[0] = '\n';
        suffix[1] = '\0';
    }

    // One record: the debug channel sees text and suffix together.
    char record[2 * kTraceBufferSize];
    size_t textLen = strlen(text);
    size_t suffixLen = strlen(suffix);
    memcpy(record, text, textLen);
    memcpy(record + textLen, suffix, suffixLen);
    record[textLen + suffixLen] = '\0';
    OutputDebugStringA(record);
}
