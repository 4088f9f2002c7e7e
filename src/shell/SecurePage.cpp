#include "shell/SecurePage.h"

#include "engine/Korvane.h"
#include "logon/ILogon.h"
#include "shell/SecurityPage.h"

CDlgSecure::CDlgSecure(const std::string& path) {
    CKorvane engine;
    for (const std::string& line : SecurityPageLines(ReadFileSecurity(engine, path))) m_lines.emplace_back("", line);
}

bool HasSecurityPage(const std::string& path) {
    std::string name = LogonSplitName(path);
    size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    std::string ext = name.substr(dot + 1);
    return LogonEqualNoCase(ext, "vrk") || LogonEqualNoCase(ext, "idi");
}
