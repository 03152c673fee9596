#include "Downloader.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <new>
#include <optional>
#include <system_error>

#include "BodyWriter.h"
#include "FileUtil.h"
#include "Log.h"
#include "Patch.h"
#include "Signature.h"
#include "TransferQueue.h"
#include "VersionInfos.h"
#include "platform/WorkerJoin.h"

namespace {

constexpr int kPasses = TransferQueue::kPasses;
constexpr int kAttemptsPerPass = TransferQueue::kAttemptsPerPass;
constexpr const char* kFailedBox = "下载资源失败：%s\n请点击确定重试！";
constexpr const char* kDiskFullBox = "磁盘空间不足，无法写入%s，请清理磁盘后点击确定重试！";
// The longest a concurrent job waits for its transfers before it looks at the clock and at
// its owner again.
constexpr uint64_t kPollMs = 100;

// What an attempt fetches: the section's patch while it has one, else its full payload.
const std::string& AttemptUrl(const Downloader::Request::Section& section) {
  return section.patch ? section.patch->url : section.url;
}

void ShowBox(const char* format, const std::string& value, const char* caption) {
  char text[1024];
  std::snprintf(text, sizeof text, format, value.c_str());
  sys::Current().MessageBox(text, caption);
}

}  // namespace

Downloader::Request::Section::~Section() {
  if (fp) std::fclose(fp);
}

Downloader::Request::Request(Decompressor* pDecompressor, DownloadProgress* pProgress,
                             const Timing& timing, const sys::Signal* pAbort)
    : m_pDecompressor(pDecompressor), m_pProgress(pProgress), m_timing(timing), m_pAbort(pAbort) {}

Downloader::Request::~Request() = default;

bool Downloader::Request::AddSection(const std::string& url, const std::string& filename,
                                     const ContentDigest* pExpected, uint64_t maxSize) {
  auto section = std::unique_ptr<Section>(new (std::nothrow) Section);
  if (!section) return false;
  section->url = url;
  section->filename = filename;
  section->maxSize = maxSize;
  // A file signed as N bytes is never installed with more: more is not worth receiving.
  if (pExpected) {
    section->expected = *pExpected;
    section->maxSize = std::min(maxSize, pExpected->size);
  }
  m_sections.push_back(std::move(section));
  return true;
}

void Downloader::Request::Progress() {
  // A job being ended by its owner reports nothing more: the owner is going away.
  if (m_pCallback && !Aborted()) m_pCallback->OnProgress();
}

int Downloader::Request::TransferInfo(void* clientp, curl_off_t dlTotal, curl_off_t dlNow,
                                      curl_off_t ulTotal, curl_off_t ulNow) {
  auto* request = static_cast<Request*>(clientp);
  DownloadProgress& progress = *request->m_pProgress;
  progress.dlTotal = static_cast<double>(dlTotal);
  progress.dlNow = static_cast<double>(dlNow);
  progress.ulTotal = static_cast<double>(ulTotal);
  progress.ulNow = static_cast<double>(ulNow);
  request->Progress();
  return request->Aborted() ? 1 : 0;
}

// A handle with the job's options; the sections' own are set before each transfer. Only a
// transfer that is stuck fails by the clock: one that cannot connect, or that moves less than
// the low speed for its time. One that keeps moving runs to its end, however long it takes.
CURL* Downloader::Request::NewHandle(curl_slist* header) {
  CURL* curl = curl_easy_init();
  if (!curl) return nullptr;
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, header);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, m_timing.connectTimeoutMs);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, m_timing.lowSpeedBytesPerSecond);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, m_timing.lowSpeedSeconds);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &BodyWriter::WriteCallback);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Request::TransferInfo);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
  return curl;
}

bool Downloader::Request::Excute() {
  bool result = false;
  CURL* curl = nullptr;
  curl_slist* header = nullptr;
  if (Check(!m_sections.empty(), "Downloader", 256, "!m_sections.empty()")) {
    *m_pProgress = DownloadProgress();
    m_pProgress->total = static_cast<int>(m_sections.size());
    m_pProgress->running = 1;
    header = curl_slist_append(
        header, "User-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; CIBA)");
    header = curl_slist_append(header, "Connection: Keep-Alive");
    if (m_nConnections > 1) {
      Progress();
      result = ExcuteConcurrent(header);
    } else if ((curl = NewHandle(header)) != nullptr) {
      Progress();
      result = true;
      for (auto& section : m_sections) {
        if (!DownloadWithRetries(curl, *section)) {
          result = false;
          break;
        }
      }
    } else {
      LogPrint("curl_easy_init failed");
    }
  }
  if (curl) curl_easy_cleanup(curl);
  if (header) curl_slist_free_all(header);
  m_pProgress->running = 0;
  Progress();
  return result;
}

