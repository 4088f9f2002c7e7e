#pragma once
// CAdvanceEmcrypt: files encrypted one by one, each into its own envelope package under a
// generated name beside it, after which the original is wiped; for the logged-on user alone
// (kind 2) or for everyone a share path names (kind 8, at most 200 people); and what such a
// package holds, read without decrypting it.
//
// Nothing is lost if the process or the machine stops at any moment: a package is written
// under a temporary name, moved to its final name only when complete, and flushed to the disk
// together with its folder entry before the original is wiped. A package name that exists is
// never chosen, and with "RandFileName" FALSE an existing "x.vrk" is replaced only by that
// final move.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "advanced/SourceWiper.h"
#include "engine/Korvane.h"
#include "formats/EncryptArgs.h"
#include "formats/EncryptFlag.h"
#include "logon/ILogon.h"
#include "platform/Messages.h"

class CAdvanceEmcrypt : public CKorvane {
public:
    CAdvanceEmcrypt();
    explicit CAdvanceEmcrypt(const EngineContext& context) : CKorvane(context) {}
    ~CAdvanceEmcrypt() override;

    // Encrypts every file of `fileList` (NUL-terminated paths ended by an empty one) for
    // userId, one package per file, with a progress window; an empty list does nothing.
    // Stops after the current file when a file answers -1. Always 1.
    int EncryptMuchFiles(const char* fileList, const char* userId, const char* password, HWND notifyWindow);

    // The same for the owner and every authorised decryptor of sharePath (kind 8). 0 when the
    // password is refused or the recipient list cannot be built (nothing is touched then).
    int ShareEncryptMuchFiles(const char* fileList, const char* sharePath, const char* userId, const char* password,
                              HWND notifyWindow);

    // A free name in `folder` (a separator is appended in place; room for 260 characters):
    // 10 random letters or digits, then ".ext" when `ext` is not empty, then ".vrk". out is
    // empty when that path would not fit 260 characters.
    void Generate_RandomEncryptFileName(char* folder, const char* ext, char* out);

    // Appends to *buffer (heap, owned by the caller, released with std::free; starts null
    // with *used 0) the files under `path`: a file, or a folder's files recursively without
    // "dirinfo" entries, the temporary files of writes in progress and "my documents/
    // desktop.ini". Files the batch passes over by name (packages among them) are collected, so
    // that the batch lists them as skipped. Links and special files met inside a folder are left
    // out (m_leftOutEntries). 0 when `path` is neither a file nor a folder, when a folder
    // cannot be listed in full (said by name), or when memory ran out (said).
    int Collect_EncryptFileName(const char* path, char** buffer, int* used);

    // The original name (nameText, 260) and modification time (timeText, 260) of the single
    // file in an envelope package, for the user it was encrypted for. Reads and decrypts
    // nothing else; shows nothing. nameText is "混合文件" for a package of several items (time
    // empty, size 0: no one item's stands for them), once the user's access is proven. 1 on
    // success (also for a password package, with nameText empty), else 0. *size (when given)
    // receives the file's size as stored.
    int GetFileOriInfo(const char* path, const char* userId, const char* password, Lumo_PrivateKey privateKey,
                       char* nameText, char* timeText, int32_t* size = nullptr);

    // Non-zero: a source file that cannot be opened is passed over without asking.
    int m_quiet = 0;

