#pragma once
// The engine's CRC-16 over byte ranges: the same result as applying CRC1B to every byte, eight
// bytes per step (slicing-by-8), so that the CRC never limits a package's speed.

#include <cstddef>
#include <cstdint>

uint16_t Crc16Update(uint16_t reg, const unsigned char* data, size_t length);
// Complement, then exchange the two bytes: the value stored after a CRC-protected range.
uint16_t Crc16Final(uint16_t reg);
