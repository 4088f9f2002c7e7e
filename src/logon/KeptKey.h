// The logged-on user's private key, kept open for the session.
//
// Opening a key stored under a password costs a key derivation (about a tenth of a second);
// signing a batch of small files, or opening envelopes one after another, would pay it per
// file or per call. The session already holds the user's password in memory, so holding the
// key it opens adds no power to whoever can read this process's memory; it is dropped at
// log-off together with the password.
//
// The kept key answers only for the same stored text it was opened from and only under the
// session's password: a key re-encrypted or replaced in the meantime, or any other password,
// is opened from the store again, so every answer is the one the store would give.

#pragma once

#include <string>
#include <string_view>
#include <thread>

#include "logon/LogonKeys.h"

namespace logon {

class KeptKey {
public:
    KeptKey() = default;
    KeptKey(const KeptKey&) = delete;
    KeptKey& operator=(const KeptKey&) = delete;
    ~KeptKey() { Forget(); }

    // The key that pem opens under password. When keep is set (the password is the session's),
    // the key opened is kept and the same pem answers from memory next time.
    PkeyPtr Open(const std::string& pem, const char* password, size_t length, bool keep);
    // Opens pem under the session's password on a thread of its own and keeps the key, so that
    // a command derives the key beside other work. The first Open waits for it; a key that does
    // not open is simply not kept.
    void OpenBehind(const std::string& pem, std::string_view password);
    void Forget();

private:
    // Waits for an opening behind, and keeps what it opened.
    void Settle();

    std::string m_pem;  // the encrypted text the kept key came from
    PkeyPtr m_key;
    std::thread m_opener;  // an opening behind, while it runs
    std::string m_openerPem;
    PkeyPtr m_opened;  // written by m_opener only
};

}  // namespace logon
