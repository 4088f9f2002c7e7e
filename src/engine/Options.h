#pragma once
// Settings as the engine reads them: from the installed logon library, or the default when
// none is installed or the setting is unset.

#include <string>

std::string ReadOption(const std::string& section, const std::string& key, const std::string& defaultValue);
// True when the setting reads "TRUE" in any case.
bool OptionIsTrue(const std::string& section, const std::string& key, const std::string& defaultValue);
