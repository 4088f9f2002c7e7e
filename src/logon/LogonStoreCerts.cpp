// Installed certificates: the users' own and those of other people, their files in certs/,
// confirmations, and the look-ups of signers and recipients by any text that names them.

#include <openssl/evp.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "logon/CertFiles.h"
#include "logon/CertProfile.h"
#include "logon/LogonStore.h"
#include "logon/StoreMessages.h"
#include "platform/AtomicFile.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kCertColumns =
    "SELECT name, user_number, subject, email, der, confirmed, chain, source FROM certs ";
// A certificate file larger than this is not a certificate (with its chain).
constexpr size_t kMaxCertFile = 64 * 1024;

template <typename Row>
void ReadCertRow(const logon::Statement& q, Row& out) {
    out.record.name = q.Text(0);
    out.record.userNumber = static_cast<int32_t>(q.Int(1));
    out.record.subjectName = q.Text(2);
    out.record.email = q.Text(3);
    out.record.der = q.Blob(4);
    out.confirmed = q.IsNull(5) ? std::vector<unsigned char>() : q.Blob(5);
    out.chain = q.IsNull(6) ? std::vector<unsigned char>() : q.Blob(6);
    out.source = q.IsNull(7) ? std::string() : q.Text(7);
}

int ConfirmationState(const std::vector<unsigned char>& der, const std::vector<unsigned char>& confirmed) {
    if (confirmed.empty()) return kCertNeverConfirmed;
    return confirmed == logon::CertFingerprint(der) ? kCertConfirmed : kCertModified;
}

}  // namespace

// ---- Look-ups

bool LogonStore::FindCert(std::string_view name, CertRow& out) {
    logon::Statement q(m_db, (std::string(kCertColumns) + "WHERE name = ?1").c_str());
    q.Bind(1, LogonTrim(name));
    if (!q.Next()) return false;
    ReadCertRow(q, out);
    return true;
}

bool LogonStore::ReadCerts(std::vector<CertRow>& out) {
    out.clear();
    if (!IsOpen()) return Fail(MessageText(msg::logon_store::NotOpen));
    logon::Statement q(m_db, (std::string(kCertColumns) + "ORDER BY name COLLATE NOCASE").c_str());
    while (q.Next()) {
        out.emplace_back();
        ReadCertRow(q, out.back());
    }
    return q.Ok() ? true : Fail(MessageText(msg::logon_store::CannotReadCerts, m_db.Error()));
}

// A certificate named by any text naming a registered user, else by its name, else by its
// key text. Users come first: a certificate of someone else that happens to carry a user's
// key text as its name must not receive what is meant for that user.
bool LogonStore::ResolveCert(std::string_view text, CertRow& out) {
    UserRow user;
    if (ResolveUser(text, user)) return FindCert(CertificateNameOf(user.id), out);
    if (FindCert(text, out)) return true;
    std::string trimmed = LogonTrim(text);
    std::vector<CertRow> certs;
    ReadCerts(certs);
    for (auto& cert : certs) {
        if (LogonEqualNoCase(KeyTextOf(cert.record.subjectName, cert.record.email), trimmed)) {
            out = std::move(cert);
            return true;
        }
    }
    return false;
}

std::string LogonStore::MapRecipientKeyText(const std::string& text, int /*mode*/) {
    CertRow cert;
    return ResolveCert(text, cert) ? cert.record.name : LogonTrim(text);
}

int LogonStore::GetCertRecordByNumber(int32_t number, Lumo_PubCert& out) {
    UserRow user;
    CertRow cert;
    if (!FindUser(number, user) || !FindCert(CertificateNameOf(user.id), cert)) return 0;
    out = std::move(cert.record);
    return 1;
}

