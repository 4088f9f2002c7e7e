// Drive questions of the shell, answered from the mount table (see platform/Drives.h).

#include "engine/EngineContext.h"
#include "platform/Drives.h"
#include "shell/DriveText.h"
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
            return "未知类型";
        case DriveKind::Removable:
            return "可移动磁盘";
        case DriveKind::Fixed:
            return "本机磁盘";
        case DriveKind::Remote:
            return "网络磁盘";
        case DriveKind::Optical:
            return "光盘";
        case DriveKind::RamDisk:
            return "虚拟磁盘";
    }
    return {};
}
