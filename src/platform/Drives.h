#pragma once
// Drives on this platform. What the shell calls a drive is a mount point of the system's
// mount table (/proc/self/mounts); its "drive root" is the mount point's path with a
// trailing separator ("/" for the root file system).
//
// The kind of drive comes from the mounted file system and the device behind it:
//   network file systems (NFS, SMB/CIFS, sshfs, 9p, Ceph, ...)      remote
//   iso9660, udf, or a device named sr*                              optical
//   tmpfs, ramfs                                                     RAM disk
//   a block device whose disk the kernel flags removable             removable
//   any other block device; overlay, btrfs, zfs, other disk files    fixed
//   kernel file systems (proc, sysfs, cgroup, devpts, ...)           unknown
// The volume label is the block device's label as libblkid reads it (from its cache or by
// probing the device); sizes come from statvfs and are 64-bit.

#include <cstdint>
#include <string>
#include <vector>

struct MountEntry {
    std::string mountPoint;  // as the table holds it, escapes decoded; no trailing separator
    std::string device;      // the mount source ("/dev/vda1", "server:/export", "tmpfs")
    std::string fsType;      // "ext4", "nfs4", "tmpfs", ...
};

// The drive kinds, numbered as the shell's drive-type table numbers them.
enum class DriveKind : int { Unknown = 0, NoRoot = 1, Removable = 2, Fixed = 3, Remote = 4, Optical = 5, RamDisk = 6 };

// False when the table cannot be read.
bool ReadMountTable(std::vector<MountEntry>& out);
// The entry mounted at exactly this path (trailing separators ignored); the last mount on a
// path is the one in effect. False when none is.
bool FindMountPoint(const std::string& path, MountEntry& out);
DriveKind KindOfDrive(const MountEntry& entry);
// The block device's volume label; empty when it has none or cannot be read.
std::string VolumeLabel(const MountEntry& entry);

struct DriveSpace {
    uint64_t freeToCaller = 0;  // what an unprivileged writer may still use
    uint64_t total = 0;
    uint64_t totalFree = 0;
};
bool ReadDriveSpace(const std::string& path, DriveSpace& out);