int LogonStore::GetSignerCert(const std::string& signerId, int /*kind*/, EVP_PKEY** key, X509** cert) {
    CertRow found;
    if (key == nullptr || cert == nullptr || !ResolveCert(signerId, found)) return 0;
    logon::X509Ptr x509 = logon::CertFromDer(found.record.der);
    logon::PkeyPtr pub = logon::PublicKeyOf(x509.get());
    if (!x509 || !pub) return 0;
    *key = pub.release();
    *cert = x509.release();
    return 1;
}

X509Ptr LogonStore::InstalledCert(const std::string& name) {
    CertRow found;
    return ResolveCert(name, found) ? logon::CertFromDer(found.record.der) : nullptr;
}

int LogonStore::GetSignerType(const std::string& signerId, int /*kind*/) {
    CertRow cert;
    UserRow user;
    return ResolveCert(signerId, cert) && FindUser(cert.record.userNumber, user) ? user.type : kLogonSoftwareKey;
}

int LogonStore::DeviceVerify(const std::string& signerId, int /*kind*/, const unsigned char* signature,
                             int signatureLength, const unsigned char* digest, int digestLength) {
    CertRow cert;
    if (signature == nullptr || signatureLength <= 0 || digestLength != static_cast<int>(kLogonDigestLength) ||
        !ResolveCert(signerId, cert)) {
        return 0;
    }
    logon::X509Ptr x509 = logon::CertFromDer(cert.record.der);
    logon::PkeyPtr pub = logon::PublicKeyOf(x509.get());
    return logon::VerifySha1Digest(pub.get(), digest, kLogonDigestLength, signature,
                                   static_cast<size_t>(signatureLength))
               ? 1
               : 0;
}

// ---- Files

std::string LogonStore::CertFilePath(const std::string& name) const { return CertFolder() + name + ".pem"; }

bool LogonStore::WriteCertFile(const Lumo_PubCert& cert, const std::vector<unsigned char>& chain) {
    logon::X509Ptr x509 = logon::CertFromDer(cert.der);
    std::string pem = logon::CertToPem(x509.get());
    if (pem.empty()) return false;
    for (const X509Ptr& issuer : logon::ChainFromDer(chain)) pem += logon::CertToPem(issuer.get());
    return MakeOwnerOnlyFolders(CertFolder()) && WriteOwnerOnlyFile(CertFilePath(cert.name), pem);
}

bool LogonStore::ReadInputFile(const std::string& path, size_t cap, std::vector<unsigned char>& bytes) {
    // "-" is standard input, as everywhere a file is read ("./-" names a file called "-"). A pipe
    // has no size to compare first: one byte past the cap is read to know it is too large.
    if (path == "-") {
        bytes.assign(cap + 1, 0);
        size_t got = 0, n = 0;
        while (got < bytes.size() && (n = std::fread(bytes.data() + got, 1, bytes.size() - got, stdin)) > 0) got += n;
        if (std::ferror(stdin)) return Fail(MessageText(msg::logon_store::CannotRead, path));
        if (got > cap) return Fail(MessageText(msg::logon_store::TooLarge, path, "> " + std::to_string(cap)));
        bytes.resize(got);
        return true;
    }
    std::error_code ec;
    auto size = fs::file_size(path, ec);
    if (ec) return Fail(MessageText(msg::logon_store::CannotReadBecause, path, ec.message()));
    if (size > cap) return Fail(MessageText(msg::logon_store::TooLarge, path, std::to_string(size)));
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) return Fail(MessageText(msg::logon_store::CannotRead, path));
    return true;
}

// The database holds the certificate; its file is written again when missing or stale.
int LogonStore::GetCertFilePath(const std::string& certName, std::string& path) {
    CertRow cert;
    if (!FindCert(certName, cert)) return 0;
    std::string file = CertFilePath(cert.record.name);
    logon::X509Ptr onDisk = logon::ReadCertificateFile(file);
    if ((!onDisk || logon::CertToDer(onDisk.get()) != cert.record.der) && !WriteCertFile(cert.record, cert.chain)) {
        return 0;
    }
    path = file;
    return 1;
}

