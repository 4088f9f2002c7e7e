#pragma once
// The key device of a key-device user: where that user's private key lives instead of the
// store. The store only talks to IKeyDevice, and makes every device through the key-device
// factory from the device text it keeps for the user, so a PKCS#11 token can take the
// folder's place: its OpenKey answers a provider-backed EVP_PKEY (the key never leaves the
// token), StoreKey generates or imports on the token, and IsPresent asks the slot. The
// factory is the one place that tells device texts apart.
//
// FolderKeyDevice is the device of this build: a folder (a removable medium, typically)
// holding "<user ID>.p8", the user's key as PKCS#8 PEM encrypted under the user's password
// (and "<user ID>.p8.next" while a password change or a registration is under way).
// The device is present while that file exists. Written files are 0600, written whole to
// a temporary name first and renamed into place, so a device never holds half a key.

#include <memory>
#include <string>

#include "logon/KeptKey.h"
#include "logon/LogonKeys.h"

namespace logon {

// What SignOnDevice and UnwrapOnDevice answer on failure.
inline constexpr int kDeviceFailed = -1;
inline constexpr int kDeviceSaid = -2;

class IKeyDevice {
public:
    virtual ~IKeyDevice() = default;
    virtual bool IsPresent() = 0;
    // The key, opened with the user's password; empty when absent or the password is wrong.
    virtual PkeyPtr OpenKey(const char* password, size_t length) = 0;
    // The same, answering from (and filling) kept when keep is set (see KeptKey). A device
    // whose key never leaves it has nothing to keep and opens it as OpenKey does.
    virtual PkeyPtr OpenKeptKey(const char* password, size_t length, KeptKey& /*kept*/, bool /*keep*/) {
        return OpenKey(password, length);
    }
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
    // Where the user's key lives on the device, as messages name it.
    virtual std::string KeyPlace() const = 0;
    // Where a key the device already holds for this user lies, current or staged (a left-over
    // of another store, or of a registration that was killed); empty when it holds none.
    virtual std::string HeldKey() const = 0;
    // A device whose key never leaves it (a token) signs and unwraps itself: OpenKey answers
    // nothing there, and the store hands it the work instead. Both answer the output's length,
    // kDeviceSaid when the device has shown why it failed (the caller adds nothing), or
    // kDeviceFailed when nothing was shown (bad input, an envelope key that does not decode).
    virtual bool KeyStaysOnDevice() const { return false; }
    // RSA PKCS#1 v1.5 over the SHA-1 DigestInfo of a 20-byte digest.
    virtual int SignOnDevice(const unsigned char* /*digest*/, size_t /*digestLength*/, unsigned char* /*signature*/,
                             size_t /*room*/) {
        return kDeviceFailed;
    }
    // A new user's key made on the device itself, and its self-signed certificate (what
    // MakeSelfSignedCert makes); null when the device cannot (it has said why, and keeps no
    // half-made key).
    virtual X509Ptr MakeKeyOnDevice(const std::string& /*name*/, const std::string& /*email*/, long /*serial*/) {
        return nullptr;
    }
    // RSA-OAEP with SHA-256 and MGF1-SHA-256, as the store wraps session keys.
    virtual int UnwrapOnDevice(const unsigned char* /*in*/, size_t /*length*/, unsigned char* /*out*/,
                               size_t /*room*/) {
        return kDeviceFailed;
    }
};

class FolderKeyDevice : public IKeyDevice {
public:
    // cost: of keys written (lowered in tests).
    FolderKeyDevice(std::string folder, const std::string& userId, const KeyCost& cost = {});
    bool IsPresent() override;
    PkeyPtr OpenKey(const char* password, size_t length) override;
    PkeyPtr OpenKeptKey(const char* password, size_t length, KeptKey& kept, bool keep) override;
    bool StoreKey(EVP_PKEY* key, const char* password, size_t length) override;
    bool EraseKey() override;
    bool StageKey(EVP_PKEY* key, const char* password, size_t length) override;
    bool CommitStagedKey() override;
    void DropStagedKey() override;
    bool SettleStagedKey(const char* password, size_t length) override;
    std::string KeyText() override;
    std::string KeyPlace() const override { return m_path; }
    std::string HeldKey() const override;
    const std::string& KeyPath() const { return m_path; }
    const std::string& StagedPath() const { return m_staged; }

private:
    bool WriteKey(const std::string& path, EVP_PKEY* key, const char* password, size_t length);

    std::string m_path;
    std::string m_staged;
    KeyCost m_cost;
};

// Makes key devices from the device texts the store keeps for its users.
class IKeyDeviceFactory {
public:
    virtual ~IKeyDeviceFactory() = default;
    // The device deviceText names for userId; never null (a device that cannot be reached is
    // one that is not present). cost: of keys written (lowered in tests).
    virtual std::unique_ptr<IKeyDevice> Open(const std::string& deviceText, const std::string& userId,
                                             const KeyCost& cost = {}) const = 0;
    // The device text to keep for a new user who names `given` as device, the device made
    // ready for a key; empty when it cannot be used.
    virtual std::string Prepare(const std::string& given) const = 0;
};

struct TokenSettings;
class TokenLink;

// The factory of this build: a device text that is a pkcs11: URI names a token
// (TokenKeyDevice, through the module of the settings; one link per token, kept while the
// factory lives, so a batch logs in once); any other is a folder (FolderKeyDevice), kept as an
// absolute path and created owner-only when a user is registered on it.
class StandardKeyDevices : public IKeyDeviceFactory {
public:
    // Tokens through the store's setting "Device"/"Module" (default the p11-kit proxy), the PIN
    // asked through the password dialog.
    StandardKeyDevices();
    explicit StandardKeyDevices(const TokenSettings& tokens);
    ~StandardKeyDevices() override;
    std::unique_ptr<IKeyDevice> Open(const std::string& deviceText, const std::string& userId,
                                     const KeyCost& cost = {}) const override;
    std::string Prepare(const std::string& given) const override;

private:
    struct Links;
    std::unique_ptr<Links> m_links;
};

// The factory of the engine call running on this thread (see engine/EngineContext.h), else the
// standard one.
const IKeyDeviceFactory& KeyDevices();
// Binds `factory` to the calling thread (null: the standard one) and returns the one bound
// before. Only the engine's call binding uses it.
const IKeyDeviceFactory* BindThreadKeyDevices(const IKeyDeviceFactory* factory);

// A file's contents, at most maxBytes; false when unreadable or larger.
bool ReadSmallFile(const std::string& path, size_t maxBytes, std::string& out);

}  // namespace logon
