#pragma once
// Argument blocks of the package passes. Field order and capacities are those every caller
// fills; the password pass reads only key, IV, cipher id, notification window and item count.

#include <cstdint>

#include "platform/Window.h"

// Key and IV a password package's collection pass writes into its key-check block.
struct Sysmetry_Decrypt_Info {
    int keyLength;
    unsigned char key[2000];
    int ivLength;
    unsigned char iv[2000];
    int reserved;
};

// Argument of the encryption passes of password and envelope packages.
struct Encrypt_Data {
    char userId[131];
    char password[57];
    int passwordLength;
    unsigned char key[1000];
    int keyLength;
    unsigned char iv[1000];
    int ivLength;
    int digestId;
    int cipherId;
    HWND notifyWindow;
    int itemCount;
};

// One recipient of an envelope package as the callers choose it: the display text and key
// text are stored in the recipient record, the user number names the public key that wraps
// the session key. The other fields travel with the entry but are not stored.
struct Decrypt_UserInfo {
    char displayText[144];
    int32_t userNumber;
    char certName[40];
    int32_t keyNumber;
    char keyText[100];
    int32_t flag;
    int32_t reserved[2];
};

// Argument of the envelope walk: the recipients, the sender, and the session key and IV the
// walk wraps for each recipient (key then IV, together at most 420 bytes).
struct Search_Data {
    int32_t recipientCount;  // 1..200 valid entries of recipients
    Decrypt_UserInfo recipients[200];
    char userId[131];
    char password[57];  // not used by the walk
    int32_t passwordLength;
    unsigned char key[420];
    int32_t keyLength;
    unsigned char iv[420];
    int32_t ivLength;
    int32_t reserved;
};
