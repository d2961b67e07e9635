// Fuzz target of the literal scanner: arbitrary bytes, cut at the first zero
// as a C string would be, go through the raw ts_scan/ts_parse pair in every
// mode (with its own and with caller-supplied stacks) and through
// TiLitScan::scan for every elementary type id under every flags value.
// Besides the sanitizers, the target checks the scanner's invariants and
// traps when one is broken.
#include "base/IecTypeIds.h"
#include "base/TiLitScan.h"
#include "base/TiLitStatus.h"
#include "base/ts_parse.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

void RawPair(const std::vector<char>& source, size_t length) {
    static const short kModes[] = {0, 1, 2, 8, 11, 0x7FFF};
    for (short mode : kModes) {
        std::vector<char> text(source);
        IEC_CONSTANT constant;
        ts_scan scanner;
        ts_parse parser(ts_parse::kDefaultDepth);
        scanner.tsreset(text.data(), constant, mode);
        parser.tsreset();
        int r = parser.tsparse(&scanner);
        Check(r == ts_parse::TSPARSE_OK || r == ts_parse::TSPARSE_GAVE_UP);
        Check(scanner.Cur() >= text.data() && scanner.Cur() <= text.data() + length);
        Check(scanner.Consumed() >= 0 && static_cast<size_t>(scanner.Consumed()) <= length);
        Check(scanner.ErrPos() >= 0 && static_cast<size_t>(scanner.ErrPos()) <= length);
        Check(std::memcmp(text.data(), source.data(), source.size()) == 0); // never writes
        if (constant.flags & iec::CONST_STRING) {
            Check(constant.value.str != nullptr);
            Check(std::strlen(constant.value.str) <= length);
        }

        // The smallest stacks a caller may supply: overflow must be reported,
        // never written past.
        short states[ts_parse::kMinCallerDepth];
        TSSTYPE values[ts_parse::kMinCallerDepth];
        ts_parse small(ts_parse::kMinCallerDepth, states, values);
        IEC_CONSTANT other;
        scanner.tsreset(text.data(), other, mode);
        small.tsreset();
        r = small.tsparse(&scanner);
        Check(r == ts_parse::TSPARSE_OK || r == ts_parse::TSPARSE_GAVE_UP);
        if (r == ts_parse::TSPARSE_GAVE_UP) {
            Check(scanner.ErrStatus() != 0);
        }
    }
}

void LitScan(const std::vector<char>& source, size_t length) {
    static const short kExtra[] = {iec::TYPE_LWORD, -6, -7, -8, -9, iec::TYPE_ANY, 0, 4711};
    TiLitScan scanner;
    for (short flags = 0; flags < 4; ++flags) {
        for (int withRoom = 0; withRoom < 2; ++withRoom) {
            if (withRoom && !(flags & TI_LITSCAN_LENIENT)) {
                continue;
            }
            scanner.flags = flags;
            const size_t room = 64;
            scanner.SetTextCapacity(withRoom ? static_cast<unsigned short>(length + 1 + room) : 0);
            for (short typeId = -24; typeId <= -1; ++typeId) {
                // The text in a buffer with room behind it; without announced
                // room nothing may be written beyond the original text.
                std::vector<char> text(source);
                text.resize(source.size() + room, 0);
                alignas(8) unsigned char out[16];
                std::memset(out, 0xA5, sizeof(out));
                short st = scanner.scan(text.data(), typeId, out);
                (void)st;
                Check(std::strlen(text.data()) <= (withRoom ? length + room : length));
                short accepted = scanner.AcceptedLen();
                Check(accepted >= 0);
                short code = 0;
                char* message = nullptr;
                scanner.ReturnCurError(&code, &message);
                Check(message != nullptr && std::strlen(message) < TiLitScan::kMessageSize);
                if (typeId == iec::TYPE_STRING && st >= 0) {
                    char* s = nullptr;
                    std::memcpy(&s, out, sizeof(s));
                    Check(s != nullptr);
                    Check(std::strlen(s) <= TiLitScan::kRetryMax + length);
                }
            }
        }
    }
    for (short typeId : kExtra) {
        std::vector<char> text(source);
        unsigned char out[16] = {};
        Check(scanner.scan(text.data(), typeId, out) == iec::LIT_TYPE_NOT_SUPPORTED);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The scanner reads C strings: everything after a zero byte is out of
    // its reach. The text lives in an exactly sized heap block.
    size_t length = 0;
    while (length < size && data[length] != 0) {
        ++length;
    }
    std::vector<char> source(length + 1, 0);
    if (length > 0) {
        std::memcpy(source.data(), data, length);
    }
    RawPair(source, length);
    LitScan(source, length);
    return 0;
}
