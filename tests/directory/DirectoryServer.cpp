#include "directory/DirectoryServer.h"

#include <arpa/inet.h>
#include <ldap.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

constexpr const char* kRootDn = "cn=admin,dc=example,dc=org";
constexpr const char* kRootPassword = "secret";

int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
        port = ntohs(addr.sin_port);
    close(fd);
    return port;
}

LDAP* RootConnection(const std::string& uri) {
    LDAP* ld = nullptr;
    if (ldap_initialize(&ld, uri.c_str()) != LDAP_SUCCESS) return nullptr;
    const int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    berval cred = {static_cast<ber_len_t>(std::strlen(kRootPassword)), const_cast<char*>(kRootPassword)};
    if (ldap_sasl_bind_s(ld, kRootDn, LDAP_SASL_SIMPLE, &cred, nullptr, nullptr, nullptr) != LDAP_SUCCESS) {
        ldap_unbind_ext_s(ld, nullptr, nullptr);
        return nullptr;
    }
    return ld;
}

}  // namespace

bool DirectoryServer::MakeCertificates() {
    const std::string d = m_dir.Path();
    // EC keys: made in milliseconds, where RSA keys would take a good part of a second each.
    const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
    const std::string ca = " -days 2 -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign ";
    WriteFile(d + "/server.ext",
              "subjectAltName=DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n");
    const std::string commands[] = {
        "openssl req -x509" + key + "-keyout '" + d + "/ca.key' -out '" + d + "/ca.pem' -subj '/CN=Test CA'" + ca,
        "openssl req -x509" + key + "-keyout '" + d + "/other-ca.key' -out '" + d +
            "/other-ca.pem' -subj '/CN=Other CA'" + ca,
        "openssl req" + key + "-keyout '" + d + "/server.key' -out '" + d + "/server.csr' -subj /CN=localhost",
        "openssl x509 -req -in '" + d + "/server.csr' -CA '" + d + "/ca.pem' -CAkey '" + d +
            "/ca.key' -set_serial 2 -out '" + d + "/server.pem' -days 2 -extfile '" + d + "/server.ext'",
    };
    for (const std::string& command : commands)
        if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) return false;
    return true;
}

