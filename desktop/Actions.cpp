#include "Actions.h"

#include <utility>

Action FindAction(std::string_view name) {
    static const std::pair<std::string_view, Action> actions[] = {
        {"open", OpenFiles},       {"pack", PackFiles},     {"properties", ShowProperties},
        {"sign", SignFilesAction}, {"verify", VerifyFiles}, {"wipe", WipeFiles}};
    for (const auto& [known, action] : actions)
        if (known == name) return action;
    return nullptr;
}
