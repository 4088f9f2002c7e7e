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

#include "logon/LogonKeys.h"

namespace logon {

class KeptKey {
public:
    // The key that pem opens under password. When keep is set (the password is the session's),
    // the key opened is kept and the same pem answers from memory next time.
    PkeyPtr Open(const std::string& pem, const char* password, size_t length, bool keep);
    // Keeps key, opened from pem under the session's password by someone else.
    void Keep(const std::string& pem, PkeyPtr key);
    void Forget();

private:
    std::string m_pem;  // the encrypted text the kept key came from
    PkeyPtr m_key;
};

}  // namespace logon