int LogonStore::ReadCertFile(const std::string& path, LogonCertFileRecord& out) {
    std::error_code ec;
    auto size = fs::file_size(path, ec);
    if (ec || size > kMaxCertFile) return 0;
    logon::X509Ptr cert = logon::ReadCertificateFile(path);
    if (!cert) return 0;
    out.name = logon::CertSubjectName(cert.get());
    out.email = logon::CertEmail(cert.get());
    return 1;
}

int LogonStore::GetOwnCertFile(std::string& path) {
    UserRow user;
    return SessionUser(user) ? GetCertFilePath(CertificateNameOf(user.id), path) : 0;
}

// ---- Certificates of other people

bool LogonStore::ImportCert(const std::string& path, const std::string& name, std::string& installedName,
                            bool replace) {
    m_error.clear();
    if (!IsOpen()) return Fail(MessageText(msg::logon_store::NotOpen));
    std::vector<unsigned char> bytes;
    if (!ReadInputFile(path, kMaxCertFile, bytes)) return false;
    std::vector<X509Ptr> certs = logon::ReadCertificates(bytes);
    if (certs.empty()) return Fail(MessageText(msg::logon_store::NoReadableCert, path));
    // A bundle holds a person's certificate with its issuers; the person's is the one that
    // is no CA's.
    X509Ptr cert;
    size_t people = 0;
    for (X509Ptr& candidate : certs) {
        if (logon::IsCaCert(candidate.get())) continue;
        if (people++ == 0 && X509_up_ref(candidate.get()) == 1) cert.reset(candidate.get());
    }
    // A lone certificate is taken as it is: people make their own with CA:TRUE.
    if (people == 0 && certs.size() == 1) std::swap(cert, certs[0]);
    if (people == 0 && !cert) {
        return Fail(MessageText(msg::logon_store::OnlyCaCerts, path));
    }
    if (people > 1) {
        return Fail(MessageText(msg::logon_store::SeveralPeople, path, std::to_string(people)));
    }
    if (!cert) return Fail(MessageText(msg::logon_store::CannotReadCertOf, path));
    logon::PkeyPtr pub = logon::PublicKeyOf(cert.get());
    if (!pub || EVP_PKEY_get_base_id(pub.get()) != EVP_PKEY_RSA) {
        return Fail(MessageText(msg::logon_store::NoRsaKey, path));
    }
    // A damaged certificate may still parse; a self-signed one proves itself by its signature.
    if (logon::SelfIssued(cert.get()) && X509_verify(cert.get(), pub.get()) != 1) {
        return Fail(MessageText(msg::logon_store::CertDamaged, path));
    }
    const std::vector<unsigned char> chain = logon::ChainToDer(logon::IssuerChain(cert.get(), certs));
    Lumo_PubCert record;
    record.subjectName = logon::CertSubjectName(cert.get());
    record.email = logon::CertEmail(cert.get());
    record.der = logon::CertToDer(cert.get());
    record.name = name.empty() ? record.subjectName : name;
    if (std::string error = logon::CheckCertName(record.name); !error.empty()) {
        return Fail(error + (name.empty() ? MessageText(msg::logon_store::NameItWithName) : std::string()));
    }
    if (record.subjectName.empty()) return Fail(MessageText(msg::logon_store::NoCertName, path));
    if (std::string error = logon::CheckNameAndEmail(record.subjectName, record.email); !error.empty()) {
        return Fail(path + ": " + error);
    }
    {
        // The checks run inside the transaction, so a user registered meanwhile by another
        // process is seen; the upsert never replaces a user's own certificate either way.
        logon::Transaction tx(m_db);
        if (!tx.Ok()) return Fail(MessageText(msg::logon_store::CannotInstallCert, m_db.Error()));
        UserRow user;
        if (FindUser(record.name, user)) {
            return Fail(MessageText(msg::logon_store::RegisteredUserCert, record.name));
        }
        if (std::string clash = KeyTextClash({}, record.name); !clash.empty()) {
            return Fail(MessageText(msg::logon_store::InstallUnderOtherName, clash));
        }
        // Another person's certificate is never swapped for another key unnoticed.
        CertRow installed;
        if (!replace && FindCert(record.name, installed) && installed.record.userNumber == 0 &&
            installed.record.der != record.der) {
            return Fail(MessageText(msg::logon_store::OtherCertInstalled, installed.record.name));
        }
        // A replaced certificate keeps its confirmation: the change shows until confirmed again.
        logon::Statement upsert(m_db,
                                "INSERT INTO certs (name, user_number, subject, email, der, chain) "
                                "VALUES (?1, 0, ?2, ?3, ?4, ?5) "
                                "ON CONFLICT(name) DO UPDATE SET subject = ?2, email = ?3, der = ?4, chain = ?5 "
                                "WHERE certs.user_number = 0");
        upsert.Bind(1, record.name).Bind(2, record.subjectName).Bind(3, record.email).Bind(4, record.der);
        chain.empty() ? upsert.BindNull(5) : upsert.Bind(5, chain);
        if (!upsert.Run()) return Fail(MessageText(msg::logon_store::CannotInstallCert, m_db.Error()));
        if (sqlite3_changes(m_db.Handle()) != 1) {
            return Fail(MessageText(msg::logon_store::UserCertNotReplaced, record.name));
        }
        if (!tx.Commit()) return Fail(MessageText(msg::logon_store::CannotInstallCert, m_db.Error()));
    }
    CertRow stored;
    if (FindCert(record.name, stored)) WriteCertFile(stored.record, stored.chain);
    installedName = stored.record.name.empty() ? record.name : stored.record.name;
    return true;
}

