// Base64 (RFC 4648 alphabet, "=" padding, no line breaks) for the ZPL graphic fields.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t Base64EncodedSize(size_t bytes) { return (bytes + 2) / 3 * 4; }
// Writes Base64EncodedSize(size) characters to `out` (no terminator); returns that count.
size_t Base64Encode(const uint8_t* data, size_t size, char* out);
