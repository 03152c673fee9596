// The disk space an update needs, weighed before its first byte where the content list gives
// the sizes (the installed files' and the payloads'), so that a disk too small refuses the
// update at once instead of filling up half-way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The box of a disk too full for a file or for the update; %s is the file or the drive.
inline constexpr const char* kDiskFullBox = "磁盘空间不足，无法写入%s，请清理磁盘后点击确定重试！";

// What installing one file does to the disk.
struct FileSpace {
  uint64_t installed = 0;  // the new file (decoded into FILE.tmp2)
  uint64_t replaced = 0;   // the old file it replaces, freed by the rename
  // Held beside the new file until it is installed: the payload as received (FILE.tmp). A
  // patch, held while the new file is built from the old one, adds its size here.
  uint64_t transfer = 0;
  uint64_t kept = 0;  // the part of the payload an earlier run left in FILE.tmp, on the disk now
};

// The most bytes the update adds to the disk at any moment, with up to `connections` files in
// flight at once: every installed file's growth, plus the temporary files of the largest ones in
// flight together. Installs end in any order with several connections; this bounds them all.
uint64_t PeakDiskNeed(const std::vector<FileSpace>& files, int connections);

// True when the drive of `workPath` has `need` bytes free, or when it cannot be asked. Else the
// log says how much is missing on which drive and the disk-full box asks the player to make
// room; the drive is asked again after each box, three boxes at most, then false.
bool HasRoomForUpdate(const std::string& workPath, uint64_t need);
