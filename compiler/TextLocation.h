// TextLocation: a position in the source text (row and column) that the
// declaration context and the initial values report their messages at.
#pragma once

#include <cstdint>

/// A source position: row and column, 1-based; 0 when unknown.
struct TextLocation {
    uint16_t row = 0;
    uint16_t col = 0;
};
