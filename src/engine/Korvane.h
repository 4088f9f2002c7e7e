#pragma once
// CKorvane, the engine object. One object carries the state that the engine's operations share
// while a caller works with it: the cipher contexts, the card entry points, the field key, the
// running CRC, the walkers' folder buffers, and the batch state of a run of decryptions (the
// password accepted in the batch, the batch-success flag, the list of decrypted files).
//
// One object serves one operation at a time on the caller's thread: operations share the CRC
// register, the cipher contexts and the path buffers. Objects on different threads are
// independent; each works with the host and logon library of its own context
// (engine/EngineContext.h). Nothing here throws to the caller: every public operation is an
// entry guarded by EngineCall and EntryFailed.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/CheckedRecordIo.h"
#include "engine/EngineContext.h"
#include "engine/SignerProof.h"
#include "platform/CFile.h"
#include "platform/CMemFile.h"
#include "platform/FileIdentity.h"
#include "platform/Secret.h"
#include "platform/Window.h"

struct EncryptFlag;  // the secured-file head (formats/EncryptFlag.h)
struct HeadRules;
struct Sysmetry_Decrypt_Info;
struct Encrypt_Data;
struct Search_Data;
struct File_SignInfo;
struct Decrypt_Info;
struct Verify_IndexInfo;

// Files are streamed in blocks of this size; memory never grows with a file's size.
constexpr size_t kStreamBlockSize = 307200;

class CKorvane {
public:
    // Works with the installed host and logon library, the standard key devices and the
    // engine's own texts.
    CKorvane();
    explicit CKorvane(const EngineContext& context);
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
    // Appends the plain end-of-head record (kRecordEnd, second field 0, CRC 0).
    int AddEndofHead(CFile* package);
    // The reading message for a file error met outside the checked calls (a length or
    // position query), with the system's text.
    static void ShowReadError(const CFileException& error);
    // The message of an exact read that came back short, as fReadBuf shows it.
    static void ShowShortRead();
    // The writing message of the same kind, as fWriteBuf shows it.
    static void ShowWriteError(const CFileException& error);
    // Opens a secured file for reading, sharing all access. On failure shows (when asked) the
    // opening message with the system's text and returns 0.
    static int OpenForReading(const char* path, CFile& file, int showErrors);

    // ---- Cipher frame, cards, keys, field and name cipher --------------------------------
    // Bulk cipher. Ids: 45 DES, 46 IDEA, 62 two-key triple DES (software, 64-bit OFB), 120 PCI
    // card, 121 ISA card. Call init, any number of updates, then the final. Encryption and
    // decryption keep their own contexts but share the back end chosen by the last init of
    // either kind. Key and IV are read for the cipher's own lengths (key 8 or 16, IV 8).
    // out needs room for inLength + 8 bytes: software ciphers and the PCI card produce exactly
    // inLength, the ISA card may also release a block carried over from the previous update.
    // out and in may be the same buffer. Every failure is shown here; 1 ok, 0 failed. After a
    // failed update the session is already closed, and the final answers 0 without a message.
    int Evp_EncryptInit(const unsigned char* key, const unsigned char* iv, int id);
    int Evp_EncryptUpdate(unsigned char* out, int* outLength, const unsigned char* in, int inLength);
    int Evp_EncryptFinalEx(unsigned char* out, int* outLength);
    void Evp_EncryptFinal(unsigned char* out, int* outLength);  // the same, for callers that do not test it
    int Evp_DecryptInit(const unsigned char* key, const unsigned char* iv, int id);
    int Evp_DecryptUpdate(unsigned char* out, int* outLength, const unsigned char* in, int inLength);
    int Evp_DecryptFinal(unsigned char* out, int* outLength);

