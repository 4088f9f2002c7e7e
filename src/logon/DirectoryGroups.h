#pragma once
// Groups of the organisation's directory, as a share path's authorised decryptors may name them
// (kDecryptManDirectoryGroup). The directory lives above the engine: whoever runs a shared
// encryption and can read the directory gives the engine an implementation through its context
// (EngineContext::directoryGroups); the engine never speaks to the directory itself.

#include <string>
#include <vector>

class IDirectoryGroups {
public:
    virtual ~IDirectoryGroups() = default;
    // The members of the group as the directory holds them now, each by the name the logon
    // library knows them under: a registered user's ID, or the name of an installed certificate
    // confirmed as it stands. Members without a usable certificate are left out and named in one
    // message shown by the implementation. False when the group cannot be used whole (the
    // directory cannot be read, a certificate is not confirmed): the implementation has shown
    // why, once, and the caller hands on nothing.
    virtual bool Members(const std::string& group, std::vector<std::string>& names) = 0;
};
