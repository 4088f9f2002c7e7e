#include "directory/DirectoryClient.h"

#include <openssl/crypto.h>
#include <openssl/x509.h>
#include <sys/time.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "directory/Messages.h"
#include "logon/CertProfile.h"
#include "logon/ILogon.h"
#include "logon/LogonKeys.h"

namespace directory {

namespace {

constexpr int kMaxTimeLimit = 600;
constexpr size_t kMaxPasswordFile = 1024;

bool IsTrue(const std::string& text) { return LogonEqualNoCase(LogonTrim(text), "TRUE"); }

std::string LdapText(LDAP* ld, int rc) {
    std::string text = ldap_err2string(rc);
    char* diagnostic = nullptr;
    if (ld != nullptr && ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &diagnostic) == LDAP_OPT_SUCCESS &&
        diagnostic != nullptr) {
        if (*diagnostic) text += std::string(" (") + diagnostic + ")";
        ldap_memfree(diagnostic);
    }
    return text;
}

// The attribute description's type without its options ("userCertificate;binary").
bool IsAttribute(const char* description, const char* type) {
    size_t n = std::strcspn(description, ";");
    return n == std::strlen(type) && strncasecmp(description, type, n) == 0;
}

struct MessageFree {
    void operator()(LDAPMessage* m) const { ldap_msgfree(m); }
};

// The time limit in seconds, or 0 when the text is none.
int TimeLimitOf(const std::string& text) {
    const std::string limit = LogonTrim(text);
    char* end = nullptr;
    long seconds = std::strtol(limit.c_str(), &end, 10);
    return limit.empty() || *end != '\0' || seconds < 1 || seconds > kMaxTimeLimit ? 0 : static_cast<int>(seconds);
}

}  // namespace

std::string CheckSetting(const std::string& key, const std::string& value) {
    const std::string text = LogonTrim(value);
    if (LogonEqualNoCase(key, "URI") && !text.empty()) {
        // What Connect does first; it reads the address and nothing else.
        LDAP* ld = nullptr;
        const bool parsed = (text.rfind("ldap://", 0) == 0 || text.rfind("ldaps://", 0) == 0) &&
                            ldap_initialize(&ld, text.c_str()) == LDAP_SUCCESS && ld != nullptr;
        if (ld != nullptr) ldap_unbind_ext_s(ld, nullptr, nullptr);
        if (!parsed) return MessageText(msg::directory::BadUri, text);
    }
    // Read as FALSE, a mistyped "yes" would send the bind password in the clear.
    if (LogonEqualNoCase(key, "StartTLS") && !IsTrue(text) && !LogonEqualNoCase(text, "FALSE"))
        return MessageText(msg::directory::BadStartTls, text);
    if (LogonEqualNoCase(key, "TimeLimit") && TimeLimitOf(text) == 0)
        return MessageText(msg::directory::BadTimeLimit, text);
    return {};
}

bool ReadSettings(ILogon& logon, Settings& out, std::string& error) {
    out = {};
    out.uri = LogonTrim(logon.GetOption("Directory", "URI", ""));
    const std::string startTls = logon.GetOption("Directory", "StartTLS", "FALSE");
    out.startTls = IsTrue(startTls);
    out.base = LogonTrim(logon.GetOption("Directory", "Base", ""));
    out.bindDn = LogonTrim(logon.GetOption("Directory", "BindDN", ""));
    out.bindPasswordFile = LogonTrim(logon.GetOption("Directory", "BindPasswordFile", ""));
    out.caFile = LogonTrim(logon.GetOption("Directory", "CAFile", ""));
    const std::string limit = logon.GetOption("Directory", "TimeLimit", "5");
    if (out.uri.empty()) {
        error = MessageText(msg::directory::NotSetUp);
        return false;
    }
    for (const auto& [key, value] :
         {std::pair<const char*, const std::string&>{"URI", out.uri}, {"StartTLS", startTls}, {"TimeLimit", limit}}) {
        error = CheckSetting(key, value);
        if (!error.empty()) return false;
    }
    out.timeLimit = TimeLimitOf(limit);
    return true;
}

