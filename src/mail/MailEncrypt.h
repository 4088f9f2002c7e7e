#pragma once
// CMailEncrypt: the engine object of the mail program. It packs files into one mail package
// (layout in mail/MailLayout.h) encrypted for recipients, signed by the logged-on user, or
// both, and unpacks such a package, read from a file or from memory, into the mail working
// folder of the logon library.
//
// Packages are written beside their place and moved there only when complete: a failure, or a
// process killed half-way, never leaves a package under the returned name. Unpacking writes
// each file the same way, never through a symbolic link, only under file names (never a path),
// never over a file that is there (the next numbered name is taken), never more files than the
// header announces, and nothing at all before the whole index has passed its checks.

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "engine/Korvane.h"
#include "mail/MailLayout.h"
#include "package/ContentStream.h"

class CAtomicFile;

// The name an unpacked file takes: `path` when `usable` accepts it, else the first accepted of
// its numbered names, the number before the extension ("report.txt" -> "report0.txt", "same" ->
// "same0"). When none of kMaxNumberedNames is accepted, the last one tried: writing it fails.
inline constexpr int kMaxNumberedNames = 10000;
std::string NumberedFreeName(const std::string& path, const std::function<bool(const std::string&)>& usable);

// Caller-owned arguments of EncryptMail.
struct ENCRYPT_MAIL_ARG {
    int32_t nMailType;          // 1: session key generated here and wrapped per recipient;
                                // other values: Key/IV from the caller, no recipient records
    int32_t nMailFlag;          // bit 0 encrypt, bit 1 sign
    int32_t nUserData;          // stored in the header, handed back by DecryptMail
    char* pszFiles;             // full paths, each NUL-terminated, ended by an empty one
    char szMailFile[kMaxPath];  // out: the package's path (empty after a failure)
    int32_t nKeyLen;            // session key: out for type 1, in otherwise
    unsigned char Key[kMailKeyRoom];
    int32_t nIVLen;
    unsigned char IV[kMailKeyRoom];
    char szSigner[200];   // signer list; its first entry is stored as the signer
    char* pszRecipients;  // recipient list: certificate names
};

// Caller-owned key and results of DecryptMail.
struct DECRYPT_MAIL_KEY {
    int32_t nKeyLen;  // in/out: unwrapped for type-1 packages, the caller's otherwise
    unsigned char Key[kMailKeyRoom];
    int32_t nIVLen;
    unsigned char IV[kMailKeyRoom];
    int32_t bSilent;                        // no message when not a recipient; the signature is not verified
    int32_t nMailFlag;                      // out: the header's flag, 0 until the header passed its checks
    int32_t nUserData;                      // out
    char szSecondFile[kMaxPath];            // out: type 1, the second file written
    char szSigner[kMailSignerNameMax + 1];  // out: the stored signer name
    // Added on this platform, so callers can report what the result alone does not tell:
    int32_t nVerify;               // out: the signature check: 1 valid, 0 not valid, -1 no certificate
                                   // installed to check it, 2 not made (unsigned, bSilent, or the
                                   // unpacking stopped before the signature)
    char szDamagedFile[kMaxPath];  // out: a file written whose content CRC failed
};

class CMailEncrypt : public CKorvane {
public:
    CMailEncrypt() : CMailEncrypt(EngineContext{}) {}
    explicit CMailEncrypt(const EngineContext& context);
    ~CMailEncrypt() override;

    // Packs arg->pszFiles into a new package in the mail working folder. 1 when the package is
    // complete and in place; 0 after a failure (shown, except when nobody is logged on or there
    // is no working folder), with no package left behind.
    int EncryptMail(ENCRYPT_MAIL_ARG* arg);
    // A package path in dir (ending with a separator) that names nothing yet; out: 260 bytes.
    void Generate_AffixFileName(char* dir, char* out);

    // Unpacks the package read from pFile, else from pMemFile (read in place, never copied) into
    // the working folder. Each file written goes to row nCount of szFiles, then nCount grows; the
    // caller provides as many rows as the header's file count (MailFileCount). 1 when every file
    // was written and the signature, if any, was read (and verified unless bSilent).
    int DecryptMail(CFile* pFile, CMemFile* pMemFile, char (*szFiles)[kMaxPath], int& nCount, DECRYPT_MAIL_KEY* pKey);
    // The checked reads and seeks of DecryptMail, from pFile or else pMemFile.
    int fReadBuf2(CFile* pFile, CMemFile* pMemFile, void* buffer, unsigned long count, unsigned long* pRead,
                  int bExact);
    int fSeek2(CFile* pFile, CMemFile* pMemFile, long offset, unsigned origin);

    // The number of files a package announces (the rows DecryptMail needs), read without a
    // message; -1 when the source is not a mail package this engine reads.
    int MailFileCount(CFile* pFile, CMemFile* pMemFile);

private:
    int GetFileNameFromAllFiles(char* list, int index, char* out);
    void Generate_RaneFileName(char* path, char* out);

    // ---- Packing steps (MailPack.cpp)
    int WriteMailPackage(CFile* package, ENCRYPT_MAIL_ARG* arg, const MailHeader& header, int count,
                         const std::string& user, const SecretText& secret);
    int WriteRecipients(CFile* package, ENCRYPT_MAIL_ARG* arg, int count, const std::string& user);
    int PackMailFile(ContentStream& stream, const ContentKey* key, CFile* package, const char* path,
                     uint64_t entryPosition);

    // ---- Unpacking steps (MailUnpack.cpp)
    int UnpackMail(CFile* source, const std::string& folder, char (*rows)[kMaxPath], int& nCount, DECRYPT_MAIL_KEY* key,
                   const std::string& user, const SecretText& secret);
    int CheckMailHeader(const MailHeader& header, uint64_t packageLength);
    int FindMailKey(CFile* source, const MailHeader& header, DECRYPT_MAIL_KEY* key, const std::string& user,
                    const SecretText& secret);
    int UnpackMailFiles(CFile* source, const MailHeader& header, const std::string& folder, char (*rows)[kMaxPath],
                        int& nCount, DECRYPT_MAIL_KEY* key);
    // held: when given, the written file is closed under its temporary name and handed over for
    // the signature's verdict instead of being moved into place.
    int RestoreMailFile(ContentStream& stream, const ContentKey* key, CFile* source, const MailFileEntry& entry,
                        const char* output, bool* damaged, std::unique_ptr<CAtomicFile>* held = nullptr);

    // The package layer's content stream for one package, with the mail layout's texts and its
    // 32-bit offsets (MailStream.cpp). A null key stores or restores the bytes as they are.
    ContentStream MailContentStream(ContentStream::Digest digest);

    char m_version[3];  // "30"
    char m_magic[2];    // "QL"
    // Output paths written by the DecryptMail call under way: never replaced within one call.
    std::set<std::string> m_written;
};
