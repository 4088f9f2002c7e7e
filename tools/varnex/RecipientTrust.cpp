#include "RecipientTrust.h"

#include <openssl/x509.h>

#include "CliMessages.h"
#include "Session.h"
#include "logon/CertProfile.h"
#include "logon/LogonStore.h"
#include "platform/PrintableText.h"
#include "platform/SslHandles.h"

namespace {

// A certificate outside its dates protects nothing: an expired one's key may long since have
// been given up, and one not yet valid was not meant to be used yet.
bool ValidNowOrSay(LogonStore& store, const std::string& id) {
    const X509Ptr cert = store.InstalledCert(id);
    if (!cert) return true;  // none to judge: the engine says what it cannot find
    const int validity = logon::CertValidityNow(cert.get());
    if (validity == 0) return true;
    const std::string from = logon::CertTimeText(X509_get0_notBefore(cert.get()));
    const std::string until = logon::CertTimeText(X509_get0_notAfter(cert.get()));
    CliFail(validity > 0 ? MessageText(msg::cli::RecipientCertExpired, EscapeText(id), until, from)
                         : MessageText(msg::cli::RecipientCertNotYetValid, EscapeText(id), from, until));
    return false;
}

}  // namespace

bool RecipientsUsableOrSay(LogonStore& store, const std::vector<std::string>& ids, bool unknownRefused) {
    for (const std::string& id : ids) {
        switch (store.RecipientState(id)) {
            case kCertConfirmed:
                break;
            case kCertNeverConfirmed:
                CliFail(MessageText(msg::cli::RecipientNotConfirmed, EscapeText(id), EscapeText(id)));
                return false;
            case kCertModified:
                CliFail(MessageText(msg::cli::RecipientCertChanged, EscapeText(id)));
                return false;
            default:
                if (!unknownRefused) continue;
                CliFail(id.size() > 1 && id[0] == '@' ? MessageText(msg::cli::NoSuchGroupName, EscapeText(id.substr(1)))
                                                      : MessageText(msg::cli::NoSuchUserId, EscapeText(id)));
                return false;
        }
        if (!ValidNowOrSay(store, id)) return false;
    }
    return true;
}
