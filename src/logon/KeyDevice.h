#pragma once
// The key device of a key-device user: where that user's private key lives instead of the
// store. The store only talks to IKeyDevice, so a PKCS#11 token can take the folder's place:
// its OpenKey answers a provider-backed EVP_PKEY (the key never leaves the token), StoreKey
// generates or imports on the token, and IsPresent asks the slot.
//
// FolderKeyDevice is the device of this build: a folder (a removable medium, typically)
// holding "<user ID>.p8", the user's key as PKCS#8 PEM encrypted under the user's password
// (and "<user ID>.p8.next" while a password change or a registration is under way).
// The device is present while that file exists. Written files are 0600, written whole to
// a temporary name first and renamed into place, so a device never holds half a key.

#include <string>

#include "logon/KeptKey.h"
#include "logon/LogonKeys.h"

namespace logon {

class IKeyDevice {
public:
    virtual ~IKeyDevice() = default;
    virtual bool IsPresent() = 0;
    // The key, opened with the user's password; empty when absent or the password is wrong.
    virtual PkeyPtr OpenKey(const char* password, size_t length) = 0;
    // Puts key on the device, protected by password; replaces an older key.
    virtual bool StoreKey(EVP_PKEY* key, const char* password, size_t length) = 0;
    // Removes the key again, current and staged, overwritten first. False when a key file
    // is still there afterwards.
    virtual bool EraseKey() = 0;
    // A new password in two steps around the store's transaction: StageKey keeps the key
    // under the new password beside the current one, CommitStagedKey makes it current.
    // Until then OpenKey tries both, so a process killed between the store's commit and
    // the device's leaves a key that opens with whichever password the store accepts.
    // A new user's key is staged the same way and made current after the store's commit,
    // so a registration killed half-way leaves no current key behind.
    virtual bool StageKey(EVP_PKEY* key, const char* password, size_t length) = 0;
    virtual bool CommitStagedKey() = 0;
    virtual void DropStagedKey() = 0;
    // Ends a change left unfinished before a new one is staged over it. password is the
    // one the store accepts now: a staged key it opens was committed by the store and
    // becomes current; any other staged key was never committed and is removed. False
    // when the device cannot be put in order (nothing is staged then).
    virtual bool SettleStagedKey(const char* password, size_t length) = 0;
    // The current key file's text (encrypted); empty when there is none.
    virtual std::string KeyText() = 0;
};

class FolderKeyDevice : public IKeyDevice {
public:
    // cost: of keys written (lowered in tests).
    FolderKeyDevice(std::string folder, const std::string& userId, const KeyCost& cost = {});
    bool IsPresent() override;
    PkeyPtr OpenKey(const char* password, size_t length) override;
    // The same, answering from (and filling) kept when keep is set: see KeptKey.
    PkeyPtr OpenKey(const char* password, size_t length, KeptKey& kept, bool keep);
    bool StoreKey(EVP_PKEY* key, const char* password, size_t length) override;
    bool EraseKey() override;
    bool StageKey(EVP_PKEY* key, const char* password, size_t length) override;
    bool CommitStagedKey() override;
    void DropStagedKey() override;
    bool SettleStagedKey(const char* password, size_t length) override;
    std::string KeyText() override;
    const std::string& KeyPath() const { return m_path; }
    const std::string& StagedPath() const { return m_staged; }

private:
    bool WriteKey(const std::string& path, EVP_PKEY* key, const char* password, size_t length);

    std::string m_path;
    std::string m_staged;
    KeyCost m_cost;
};

// Creates folder (and missing parents) with owner-only permissions; true when it exists.
bool MakeOwnerOnlyFolder(const std::string& folder);
// A file's contents, at most maxBytes; false when unreadable or larger.
bool ReadSmallFile(const std::string& path, size_t maxBytes, std::string& out);

}  // namespace logon