bool Downloader::Request::DownloadWithRetries(CURL* curl, Section& section) {
  sys::System& system = sys::Current();
  for (int pass = 0; pass < kPasses; ++pass) {
    for (int attempt = 0; attempt < kAttemptsPerPass; ++attempt) {
      if (Aborted()) return false;
      const bool patching = section.patch.has_value();
      if (DownloadSection(curl, section)) {
        ++m_pProgress->completed;
        Progress();
        return true;
      }
      // A failed patch costs no attempt: the full payload comes at once.
      if (patching) {
        --attempt;
        continue;
      }
      // An owner ending the job does not sit out the pause.
      if (system.Pause(m_timing.retryPauseMs, *m_pAbort)) return false;
    }
    if (Aborted()) return false;
    ShowBox(kFailedBox, section.url, "错误");
  }
  Check(false, "Downloader", 304, "bDownloaded");
  return false;
}

bool Downloader::Request::DownloadSection(CURL* curl, Section& section) {
  std::unique_ptr<BodyWriter> body = BeginAttempt(curl, section);
  if (!body) return false;
  return EndAttempt(curl, curl_easy_perform(curl), section, *body);
}

// Up to m_nConnections transfers at once, all driven from this thread by libcurl's multi
// interface, so that the time each request waits for its first byte overlaps with the others'
// bodies. Each section ends as it would alone: its own temporary files, installed and marked
// only when whole; retries, boxes and the job's end come in the order TransferQueue gives.
bool Downloader::Request::ExcuteConcurrent(curl_slist* header) {
  struct Slot {
    CURL* curl = nullptr;
    size_t section = 0;
    std::unique_ptr<BodyWriter> body;  // while the slot's transfer runs
  };
  const auto start = std::chrono::steady_clock::now();
  auto now = [start] {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start)
                                     .count());
  };
  std::vector<Slot> slots(std::min(m_sections.size(), static_cast<size_t>(m_nConnections)));
  CURLM* multi = curl_multi_init();
  bool ready = multi != nullptr;
  for (Slot& slot : slots) ready = ready && (slot.curl = NewHandle(header)) != nullptr;
  TransferQueue queue(m_sections.size(), m_timing.retryPauseMs);
  int running = 0;
  // Every transfer sends its request at once, but its body waits at the first byte until its
  // decoder, at the per-decoder limit, fits the budget beside those of the others: so the
  // requests' waits for their first bytes overlap however much memory the decoders need.
  auto mayDecode = [&slots, this] {
    uint64_t held = 0;
    for (const Slot& slot : slots) held += slot.body ? slot.body->MemoryHeld() : 0;
    if (!DecoderMemoryAllows(held)) return false;
    m_pProgress->decoderMemoryPeak =
        std::max(m_pProgress->decoderMemoryPeak, held + kDecoderMemLimit);
    return true;
  };
  if (ready) {
    curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, static_cast<long>(slots.size()));
  } else {
    LogPrint(multi ? "curl_easy_init failed" : "curl_multi_init failed");
  }
  while (ready && !Aborted() && !queue.Ended(running)) {
    for (Slot& slot : slots) {
      std::optional<size_t> next;
      if (slot.body && slot.body->Waiting() && mayDecode()) {
        slot.body->Admit();
        curl_easy_pause(slot.curl, CURLPAUSE_CONT);
      }
      while (!slot.body && (next = queue.Next(now()))) {
        slot.body = BeginAttempt(slot.curl, *m_sections[*next]);
        if (!slot.body) {
          queue.Failed(*next, now());
          continue;
        }
        slot.body->SetAdmission(mayDecode);
        slot.section = *next;
        curl_multi_add_handle(multi, slot.curl);
        ++running;
      }
    }
    if (std::optional<size_t> box = queue.BoxDue(now(), running)) {
      ShowBox(kFailedBox, m_sections[*box]->url, "错误");
      if (!queue.BoxConfirmed(*box, now())) Check(false, "Downloader", 304, "bDownloaded");
      continue;
    }
    int active = 0;
    curl_multi_perform(multi, &active);
    bool ended = false;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
      if (msg->msg != CURLMSG_DONE) continue;
      const CURLcode rc = msg->data.result;
      auto slot = std::find_if(slots.begin(), slots.end(),
                               [&](const Slot& s) { return s.curl == msg->easy_handle; });
      curl_multi_remove_handle(multi, slot->curl);
      --running;
      ended = true;
      const bool patching = m_sections[slot->section]->patch.has_value();
      if (EndAttempt(slot->curl, rc, *m_sections[slot->section], *slot->body)) {
        queue.Succeeded(slot->section);
        ++m_pProgress->completed;
        Progress();
      } else if (patching) {
        queue.Again(slot->section, now());
      } else {
        queue.Failed(slot->section, now());
      }
      slot->body.reset();
    }
    if (!ended) {
      curl_multi_poll(multi, nullptr, 0, static_cast<int>(queue.WaitMs(now(), kPollMs)), nullptr);
    }
  }
  // A job ended by its owner abandons its transfers; their files go as a failed attempt's do.
  for (Slot& slot : slots) {
    if (slot.body) {
      curl_multi_remove_handle(multi, slot.curl);
      EndAttempt(slot.curl, CURLE_ABORTED_BY_CALLBACK, *m_sections[slot.section], *slot.body);
    }
    if (slot.curl) curl_easy_cleanup(slot.curl);
  }
  if (multi) curl_multi_cleanup(multi);
  return ready && !Aborted() && queue.AllSucceeded();
}

