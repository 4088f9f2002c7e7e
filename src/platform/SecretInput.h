#pragma once
// The one reader of secrets typed or piped in: a line read a byte at a time straight from a
// file descriptor into a wiping buffer, so that no stdio buffer, std::string or other copy
// ever holds it.

#include "platform/Secret.h"

// Reads one line from fd into `line`; the line end ("\n", "\r\n") is not kept. False when
// nothing at all could be read (end of input first, an error, or SIGINT while waiting).
bool ReadSecretLine(int fd, SecretText& line);
