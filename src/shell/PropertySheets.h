#pragma once
// The sheets the property functions show, built without showing them (the program prints
// them; DispFileProperty and DisplayFDProperty run them through the UI host).

#include <memory>
#include <string>

#include "shell/PropertySheet.h"

// "%s 属性" with the general page of one file, and the security page for ".vrk" and ".idi".
std::unique_ptr<CPropertySheet> MakeFileSheet(const std::string& path);
// The sheet DisplayFDProperty shows for a list: the file sheet for exactly one entry that is
// an existing file, else the drive and multiple-item page.
std::unique_ptr<CPropertySheet> MakeSelectionSheet(const char* list);
