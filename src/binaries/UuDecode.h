#pragma once

#include <cstddef>

// uudecoding through three tables of 65,536 entries, built once at program
// start: each maps a pair of encoded characters straight to one output byte
// (first, second or third of a group), so four characters cost three reads.
namespace uu {

// True when every byte of the line lies between 32 and 96 inclusive.
bool IsDataLine(const char* line, std::size_t size);

// Decodes one line: the first character gives the byte count ((c - 32) & 63),
// then groups of four characters give three bytes; exactly the counted bytes
// are written to out (at most 63). Characters missing from a short line (a
// transport that stripped trailing spaces) count as zero; nothing past size
// is read. Returns the number of bytes written.
std::size_t DecodeLine(const char* line, std::size_t size, char* out);

}  // namespace uu
