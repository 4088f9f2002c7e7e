#pragma once
// Closes the engine's cipher on a way out that did not reach its final, so no card session
// stays open after a failure; what that final releases is not used.

#include "engine/Korvane.h"

class OpenCipher {
public:
    enum Direction { kEncrypt, kDecrypt };
    OpenCipher(CKorvane& engine, Direction direction) : m_engine(engine), m_direction(direction) {}
    ~OpenCipher() {
        if (!m_open) return;
        unsigned char rest[64];
        int length = 0;
        if (m_direction == kEncrypt)
            m_engine.Evp_EncryptFinalEx(rest, &length);
        else
            m_engine.Evp_DecryptFinal(rest, &length);
    }
    OpenCipher(const OpenCipher&) = delete;
    OpenCipher& operator=(const OpenCipher&) = delete;
    // The caller is about to call the final itself.
    void Finished() { m_open = false; }

private:
    CKorvane& m_engine;
    Direction m_direction;
    bool m_open = true;
};