    // Signing by the logged-on user: digest 8 (MD5) or 42 (SHA-0) with an RSA PKCS#1 v1.5
    // signature for software keys; SHA-1 signed by the key device for device users (with
    // m_digestOnly set, the bare 20-byte SHA-1). signature needs room for the key's size
    // (at most 10,240 bytes).
    int Evp_SignInit(int digestId);
    void Evp_SignUpdate(const unsigned char* data, unsigned int length);
    int Evp_SignFinal(unsigned char* signature, unsigned int* signatureLength, const char* userId,
                      const char* password);
    // Verification of signerId's signature (kind: the secured file's kind). Final: 1 valid,
    // 0 invalid (shown), -1 no certificate installed (shown). digestCompare: the stored value is
    // a bare 20-byte SHA-1 instead of a signature; taken only where the logon library says the
    // signer keeps a key device and the kind is a shared package (8), else a signature is
    // checked. What a final proved is kept in SignerProved() until the next init or final.
    int Evp_VerifyInit(int digestId, const char* signerId, int signerKind);
    void Evp_VerifyUpdate(const unsigned char* data, unsigned int length);
    int Evp_VerifyFinal(const unsigned char* signature, unsigned int signatureLength, const char* signerId,
                        char signerKind, unsigned int digestCompare);
    // The certificate that checked the last signature, a bare digest, or nothing.
    const SignerProof& SignerProved() const { return m_signerProof; }
    // Raw RSA with PKCS#1 v1.5 padding. to needs room for the key's size. The output length,
    // or -1 when the library refuses.
    int Rsa_public_encrypt(int length, const unsigned char* from, unsigned char* to, struct evp_pkey_st* key);
    int Rsa_private_decrypt(int length, const unsigned char* from, unsigned char* to, struct evp_pkey_st* key);

    // A fresh random session key and IV for a cipher id: key length 8 (45, 121), 16 (46, 62,
    // 120) or 20 (122), IV 8. key has room for 20 bytes, iv for 8. For other ids the lengths
    // stay as the caller set them and are filled only when they fit those rooms.
    void Generate_EncryptKey(int id, char* key, int* keyLength, char* iv, int* ivLength);
    // The key of a password: its MD5 digest, zero-padded to keyLength (1..99). 0 = refused.
    int GenerateKeyByHash(const char* password, int passwordLength, char* key, int keyLength);

    // Field cipher: length-preserving, in place allowed. On failure shows its message, leaves
    // the input unchanged in out and returns 0.
    int SerialEncrypt(const char* in, int length, char* out);
    int SerialDecrypt(const char* in, int length, char* out);
    // The check value of version-"10" password packages: the field cipher keyed by the input.
    int SerialEncryptKey(const char* in, int length, char* out);

protected:
    // The check value of version-"30" password packages: the key enciphered by the bulk cipher
    // under a key and IV made of copies of itself. keyLength 1..1000; out has room for
    // keyLength + 8 bytes.
    int EncryptKey30(int id, const unsigned char* key, int keyLength, unsigned char* out, int* outLength);
    // Names enciphered under a caller's key (the field key overlaid by up to 16 key bytes);
    // length-preserving, in place allowed; on failure out holds the input and the result is 0.
    int EncryptFileName(const unsigned char* key, int keyLength, const unsigned char* in, int length,
                        unsigned char* out);
    int DecryptFileName(const unsigned char* key, int keyLength, const unsigned char* in, int length,
                        unsigned char* out);
    // 1 when the PCI card's driver module is loaded with all eight entry points.
    int LoadKeloMMwCardFunc();

public:
    // ---- Secured-file head ------------------------------------------------------------------
    // A fresh plain head: zeroed, magic "KF", the engine's version, kind and the identifiers of
    // a new file. Packages get cipher, digests and one = 1; signature files (kinds 4 and 16)
    // only the digests.
    void InitEncryptFlag(EncryptFlag* head, uint8_t kind);
    // Enciphers the eleven protected fields in place and stores the head CRC over them. 0 when
    // the field cipher fails (it has shown its message); the head is then unusable.
    int SealEncryptFlag(EncryptFlag* head);
    // Checks the head CRC over the stored fields, then deciphers them in place. On a mismatch
    // shows crcMessage (when not null) and returns 0 with nothing deciphered.
    int UnsealEncryptFlag(EncryptFlag* head, const char* crcMessage);
    // Seals a copy of the plain head and writes its 300 bytes at offset 0 (checked).
    int WriteEncryptedFileHead(CFile* file, const EncryptFlag* plainHead);
    // Reads exactly 300 bytes at offset 0 (checked) and unseals them into head.
    int ReadEncryptedFileHead(CFile* file, EncryptFlag* head, const char* crcMessage);
    // Opens the file (shared), reads and deciphers its head. Checks nothing of its contents.
    // Open, read and CRC failures are shown only when showErrors is non-zero.
    int GetEncryptedFileHead(const char* path, EncryptFlag* head, int showErrors);
    // The readers' checks of a deciphered head, in order: magic, version (as a number against
    // the engine's), kind, identifiers; signature rules test the kind before the version.
    // Shows the rule's message for the first refusal and returns 0.
    int CheckEncryptedFileHead(const EncryptFlag& head, const HeadRules& rules);
    // A field of a record: enciphered in place, fed to the running CRC, written (checked).
    int WriteSealedField(CFile* file, void* field, unsigned long length);
    // A field of a record: read exactly (checked), fed to the running CRC as stored, deciphered.
    int ReadSealedField(CFile* file, void* field, unsigned long length);
    // The end-of-head record in its final form at the current position.
    int WriteEndofHead(CFile* package, int32_t secondField);
    // Reads a final end-of-head record at the current position: the type must be the
    // end-of-head type ("文件结构错." otherwise), the CRC must match (crcMessage otherwise).
    int ReadEndofHead(CFile* package, int32_t* secondField, const char* crcMessage);

