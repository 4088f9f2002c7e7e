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