    // What became of one file of a batch. Each file has exactly one fate.
    enum class Fate {
        kEncrypted,  // its package is on the disk and its content was wiped
        kNotWiped,   // its package is on the disk, but its content was left there (said)
        kSkipped,    // passed over: by its name (`skip`), or gone before it was reached
        kFailed,     // no package holds it, or one was made but the file was kept as it is (said)
        kStopped,    // the batch stopped at it (said)
    };
    // The rule by which a file was passed over.
    enum class SkipRule {
        kNone,
        kPackageName,    // named as a package (".vrk", ".vrk$"): whether it is one or not
        kSignatureName,  // named as a signature file (".idi")
        kLockFileName,   // an office lock file ("~$...")
        kGone,           // gone when its turn came (another run encrypted it meanwhile)
    };
    // What the last batch did with each file it reached, in order (files behind a stop are not
    // listed). package is the durable package made for it, empty when none was; a failed file
    // may have one (it was then kept beside its package, and said so).
    struct FileOutcome {
        std::string source;
        std::string package;
        Fate fate = Fate::kFailed;
        SkipRule skip = SkipRule::kNone;
    };
    std::vector<FileOutcome> m_outcomes;

protected:
    // One file for userId: 1 encrypted or skipped by rule, 0 this file failed, -1 stop the
    // batch (cancelled, logged off, key device gone).
    int EnvelopEncryptSingleFile(const char* path, const char* userId, const char* password);

private:
    // The package name of a source file: a random one (Generate_RandomEncryptFileName's form
    // with 8 characters) unless "RandFileName" is set to something else than TRUE, then
    // "<path>.vrk". out has room for 260 characters; it is empty when the name would not fit.
    void Generate_EncryptFileName(const char* path, char* out);
    // The template head (kind 2, one recipient) and the recipient entry of userId.
    int SetEnvelopEncryptFileFixedHead(EncryptFlag* head, Decrypt_UserInfo* recipients, int* count, const char* folder,
                                       const char* userId);
    // The template head (kind 8) and the recipients of a shared batch: the owner first, then
    // every authorised decryptor of sharePath once. recipients has room for 200.
    int SetShareEncryptFileFixedHead(EncryptFlag* head, Decrypt_UserInfo* recipients, int* count, const char* userId,
                                     const char* sharePath);
    int ShareEncryptSingleFile(const char* path, const char* userId, const char* password, EncryptFlag head,
                               Decrypt_UserInfo* recipients, int count);

    // What the single-file and shared encryption share from the source checks to the wipe.
    // failedMessage is shown when the package records cannot be written; failedResult is
    // what that failure answers.
    int EncryptInPlace(const char* path, const EncryptFlag& head, const Decrypt_UserInfo* recipients, int count,
                       const MessageDef& failedMessage, int failedResult);
    // The entries of a path list up to its first empty one.
    static std::vector<std::string> ListEntries(const char* fileList);

    // What became of a source handed to the wiper, its messages shown under its name; except
    // when other names kept its content, which is said by SayOtherNames.
    Fate SourceFate(const SourceWiper::Outcome& outcome);
    static void SayOtherNames(const std::string& source);
    // Waits for the file in the batch's wiper, if any, and records its fate in m_outcomes.
    void SettlePending();
    // At the batch's end: a file that lost only its name to the wipe, because other names led
    // to its content, counts as wiped when a later file of the batch was that content under
    // another name and was wiped; each other one is said now, when that is known.
    void SayContentLeft();

    std::string m_lastPackage;              // the package EncryptInPlace made for the file at hand
    SkipRule m_lastSkip = SkipRule::kNone;  // the rule the file at hand was passed over by
    SourceWiper* m_wiper = nullptr;         // the batch's, while one runs
    size_t m_pendingOutcome = 0;            // the m_outcomes entry of the file in the wiper's hand
    // The batch's files whose name alone was removed (other names led to their content): their
    // m_outcomes entry and the file the package holds.
    struct NameOnly {
        size_t outcome;
        FileIdentity file;
    };
    std::vector<NameOnly> m_nameOnly;
    // The recipient entry of the batch's user, looked up in the store by the batch's first
    // file and reused by the rest (wiped when the batch ends); empty outside a batch.
    struct BatchRecipient {
        bool inBatch = false;
        bool filled = false;
        std::string userId;
        Decrypt_UserInfo entry{};
        void Forget();
    } m_batchRecipient;
    // The batch frame of both drivers: progress window, per-file messages, stop on -1.
    void RunBatch(const std::vector<std::string>& files, HWND notifyWindow,
                  const std::function<int(const char* path)>& encryptOne);
    // False (after its message) when somebody else than userId is logged on: packages are made
    // and signed as the user logged on, so a batch for anybody else is refused before any
    // password is tried.
    static bool IsLoggedOnUser(ILogon& logon, const char* userId);
    // The source checks before a package is made: 1 go on; else *verdict is the file's
    // result (1 skipped by rule, m_lastSkip set; 0 failed; -1 stop).
    int ReadySource(const char* path, int* verdict);
};
