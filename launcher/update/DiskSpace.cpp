#include "DiskSpace.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "Log.h"
#include "TransferQueue.h"
#include "platform/System.h"

namespace {

uint64_t Minus(uint64_t a, uint64_t b) {
  return a > b ? a - b : 0;
}

}  // namespace

uint64_t PeakDiskNeed(const std::vector<FileSpace>& files, int connections) {
  uint64_t growth = 0;
  std::vector<uint64_t> inFlight;
  for (const FileSpace& file : files) {
    // The kept part is freed with the other temporary files once the file is installed.
    growth += Minus(file.installed, file.replaced + file.kept);
    inFlight.push_back(Minus(file.transfer, file.kept) + file.installed);
  }
  const size_t together = std::min(inFlight.size(), static_cast<size_t>(std::max(connections, 1)));
  std::partial_sort(inFlight.begin(), inFlight.begin() + together, inFlight.end(),
                    std::greater<>());
  for (size_t i = 0; i < together; ++i) growth += inFlight[i];
  return growth;
}

bool HasRoomForUpdate(const std::string& workPath, uint64_t need) {
  sys::System& system = sys::Current();
  for (int box = 0; box < TransferQueue::kPasses; ++box) {
    sys::Drive drive;
    if (!system.FreeSpaceOf(workPath, drive) || need <= drive.freeBytes) return true;
    LogPrint("disk %s: the update needs %llu bytes, %llu are free, %llu more are needed",
             drive.root.c_str(), static_cast<unsigned long long>(need),
             static_cast<unsigned long long>(drive.freeBytes),
             static_cast<unsigned long long>(need - drive.freeBytes));
    char text[1024];
    std::snprintf(text, sizeof text, kDiskFullBox, drive.root.c_str());
    if (!system.MessageBox(text, "更新失败")) break;
  }
  LogPrint("not enough disk space, update stopped");
  return false;
}