bool LogonStore::ExportCert(const std::string& name, std::string& out, bool der) {
    m_error.clear();
    CertRow cert;
    if (!IsOpen()) return Fail(MessageText(msg::logon_store::NotOpen));
    if (!ResolveCert(name, cert)) return Fail(MessageText(msg::logon_store::NoSuchCert, name));
    logon::X509Ptr x509 = logon::CertFromDer(cert.record.der);
    out = der ? std::string(cert.record.der.begin(), cert.record.der.end()) : logon::CertToPem(x509.get());
    return !x509 || out.empty() ? Fail(MessageText(msg::logon_store::CertUnreadable, cert.record.name)) : true;
}

bool LogonStore::ConfirmCert(const std::string& name) {
    m_error.clear();
    CertRow cert;
    if (!IsOpen()) return Fail(MessageText(msg::logon_store::NotOpen));
    logon::Transaction tx(m_db);
    if (!tx.Ok()) return Fail(MessageText(msg::logon_store::CannotConfirmCert, m_db.Error()));
    if (!FindCert(name, cert)) return Fail(MessageText(msg::logon_store::NoSuchCert, name));
    // Only the certificate that was read is confirmed; one replaced meanwhile stays unconfirmed.
    logon::Statement confirm(m_db, "UPDATE certs SET confirmed = ?1 WHERE name = ?2 AND der = ?3");
    confirm.Bind(1, logon::CertFingerprint(cert.record.der)).Bind(2, cert.record.name).Bind(3, cert.record.der);
    if (!confirm.Run()) return Fail(MessageText(msg::logon_store::CannotConfirmCert, m_db.Error()));
    if (sqlite3_changes(m_db.Handle()) != 1) {
        return Fail(MessageText(msg::logon_store::CertChangedWhileConfirming, cert.record.name));
    }
    if (!tx.Commit()) return Fail(MessageText(msg::logon_store::CannotConfirmCert, m_db.Error()));
    return true;
}

