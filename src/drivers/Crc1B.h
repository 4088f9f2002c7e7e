#pragma once
// The one-byte CRC step of the suite's common functions: CRC-16/CCITT (polynomial 0x1021,
// most significant bit first). Files written with this step are readable only with it.

#include <cstdint>

extern "C" uint16_t CRC1B(uint16_t crc, unsigned char byte);
