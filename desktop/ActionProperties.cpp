// properties: the property sheet of the selection (one file's sheet, else the page of the
// drive and the several items).

#include "Actions.h"
#include "shell/PlainFunctions.h"

int ShowProperties(ActionJob& job) {
    std::string list;
    for (const std::string& path : job.files) list.append(path).push_back('\0');
    list.push_back('\0');
    int modified = 0;
    DisplayFDProperty(list.data(), &modified);
    return 1;
}
