#include "platform/SecretInput.h"

#include <unistd.h>

bool ReadSecretLine(int fd, SecretText& line) {
    line.clear();
    char c = 0;
    ssize_t n = 0;
    bool any = false;
    bool carriage = false;  // a '\r' read and not yet known to end the line
    while ((n = ::read(fd, &c, 1)) == 1) {
        any = true;
        if (c == '\n') break;
        if (carriage) line.push_back('\r');
        carriage = c == '\r';
        if (!carriage) line.push_back(c);
    }
    OPENSSL_cleanse(&c, 1);
    return any;
}
