// Mail packages unpacked by their recipient from memory (read in place, never copied).

#include "MailUnpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::UnpackMail(data, size, true);
    return 0;
}
