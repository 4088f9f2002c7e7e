#include "Actions.h"

#include <filesystem>
#include <utility>

#include "DirectorySource.h"
#include "Messages.h"
#include "QtUiHost.h"
#include "Recipients.h"
#include "logon/LogonStore.h"

namespace {

const std::pair<std::string_view, Action> kActions[] = {{"open", OpenFiles},          {"pack", PackFiles},
                                                        {"envelope", EnvelopeFiles},  {"encrypt", EncryptEachFile},
                                                        {"share", ShareEncryptFiles}, {"sign", SignFilesAction},
                                                        {"verify", VerifyFiles},      {"mail", MailFiles},
                                                        {"wipe", WipeFiles},          {"properties", ShowProperties}};

constexpr size_t kLinesShown = 10;

}  // namespace

Action FindAction(std::string_view name) {
    for (const auto& [known, action] : kActions)
        if (known == name) return action;
    return nullptr;
}

const std::vector<std::string_view>& ActionNames() {
    static const std::vector<std::string_view> names = [] {
        std::vector<std::string_view> out;
        for (const auto& entry : kActions) out.push_back(entry.first);
        return out;
    }();
    return names;
}

std::string FreePackageName(const std::string& first, const char* extension) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string candidate = first + extension;
    for (int n = 2; fs::exists(fs::symlink_status(candidate, ec)); ++n)
        candidate = first + " (" + std::to_string(n) + ")" + extension;
    return candidate;
}

std::string ShortList(const std::vector<std::string>& lines) {
    std::string shown;
    for (size_t i = 0; i < lines.size() && i < kLinesShown; ++i) shown += lines[i] + "\n";
    if (lines.size() > kLinesShown)
        shown += MessageText(msg::desktop::WipeMore, static_cast<int>(lines.size() - kLinesShown)) + "\n";
    if (!shown.empty()) shown.pop_back();
    return shown;
}

std::unique_ptr<RecipientChoice> ChooseRecipients(ActionJob& job, const std::string& me, bool meAlways, int& ended,
                                                  const std::vector<DecryptMan>* share) {
    ended = -1;
    const std::vector<std::unique_ptr<IRecipientSource>> owned = RecipientSources(job.store, share == nullptr);
    std::vector<IRecipientSource*> sources, searched;
    for (const auto& source : owned) sources.push_back(source.get());
    auto choice = std::make_unique<RecipientChoice>(RecipientChoice::ReadAll(sources, &searched), me, meAlways);
    choice->SetSearchable(!searched.empty());
    const std::vector<RecipientRow>& rows = choice->Rows();
    for (size_t m = 0; share != nullptr && m < share->size(); ++m) {
        const DecryptMan& man = (*share)[m];
        // A directory group's number is no store user's or group's: it ticks no row.
        if (man.type != kDecryptManUser && man.type != kDecryptManGroup) continue;
        const auto kind = man.type == kDecryptManGroup ? RecipientRow::Kind::kGroup : RecipientRow::Kind::kUser;
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i].kind == kind && rows[i].number == man.id && rows[i].source == owned.front()->Name())
                choice->Keep(i);
    }
    // Search reads the searched sources with the filter text (here, on the engine's thread) and
    // shows the chooser again with what they found.
    int answer = RecipientChoice::kIdCancel;
    while ((answer = job.host.RunDialog(*choice)) == RecipientChoice::kIdSearch) {
        for (IRecipientSource* source : searched) {
            source->SetSearch(choice->Filter());
            choice->AddRows(RecipientChoice::ReadAll({source}));
        }
    }
    if (answer != RecipientChoice::kIdOk) return nullptr;
#ifdef VARNEX_DIRECTORY
    if (const int resolved = ResolveDirectoryChoice(job.host, job.store, *choice); resolved != 1) {
        ended = resolved;
        return nullptr;
    }
#endif
    return choice;
}

std::string LoggedOnUser(LogonStore& store) {
    std::string userId;
    SecretText password;
    int type = 0;
    store.GetLogonUser(userId, password, type);
    return userId;
}
