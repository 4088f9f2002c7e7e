// A user's certificate and key from elsewhere: requests for a CA, the certificate it issued,
// and users whose key and certificate come in a PKCS#12 file.

#include <openssl/evp.h>
#include <openssl/x509.h>

#include "logon/CertFiles.h"
#include "logon/CertProfile.h"
#include "logon/LogonStore.h"
#include "logon/StoreMessages.h"

namespace {

// Larger files than these are not what they should be (a certificate with its chain; a key
// with its certificates).
constexpr size_t kMaxCertFile = 64 * 1024;
constexpr size_t kMaxPkcs12File = 256 * 1024;

}  // namespace

// The user and their own certificate, for the commands that change or use it; false after
// saying why.
bool LogonStore::FindOwnCert(const std::string& userId, UserRow& user, CertRow& cert) {
    m_error.clear();
    if (!IsOpen()) return Fail(MessageText(msg::logon_store::NotOpen));
    if (!FindUser(userId, user) || !FindCert(CertificateNameOf(user.id), cert))
        return Fail(MessageText(msg::logon_store::NoSuchUser, userId));
    return true;
}

bool LogonStore::RequestCert(const std::string& userId, std::string_view password, std::string& pem) {
    UserRow user;
    CertRow cert;
    if (!FindOwnCert(userId, user, cert)) return false;
    if (!PasswordOk(user, password.data(), static_cast<int>(password.size()))) {
        return Fail(MessageText(msg::logon_store::WrongPassword, user.id));
    }
    if (user.type == kLogonKeyDevice && !logon::KeyDevices().Open(user.device, user.id)->IsPresent()) {
        return Fail(MessageText(msg::logon_store::DeviceAbsent, user.id));
    }
    logon::PkeyPtr key = OpenPrivateKey(user, password.data(), password.size());
    if (!key) return Fail(MessageText(msg::logon_store::KeyCannotOpen, user.id));
    logon::X509Ptr current = logon::CertFromDer(cert.record.der);
    pem = logon::MakeCertRequestPem(key.get(), current.get());
    return pem.empty() ? Fail(MessageText(msg::logon_store::CannotMakeRequest)) : true;
}

bool LogonStore::InstallUserCert(const std::string& userId, const std::string& path) {
    UserRow user;
    CertRow current;
    if (!FindOwnCert(userId, user, current)) return false;
    std::vector<unsigned char> bytes;
    if (!ReadInputFile(path, kMaxCertFile, bytes)) return false;
    std::vector<X509Ptr> certs = logon::ReadCertificates(bytes);
    if (certs.empty()) return Fail(MessageText(msg::logon_store::NoReadableCert, path));

    // The certificate is the one of the user's key; whatever else came is its chain.
    logon::X509Ptr own = logon::CertFromDer(current.record.der);
    logon::PkeyPtr key = logon::PublicKeyOf(own.get());
    const X509* issued = nullptr;
    for (const X509Ptr& cert : certs) {
        logon::PkeyPtr pub = logon::PublicKeyOf(cert.get());
        if (key && pub && EVP_PKEY_eq(key.get(), pub.get()) == 1) {
            issued = cert.get();
            break;
        }
    }
    if (issued == nullptr) {
        return Fail(MessageText(msg::logon_store::CertForOtherKey, path, user.id));
    }
    if (std::string problem = logon::UserCertProblem(issued); !problem.empty()) {
        return Fail(MessageText(msg::logon_store::CertNotUsers, path, user.id, problem));
    }
    Lumo_PubCert record = current.record;
    record.subjectName = logon::CertSubjectName(issued);
    if (record.subjectName.empty()) record.subjectName = user.name;
    record.email = logon::CertEmail(issued);
    record.der = logon::CertToDer(issued);
    // Mail for the user goes to the address the store holds: a certificate for another one
    // would send people's mail elsewhere.
    if (!user.email.empty() && !LogonEqualNoCase(record.email, user.email)) {
        return Fail(MessageText(msg::logon_store::CertForOtherAddress, path, record.email, user.email, user.id));
    }
    if (std::string error = logon::CheckNameAndEmail(record.subjectName, record.email); !error.empty()) {
        return Fail(path + ": " + error);
    }
    const std::vector<unsigned char> chain = logon::ChainToDer(logon::IssuerChain(issued, certs));
    {
        logon::Transaction tx(m_db);
        // The user's own certificate, installed by the user: confirmed as it is.
        logon::Statement update(m_db,
                                "UPDATE certs SET subject = ?1, email = ?2, der = ?3, chain = ?4, confirmed = ?5 "
                                "WHERE name = ?6 AND user_number = ?7");
        update.Bind(1, record.subjectName).Bind(2, record.email).Bind(3, record.der);
        chain.empty() ? update.BindNull(4) : update.Bind(4, chain);
        update.Bind(5, logon::CertFingerprint(record.der)).Bind(6, record.name);
        update.Bind(7, static_cast<int64_t>(user.number));
        if (!tx.Ok() || !update.Run()) return Fail(MessageText(msg::logon_store::CannotInstallCert, m_db.Error()));
        if (sqlite3_changes(m_db.Handle()) != 1)
            return Fail(MessageText(msg::logon_store::UserRemovedMeanwhile, user.id));
        if (!tx.Commit()) return Fail(MessageText(msg::logon_store::CannotInstallCert, m_db.Error()));
    }
    WriteCertFile(record, chain);  // a failure here heals when the file is next asked for
    return true;
}