    // ---- Password packages ------------------------------------------------------------------
    // Collection pass: the key-check block behind the plain head (first call), then one plain
    // record per folder and file. `pathList`: NUL-terminated paths ended by an empty one.
    int Symmtry_SearchFile(const char* pathList, CFile* package, const Sysmetry_Decrypt_Info& info, int* recordStart,
                           int* itemCount);
    int Symmtry_SearchSingleFile(const char* path, CFile* package, const Sysmetry_Decrypt_Info& info, int* recordStart,
                                 int* itemCount);
    // Encryption pass: protects the head, appends every file's ciphertext and rewrites every
    // record enciphered. 1 when the end record was reached and rewritten.
    int SymmtryEncryptFiles(CFile* package, int recordStart, const Encrypt_Data& data);
    // Restores a password package. `direct`: no folder question, a lone file is offered to
    // the logon library's open query. `silent`: no dialogs but the password; a wrong password
    // clears the batch-success flag without a message. 1 when the end record was reached.
    int SymmtryDecryptFiles(const char* packagePath, HWND notifyWindow, int direct, int silent);

    // ---- Envelope packages and decryption dispatch -----------------------------------------
    // Walk: the sender and recipient records behind the template head (first call), then one
    // plain record per folder and file. `pathList` as for Symmtry_SearchFile.
    int Envelop_SearchFile(const char* pathList, CFile* package, const Search_Data& data, int* recordStart,
                           int* itemCount);
    int Envelop_SearchSingleFile(const char* path, CFile* package, const Search_Data& data, int* recordStart,
                                 int* itemCount);
    // Encryption pass: protects the head, appends every file's ciphertext, signs the plaintext
    // for data.userId, rewrites every record sealed and appends the signature trailer.
    int EnvelopEncryptFiles(CFile* package, int recordStart, const Encrypt_Data& data);
    // Restores an envelope package for the logged-on user when the user is a recipient, and
    // verifies the sender's signature. `direct` and `silent` as for SymmtryDecryptFiles. 1 when
    // every file was restored and the signature verified.
    int EnvelopDecryptFiles(const char* packagePath, HWND notifyWindow, int direct, int silent);
    // A batch of secured files (`fileList` as for Symmtry_SearchFile), each restored by the
    // decryptor of its kind; each package restored completely is wiped (once its files are on
    // the disk) unless "DkeptFile" or m_keepPackages keeps it; a package whose folders and
    // files do not all stand restored from it is kept, and the message says why; so is one
    // named through a symbolic link or with other names. 1 when every package was restored.
    // KeloDecryptFile adds a batch progress window and passes `direct` on; it answers -1 when
    // it stopped the batch because the user logged off or the key device went away.
    int DecryptFileA(const char* fileList, HWND notifyWindow);
    int KeloDecryptFile(const char* fileList, HWND notifyWindow, int direct);

private:
    int DispatchDecryption(const char* fileList, HWND notifyWindow, int direct, bool kelo);

public:
    // ---- File status and paths ----------------------------------------------------------------
    // Times as 14-digit local-time texts (buffers of 15), size in bytes, attribute byte.
    int GetFileStatus(CFile* file, char* modifyTime, char* createTime, unsigned long* size, unsigned char* attributes);
    // Gives an existing file its modification time and attribute byte. 0 when the path names
    // no file, a time text is not a valid 14-digit time, or the system refuses.
    int SetFileStatus(const char* path, const char* modifyTime, const char* createTime, unsigned char attributes);
    int SetFileArchiveStatus(const char* path, unsigned char attributes);
    // The folder holding a file or folder, ending in a separator (out: 260 characters).
    int GetParentDirectory(const char* path, char* out);
    // 1 when the two paths are equal without regard to ASCII case; separators are not adjusted.
    int DirEqualNoCase(const char* a, const char* b);
    // Appends a separator unless the path ends in one (room for one more character).
    void AddDirSeg(char* path);
    // Splits a recipient's display text at its first line feed; each out has room for the text.
    void SeperateUserInfo(const char* text, char* first, char* second);

protected:
    // The folder relative to the base folder, with both buffers (260 characters) given a
    // trailing separator; 0 when the folder does not lie under the base folder.
    int GetRelativePath(char* baseFolder, char* folder, char* out);

public:
    // ---- Signature files, verification, security information (src/signature/) ----------
    // Signs every file of a path list (NUL-terminated paths ended by an empty one) into a
    // signature file "<path>.idi" beside it, at most 200 files; kind 16 and a mail of the
    // signed files with their signature files when `mail` is non-zero, else kind 4.
    // Always 1: the outcome per file is told by the messages and the files written.
    int SignFiles(const char* fileList, const char* userId, const char* password, int reserved, int mail);
    // The same walk, kind 16, nothing mailed. Always 1.
    int SignFilesWithEmail(const char* fileList, const char* userId, const char* password, int reserved);
    // Checks a signature file against the file it describes and shows the report: 1 when the
    // report was shown (whatever its verdict), 0 when the check could not be carried out.
    int Verify_One_File(const char* signaturePath);
    // What a secured file says of its protection, without decrypting anything (see
    // signature/SecureInfo.h for which outputs each kind fills). nameText (260) is always set.
    int GetFileSecureInfo(const char* path, char* kind, int* recipientCount, Decrypt_Info* recipients,
                          File_SignInfo* signInfo, Verify_IndexInfo* sender, char* nameText);
    // Shows "test".
    void Test();

protected:
    // Between HoldSigningKey(true) and HoldSigningKey(false) the signer's private key is unlocked
    // once, at its first signature, and kept for the next ones; releasing it wipes it.
    void HoldSigningKey(bool hold);

private:
    // What the files of one signing batch share, looked up once (src/signature/SignFiles.cpp).
    struct SignBatch;
    // Writes the signature file of one file; signaturePath (260) receives its path. 1 when the
    // signature file is complete and in place; a failed signing leaves any earlier one as it was.
    int Sign_One_File(const char* path, char* signaturePath, char kind, const char* userId, const char* password,
                      int reserved, SignBatch& batch);
    // The signature files of a list, at most kMaxSignedFiles; their signed files and signature
    // files.
    int SignList(const char* fileList, char kind, const char* userId, const char* password, int reserved,
                 std::vector<std::string>& signedFiles, std::vector<std::string>& signatureFiles);
    // Finds the file a signature record describes; "" when the person cancels the search.
    std::string FindSignedFile(const std::string& signaturePath, const std::string& storedPath);

public:
    // ---- Dialogs and password entry --------------------------------------------------------------
    // Asks for a new password twice; 1 with the password (room for 996 bytes) when both match.
    int GetPasswd(char* password);