std::string EscapeFilterValue(const std::string& value) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : value) {
        if (c == '\\' || c == '*' || c == '(' || c == ')' || c == '\0') {
            out += '\\';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void Client::Unbind::operator()(LDAP* ld) const { ldap_unbind_ext_s(ld, nullptr, nullptr); }

Client::Client(Settings settings) : m_settings(std::move(settings)) {}
Client::~Client() = default;

bool Client::Fail(std::string text) {
    m_error = std::move(text);
    return false;
}

bool Client::FailFor(int rc, const std::string& subject) {
    const std::string why = LdapText(m_ld.get(), rc);
    switch (rc) {
        case LDAP_TIMEOUT:
        case LDAP_TIMELIMIT_EXCEEDED:
            return Fail(MessageText(msg::directory::TimedOut, m_settings.uri, m_settings.timeLimit));
        case LDAP_SIZELIMIT_EXCEEDED:
        case LDAP_ADMINLIMIT_EXCEEDED:
            return Fail(MessageText(msg::directory::TooManyEntries, kMaxEntries, subject));
        case LDAP_SERVER_DOWN:
        case LDAP_CONNECT_ERROR:
            return Fail(MessageText(msg::directory::StoppedAnswering, m_settings.uri, why));
        default:
            return Fail(MessageText(msg::directory::SearchFailed, m_settings.uri, why));
    }
}

int Client::SocketOpened(LDAP*, Sockbuf*, LDAPURLDesc*, struct sockaddr*, struct ldap_conncb* cb) {
    static_cast<Client*>(cb->lc_arg)->m_reached = true;
    return 0;
}

bool Client::FailConnecting(int rc, bool tls) {
    const std::string why = LdapText(m_ld.get(), rc);
    if (rc == LDAP_TIMEOUT) return Fail(MessageText(msg::directory::TimedOut, m_settings.uri, m_settings.timeLimit));
    // Once the socket is open, an ldaps connection or a StartTLS that fails without an answer
    // from the server failed in the TLS handshake: the server's certificate was not accepted.
    if (!m_reached || !tls) return Fail(MessageText(msg::directory::Unreachable, m_settings.uri, why));
    return Fail(MessageText(msg::directory::NotTrusted, m_settings.uri, why));
}

bool Client::SetTls(LDAP* ld) {
    // Only the CA file named in the settings vouches for the server: with LDAPNOINIT or not, the
    // handle gets its own TLS context, made after its options are set (NEWCTX), and demands a
    // certificate that chains to it and names the host.
    const int demand = LDAP_OPT_X_TLS_DEMAND, client = 0;
    bool ok = ldap_set_option(ld, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand) == LDAP_OPT_SUCCESS;
    if (!m_settings.caFile.empty())
        ok = ok && ldap_set_option(ld, LDAP_OPT_X_TLS_CACERTFILE, m_settings.caFile.c_str()) == LDAP_OPT_SUCCESS;
    ok = ok && ldap_set_option(ld, LDAP_OPT_X_TLS_NEWCTX, &client) == LDAP_OPT_SUCCESS;
    return ok || Fail(MessageText(msg::directory::CaFileUnusable, m_settings.caFile));
}

bool Client::Connect() {
    m_error.clear();
    m_reached = false;
    m_ld.reset();
    LDAP* raw = nullptr;
    if (ldap_initialize(&raw, m_settings.uri.c_str()) != LDAP_SUCCESS || raw == nullptr)
        return Fail(MessageText(msg::directory::BadUri, m_settings.uri));
    m_ld.reset(raw);
    const int version = LDAP_VERSION3;
    struct timeval limit = {m_settings.timeLimit, 0};
    ldap_set_option(raw, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(raw, LDAP_OPT_NETWORK_TIMEOUT, &limit);
    ldap_set_option(raw, LDAP_OPT_TIMEOUT, &limit);
    ldap_set_option(raw, LDAP_OPT_TIMELIMIT, &m_settings.timeLimit);
    ldap_set_option(raw, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    m_callbacks = {&Client::SocketOpened, &Client::SocketClosed, this};
    ldap_set_option(raw, LDAP_OPT_CONNECT_CB, &m_callbacks);
    const bool ldaps = m_settings.uri.rfind("ldaps://", 0) == 0;
    if ((ldaps || m_settings.startTls) && !SetTls(raw)) return false;
    if (ldaps) {
        // Connecting first tells a handshake that failed from a bind the server refused.
        if (int rc = ldap_connect(raw); rc != LDAP_SUCCESS) return FailConnecting(rc, true);
    }
    if (m_settings.startTls) {
        int rc = ldap_start_tls_s(raw, nullptr, nullptr);
        // The server answered and said no: it offers no TLS. Never carry on in plain text.
        if (rc > 0) return Fail(MessageText(msg::directory::NoTls, m_settings.uri, LdapText(raw, rc)));
        if (rc != LDAP_SUCCESS) return FailConnecting(rc, true);
    }
    std::string password;
    if (!m_settings.bindDn.empty() && !m_settings.bindPasswordFile.empty()) {
        std::ifstream in(m_settings.bindPasswordFile, std::ios::binary);
        if (in) password.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!in && !in.eof())
            return Fail(MessageText(msg::directory::PasswordFileUnreadable, m_settings.bindPasswordFile));
        if (password.size() > kMaxPasswordFile) {
            OPENSSL_cleanse(password.data(), password.size());
            return Fail(MessageText(msg::directory::PasswordFileUnreadable, m_settings.bindPasswordFile));
        }
        while (!password.empty() && (password.back() == '\n' || password.back() == '\r')) password.pop_back();
    }
    struct berval cred = {static_cast<ber_len_t>(password.size()), password.data()};
    int rc = ldap_sasl_bind_s(raw, m_settings.bindDn.empty() ? nullptr : m_settings.bindDn.c_str(), LDAP_SASL_SIMPLE,
                              &cred, nullptr, nullptr, nullptr);
    OPENSSL_cleanse(password.data(), password.size());
    if (rc == LDAP_SUCCESS) return true;
    if (rc == LDAP_TIMEOUT || rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR) return FailConnecting(rc, false);
    return Fail(MessageText(msg::directory::BindRefused, m_settings.uri,
                            m_settings.bindDn.empty() ? std::string("(anonymous)") : m_settings.bindDn,
                            LdapText(raw, rc)));
}

bool Client::Run(const std::string& base, int scope, const std::string& filter, const std::string& subject,
                 std::vector<Entry>& out) {
    out.clear();
    if (!m_ld && !Connect()) return false;
    char cn[] = "cn", mail[] = "mail", uid[] = "uid", cert[] = "userCertificate;binary", member[] = "member";
    char* attrs[] = {cn, mail, uid, cert, member, nullptr};
    struct timeval limit = {m_settings.timeLimit, 0};
    LDAPMessage* raw = nullptr;
    int rc = ldap_search_ext_s(m_ld.get(), base.c_str(), scope, filter.c_str(), attrs, 0, nullptr, nullptr, &limit,
                               static_cast<int>(kMaxEntries), &raw);
    std::unique_ptr<LDAPMessage, MessageFree> result(raw);
    if (rc == LDAP_NO_SUCH_OBJECT) return true;
    if (rc != LDAP_SUCCESS) return FailFor(rc, subject);
    if (static_cast<size_t>(ldap_count_entries(m_ld.get(), raw)) > kMaxEntries)
        return FailFor(LDAP_SIZELIMIT_EXCEEDED, subject);
    for (LDAPMessage* e = ldap_first_entry(m_ld.get(), raw); e != nullptr; e = ldap_next_entry(m_ld.get(), e)) {
        Entry entry;
        if (char* dn = ldap_get_dn(m_ld.get(), e)) {
            entry.dn = dn;
            ldap_memfree(dn);
        }
        BerElement* ber = nullptr;
        for (char* a = ldap_first_attribute(m_ld.get(), e, &ber); a != nullptr;
             a = ldap_next_attribute(m_ld.get(), e, ber)) {
            berval** values = ldap_get_values_len(m_ld.get(), e, a);
            for (int i = 0; values != nullptr && values[i] != nullptr; ++i) {
                const berval& v = *values[i];
                // A certificate too large to be one is kept as its length only (see CheckPerson).
                const size_t length = v.bv_len;
                if (IsAttribute(a, "userCertificate")) {
                    entry.certs.emplace_back();
                    if (length <= kMaxCertBytes)
                        entry.certs.back().assign(v.bv_val, v.bv_val + length);
                    else
                        entry.oversizeCert = length;
                    continue;
                }
                std::string text(v.bv_val, length);
                if (IsAttribute(a, "member")) {
                    entry.members.push_back(std::move(text));
                } else if (i == 0 && IsAttribute(a, "cn")) {
                    entry.cn = std::move(text);
                } else if (i == 0 && IsAttribute(a, "mail")) {
                    entry.mail = std::move(text);
                } else if (i == 0 && IsAttribute(a, "uid")) {
                    entry.uid = std::move(text);
                }
            }
            ldap_value_free_len(values);
            ldap_memfree(a);
        }
        if (ber != nullptr) ber_free(ber, 0);
        out.push_back(std::move(entry));
    }
    return true;
}

bool Client::Search(const std::string& text, std::vector<Entry>& out) {
    const std::string v = EscapeFilterValue(LogonTrim(text));
    const std::string filter = "(|(cn=*" + v + "*)(mail=*" + v + "*)(uid=*" + v + "*))";
    return Run(m_settings.base, LDAP_SCOPE_SUBTREE, filter, text, out);
}

bool Client::CheckPerson(const std::string& name, const Entry& entry, Person& out) {
    if (entry.oversizeCert != 0)
        return Fail(MessageText(msg::directory::CertTooLarge, name, entry.oversizeCert, kMaxCertBytes));
    if (entry.certs.empty()) return Fail(MessageText(msg::directory::NoCertificate, name));
    // The address the certificate must name: the one asked for, else the entry's.
    const bool byAddress = name.find('@') != std::string::npos;
    const std::string address = byAddress ? LogonTrim(name) : LogonTrim(entry.mail);
    std::string firstProblem;
    for (const auto& der : entry.certs) {
        logon::X509Ptr cert = logon::CertFromDer(der);
        std::string problem;
        if (!cert) {
            problem = MessageText(msg::directory::CertUnreadable, name);
        } else if (std::string email = LogonTrim(logon::CertEmail(cert.get()));
                   address.empty() || !LogonEqualNoCase(email, address)) {
            problem = MessageText(msg::directory::CertOtherAddress, name, email);
        } else if (std::string why = logon::UserCertProblem(cert.get()); !why.empty()) {
            problem = MessageText(msg::directory::CertUnusable, name, why);
        } else if (logon::PkeyPtr key = logon::PublicKeyOf(cert.get());
                   !key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA) {
            problem = MessageText(msg::directory::CertUnusable, name, std::string("RSA"));
        } else {
            out.name = LogonTrim(name);
            out.dn = entry.dn;
            out.cn = logon::CertSubjectName(cert.get());
            out.mail = email;
            out.uid = LogonTrim(entry.uid);
            out.der = der;
            return true;
        }
        if (firstProblem.empty()) firstProblem = problem;
    }
    return Fail(firstProblem);
}

bool Client::FindPerson(const std::string& name, Person& out) {
    std::vector<Person> people;
    if (!FindPeople({name}, people)) return false;
    out = std::move(people.front());
    return true;
}

bool Client::FindPeople(const std::vector<std::string>& names, std::vector<Person>& out) {
    out.clear();
    for (size_t start = 0; start < names.size(); start += kBatchSize) {
        const size_t end = std::min(names.size(), start + kBatchSize);
        std::string filter = "(|";
        for (size_t i = start; i < end; ++i) {
            const std::string v = EscapeFilterValue(LogonTrim(names[i]));
            filter += "(mail=" + v + ")(uid=" + v + ")";
        }
        filter += ")";
        std::vector<Entry> entries;
        if (!Run(m_settings.base, LDAP_SCOPE_SUBTREE, filter, names[start], entries)) return false;
        for (size_t i = start; i < end; ++i) {
            const std::string name = LogonTrim(names[i]);
            const Entry* found = nullptr;
            size_t count = 0;
            for (const Entry& e : entries) {
                if (LogonEqualNoCase(e.mail, name) || LogonEqualNoCase(e.uid, name)) {
                    found = &e;
                    ++count;
                }
            }
            if (count == 0) return Fail(MessageText(msg::directory::NotFound, name));
            if (count > 1) return Fail(MessageText(msg::directory::SeveralEntries, count, name));
            out.emplace_back();
            if (!CheckPerson(name, *found, out.back())) return false;
        }
    }
    return true;
}

int Client::FindGroup(const std::string& group, Entry& out) {
    std::vector<Entry> groups;
    const std::string filter = "(&(objectClass=groupOfNames)(cn=" + EscapeFilterValue(LogonTrim(group)) + "))";
    if (!Run(m_settings.base, LDAP_SCOPE_SUBTREE, filter, group, groups)) return -1;
    if (groups.size() != 1) {
        Fail(groups.empty() ? MessageText(msg::directory::NoSuchGroup, group)
                            : MessageText(msg::directory::SeveralEntries, groups.size(), group));
        return groups.empty() ? 0 : -1;
    }
    out = std::move(groups.front());
    return 1;
}

bool Client::GroupMembers(const std::string& group, std::vector<Entry>& out) {
    out.clear();
    Entry found;
    if (FindGroup(group, found) != 1) return false;
    const std::vector<std::string>& members = found.members;
    if (members.size() > kMaxGroupMembers)
        return Fail(MessageText(msg::directory::GroupTooLarge, group, members.size(), kMaxGroupMembers));
    for (const std::string& dn : members) {
        std::vector<Entry> found;
        if (!Run(dn, LDAP_SCOPE_BASE, "(objectClass=*)", dn, found)) return false;
        if (found.empty()) {
            // A member that no longer exists is named as its DN; it has no certificate.
            found.emplace_back();
            found.back().dn = dn;
        }
        out.push_back(std::move(found.front()));
    }
    return true;
}

}  // namespace directory
