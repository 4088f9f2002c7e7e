// Drive questions of the shell, answered from the mount table (see platform/Drives.h).

#include "engine/EngineContext.h"
#include "platform/Drives.h"
#include "shell/DriveText.h"
#include "shell/Messages.h"
#include "shell/PlainFunctions.h"

int IsLogicDrive(const char* path) try {
    if (path == nullptr || *path == '\0') return 0;
    MountEntry entry;
    return FindMountPoint(path, entry) ? 1 : 0;
} catch (...) {
    return EntryFailed(EngineContext{}, 0);
}

int GetDriveAmount(const char* root, int64_t* freeToCaller, int64_t* total, int64_t* totalFree) try {
    int64_t ignored = 0;
    if (!freeToCaller) freeToCaller = &ignored;
    if (!total) total = &ignored;
    if (!totalFree) totalFree = &ignored;
    *freeToCaller = *total = *totalFree = 0;
    DriveSpace space;
    if (root == nullptr || !ReadDriveSpace(root, space)) return 0;
    *freeToCaller = static_cast<int64_t>(space.freeToCaller);
    *total = static_cast<int64_t>(space.total);
    *totalFree = static_cast<int64_t>(space.totalFree);
    return 1;
} catch (...) {
    return EntryFailed(EngineContext{}, 0);
}

std::string DriveTypeText(DriveKind kind) {
    switch (kind) {
        case DriveKind::Unknown:
        case DriveKind::NoRoot:
            return MessageText(msg::shell::DriveUnknown);
        case DriveKind::Removable:
            return MessageText(msg::shell::DriveRemovable);
        case DriveKind::Fixed:
            return MessageText(msg::shell::DriveFixed);
        case DriveKind::Remote:
            return MessageText(msg::shell::DriveRemote);
        case DriveKind::Optical:
            return MessageText(msg::shell::DriveOptical);
        case DriveKind::RamDisk:
            return MessageText(msg::shell::DriveRam);
    }
    return {};
}
