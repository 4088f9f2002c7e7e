#pragma once
// An OpenLDAP server of the tests' own: slapd started as a foreground child of the test process
// as the current user, on 127.0.0.1 and a free port, with an mdb database in a temporary
// folder; loaded through the client library as its root; stopped by its pid, and waited for.
// The system's own slapd service and its configuration are never touched.
//
// With TLS, the server also listens for ldaps on a second port and offers StartTLS on the
// first, with a certificate for 127.0.0.1 and localhost from a test CA made in the folder.

#include <sys/types.h>

#include <string>
#include <vector>

#include "TestSupport.h"

class DirectoryServer {
public:
    static constexpr const char* kBase = "dc=example,dc=org";

    enum class Tls { kNone, kOffered };
    explicit DirectoryServer(Tls tls = Tls::kNone);  // starts the server; Running() tells whether it answers
    ~DirectoryServer();                              // stops it
    DirectoryServer(const DirectoryServer&) = delete;
    DirectoryServer& operator=(const DirectoryServer&) = delete;

    bool Running() const { return m_pid > 0; }
    const std::string& Uri() const { return m_uri; }
    // With TLS: the ldaps address, the CA that issued the server's certificate, and a CA that
    // did not.
    const std::string& TlsUri() const { return m_tlsUri; }
    std::string CaFile() const { return m_dir / "ca.pem"; }
    std::string OtherCaFile() const { return m_dir / "other-ca.pem"; }
    void Stop();

    // A person under ou=people: uid, cn, mail and any userCertificate;binary values.
    bool AddPerson(const std::string& uid, const std::string& cn, const std::string& mail,
                   const std::vector<std::vector<unsigned char>>& certs);
    // count people uid PREFIX0, PREFIX1, ... sharing one address and no certificate, sent without
    // waiting for each answer (a hostile directory's 10,000 entries load in a second).
    bool AddCrowd(const std::string& prefix, const std::string& mail, int count);
    // A groupOfNames under ou=groups whose members are the people with these uids.
    bool AddGroup(const std::string& cn, const std::vector<std::string>& uids);
    static std::string PersonDn(const std::string& uid) { return "uid=" + uid + ",ou=people," + kBase; }

private:
    using Attributes = std::vector<std::pair<std::string, std::vector<std::string>>>;
    bool Add(const std::string& dn, const Attributes& attrs);
    bool Collect(const std::vector<int>& ids);  // waits for the answers to these adds
    // Sends the add; the message id, or -1.
    int Send(const std::string& dn, const Attributes& attrs);
    // The CAs and the server's key and certificate, made with the openssl program.
    bool MakeCertificates();
    TempDir m_dir;
    pid_t m_pid = -1;
    std::string m_uri, m_tlsUri;
    void* m_ld = nullptr;  // the root's connection (LDAP*)
};
