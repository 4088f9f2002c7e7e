#pragma once
// Who a package or mail can be made for: rows of users and groups, each with the state of its
// certificate, read from one or more recipient sources (the suite's store is one; a directory
// can be another), and the choice the person makes among them in the recipient chooser.
//
// Rows are read on the engine's thread before the chooser is shown; the chooser itself only
// edits a RecipientChoice, which then tells each action what it needs (user IDs, certificate
// names, share entries).

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "logon/ILogon.h"
#include "platform/UiHost.h"

class LogonStore;

struct RecipientRow {
    enum class Kind { kUser, kGroup };
    Kind kind = Kind::kUser;
    std::string id;        // user ID, or group name
    std::string name;      // display name (the name in the certificate), or the group's name
    std::string email;     // users only
    std::string certName;  // users only: the name their certificate is installed under
    int32_t number = 0;    // user number or group identifier in its source
    // kCertConfirmed, kCertNeverConfirmed, kCertModified, or kCertUnknown for no certificate
    // installed. A group has the worst state among its members.
    int certState = kCertUnknown;
    // Users: the certificate is within its dates now (one expired or not yet valid protects
    // nothing and is not used).
    bool validNow = true;
    std::vector<RecipientRow> members;  // groups only: the member users
    std::string source;                 // the source's name, for rows from several sources
    std::string stateNote;              // the source's own word on the certificate, shown for the state
    // From a source the store does not hold (a directory): used only once resolved through the
    // store, which shows a certificate not yet confirmed and keeps it once it is.
    bool external = false;

    // Whether a package can be made for it: a certificate installed, not changed since it
    // was confirmed and valid now; a group when at least one member can.
    bool Usable() const;
};

// One place recipients come from.
class IRecipientSource {
public:
    virtual ~IRecipientSource() = default;
    virtual std::string Name() const = 0;
    // Appends this source's rows; false with `error` said in the engine's words when the
    // source cannot be read (the other sources still count).
    virtual bool ReadRows(std::vector<RecipientRow>& rows, std::string& error) = 0;
    // A source too large to be listed whole (a directory) is searched instead: ReadRows then
    // reads the rows that match the text last set here, and none before a text is set.
    virtual bool Searched() const { return false; }
    virtual void SetSearch(const std::string& text) { (void)text; }
};

// The users and groups of the suite's store, each user's certificate state by the store's own
// confirmation check.
class StoreRecipients : public IRecipientSource {
public:
    explicit StoreRecipients(LogonStore& store) : m_store(store) {}
    std::string Name() const override;
    bool ReadRows(std::vector<RecipientRow>& rows, std::string& error) override;

private:
    LogonStore& m_store;
};

// Every source the chooser reads, the store first, then the organisation's directory when the
// store has one set up and `directory` allows it.
std::vector<std::unique_ptr<IRecipientSource>> RecipientSources(LogonStore& store, bool directory = true);

// The worse of two certificate states: a group shows the worst of its members'.
int WorseCertState(int a, int b);

// The text of a certificate state as the chooser shows it.
std::string CertStateText(int state);

// The recipient chooser's model: the rows, a filter, the rows checked and the "me too" box.
class RecipientChoice : public DialogModel {
public:
    // Search ends the dialog for the searched sources to be read with the filter text; the
    // chooser is then shown again with their rows added.
    enum : int { kIdOk = 1, kIdCancel = 2, kIdSearch = 3 };
    // meUserId: the logged-on user. meAlways: the operation always makes the package for them
    // too (the box is then shown checked and cannot be cleared).
    RecipientChoice(std::vector<RecipientRow> rows, std::string meUserId, bool meAlways);

    // Rows of every source, in the order of the sources; a source that fails is said once
    // through the host and left out. The searched sources that could be read go to `searched`.
    static std::vector<RecipientRow> ReadAll(const std::vector<IRecipientSource*>& sources,
                                             std::vector<IRecipientSource*>* searched = nullptr);

    std::string Kind() const override { return "recipients"; }
    int TemplateId() const override { return 0; }
    std::string Title() const override;
    std::vector<std::string> Lines() const override;
    std::vector<DialogButton> Buttons() const override;
    int DefaultButton() const override { return kIdOk; }
    std::string CancellingAnswer() const override { return "cancel"; }
    bool CanPress(int id) const override;
    int Press(int id) override { return (id == kIdOk || id == kIdSearch) && CanPress(id) ? id : kIdCancel; }
    int Close() override { return kIdCancel; }

    const std::vector<RecipientRow>& Rows() const { return m_rows; }
    // Rows found later (a search); a row already listed from the same source is left out.
    void AddRows(const std::vector<RecipientRow>& rows);
    // Whether Search is offered: a searched source could be read.
    void SetSearchable(bool on) { m_searchable = on; }
    void SetFilter(std::string text) { m_filter = std::move(text); }
    const std::string& Filter() const { return m_filter; }
    // Whether row i matches the filter text: every word of it found, without regard to case,
    // in the row's ID, name, e-mail address, or (for a group) a member's.
    bool Matches(size_t i, const std::string& filter) const;
    void SetChecked(size_t i, bool checked);
    bool Checked(size_t i) const { return m_checked.count(i) != 0; }
    void SetMeToo(bool on) { m_meToo = on || m_meAlways; }
    bool MeToo() const { return m_meToo; }
    bool MeAlways() const { return m_meAlways; }
    const std::string& Me() const { return m_me; }
    // Rows checked before the chooser opens that stay chosen (a share's present decryptors).
    void Keep(size_t i);
    bool Kept(size_t i) const { return m_kept.count(i) != 0; }

    // The users chosen, each once: the checked users, the usable members of checked groups,
    // and the logged-on user first when "me too" is on.
    std::vector<const RecipientRow*> ChosenUsers() const;
    // The chosen external users, by the names the store resolves them by (e-mail, else ID).
    std::vector<std::string> ExternalNames() const;
    // The names the store gave the external users once resolved; they stand for them below.
    void SetResolved(std::vector<std::string> names) { m_resolved = std::move(names); }
    // The chosen users' IDs (certificate names), the resolved external users' names after them.
    std::vector<std::string> ChosenUserIds() const;
    std::vector<std::string> ChosenCertNames() const;
    // The checked rows as a share's authorised decryptors (groups stay groups); kept rows left out.
    std::vector<DecryptMan> ChosenShareEntries() const;

private:
    std::vector<RecipientRow> m_rows;
    std::set<size_t> m_checked;
    std::set<size_t> m_kept;
    std::string m_me;
    bool m_meAlways = false;
    bool m_meToo = false;
    bool m_searchable = false;
    std::string m_filter;
    std::vector<std::string> m_resolved;
    RecipientRow m_meRow;
};
