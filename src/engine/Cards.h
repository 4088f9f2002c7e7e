#pragma once
// The two hardware cipher cards behind cipher ids 120 (PCI card, driver module "trv88") and 121
// (ISA card, driver module "isacard"). Both modules are outside the engine and optional: when
// one is missing, the card answers as "not installed" / "no card present".
//
// Each card shows its own failure messages and never leaves a session open after a failure:
// a failed init, update or final has already closed what it opened. Releasing a card object
// closes a session that is still open and unloads its module.

#include <cstdint>

#include "drivers/IsaCardDriver.h"
#include "drivers/Trv88Driver.h"
#include "platform/Module.h"

class ILogon;

class PciCard {
public:
    PciCard() = default;
    ~PciCard();
    PciCard(const PciCard&) = delete;
    PciCard& operator=(const PciCard&) = delete;

    // Loads the module once; true when all eight entry points are known. A module lacking any
    // of them is unloaded again.
    bool Load();
    // Opens a card session and starts an operation with a 16-byte key and 8-byte IV; 1 or 0.
    // lastResult receives the status of the operation's init.
    int Begin(bool encrypt, const unsigned char* key, const unsigned char* iv, int* lastResult);
    // The input transformed in place in out; outLength = what the driver produced.
    int Update(bool encrypt, unsigned char* out, int* outLength, const unsigned char* in, int inLength);
    // Ends the operation and the session; produces nothing. 0 when none was open.
    int Finish(bool encrypt, int* outLength);

private:
    struct Operation {
        int handle = 0;
        bool open = false;
    };
    // Ends an open operation and its session; the status of the operation's end.
    uint32_t Close(Operation& op);

    CModule m_module;
    Trv88InitFn m_init = nullptr;
    Trv88FinalFn m_final = nullptr;
    Trv88OpInitFn m_encryptInit = nullptr;
    Trv88OpUpdateFn m_encryptUpdate = nullptr;
    Trv88OpFinalFn m_encryptFinal = nullptr;
    Trv88OpInitFn m_decryptInit = nullptr;
    Trv88OpUpdateFn m_decryptUpdate = nullptr;
    Trv88OpFinalFn m_decryptFinal = nullptr;
    Operation m_encrypt, m_decrypt;
};

class IsaCard {
public:
    IsaCard() = default;
    ~IsaCard();
    IsaCard(const IsaCard&) = delete;
    IsaCard& operator=(const IsaCard&) = delete;

    // Opens the card with the first 8 key bytes: 1 open, 0 no card present (or no driver),
    // -1 refused (the logon library does not permit the card, or the driver failed). No
    // message: the cipher frame words it.
    int Open(ILogon* logon, const unsigned char* key);
    // Whole 8-byte blocks go through the card; the rest waits for the next call. out has room
    // for inLength + 7 bytes (a waiting block may be released).
    int Update(bool encrypt, unsigned char* out, int* outLength, const unsigned char* in, int inLength);
    // The waiting bytes (0..7) go through the cipher driver under the tail key, then the card is
    // closed. The tail uses the field cipher's algorithm and mode.
    int Finish(bool encrypt, int algorithm, int mode, unsigned char* out, int* outLength);

private:
    bool Load();
    void Close();

    CModule m_module;
    IsaCardOpenFn m_open = nullptr;
    IsaCardCipherFn m_encrypt = nullptr;
    IsaCardCipherFn m_decrypt = nullptr;
    IsaCardCloseFn m_close = nullptr;
    int m_handle = -1;
    unsigned char m_pending[8]{};
    int m_pendingLength = 0;
    // Key of the tail cipher: the card key twice. Held per engine object, so two engines using
    // cards at the same time each finish with their own key.
    unsigned char m_tailKey[16]{};
};
