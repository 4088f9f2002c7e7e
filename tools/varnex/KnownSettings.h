#pragma once
// The settings of the logon store that the suite reads, each with the values it understands:
// `varnex option` refuses a setting nothing reads (a slip of the pen would be stored and never
// used) and a value that would be read as something else than was meant.

#include <string>

struct SettingName {
    std::string section;
    std::string key;
};

// The setting as the suite spells it, for a section and key in any case. False with `error`
// (a usage error's text, with the nearest known name when there is one) for a setting the
// suite does not read.
bool KnownSetting(const std::string& section, const std::string& key, SettingName& out, std::string& error);

// "" when the suite reads `value` of the known setting `name` as what it says; else why not.
std::string CheckSettingValue(const SettingName& name, const std::string& value);
