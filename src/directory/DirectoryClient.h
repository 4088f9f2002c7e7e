#pragma once
// A client of the organisation's LDAP directory, where people's certificates
// (userCertificate;binary) and groups (groupOfNames / member) are kept. The OpenLDAP client
// library speaks the protocol; this class owns its handle, sets the limits every call runs
// under and turns each failure into one message (Error()).
//
// A directory is not trusted to be small or honest: every value put into a filter is escaped,
// no search answers more than kMaxEntries entries, no certificate larger than kMaxCertBytes is
// read, and no call waits longer than the time limit. A person's certificate is only handed
// on when it is fit for e-mail protection now and names the address it was looked up by.

#include <ldap.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class ILogon;

namespace directory {

// More entries than a search of one person, one group or a batch of 200 recipients can need.
inline constexpr size_t kMaxEntries = 1000;
// A person's certificate with a long name and every extension fits in a few kilobytes; the
// store takes certificate files up to the same size.
inline constexpr size_t kMaxCertBytes = 64 * 1024;
// Names looked up together in one search by FindPeople.
inline constexpr size_t kBatchSize = 50;
// A group larger than the recipients a package can hold cannot be used whole.
inline constexpr size_t kMaxGroupMembers = 200;

// The settings of section "Directory".
struct Settings {
    std::string uri;  // ldap://HOST[:PORT] or ldaps://HOST[:PORT]
    bool startTls = false;
    std::string base;  // base DN of every search
    std::string bindDn;
    std::string bindPasswordFile;  // empty with an empty bindDn: anonymous
    std::string caFile;
    int timeLimit = 5;  // seconds, for each call
};
// The settings from the store; false with the reason when no directory is set up or a value
// is unusable.
bool ReadSettings(ILogon& logon, Settings& out, std::string& error);
// Why the client would refuse this value of a key of section "Directory" (URI, StartTLS,
// TimeLimit; keys ignore case), or empty when it takes it. An empty URI is taken: it means no
// directory. Lets a setting be refused when it is set rather than when it is first used.
std::string CheckSetting(const std::string& key, const std::string& value);

// RFC 4515: the value with \ * ( ) and NUL written as \5c \2a \28 \29 \00, so that a name
// typed by a user or taken from an entry matches itself and nothing else.
std::string EscapeFilterValue(const std::string& value);

// One entry as a search answered it.
struct Entry {
    std::string dn, cn, uid, mail;
    std::vector<std::vector<unsigned char>> certs;  // userCertificate;binary values
    std::vector<std::string> members;               // member DNs of a group
    size_t oversizeCert = 0;                        // the length of a certificate value too large to be read, else 0
};

// A person whose certificate passed every check.
struct Person {
    std::string name;  // what the person was named by (address or uid)
    std::string dn, cn, mail, uid;
    std::vector<unsigned char> der;
    // The name the store keeps the certificate under: the uid, which is also the user ID the
    // person most likely has in a suite of their own (packages name their readers by it), else
    // the address.
    std::string StoreName() const { return uid.empty() ? mail : uid; }
};

class Client {
public:
    explicit Client(Settings settings);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Connects (StartTLS when asked) and logs in; false with Error() set.
    bool Connect();
    // Entries below the base whose name, address or uid matches text (substring search).
    bool Search(const std::string& text, std::vector<Entry>& out);
    // The one person an address or uid names, with a usable certificate.
    bool FindPerson(const std::string& name, Person& out);
    // Several people in searches of kBatchSize names each; a name that fails stops the batch.
    bool FindPeople(const std::vector<std::string>& names, std::vector<Person>& out);
    // The one groupOfNames of that name: 1 with it in out; 0 when the directory holds none;
    // -1 when it cannot be said (several of that name, or the directory failed). Error() says
    // why on 0 and -1.
    int FindGroup(const std::string& group, Entry& out);
    // The member entries of a groupOfNames, read at the time of the call.
    bool GroupMembers(const std::string& group, std::vector<Entry>& out);
    // Whether a person entry's certificate is usable for the name; false with Error() set.
    bool CheckPerson(const std::string& name, const Entry& entry, Person& out);

    const std::string& Error() const { return m_error; }
    const Settings& Config() const { return m_settings; }

private:
    struct Unbind {
        void operator()(LDAP* ld) const;
    };
    bool Fail(std::string text);
    bool FailFor(int rc, const std::string& subject);
    // A failure before the server answered anything: not reached, its TLS refused, or out of time.
    bool FailConnecting(int rc, bool tls);
    // Sets the TLS options on the handle; false with Error() set when the CA file is unusable.
    bool SetTls(LDAP* ld);
    // Called by the library once a connection's socket is open (before any TLS handshake).
    static int SocketOpened(LDAP*, Sockbuf*, LDAPURLDesc*, struct sockaddr*, struct ldap_conncb* cb);
    static void SocketClosed(LDAP*, Sockbuf*, struct ldap_conncb*) {}
    // One search; entries beyond kMaxEntries fail it.
    bool Run(const std::string& base, int scope, const std::string& filter, const std::string& subject,
             std::vector<Entry>& out);

    Settings m_settings;
    // The handle keeps a pointer to these callbacks: declared before it, they outlive it.
    ldap_conncb m_callbacks{};
    bool m_reached = false;  // a socket to the server was opened
    std::unique_ptr<LDAP, Unbind> m_ld;
    std::string m_error;
};

}  // namespace directory
