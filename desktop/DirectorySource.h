#pragma once
// The organisation's directory as a source of the recipient chooser: the people and groups
// whose name, e-mail address or uid holds the chooser's search text, each person with the state
// of their certificate there, each group with its members. Chosen, they are resolved through the
// store, which asks for each certificate not yet confirmed as it stands and keeps it once
// confirmed. Built only with the directory client.

#ifdef VARNEX_DIRECTORY

#include <memory>

#include "Recipients.h"
#include "directory/DirectoryClient.h"
#include "directory/ShareGroups.h"

class IUiHost;

class DirectoryRecipients : public IRecipientSource {
public:
    explicit DirectoryRecipients(LogonStore& store);
    ~DirectoryRecipients() override;
    std::string Name() const override;
    // Connects on the first call (a directory that cannot be reached fails it); reads the
    // entries matching the search text once one is set.
    bool ReadRows(std::vector<RecipientRow>& rows, std::string& error) override;
    bool Searched() const override { return true; }
    void SetSearch(const std::string& text) override { m_text = text; }

private:
    RecipientRow PersonRow(const directory::Entry& entry);
    RecipientRow GroupRow(const directory::Entry& entry);

    LogonStore& m_store;
    std::string m_uri;
    std::string m_text;
    std::unique_ptr<directory::Client> m_client;
};

// The chosen directory people resolved through the store, each certificate shown in the
// confirmation dialog before it is used. 1: every one resolved (the choice then names them as
// the store does); 0: a failure, said once; -1: a certificate was refused.
int ResolveDirectoryChoice(IUiHost& host, LogonStore& store, RecipientChoice& choice);

// The directory groups share paths name, for the engine's shared encryption: each member's
// certificate not yet confirmed is shown in the confirmation dialog, and a refusal there is the
// person's answer, not said again (ShareGroups::Refused). Null when no directory is set up.
std::unique_ptr<directory::ShareGroups> ShareDirectoryGroups(IUiHost& host, LogonStore& store);

#endif