    // ---- Public state, set by callers -----------------------------------------------------
    int m_digestOnly = 0;      // signing with a key device returns the bare SHA-1 digest
    size_t m_signedCount = 0;  // the files the last SignFiles or SignFilesWithEmail signed
    // The entries at the end of that list left unsigned because kMaxSignedFiles were signed
    // before them (0 when the list was gone through); the caller says which they are.
    size_t m_unreachedCount = 0;
    // Told of every entry a wipe (DelFileOrDir, TrueDelFileOrDir) removes (reason empty) and of
    // every one it cannot, with the reason the delete log gives; unset, nothing is told.
    std::function<void(const std::string& path, const std::string& reason)> m_wipeObserver;
    // One signing run signs at most this many files; the rest of its list is left as it is.
    static constexpr size_t kMaxSignedFiles = 200;
    // How the last Verify_One_File ended, for a caller that says more than its 0 or 1.
    enum class VerifyEnd {
        kNotChecked,         // the signature file could not be read or checked (said)
        kReported,           // the report was shown, with its verdict
        kNoCertificate,      // no usable certificate of the signer is installed (said)
        kSignedFileMissing,  // the signed file is not beside it and none was chosen (not said)
    };
    VerifyEnd m_verifyEnd = VerifyEnd::kNotChecked;
    std::string m_verifyCertName;   // the certificate the last Verify_One_File asked for
    std::string m_presetOutFolder;  // when it names an existing folder, decryption writes there
    int m_showProgressWindow = 1;   // the envelope pass shows its own progress window
    bool m_keepPackages = false;    // the dispatcher keeps restored packages whatever "DkeptFile" says

