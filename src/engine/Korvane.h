#pragma once
// CKorvane, the engine object. One object carries the state that the engine's operations share
// while a caller works with it: the cipher contexts, the card entry points, the field key, the
// running CRC, the walkers' folder buffers, and the batch state of a run of decryptions (the
// password accepted in the batch, the batch-success flag, the list of decrypted files).
//
// One object serves one operation at a time on the caller's thread: operations share the CRC
// register, the cipher contexts and the path buffers. Nothing here throws to the caller.

#include <cstdint>
#include <string>

#include "formats/EncryptFlag.h"
#include "platform/CFile.h"
#include "platform/CMemFile.h"
#include "platform/Window.h"

class CKorvane {
public:
    CKorvane();
    virtual ~CKorvane();
    CKorvane(const CKorvane&) = delete;
    CKorvane& operator=(const CKorvane&) = delete;

    // ---- Identifiers and version ------------------------------------------------------
    // Fills the supported ciphers (int[5]) and digests (int[2]) in order of preference.
    void GetEncryptAlgorithmID(int* ciphers, int* cipherCount, int* digests, int* digestCount);
    // Writes the engine's two version characters "30" to out; no terminator.
    void GetEncryptVer(char* out);
    // Fills the identifier part of a head a caller builds: cipher, digests, one, magic "KP",
    // version "10". Every other field stays as it was.
    void SetEncryptAlogID(EncryptFlag* head);
    // The cipher and digest a new secured file is written with (default cipher, "SIgnID").
    void ChooseIdentifiers(int* cipher, int* digest);

    // ---- CRC-16 -------------------------------------------------------------------------
    void CRC_Init();
    void CRC_Update(const unsigned char* data, int length);
    uint16_t CRC_Final();

    // ---- Checked file I/O: each failure is shown here, once, and the result is 0 ----------
    int fReadBuf(CFile* file, void* buffer, unsigned long count, unsigned long* bytesRead, int exact);
    int fWriteBuf(CFile* file, const void* buffer, unsigned long count);
    int fSeek(CFile* file, long offset, unsigned origin);
    int fSeekToEnd(CFile* file);
    int fSeekToBegin(CFile* file);
    // Appends the plain end-of-head record (type 4, second field 0, CRC 0).
    int AddEndofHead(CFile* package);

    // ---- Cipher frame, cards, keys, field and name cipher --------------------------------
    // Field cipher: length-preserving, in place allowed. On failure shows its message, leaves
    // the input unchanged in out and returns 0.
    int SerialEncrypt(const char* in, int length, char* out);
    int SerialDecrypt(const char* in, int length, char* out);
    // The check value of version-"10" password packages: the field cipher keyed by the input.
    int SerialEncryptKey(const char* in, int length, char* out);

    // ---- Secured-file head ------------------------------------------------------------------

    // ---- Password packages ------------------------------------------------------------------

    // ---- File status and paths ----------------------------------------------------------------

    // ---- Public state, set by callers -----------------------------------------------------
    int m_digestOnly = 0;            // signing with a key device returns the bare SHA-1 digest
    std::string m_presetOutFolder;   // when it names an existing folder, decryption writes there
    int m_showProgressWindow = 1;    // the envelope pass shows its own progress window

    // Batch state of a run of decryptions; survives from one file to the next.
    int m_passwordKnown = 0;         // a password was accepted for a password package
    int m_batchSuccess = 0;          // cleared when a file is skipped for a wrong password (silent)
    std::string m_batchPassword;     // the password accepted in the batch (wiped on release)
    CMemFile m_decryptedFiles {1024};  // decrypted paths, each followed by "|"

protected:
    uint16_t m_crc = 0;

    // Field cipher parameters and key.
    int m_fieldCipherMode = 1;
    int m_fieldCipherAlg = 2;
    unsigned char m_fieldKey[16];  // fixed: files are readable only by engines with this key

    // Folder that package item names are relative to, and the path being processed.
    char m_baseFolder[kMaxPath] {};
    char m_workPath[kMaxPath] {};

    // ---- Cipher frame and card state ------------------------------------------------------
    int m_cipherMode = 0;   // 1 software, 3 PCI card, 4 ISA card; set by every init
    int m_verifierType = 0;
    int m_lastCardResult = 0;
};
