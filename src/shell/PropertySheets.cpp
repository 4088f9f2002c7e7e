#include "shell/PropertySheets.h"

#include <cstring>

#include "engine/EngineContext.h"
#include "logon/ILogon.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "shell/FDPropertyPage.h"
#include "shell/FilePropertyPage.h"
#include "shell/Messages.h"
#include "shell/PlainFunctions.h"
#include "shell/SecurePage.h"

namespace {

bool ExistingFile(const std::string& path) {
    ILogon* logon = LogonLibrary();
    return logon ? logon->FileExists(path) != 0 : IsExistingFile(path);
}

}  // namespace

std::unique_ptr<CPropertySheet> MakeFileSheet(const std::string& path) {
    auto sheet = std::make_unique<CPropertySheet>(MessageText(msg::shell::OneTitle, LogonSplitName(path)));
    sheet->AddPage(std::make_unique<CPropertyFileProperty>(path));
    if (HasSecurityPage(path)) sheet->AddPage(std::make_unique<CDlgSecure>(path));
    return sheet;
}

std::unique_ptr<CPropertySheet> MakeSelectionSheet(const char* list) {
    size_t entries = 0, files = 0;
    std::string only;
    for (const char* p = list; p != nullptr && *p != '\0'; p += std::strlen(p) + 1) {
        ++entries;
        if (ExistingFile(p)) ++files;
        only = p;
    }
    if (entries == 1 && files == 1) return MakeFileSheet(only);
    auto page = std::make_unique<CDlgFDProperty>(list);
    auto sheet = std::make_unique<CPropertySheet>(page->SheetTitle());
    sheet->AddPage(std::move(page));
    return sheet;
}

void DispFileProperty(const char* path) try {
    if (path == nullptr || !ExistingFile(path)) {
        ShowMessage(msg::shell::FileMissing);
        return;
    }
    UiHost().RunDialog(*MakeFileSheet(path));
} catch (...) {
    EntryFailed(EngineContext{});
}

void DisplayFDProperty(char* list, int* pModified) try {
    int ignored = 0;
    if (!pModified) pModified = &ignored;
    *pModified = 0;
    std::unique_ptr<CPropertySheet> sheet = MakeSelectionSheet(list);
    int result = UiHost().RunDialog(*sheet);
    auto* page = dynamic_cast<CDlgFDProperty*>(sheet->Pages().front().get());
    if (page != nullptr && result == IDOK) *pModified = page->AttributesChanged();
} catch (...) {
    EntryFailed(EngineContext{});
}