    // Batch state of a run of decryptions; survives from one file to the next.
    int m_passwordKnown = 0;          // a password was accepted for a password package
    int m_batchSuccess = 0;           // cleared when a file is skipped for a wrong password (silent)
    SecretText m_batchPassword;       // the password accepted in the batch
    CMemFile m_decryptedFiles{1024};  // decrypted paths, each followed by "|"
    // What each envelope package restored (or checked) since the batch began proved of its
    // sender, in order: the certificate that checked its signature, or a bare digest.
    struct PackageSender {
        std::string package;
        SignerProof proof;
    };
    std::vector<PackageSender> m_packageSenders;
    // Why the package the last restore read must outlive it (kept or missing files, a damaged
    // content), as the dispatcher's message says it; empty when every folder and file the
    // package names now stands restored from it.
    std::string m_packageShortfall;
    // Whether that restore left a folder or file it names uncreated, or restored a damaged
    // content (files kept at the user's word do not count).
    bool m_packageIncomplete = false;
    // Whether a restore of the last batch that went on to its end was so incomplete; the
    // batch's result stands, for the caller to weigh.
    bool m_batchIncomplete = false;
    // The packages of the last batch whose bytes the dispatcher overwrote and removed, as named
    // in its list (a package kept, or removed only by name, is not among them).
    std::vector<std::string> m_wipedPackages;

    // Restores only check: the password or key, every record and content CRC, the signature,
    // and that nothing lies beyond what the records name; no folder is asked for, nothing is
    // written.
    int m_testOnly = 0;

    // Entries the last collection pass met inside a tree and left out: symbolic links (never
    // followed there), pipes, devices and sockets. The caller names them in one notice.
    std::vector<std::string> m_leftOutEntries;

    // The files the last encryption pass read contents from, as each was when opened: what a
    // caller that wipes a source checks it against (the same file, unchanged since).
    std::vector<FileIdentity> m_sealedSources;

    const EngineContext& Context() const { return m_context; }
    // What the layouts (src/formats/) read and write through: this object's checked calls,
    // CRC register and field cipher. Lives as long as the engine object.
    RecordIo& Records() { return m_records; }

protected:
    EngineContext m_context;
    // The checked calls, the CRC register and the field cipher (what the layouts work through).
    CheckedRecordIo m_records;

    // Field cipher parameters and key (engine/CheckedRecordIo.h), for the name cipher and the
    // card cipher's tail.
    int m_fieldCipherMode = kFieldCipherMode;
    int m_fieldCipherAlg = kFieldCipherAlg;
    unsigned char m_fieldKey[16];

    // Folder that package item names are relative to, and the path being processed.
    char m_baseFolder[kMaxPath]{};
    char m_workPath[kMaxPath]{};

