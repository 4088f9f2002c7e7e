// Mail packages unpacked by their recipient from a file.

#include "MailUnpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::UnpackMail(data, size, false);
    return 0;
}