// Opens the temporary file and points the handle at the section; nothing when the file cannot
// be made (the attempt has failed).
std::unique_ptr<BodyWriter> Downloader::Request::BeginAttempt(CURL* curl, Section& section) {
  const std::string& filename = section.filename;
  const std::string& url = AttemptUrl(section);
  CreateParentDirectory(filename);
  if (!section.bOptional) LogPrint("download file %s to %s", url.c_str(), filename.c_str());
  const std::string tmpName = filename + ".tmp";
  section.fp = std::fopen(tmpName.c_str(), "wb");
  if (!section.fp) {
    LogPrint("_tfopen_s(%s) failed!(%d)", filename.c_str(), errno);
    return nullptr;
  }
  // A patch is kept as received in FILE.tmp; its result is hashed as it is applied.
  const bool patching = section.patch.has_value();
  auto body = std::make_unique<BodyWriter>(section.fp, tmpName, m_bDecompress && !patching,
                                           section.expected && !patching,
                                           patching ? section.patch->size : section.maxSize);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, body.get());
  return body;
}

// Judges the ended transfer and installs its file; a failed attempt leaves nothing behind.
bool Downloader::Request::EndAttempt(CURL* curl, CURLcode rc, Section& section, BodyWriter& body) {
  const std::string& filename = section.filename;
  const std::string& url = AttemptUrl(section);
  const std::string tmpName = filename + ".tmp";
  bool accepted = false;
  long code = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
  if (rc == CURLE_OK && section.bOptional && code >= 400 && code <= 499)
    return EndAbsent(section, body);
  if (rc != CURLE_OK) {
    LogPrint("download %s failed(%d)", url.c_str(), static_cast<int>(rc));
  } else {
    if (code >= 200 && code <= 399) {
      accepted = true;
    } else {
      LogPrint("download %s failed(%d)", url.c_str(), static_cast<int>(code));
    }
  }
  if (!body.Finish(accepted)) accepted = false;
  bool diskFull = body.DiskFull();
  // Buffered bytes reach the file only here: a failed close means an incomplete file.
  if (std::fclose(section.fp) != 0 && accepted) {
    diskFull = diskFull || BodyWriter::IsDiskFullError(errno);
    LogPrint("write %s failed!(%d)", tmpName.c_str(), errno);
    accepted = false;
  }
  section.fp = nullptr;
  std::string why = "it could not be downloaded";
  if (!accepted) {
    LogPrint("download %s failed", filename.c_str());
  } else if (section.patch) {
    if (InstallPatched(section, diskFull, why)) return true;
  } else {
    std::string chosen;
    if (ChooseBody(filename, tmpName, body, chosen) &&
        HasExpectedContent(section, body.Content()) && Replace(section.url, chosen, filename)) {
      return true;
    }
  }
  // A failed attempt leaves nothing behind: a body cut short by a full disk may be large, and
  // once the file is current no later run writes (and so replaces) its temporary files again.
  sys::Current().DeleteFile(tmpName);
  sys::Current().DeleteFile(tmpName + "2");
  if (section.patch) {
    LogPrint("%s: patch not used (%s), downloading the full file", filename.c_str(), why.c_str());
    section.patch.reset();
    return false;
  }
  // Retrying cannot help until the player makes room; the pass's box alone would not say so.
  if (diskFull && !Aborted()) ShowBox(kDiskFullBox, filename, "更新失败");
  return false;
}