DirectoryServer::DirectoryServer(Tls tls) {
    // No system ldap.conf or ~/.ldaprc reaches the client library in a test.
    setenv("LDAPNOINIT", "1", 1);
    const std::string dir = m_dir.Path();
    std::filesystem::create_directories(dir + "/db");
    if (tls == Tls::kOffered && !MakeCertificates()) return;
    const std::string tlsLines = tls == Tls::kNone
                                     ? std::string()
                                     : "TLSCACertificateFile " + dir + "/ca.pem\nTLSCertificateFile " + dir +
                                           "/server.pem\nTLSCertificateKeyFile " + dir + "/server.key\n";
    WriteFile(dir + "/slapd.conf",
              "include /etc/ldap/schema/core.schema\n"
              "include /etc/ldap/schema/cosine.schema\n"
              "include /etc/ldap/schema/inetorgperson.schema\n"
              "modulepath /usr/lib/ldap\n"
              "moduleload back_mdb\n"
              "pidfile " +
                  dir + "/slapd.pid\n" + tlsLines +
                  "sizelimit unlimited\n"
                  "database mdb\n"
                  "maxsize 1073741824\n"
                  "dbnosync\n"
                  "index objectClass,uid,mail,cn eq\n"
                  "suffix \"" +
                  std::string(kBase) +
                  "\"\n"
                  "rootdn \"" +
                  kRootDn +
                  "\"\n"
                  "rootpw " +
                  kRootPassword +
                  "\n"
                  "directory " +
                  dir + "/db\n");
    for (int attempt = 0; attempt < 3 && m_ld == nullptr; ++attempt) {
        const int port = FreePort();
        m_uri = "ldap://127.0.0.1:" + std::to_string(port);
        int tlsPort = port;
        while (tls == Tls::kOffered && tlsPort == port) tlsPort = FreePort();
        if (tls == Tls::kOffered) m_tlsUri = "ldaps://127.0.0.1:" + std::to_string(tlsPort);
        const std::string listen = m_uri + "/" + (m_tlsUri.empty() ? "" : " " + m_tlsUri + "/"),
                          conf = dir + "/slapd.conf";
        m_pid = fork();
        if (m_pid == 0) {
            // The server goes with the test process, however that ends.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            execl("/usr/sbin/slapd", "slapd", "-d", "0", "-f", conf.c_str(), "-h", listen.c_str(), nullptr);
            _exit(127);
        }
        for (int i = 0; i < 250 && m_ld == nullptr; ++i) {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                break;
            }
            m_ld = RootConnection(m_uri);
            if (m_ld == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (m_ld == nullptr) Stop();
    }
    if (m_ld == nullptr) return;
    Add(kBase, {{"objectClass", {"dcObject", "organization"}}, {"dc", {"example"}}, {"o", {"Example"}}});
    Add(std::string("ou=people,") + kBase, {{"objectClass", {"organizationalUnit"}}, {"ou", {"people"}}});
    Add(std::string("ou=groups,") + kBase, {{"objectClass", {"organizationalUnit"}}, {"ou", {"groups"}}});
}

DirectoryServer::~DirectoryServer() { Stop(); }

void DirectoryServer::Stop() {
    if (m_ld != nullptr) ldap_unbind_ext_s(static_cast<LDAP*>(m_ld), nullptr, nullptr);
    m_ld = nullptr;
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    m_pid = -1;
}

bool DirectoryServer::Add(const std::string& dn, const Attributes& attrs) {
    int id = Send(dn, attrs);
    LDAPMessage* result = nullptr;
    if (id < 0 || ldap_result(static_cast<LDAP*>(m_ld), id, LDAP_MSG_ALL, nullptr, &result) <= 0) return false;
    int rc = LDAP_OTHER;
    ldap_parse_result(static_cast<LDAP*>(m_ld), result, &rc, nullptr, nullptr, nullptr, nullptr, 1);
    return rc == LDAP_SUCCESS;
}

bool DirectoryServer::AddCrowd(const std::string& prefix, const std::string& mail, int count) {
    // A window of adds in flight: unread answers would otherwise fill the connection both ways.
    constexpr int kWindow = 100;
    bool ok = true;
    for (int start = 0; start < count; start += kWindow) {
        std::vector<int> ids;
        for (int i = start; i < std::min(count, start + kWindow); ++i) {
            const std::string uid = prefix + std::to_string(i);
            ids.push_back(Send(PersonDn(uid), {{"objectClass", {"inetOrgPerson"}},
                                               {"uid", {uid}},
                                               {"cn", {prefix}},
                                               {"sn", {prefix}},
                                               {"mail", {mail}}}));
        }
        ok = Collect(ids) && ok;
    }
    return ok;
}

bool DirectoryServer::Collect(const std::vector<int>& ids) {
    bool ok = true;
    for (int id : ids) {
        LDAPMessage* result = nullptr;
        int rc = LDAP_OTHER;
        if (id < 0 || ldap_result(static_cast<LDAP*>(m_ld), id, LDAP_MSG_ALL, nullptr, &result) <= 0) {
            ok = false;
            continue;
        }
        ldap_parse_result(static_cast<LDAP*>(m_ld), result, &rc, nullptr, nullptr, nullptr, nullptr, 1);
        ok = ok && rc == LDAP_SUCCESS;
    }
    return ok;
}

int DirectoryServer::Send(const std::string& dn, const Attributes& attrs) {
    std::vector<LDAPMod> mods(attrs.size());
    std::vector<std::vector<berval>> values(attrs.size());
    std::vector<std::vector<berval*>> pointers(attrs.size());
    std::vector<LDAPMod*> list;
    for (size_t i = 0; i < attrs.size(); ++i) {
        for (const std::string& v : attrs[i].second)
            values[i].push_back({static_cast<ber_len_t>(v.size()), const_cast<char*>(v.data())});
        for (berval& v : values[i]) pointers[i].push_back(&v);
        pointers[i].push_back(nullptr);
        mods[i].mod_op = LDAP_MOD_ADD | LDAP_MOD_BVALUES;
        mods[i].mod_type = const_cast<char*>(attrs[i].first.c_str());
        mods[i].mod_bvalues = pointers[i].data();
        list.push_back(&mods[i]);
    }
    list.push_back(nullptr);
    int id = -1;
    return ldap_add_ext(static_cast<LDAP*>(m_ld), dn.c_str(), list.data(), nullptr, nullptr, &id) == LDAP_SUCCESS ? id
                                                                                                                  : -1;
}

bool DirectoryServer::AddPerson(const std::string& uid, const std::string& cn, const std::string& mail,
                                const std::vector<std::vector<unsigned char>>& certs) {
    std::vector<std::pair<std::string, std::vector<std::string>>> attrs = {
        {"objectClass", {"inetOrgPerson"}}, {"uid", {uid}}, {"cn", {cn}}, {"sn", {cn}}, {"mail", {mail}}};
    if (!certs.empty()) {
        attrs.push_back({"userCertificate;binary", {}});
        for (const auto& der : certs) attrs.back().second.emplace_back(der.begin(), der.end());
    }
    return Add(PersonDn(uid), attrs);
}

bool DirectoryServer::AddGroup(const std::string& cn, const std::vector<std::string>& uids) {
    std::vector<std::string> members;
    for (const std::string& uid : uids) members.push_back(PersonDn(uid));
    return Add("cn=" + cn + ",ou=groups," + kBase,
               {{"objectClass", {"groupOfNames"}}, {"cn", {cn}}, {"member", members}});
}
