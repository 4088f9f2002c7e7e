#pragma once
// The mail targets' one step: bob unpacks a mail package from a file or from memory, with as
// many result rows as the header announces (never more than the input has bytes: a header
// that claims more is refused by its length check) and one guard row behind them that the
// engine must never touch.

#include <cstddef>
#include <cstdint>

namespace fuzz {

void UnpackMail(const uint8_t* data, size_t size, bool fromMemory);

}  // namespace fuzz