// Applies the downloaded patch to the installed file into FILE.tmp2 and installs the result as
// a download's: the same content check, the same replacement and marker.
bool Downloader::Request::InstallPatched(const Section& section, bool& diskFull, std::string& why) {
  const std::string tmpName = section.filename + ".tmp";
  const std::string patched = tmpName + "2";
  ContentDigest written;
  if (!ApplyPatch(section.filename, section.patch->baseSha256, tmpName, section.expected->size,
                  patched, written, diskFull, why)) {
    return false;
  }
  if (!IsContent(written, *section.expected, why)) {
    why = "the patched file " + why;
    return false;
  }
  sys::Current().DeleteFile(tmpName);
  why = "the patched file could not be installed";
  return Replace(section.url, patched, section.filename);
}

// The server has no such file: what the attempt wrote and any copy of an earlier run go, so that
// the file's absence is what the job leaves.
bool Downloader::Request::EndAbsent(Section& section, BodyWriter& body) {
  body.Finish(false);
  std::fclose(section.fp);
  section.fp = nullptr;
  const std::string tmpName = section.filename + ".tmp";
  sys::System& system = sys::Current();
  system.DeleteFile(tmpName);
  system.DeleteFile(tmpName + "2");
  if (!system.DeleteFile(section.filename) && IsPathExist(section.filename)) {
    LogPrint("delete %s failed!(%d)", section.filename.c_str(), system.GetLastError());
    return false;
  }
  return true;
}

// Chooses the file to install: the unpacked one when the body was .xz, else the body itself.
// The body was decoded as it arrived; the log and the boxes are those of unpacking it after.
bool Downloader::Request::ChooseBody(const std::string& filename, const std::string& tmpName,
                                     const BodyWriter& body, std::string& chosen) {
  chosen = tmpName;
  if (!m_bDecompress) return true;
  sys::System& system = sys::Current();
  const std::string unpacked = tmpName + "2";
  if (body.Decoded()) {
    if (!system.DeleteFile(tmpName) && IsPathExist(tmpName)) {
      ShowBox("清理临时文件%s失败，文件被锁定，请先关闭游戏。", filename, "更新失败");
      return false;
    }
    chosen = unpacked;
    return true;
  }
  LogDecoderError(tmpName, body.DecoderResult());
  if (!system.DeleteFile(unpacked) && IsPathExist(unpacked)) {
    ShowBox("清理旧版文件%s失败，文件被锁定，请先关闭游戏。", filename, "更新失败");
    return false;
  }
  // A file published uncompressed is installed as received; a damaged .xz never is.
  if (body.IsXz()) {
    LogPrint("download %s failed: damaged .xz", filename.c_str());
    return false;
  }
  return true;
}

// Checked just before the file replaces the old one: whatever the transfer and the unpacking
// did, only the content the section expects is ever installed. The digest was taken as the
// body wrote the file ChooseBody picked, so the file is not read again.
bool Downloader::Request::HasExpectedContent(const Section& section,
                                             const std::optional<ContentDigest>& content) {
  if (!section.expected) return true;
  std::string why = "was not hashed";
  if (content && IsContent(*content, *section.expected, why)) return true;
  LogPrint("download %s failed: the file %s, not the signed content", section.filename.c_str(),
           why.c_str());
  return false;
}

// Installs `chosen` as `filename` by one rename, so the target is always either the old file or
// the new one. With markers, the old marker goes before the rename and the new one comes after
// it: a crash in between leaves a file without marker, which the next run downloads again,
// never a marker that names content the file does not hold.
bool Downloader::Request::Replace(const std::string& url, const std::string& chosen,
                                  const std::string& filename) {
  sys::System& system = sys::Current();
  const std::string marker = VersionFileName(filename);
  std::string oldVersion;
  if (m_bWriteVersion && IsPathExist(marker)) {
    oldVersion = ReadFileWord(marker);
    if (!system.DeleteFile(marker)) {
      LogPrint("delete %s failed!(%d)", marker.c_str(), system.GetLastError());
      return false;
    }
  }
  if (!system.MoveFileReplace(chosen, filename)) {
    LogPrint("rename %s to %s failed!(%d)", chosen.c_str(), filename.c_str(),
             system.GetLastError());
    // The old file is still in place: it gets its marker back.
    if (!oldVersion.empty()) WriteVersionMarker(filename, oldVersion);
    if (IsPathExist(filename)) {
      ShowBox("删除旧版文件%s失败，文件被锁定，请先关闭游戏。", filename, "更新失败");
    }
    return false;
  }
  return !m_bWriteVersion || WriteVersionFile(url, filename);
}