int32_t LogonStore::ImportUser(const std::string& userId, const std::string& path, std::string_view filePassword,
                               std::string_view password) {
    m_error.clear();
    if (!IsOpen()) return Fail(MessageText(msg::logon_store::NotOpen));
    for (const std::string& error : {logon::CheckUserId(userId), logon::CheckPassword(password)}) {
        if (!error.empty()) return Fail(error);
    }
    std::vector<unsigned char> bytes;
    if (!ReadInputFile(path, kMaxPkcs12File, bytes)) return 0;
    logon::Pkcs12Contents p12;
    switch (logon::ReadPkcs12(bytes, filePassword, p12)) {
        case logon::Pkcs12Result::kOk:
            break;
        case logon::Pkcs12Result::kNotPkcs12:
            return Fail(MessageText(msg::logon_store::NotPkcs12, path));
        case logon::Pkcs12Result::kWrongPassword:
            return Fail(MessageText(msg::logon_store::WrongFilePassword, path));
        case logon::Pkcs12Result::kUnreadable:
            return Fail(MessageText(msg::logon_store::Pkcs12Unreadable, path));
        case logon::Pkcs12Result::kNoKey:
            return Fail(MessageText(msg::logon_store::NoPrivateKey, path));
    }
    if (!p12.cert || X509_check_private_key(p12.cert.get(), p12.key.get()) != 1) {
        return Fail(MessageText(msg::logon_store::NoCertOfKey, path));
    }
    if (std::string problem = logon::UserCertProblem(p12.cert.get()); !problem.empty()) {
        return Fail(MessageText(msg::logon_store::NotAUsersCert, path, problem));
    }
    if (EVP_PKEY_get_base_id(p12.key.get()) != EVP_PKEY_RSA) {
        return Fail(MessageText(msg::logon_store::KeyNotRsa, path));
    }
    std::string name = logon::CertSubjectName(p12.cert.get());
    if (name.empty()) name = userId;
    const std::string email = logon::CertEmail(p12.cert.get());
    if (std::string error = logon::CheckNameAndEmail(name, email); !error.empty()) return Fail(path + ": " + error);
    if (std::string error = RegistrationClash(userId, name, email); !error.empty()) return Fail(error);
    const std::vector<unsigned char> chain = logon::ChainToDer(logon::IssuerChain(p12.cert.get(), p12.others));
    return StoreNewUser(userId, name, email, password, p12.key.get(), p12.cert.get(), chain, {});
}