bool LogonStore::CacheConfirmedCert(const std::string& name, const std::vector<unsigned char>& der,
                                    const std::string& source) {
    m_error.clear();
    if (!IsOpen()) return Fail(MessageText(msg::logon_store::NotOpen));
    logon::X509Ptr cert = logon::CertFromDer(der);
    if (!cert) return Fail(MessageText(msg::logon_store::CertUnreadable, name));
    Lumo_PubCert record;
    record.name = LogonTrim(name);
    record.subjectName = logon::CertSubjectName(cert.get());
    record.email = logon::CertEmail(cert.get());
    record.der = logon::CertToDer(cert.get());
    if (std::string error = logon::CheckCertName(record.name); !error.empty()) return Fail(error);
    if (std::string error = logon::CheckNameAndEmail(record.subjectName, record.email); !error.empty())
        return Fail(record.name + ": " + error);
    {
        logon::Transaction tx(m_db);
        if (!tx.Ok()) return Fail(MessageText(msg::logon_store::CannotInstallCert, m_db.Error()));
        UserRow user;
        if (FindUser(record.name, user)) return Fail(MessageText(msg::logon_store::RegisteredUserCert, record.name));
        if (std::string clash = KeyTextClash({}, record.name); !clash.empty())
            return Fail(MessageText(msg::logon_store::InstallUnderOtherName, clash));
        // Installed and confirmed at once: the person confirmed exactly these bytes.
        logon::Statement upsert(m_db,
                                "INSERT INTO certs (name, user_number, subject, email, der, confirmed, source) "
                                "VALUES (?1, 0, ?2, ?3, ?4, ?5, ?6) "
                                "ON CONFLICT(name) DO UPDATE SET subject = ?2, email = ?3, der = ?4, confirmed = ?5, "
                                "chain = NULL, source = ?6 WHERE certs.user_number = 0");
        upsert.Bind(1, record.name).Bind(2, record.subjectName).Bind(3, record.email).Bind(4, record.der);
        upsert.Bind(5, logon::CertFingerprint(record.der)).Bind(6, source);
        if (!upsert.Run()) return Fail(MessageText(msg::logon_store::CannotInstallCert, m_db.Error()));
        if (sqlite3_changes(m_db.Handle()) != 1)
            return Fail(MessageText(msg::logon_store::UserCertNotReplaced, record.name));
        if (!tx.Commit()) return Fail(MessageText(msg::logon_store::CannotInstallCert, m_db.Error()));
    }
    WriteCertFile(record);
    return true;
}

int LogonStore::RecipientState(const std::string& text, std::vector<unsigned char>* der) {
    UserRow user;
    if (ResolveUser(text, user)) return kCertConfirmed;
    CertRow cert;
    if (!ResolveCert(text, cert)) return kCertUnknown;
    if (der != nullptr) *der = cert.record.der;
    return ConfirmationState(cert.record.der, cert.confirmed);
}

bool LogonStore::ListCerts(std::vector<LogonCertInfo>& out) {
    out.clear();
    std::vector<CertRow> certs;
    if (!ReadCerts(certs)) return false;
    for (auto& cert : certs) {
        LogonCertInfo info;
        info.state = ConfirmationState(cert.record.der, cert.confirmed);
        info.fingerprint = logon::HexOf(logon::CertFingerprint(cert.record.der));
        info.source = std::move(cert.source);
        info.record = std::move(cert.record);
        out.push_back(std::move(info));
    }
    return true;
}

// ---- Store classes

int LogonStore::ReadPubCerts(std::vector<Lumo_PubCert>& out) {
    out.clear();
    std::vector<CertRow> certs;
    if (!ReadCerts(certs)) return 0;
    for (auto& cert : certs) out.push_back(std::move(cert.record));
    return 1;
}

// Confirmations belong to the suite, not to one owner: whoever confirmed a certificate
// last vouches for it for everyone.
int LogonStore::VerifyPubCert(const Lumo_PubCert& cert, const std::string& /*ownerId*/) {
    CertRow found;
    if (!FindCert(cert.name, found)) return kCertUnknown;
    return ConfirmationState(found.record.der, found.confirmed);
}