Downloader::Downloader() : Downloader(Timing()) {}

Downloader::Downloader(const Timing& timing) : m_timing(timing) {}

Downloader::~Downloader() {
  JoinWorkers(true);
  // Destroyed from its own job's OnComplete: that thread touches nothing of ours any more.
  for (std::thread& thread : m_threads) thread.detach();
}

bool Downloader::Add(const std::string& url, const std::string& filename,
                     const ContentDigest* pExpected, uint64_t maxSize) {
  if (!m_pRequest) {
    m_pRequest.reset(new (std::nothrow) Request(&m_decompressor, &m_progress, m_timing, &m_abort));
  }
  if (!Check(m_pRequest != nullptr, "Downloader", 362, "m_pRequest")) return false;
  return Check(m_pRequest->AddSection(url, filename, pExpected, maxSize), "Downloader", 363,
               "m_pRequest->AddSection(url, filename)");
}

bool Downloader::AddOptional(const std::string& url, const std::string& filename,
                             uint64_t maxSize) {
  if (!Add(url, filename, nullptr, maxSize)) return false;
  m_pRequest->m_sections.back()->bOptional = true;
  return true;
}

bool Downloader::AddPatched(const std::string& url, const std::string& filename,
                            const ContentDigest& expected, const PatchSource& patch) {
  if (!Add(url, filename, &expected)) return false;
  m_pRequest->m_sections.back()->patch = patch;
  return true;
}

bool Downloader::Excute(bool bDecompress, bool bWriteVersion) {
  if (!Check(m_pRequest != nullptr, "Downloader", 372, "m_pRequest")) return false;
  m_pRequest->m_bDecompress = bDecompress;
  m_pRequest->m_bWriteVersion = bWriteVersion;
  m_pRequest->m_nConnections = m_nConnections;
  return Check(m_pRequest->Excute(), "Downloader", 375, "m_pRequest->Excute()");
}

bool Downloader::ExcuteThread(bool bDecompress, bool bWriteVersion, ICallback* pCallback) {
  if (!Check(m_pRequest != nullptr, "Downloader", 396, "m_pRequest")) return false;
  JoinWorkers(false);
  m_pRequest->m_bDecompress = bDecompress;
  m_pRequest->m_bWriteVersion = bWriteVersion;
  m_pRequest->m_nConnections = m_nConnections;
  m_pRequest->m_pCallback = pCallback;
  bool started = false;
  {
    std::lock_guard lock(m_mutex);
    // A downloader being reset or destroyed from another thread starts nothing new.
    if (!m_abort.IsSet()) {
      try {
        m_threads.emplace_back(&Downloader::ThreadProc, m_pRequest.get(), &m_abort);
        started = true;
      } catch (const std::system_error&) {
      }
    }
  }
  return Check(started, "Downloader", 401, "m_pThread");
}

void Downloader::ThreadProc(Request* pRequest, const sys::Signal* pAbort) {
  ICallback* callback = pRequest->m_pCallback;
  pRequest->Excute();
  // OnComplete may reset or even destroy the downloader: nothing is touched after it.
  if (callback && !pAbort->IsSet()) callback->OnComplete();
}

bool Downloader::DownloadFile(const std::string& url, const std::string& filename, bool bDecompress,
                              uint64_t maxSize) {
  Reset();
  return Check(Add(url, filename, nullptr, maxSize), "Downloader", 385, "Add(url, filename)") &&
         Check(Excute(bDecompress, false), "Downloader", 386, "Excute(bDecompress, false)") &&
         Check(IsPathExist(filename), "Downloader", 387, "IsPathExist(filename)");
}

void Downloader::Reset() {
  JoinWorkers(true);
  m_progress = DownloadProgress();
  m_pRequest.reset();
}

void Downloader::JoinWorkers(bool bAbort) {
  const std::thread::id self = std::this_thread::get_id();
  bool aborting = false;
  while (true) {
    std::vector<std::thread> others;
    {
      std::lock_guard lock(m_mutex);
      for (auto it = m_threads.begin(); it != m_threads.end();) {
        if (it->get_id() == self) {
          ++it;
        } else {
          others.push_back(std::move(*it));
          it = m_threads.erase(it);
        }
      }
      if (others.empty()) break;
      if (bAbort && !aborting) aborting = true, m_abort.Set();
    }
    // No clock bound: a job being ended stops within a second (its transfer is abandoned at
    // the next progress report, its pause wakes), and a job left to finish ends by itself.
    ui::WorkerJoin joining;
    for (std::thread& thread : others) thread.join();
  }
  if (aborting) m_abort.Clear();
}
