#pragma once

#include <cstddef>
#include <cstdint>

// CRC-16 with polynomial 0x1021, initial value 0, most significant bit first
// (the XMODEM form); the bucket index of the interning tables.
std::uint16_t Crc16(const void* data, std::size_t size);

// Bob Jenkins' lookup3 hashlittle: the 32-bit hash that tells entries of one
// bucket apart. Same value on every little-endian machine for the same bytes.
std::uint32_t HashLittle(const void* data, std::size_t size, std::uint32_t initval = 0);
