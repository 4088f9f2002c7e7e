#pragma once
// The type text a drive page shows for a kind of drive. (Drives here are mount points and
// have no letters, so the floppy text of drive "A:" never applies.)

#include <string>

#include "platform/Drives.h"

std::string DriveTypeText(DriveKind kind);
