#pragma once
// The security page of a secured file (".vrk", ".idi"): the lines of its security
// information (shell/SecurityPage.h), read when the page is made. It has no attribute boxes
// and nothing to apply.

#include <string>
#include <vector>

#include "shell/Messages.h"
#include "shell/PropertySheet.h"

class CDlgSecure : public PropertyPage {
public:
    explicit CDlgSecure(const std::string& path);

    int TemplateId() const override { return 6009; }
    std::string Caption() const override { return MessageText(msg::shell::SecurityCaption); }
    std::vector<SheetLine> Lines() const override { return m_lines; }

private:
    std::vector<SheetLine> m_lines;
};

// True for the names whose sheet carries the security page: extension "vrk" or "idi", any case.
bool HasSecurityPage(const std::string& path);
