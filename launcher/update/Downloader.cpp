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
#include "Signature.h"
#include "TransferQueue.h"
#include "VersionInfos.h"
#include "platform/WorkerJoin.h"

namespace {

constexpr int kPasses = TransferQueue::kPasses;
using Step = AfterFailure::Step;
constexpr const char* kFailedBox = "下载资源失败：%s\n请点击确定重试！";
constexpr const char* kDiskFullBox = "磁盘空间不足，无法写入%s，请清理磁盘后点击确定重试！";
// The longest a concurrent job waits for its transfers before it looks at the clock and at
// its owner again.
constexpr uint64_t kPollMs = 100;

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
    MirrorChoice choice(m_sections.size(), std::max<size_t>(1, m_hosts.size()),
                        {m_timing.retryPauseMs, m_timing.longestRetryAfterMs});
    if (m_nConnections > 1) {
      Progress();
      result = ExcuteConcurrent(header, choice);
    } else if ((curl = NewHandle(header)) != nullptr) {
      Progress();
      result = true;
      for (size_t index = 0; index < m_sections.size(); ++index) {
        if (!DownloadWithRetries(curl, index, choice)) {
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

bool Downloader::Request::DownloadWithRetries(CURL* curl, size_t index, MirrorChoice& choice) {
  sys::System& system = sys::Current();
  Section& section = *m_sections[index];
  for (int pass = 0; pass < kPasses; ++pass) {
    for (Step step = Step::kRetry; step != Step::kBox;) {
      if (Aborted()) return false;
      FailedAttempt failure;
      if (DownloadSection(curl, section, HostUrl(section, choice.Start(index)), failure)) {
        choice.Succeeded(index);
        ++m_pProgress->completed;
        Progress();
        return true;
      }
      if (Aborted()) return false;
      const AfterFailure after = JudgeAttempt(choice, index, failure);
      if (Refused()) return false;
      step = after.step;
      // An owner ending the job does not sit out the pause, nor a server's wait.
      if (system.Pause(static_cast<uint32_t>(after.pauseMs), *m_pAbort)) return false;
    }
    if (Aborted()) return false;
    ShowBox(kFailedBox, section.url, "错误");
  }
  Check(false, "Downloader", 304, "bDownloaded");
  return false;
}

bool Downloader::Request::DownloadSection(CURL* curl, Section& section, const std::string& url,
                                          FailedAttempt& failure) {
  std::unique_ptr<BodyWriter> body = BeginAttempt(curl, section, url);
  if (!body) return false;
  const CURLcode rc = curl_easy_perform(curl);
  return EndAttempt(curl, rc, section, url, *body, failure);
}

// What the failed transfer tells about its host: its answer's status and the wait a busy one
// asked for (libcurl reads both forms of Retry-After, and 0 for none).
FailedAttempt Downloader::Request::ReadFailure(CURL* curl, CURLcode rc) {
  FailedAttempt failure;
  if (rc != CURLE_OK) return failure;
  curl_off_t retryAfter = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &failure.status);
  if (curl_easy_getinfo(curl, CURLINFO_RETRY_AFTER, &retryAfter) == CURLE_OK) {
    failure.retryAfterSeconds = retryAfter;
  }
  return failure;
}

// Moves the section on after a failed attempt; the log names the waits and the changes of host.
AfterFailure Downloader::Request::JudgeAttempt(MirrorChoice& choice, size_t index,
                                               const FailedAttempt& failure) {
  const Section& section = *m_sections[index];
  const size_t host = choice.Host(index);
  const AfterFailure after = choice.Failed(index, failure);
  // Other content than a signed digest is the host's answer: another host may hold the right
  // bytes (a mirror behind), but where none is left retrying cannot help.
  if (failure.otherContent && IsFinalMismatch(section) && after.step != Step::kNextHost) {
    Refuse(section, failure.contentWhy);
  }
  if (after.step == Step::kWait) {
    LogPrint("%s: %s is busy, next attempt in %llu s", section.filename.c_str(),
             HostUrl(section, host).c_str(), static_cast<unsigned long long>(after.pauseMs / 1000));
  } else if (after.step == Step::kNextHost) {
    LogPrint("%s: %s failed, next mirror %s", section.filename.c_str(), m_hosts[host].c_str(),
             m_hosts[choice.Host(index)].c_str());
  }
  return after;
}

std::string Downloader::Request::HostUrl(const Section& section, size_t host) const {
  if (host == 0) return section.url;
  return m_hosts[host] + section.url.substr(m_hosts[0].size());
}

// Up to m_nConnections transfers at once, all driven from this thread by libcurl's multi
// interface, so that the time each request waits for its first byte overlaps with the others'
// bodies. Each section ends as it would alone: its own temporary files, installed and marked
// only when whole; retries, boxes and the job's end come in the order TransferQueue gives.
bool Downloader::Request::ExcuteConcurrent(curl_slist* header, MirrorChoice& choice) {
  struct Slot {
    CURL* curl = nullptr;
    size_t section = 0;
    std::string url;                   // the section's on the host of the running attempt
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
  TransferQueue queue(m_sections.size());
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
  // A refused section ends the job: the transfers still running are abandoned below.
  while (ready && !Aborted() && !Refused() && !queue.Ended(running)) {
    for (Slot& slot : slots) {
      std::optional<size_t> next;
      if (slot.body && slot.body->Waiting() && mayDecode()) {
        slot.body->Admit();
        curl_easy_pause(slot.curl, CURLPAUSE_CONT);
      }
      while (!slot.body && (next = queue.Next(now()))) {
        slot.url = HostUrl(*m_sections[*next], choice.Start(*next));
        slot.body = BeginAttempt(slot.curl, *m_sections[*next], slot.url);
        if (!slot.body) {
          queue.Failed(*next, now(), JudgeAttempt(choice, *next, FailedAttempt()));
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
      FailedAttempt failure;
      if (EndAttempt(slot->curl, rc, *m_sections[slot->section], slot->url, *slot->body, failure)) {
        queue.Succeeded(slot->section);
        choice.Succeeded(slot->section);
        ++m_pProgress->completed;
        Progress();
      } else {
        queue.Failed(slot->section, now(), JudgeAttempt(choice, slot->section, failure));
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
      FailedAttempt ignored;
      EndAttempt(slot.curl, CURLE_ABORTED_BY_CALLBACK, *m_sections[slot.section], slot.url,
                 *slot.body, ignored);
    }
    if (slot.curl) curl_easy_cleanup(slot.curl);
  }
  if (multi) curl_multi_cleanup(multi);
  return ready && !Aborted() && !Refused() && queue.AllSucceeded();
}

// Opens the temporary file and points the handle at the section; nothing when the file cannot
// be made (the attempt has failed).
std::unique_ptr<BodyWriter> Downloader::Request::BeginAttempt(CURL* curl, Section& section,
                                                              const std::string& url) {
  const std::string& filename = section.filename;
  CreateParentDirectory(filename);
  if (!section.bOptional) LogPrint("download file %s to %s", url.c_str(), filename.c_str());
  const std::string tmpName = filename + ".tmp";
  section.fp = std::fopen(tmpName.c_str(), "wb");
  if (!section.fp) {
    LogPrint("_tfopen_s(%s) failed!(%d)", filename.c_str(), errno);
    return nullptr;
  }
  auto body = std::make_unique<BodyWriter>(section.fp, tmpName, m_bDecompress,
                                           section.expected.has_value(), section.maxSize);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, body.get());
  return body;
}

// Judges the ended transfer and installs its file; a failed attempt leaves nothing behind.
bool Downloader::Request::EndAttempt(CURL* curl, CURLcode rc, Section& section,
                                     const std::string& url, BodyWriter& body,
                                     FailedAttempt& failure) {
  const std::string& filename = section.filename;
  const std::string tmpName = filename + ".tmp";
  failure = ReadFailure(curl, rc);
  bool accepted = false;
  const long code = failure.status;
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
  // More bytes than the file may hold is other content, however the transfer went.
  if (body.Oversized() && section.expected) {
    failure.otherContent = true;
    failure.contentWhy = "has more than " + std::to_string(section.maxSize) + " bytes";
  }
  bool diskFull = body.DiskFull();
  // Buffered bytes reach the file only here: a failed close means an incomplete file.
  if (std::fclose(section.fp) != 0 && accepted) {
    diskFull = diskFull || BodyWriter::IsDiskFullError(errno);
    LogPrint("write %s failed!(%d)", tmpName.c_str(), errno);
    accepted = false;
  }
  section.fp = nullptr;
  if (!accepted) {
    LogPrint("download %s failed", filename.c_str());
  } else {
    std::string chosen;
    if (ChooseBody(filename, tmpName, body, chosen)) {
      failure.otherContent = !HasExpectedContent(section, body, failure.contentWhy);
      if (!failure.otherContent && Replace(section.url, chosen, filename)) return true;
    }
  }
  // A failed attempt leaves nothing behind: a body cut short by a full disk may be large, and
  // once the file is current no later run writes (and so replaces) its temporary files again.
  sys::Current().DeleteFile(tmpName);
  sys::Current().DeleteFile(tmpName + "2");
  // Retrying cannot help until the player makes room; the pass's box alone would not say so.
  if (diskFull && !Aborted()) ShowBox(kDiskFullBox, filename, "更新失败");
  return false;
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
bool Downloader::Request::HasExpectedContent(const Section& section, const BodyWriter& body,
                                             std::string& why) {
  if (!section.expected) return true;
  why = "was not hashed";
  if (body.Content() && IsContent(*body.Content(), *section.expected, why)) return true;
  LogPrint("download %s failed: the file %s, not the signed content", section.filename.c_str(),
           why.c_str());
  return false;
}

// A whole body of other content than a signed digest is the server's answer, and a refusal.
void Downloader::Request::Refuse(const Section& section, const std::string& why) {
  if (Refused()) return;
  m_refusal = {Refusal::NotGenuine,
               "the download of " + section.filename + " " + why + ", not the signed content"};
  LogPrint("update refused: %s", m_refusal.reason.c_str());
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

bool Downloader::SetMirrors(const std::string& primary, const std::vector<std::string>& mirrors) {
  if (!m_pRequest) return false;
  for (const auto& section : m_pRequest->m_sections) {
    if (section->url.compare(0, primary.size(), primary) != 0) {
      LogPrint("download %s is not on %s, no mirror used", section->url.c_str(), primary.c_str());
      return false;
    }
  }
  m_pRequest->m_hosts = {primary};
  m_pRequest->m_hosts.insert(m_pRequest->m_hosts.end(), mirrors.begin(), mirrors.end());
  return true;
}

bool Downloader::AddOptional(const std::string& url, const std::string& filename,
                             uint64_t maxSize) {
  if (!Add(url, filename, nullptr, maxSize)) return false;
  m_pRequest->m_sections.back()->bOptional = true;
  return true;
}

bool Downloader::AddSigned(const std::string& url, const std::string& filename,
                           const ContentDigest& content) {
  if (!Add(url, filename, &content)) return false;
  m_pRequest->m_sections.back()->bSigned = true;
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
  m_refusal = UpdateRefusal();
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
