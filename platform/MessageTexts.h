// The message texts of the compiler and its base library, by number: the
// string table behind LoadStringA.
#pragma once

#include "platform/WinTypes.h"

#include <cstddef>

/// One entry of the message table: the message number's absolute value and
/// its English text, a printf format taking the parameters the message is
/// reported with (documented beside each entry that has any).
struct MessageTextEntry {
    UINT id;
    const char* text;
};

/// The whole table, sorted by id, without duplicates; `*count` receives the
/// number of entries. The table is static and lives as long as the program.
const MessageTextEntry* MessageTextTable(size_t* count);

/// The text of string id `id`, or null when the table has none. As with
/// Windows string resources only the low 16 bits of `id` count; a value whose
/// bit 15 is set is a negative message number in 16-bit two's complement
/// (0xF2A0 is -3424) and stands for its absolute value, so -3424 passed as
/// 3424, as 0xF2A0 or as a sign-extended 32-bit value finds the same text.
const char* FindMessageText(UINT id);
