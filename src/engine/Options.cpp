#include "engine/Options.h"

#include <strings.h>

#include "logon/ILogon.h"

std::string ReadOption(const std::string& section, const std::string& key, const std::string& defaultValue) {
    ILogon* logon = LogonLibrary();
    return logon ? logon->GetOption(section, key, defaultValue) : defaultValue;
}

bool OptionIsTrue(const std::string& section, const std::string& key, const std::string& defaultValue) {
    return strcasecmp(ReadOption(section, key, defaultValue).c_str(), "TRUE") == 0;
}