    // ---- Cipher frame and card state ------------------------------------------------------
    int m_cipherMode = 0;  // 1 software, 3 PCI card, 4 ISA card; set by every init
    int m_verifierType = 0;
    SignerProof m_signerProof;
    int m_lastCardResult = 0;
    // Software contexts, digest contexts, the card driver modules and card sessions. Releasing
    // it closes any card session still open and unloads the driver modules.
    struct CipherState;
    struct CipherStateFree {
        void operator()(CipherState* state) const;
    };
    static CipherState* NewCipherState();
    std::unique_ptr<CipherState, CipherStateFree> m_cipherState{NewCipherState()};

    // One block buffer for reading files through, made on first use and kept for the engine's
    // life. (Package and mail contents stream through the package layer's ContentStream.)
    unsigned char* BlockIn();

private:
    std::unique_ptr<unsigned char[]> m_blockIn;

    // ---- Password package steps (the rest is the package layer's, src/package/) ------------
    int WriteKeyCheckBlock(CFile* package, const EncryptFlag& head, const Sysmetry_Decrypt_Info& info);
    int DecryptOpenPackage(CFile& package, const std::string& packageFolder, HWND notifyWindow, int direct, int silent);
    int CheckPackagePassword(const EncryptFlag& head, const std::vector<unsigned char>& check,
                             const SecretText& password, unsigned char* key, int silent);

    // ---- Secure deletion (src/wipe/) -------------------------------------------------------
public:
    // Deletes every file and folder tree of a path list (NUL-terminated paths ended by an
    // empty one). DelFileOrDir overwrites the first 10,240 bytes of every file with zeros,
    // TrueDelFileOrDir every file completely with one block of at most 20,480 random bytes;
    // the overwrite reaches the disk before the file is unlinked. Emptied folders are removed
    // afterwards. A symbolic link, named or met in a tree, is removed and never followed; a
    // path that names nothing is passed over; a path ending in "." or ".." is refused. A file
    // with more than one name is never overwritten (only its name goes), nor is one that cannot
    // be opened for writing (its name goes when the system allows it): both count as not
    // deleted. What is not deleted is written with the reason into the delete log
    // (wipe/DeleteLog.h); DelFileOrDir then offers the log to the logon library's open query.
    // flag has no effect. 1 when everything named is gone and wiped, else 0.
    int DelFileOrDir(char* pathList, int flag);
    int TrueDelFileOrDir(char* pathList, int flag);

private:
    int DeletePathList(const char* pathList, bool randomFill);
    // One file (or link, or special file): 1 when it is gone. log may be null.
    int DelFile(const char* path, CFile* log, int flag);
    int TrueDelFile(const char* path, CFile* log, int flag);
    // Deletes the files of a tree, leaving its folders. 0 when folder is not a folder or a
    // file below it stays; an enumeration error ends that folder's walk with 0.
    int DelFilesOfDirectory(const char* folder, CFile* log, int flag);
    int TrueDelFilesOfDirectory(const char* folder, CFile* log, int flag);
    int DeleteFilesBelow(const char* folder, CFile* log, bool randomFill);
    // Removes a tree's folders that hold nothing; a folder on the path to something that
    // stays is kept (and not logged). 1 when the folder and every folder below are gone.
    int RemoveEmptyDir(const char* folder, CFile* log, int flag);
    int RemoveSingleEmptyDir(const char* folder, CFile* log);
    // The walk's steps work on entries of a folder held open (folderFd; kCurrentFolder for a named
    // path), so a folder swapped for a link while the walk runs never leads it out of the
    // tree. path is the entry's full path, for the log.
    int DeleteEntryAt(int folderFd, const char* name, const std::string& path, CFile* log, bool randomFill);
    int DeleteFilesIn(int folderFd, const std::string& folderPath, CFile* log, bool randomFill);
    int RemoveFoldersIn(int folderFd, const std::string& folderPath, CFile* log);
    // Appends "<path>, 出错原因: <text>" for the system's error, or for a reason of the
    // deletion's own, to the log (when given).
    void WriteDeleteLogEntry(CFile* log, const char* path, int error);
    void WriteDeleteLogEntry(CFile* log, const char* path, const std::string& reason);
};
