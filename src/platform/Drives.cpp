#include "platform/Drives.h"

#include <blkid/blkid.h>
#include <mntent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <memory>
#include <string_view>

namespace {

std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool OneOf(std::string_view value, std::initializer_list<std::string_view> set) {
    return std::find(set.begin(), set.end(), value) != set.end();
}

bool IsNetworkFileSystem(std::string_view type) {
    return OneOf(type,
                 {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "9p", "ceph", "glusterfs", "lustre", "gfs2",
                  "ocfs2", "davfs", "fuse.sshfs", "fuse.glusterfs", "fuse.ceph", "fuse.s3fs", "fuse.rclone"});
}

bool IsKernelFileSystem(std::string_view type) {
    return OneOf(type, {"proc",    "sysfs",       "devtmpfs", "devpts",   "cgroup",     "cgroup2",   "securityfs",
                        "debugfs", "tracefs",     "pstore",   "bpf",      "mqueue",     "hugetlbfs", "configfs",
                        "fusectl", "binfmt_misc", "autofs",   "efivarfs", "rpc_pipefs", "nsfs",      "selinuxfs"});
}

// The "removable" flag of the disk behind a block device; a partition asks its disk.
bool IsRemovableDevice(const std::string& device) {
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return false;
    std::string sys = "/sys/dev/block/" + std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
    for (const std::string& flag : {sys + "/removable", sys + "/../removable"}) {
        std::ifstream in(flag);
        int value = 0;
        if (in >> value) return value == 1;
    }
    return false;
}

}  // namespace

bool ReadMountTable(std::vector<MountEntry>& out) {
    out.clear();
    FILE* table = ::setmntent("/proc/self/mounts", "r");
    if (table == nullptr) return false;
    std::array<char, 4096> buffer{};
    mntent entry{};
    while (::getmntent_r(table, &entry, buffer.data(), static_cast<int>(buffer.size())) != nullptr)
        out.push_back({WithoutTrailingSeparators(entry.mnt_dir), entry.mnt_fsname, entry.mnt_type});
    ::endmntent(table);
    return true;
}

bool FindMountPoint(const std::string& path, MountEntry& out) {
    std::vector<MountEntry> table;
    if (path.empty() || !ReadMountTable(table)) return false;
    std::string wanted = WithoutTrailingSeparators(path);
    for (auto it = table.rbegin(); it != table.rend(); ++it) {
        if (it->mountPoint == wanted) {
            out = *it;
            return true;
        }
    }
    return false;
}

DriveKind KindOfDrive(const MountEntry& entry) {
    std::string_view type = entry.fsType;
    if (IsNetworkFileSystem(type)) return DriveKind::Remote;
    if (OneOf(type, {"iso9660", "udf"}) || entry.device.rfind("/dev/sr", 0) == 0) return DriveKind::Optical;
    if (OneOf(type, {"tmpfs", "ramfs"})) return DriveKind::RamDisk;
    if (entry.device.rfind("/dev/", 0) == 0)
        return IsRemovableDevice(entry.device) ? DriveKind::Removable : DriveKind::Fixed;
    if (IsKernelFileSystem(type)) return DriveKind::Unknown;
    return DriveKind::Fixed;
}

std::string VolumeLabel(const MountEntry& entry) {
    if (entry.device.rfind("/dev/", 0) != 0) return {};
    blkid_cache cache = nullptr;
    // A private, empty cache: the label is probed from the device and the system's cache file
    // is neither read stale nor written.
    if (blkid_get_cache(&cache, "/dev/null") != 0) cache = nullptr;
    std::string label;
    if (char* value = blkid_get_tag_value(cache, "LABEL", entry.device.c_str())) {
        label = value;
        free(value);
    }
    if (cache) blkid_put_cache(cache);
    return label;
}

bool ReadDriveSpace(const std::string& path, DriveSpace& out) {
    out = {};
    struct statvfs vfs {};
    if (::statvfs(path.c_str(), &vfs) != 0) return false;
    uint64_t unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
    out.total = static_cast<uint64_t>(vfs.f_blocks) * unit;
    out.totalFree = static_cast<uint64_t>(vfs.f_bfree) * unit;
    out.freeToCaller = static_cast<uint64_t>(vfs.f_bavail) * unit;
    return true;
}
