#include "ProgressLine.h"

namespace {

double Megabytes(uint64_t bytes) {
  return static_cast<double>(bytes) / 1e6;
}

}  // namespace

void ProgressLine::Show(const PublishProgress& progress) {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
  const double rate = seconds > 0 ? Megabytes(progress.bytesDone) / seconds : 0;
  std::fprintf(m_terminal, "\r%d/%d files, %.1f/%.1f MB, %.1f MB/s", progress.filesDone,
               progress.files, Megabytes(progress.bytesDone), Megabytes(progress.bytes), rate);
  if (rate > 0) {
    const auto left =
        static_cast<unsigned long>(Megabytes(progress.bytes - progress.bytesDone) / rate);
    std::fprintf(m_terminal, ", %lu:%02lu left", left / 60, left % 60);
  }
  // Erases what a longer line before left.
  std::fputs("\033[K", m_terminal);
  std::fflush(m_terminal);
}

void ProgressLine::Clear() {
  std::fputs("\r\033[K", m_terminal);
  std::fflush(m_terminal);
}
