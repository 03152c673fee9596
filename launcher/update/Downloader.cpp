#include "Downloader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <optional>
#include <system_error>
#include <utility>

#include "BodyWriter.h"
#include "DiskSpace.h"
#include "FileUtil.h"
#include "Log.h"
#include "Patch.h"
#include "Resume.h"
#include "Signature.h"
#include "TransferQueue.h"
#include "VersionInfos.h"
#include "platform/WorkerJoin.h"

namespace {

constexpr int kPasses = TransferQueue::kPasses;
using Step = AfterFailure::Step;
constexpr const char* kFailedBox = "下载资源失败：%s\n请点击确定重试！";
// The longest a concurrent job waits for its transfers before it looks at the clock and at
// its owner again.
constexpr uint64_t kPollMs = 100;
// The shortest body kept to be continued when its transfer is cut.
constexpr curl_off_t kLeastResumable = 64 << 10;

// The headers of every request of a job.
curl_slist* JobHeaders() {
  curl_slist* header = curl_slist_append(
      nullptr, "User-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; CIBA)");
  return curl_slist_append(header, "Connection: Keep-Alive");
}

// Header names are compared as HTTP does, without regard to ASCII case; a name is compared with
// its colon, so that no longer name matches.
bool StartsWithNoCase(const std::string& text, const char* start) {
  const size_t size = std::strlen(start);
  if (text.size() < size) return false;
  for (size_t i = 0; i < size; ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(start[i]))) {
      return false;
    }
  }
  return true;
}

void ShowBox(const char* format, const std::string& value, const char* caption) {
  char text[1024];
  std::snprintf(text, sizeof text, format, value.c_str());
  sys::Current().MessageBox(text, caption);
}

}  // namespace

// One attempt at a section: its body writer, the part of the file an earlier attempt left that
// it continues, and the head of the answer, which decides where the body goes.
struct Downloader::Request::Attempt {
  Attempt(Request* pRequest, CURL* pCurl, Section& s)
      : request(pRequest), curl(pCurl), section(&s) {
    if (s.expected) record.digest = s.expected->sha256;
  }
  ~Attempt() {
    if (header) curl_slist_free_all(header);
  }
  // A line of the head; a status line starts the head of another answer (after a 100).
  void TakeHeader(const std::string& line) {
    if (StartsWithNoCase(line, "HTTP/")) {
      etag.clear(), lastModified.clear(), contentRange.clear();
      return;
    }
    const size_t colon = line.find(':');
    if (colon == std::string::npos) return;
    const size_t first = line.find_first_not_of(" \t", colon + 1);
    const size_t last = line.find_last_not_of(" \t\r\n");
    const std::string value = first <= last && last != std::string::npos
                                  ? line.substr(first, last - first + 1)
                                  : std::string();
    const std::string name = line.substr(0, colon + 1);
    if (StartsWithNoCase(name, "ETag:")) etag = value;
    if (StartsWithNoCase(name, "Last-Modified:")) lastModified = value;
    if (StartsWithNoCase(name, "Content-Range:")) contentRange = value;
  }

  Request* request;
  CURL* curl;
  Section* section;
  std::string url;        // the section's on the host of this attempt
  FailedAttempt failure;  // what the host did, when the attempt fails
  std::unique_ptr<BodyWriter> body;
  uint64_t from = 0;             // bytes of FILE.tmp kept from before, asked for with Range
  ResumeRecord record;           // what "FILE.tmp.range" says (or is to say) of FILE.tmp
  curl_slist* header = nullptr;  // the job's headers and If-Range, when asked
  std::string etag, lastModified, contentRange;
  std::optional<RangeVerdict> verdict;  // once the head is judged
  bool bDiskFull = false;               // the body would not fit the disk
};

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
CURL* Downloader::Request::NewHandle() {
  CURL* curl = curl_easy_init();
  if (!curl) return nullptr;
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, m_pHeader);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, m_timing.connectTimeoutMs);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, m_timing.lowSpeedBytesPerSecond);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, m_timing.lowSpeedSeconds);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Request::HeaderCallback);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Request::WriteCallback);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Request::TransferInfo);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
  return curl;
}

bool Downloader::Request::Excute() {
  bool result = false;
  CURL* curl = nullptr;
  if (Check(!m_sections.empty(), "Downloader", 256, "!m_sections.empty()")) {
    *m_pProgress = DownloadProgress();
    m_pProgress->total = static_cast<int>(m_sections.size());
    m_pProgress->running = 1;
    m_pHeader = JobHeaders();
    MirrorChoice choice(m_sections.size(), std::max<size_t>(1, m_hosts.size()),
                        {m_timing.retryPauseMs, m_timing.longestRetryAfterMs});
    if (m_nConnections > 1) {
      Progress();
      result = ExcuteConcurrent(choice);
    } else if ((curl = NewHandle()) != nullptr) {
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
  if (m_pHeader) curl_slist_free_all(m_pHeader);
  m_pHeader = nullptr;
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
      const bool patching = section.patch.has_value();
      if (DownloadSection(curl, section, HostUrl(section, choice.Start(index)), failure)) {
        choice.Succeeded(index);
        ++m_pProgress->completed;
        Progress();
        return true;
      }
      if (Aborted()) return false;
      // A failed patch costs no attempt: the full payload comes at once.
      if (patching) continue;
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
  do {
    std::unique_ptr<Attempt> attempt = BeginAttempt(curl, section, url);
    if (!attempt) return false;
    const bool installed = EndAttempt(curl_easy_perform(curl), *attempt);
    failure = attempt->failure;
    if (installed) return true;
  } while (section.bRestartNow && !Aborted());
  return false;
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
bool Downloader::Request::ExcuteConcurrent(MirrorChoice& choice) {
  struct Slot {
    CURL* curl = nullptr;
    size_t section = 0;
    std::unique_ptr<Attempt> attempt;  // while the slot's transfer runs
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
  for (Slot& slot : slots) ready = ready && (slot.curl = NewHandle()) != nullptr;
  TransferQueue queue(m_sections.size());
  int running = 0;
  // Every transfer sends its request at once, but its body waits at the first byte until its
  // decoder, at the per-decoder limit, fits the budget beside those of the others: so the
  // requests' waits for their first bytes overlap however much memory the decoders need.
  auto mayDecode = [&slots, this] {
    uint64_t held = 0;
    for (const Slot& slot : slots) held += slot.attempt ? slot.attempt->body->MemoryHeld() : 0;
    if (!DecoderMemoryAllows(held)) return false;
    m_pProgress->decoderMemoryPeak =
        std::max(m_pProgress->decoderMemoryPeak, held + kDecoderMemLimit);
    return true;
  };
  auto begin = [&](Slot& slot, size_t section) {
    slot.attempt = BeginAttempt(slot.curl, *m_sections[section],
                                HostUrl(*m_sections[section], choice.Start(section)));
    if (!slot.attempt) return false;
    slot.attempt->body->SetAdmission(mayDecode);
    slot.section = section;
    curl_multi_add_handle(multi, slot.curl);
    ++running;
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
      if (slot.attempt && slot.attempt->body->Waiting() && mayDecode()) {
        slot.attempt->body->Admit();
        curl_easy_pause(slot.curl, CURLPAUSE_CONT);
      }
      std::optional<size_t> next;
      while (!slot.attempt && (next = queue.Next(now()))) {
        if (!begin(slot, *next)) {
          queue.Failed(*next, now(), JudgeAttempt(choice, *next, FailedAttempt()));
        }
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
      const bool installed = EndAttempt(rc, *slot->attempt);
      const FailedAttempt failure = slot->attempt->failure;
      slot->attempt.reset();
      Section& section = *m_sections[slot->section];
      if (installed) {
        queue.Succeeded(slot->section);
        choice.Succeeded(slot->section);
        ++m_pProgress->completed;
        Progress();
      } else if (patching) {
        queue.Again(slot->section, now());
      } else if (!(section.bRestartNow && begin(*slot, slot->section))) {
        queue.Failed(slot->section, now(), JudgeAttempt(choice, slot->section, failure));
      }
    }
    if (!ended) {
      curl_multi_poll(multi, nullptr, 0, static_cast<int>(queue.WaitMs(now(), kPollMs)), nullptr);
    }
  }
  // A job ended by its owner abandons its transfers; what they received stays to be continued.
  for (Slot& slot : slots) {
    if (slot.attempt) {
      curl_multi_remove_handle(multi, slot.curl);
      EndAttempt(CURLE_ABORTED_BY_CALLBACK, *slot.attempt);
    }
    if (slot.curl) curl_easy_cleanup(slot.curl);
  }
  if (multi) curl_multi_cleanup(multi);
  return ready && !Aborted() && !Refused() && queue.AllSucceeded();
}

// A patch is kept as received in FILE.tmp; its result is hashed as it is applied.
std::unique_ptr<BodyWriter> Downloader::Request::NewBody(Section& section) {
  const bool patching = section.patch.has_value();
  return std::make_unique<BodyWriter>(section.fp, section.filename + ".tmp",
                                      m_bDecompress && !patching, section.expected && !patching,
                                      patching ? section.patch->size : section.maxSize);
}

// Takes up the body an earlier attempt (of this run or of one that ended) left, when its record
// says it is the same file; false when the attempt must start from the first byte.
bool Downloader::Request::ContinuePartial(Attempt& attempt) {
  Section& section = *attempt.section;
  ResumeRecord kept;
  if (std::exchange(section.bRestartNow, false) || !ReadResumeRecord(section.filename, kept) ||
      !MayResume(kept, section.url, attempt.record.digest)) {
    return false;
  }
  section.fp = std::fopen((section.filename + ".tmp").c_str(), "r+b");
  if (!section.fp) return false;
  attempt.body = NewBody(section);
  uint64_t size = 0;
  if (attempt.body->Replay(size) && size > 0) {
    attempt.from = size;
    attempt.record = kept;
    LogPrint("download %s continues from byte %llu", attempt.url.c_str(),
             static_cast<unsigned long long>(size));
    return true;
  }
  attempt.body.reset();
  std::fclose(section.fp);
  section.fp = nullptr;
  return false;
}

// Opens the temporary file and points the handle at the section; nothing when the file cannot
// be made (the attempt has failed). A body kept from before is asked for from where it ends.
std::unique_ptr<Downloader::Request::Attempt> Downloader::Request::BeginAttempt(
    CURL* curl, Section& section, const std::string& url) {
  const std::string& filename = section.filename;
  CreateParentDirectory(filename);
  auto attempt = std::make_unique<Attempt>(this, curl, section);
  attempt->url = section.patch ? section.patch->url : url;
  if (!section.bOptional) {
    LogPrint("download file %s to %s", attempt->url.c_str(), filename.c_str());
  }
  // A patch is small and fetched whole: only a full payload's kept part is continued.
  if (section.patch || !ContinuePartial(*attempt)) {
    // The record goes before the bytes it describes.
    std::remove(ResumeRecordName(filename).c_str());
    section.fp = std::fopen((filename + ".tmp").c_str(), "wb");
    if (!section.fp) {
      LogPrint("_tfopen_s(%s) failed!(%d)", filename.c_str(), errno);
      return nullptr;
    }
    attempt->body = NewBody(section);
  }
  curl_easy_setopt(curl, CURLOPT_URL, attempt->url.c_str());
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, attempt.get());
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, attempt.get());
  const std::string range = std::to_string(attempt->from) + "-";
  curl_easy_setopt(curl, CURLOPT_RANGE, attempt->from > 0 ? range.c_str() : nullptr);
  if (attempt->from > 0 && !attempt->record.validator.empty()) {
    attempt->header = JobHeaders();
    attempt->header =
        curl_slist_append(attempt->header, ("If-Range: " + attempt->record.validator).c_str());
  }
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, attempt->header ? attempt->header : m_pHeader);
  return attempt;
}

size_t Downloader::Request::HeaderCallback(char* data, size_t size, size_t count, void* userdata) {
  static_cast<Attempt*>(userdata)->TakeHeader(std::string(data, size * count));
  return size * count;
}

size_t Downloader::Request::WriteCallback(char* data, size_t size, size_t count, void* userdata) {
  auto* attempt = static_cast<Attempt*>(userdata);
  // libcurl keeps the bytes of a paused transfer and hands them over again once it goes on.
  if (!attempt->body->MayTakeBytes()) return CURL_WRITEFUNC_PAUSE;
  Request& request = *attempt->request;
  request.m_pProgress->received += size * count;
  if (!attempt->verdict && !request.JudgeAnswer(*attempt)) return 0;
  return attempt->body->Write(data, size * count) ? size * count : 0;
}

// The answer's head decides where its body goes, before the first byte of it is written: after
// the kept part, into a file started again, or nowhere (false: the transfer ends).
bool Downloader::Request::JudgeAnswer(Attempt& attempt) {
  const Section& section = *attempt.section;
  long code = 0;
  curl_easy_getinfo(attempt.curl, CURLINFO_RESPONSE_CODE, &code);
  const std::string validator = AnswerValidator(attempt.etag, attempt.lastModified);
  std::string why;
  attempt.verdict = JudgeRangeAnswer(code, attempt.from, attempt.contentRange, validator,
                                     attempt.record.validator, why);
  switch (*attempt.verdict) {
    case RangeVerdict::Refuse:
      LogPrint("download %s refused: %s", attempt.url.c_str(), why.c_str());
      return false;
    case RangeVerdict::Keep:
      return false;
    case RangeVerdict::Continue:
      return RestFits(attempt);
    case RangeVerdict::Whole:
      break;
  }
  if (attempt.from > 0 && !StartAgain(attempt)) return false;
  curl_off_t length = -1;
  curl_easy_getinfo(attempt.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  // A short body is fetched again whole: its record would cost more writes than it saves.
  if (code == 200 && !section.patch && (length < 0 || length >= kLeastResumable)) {
    attempt.record = {section.url, validator, attempt.record.digest};
    if (MayResume(attempt.record, section.url, attempt.record.digest)) {
      WriteResumeRecord(section.filename, attempt.record);
    }
  }
  return RestFits(attempt);
}

// The server sent the whole file where the rest was asked for: what was kept goes.
bool Downloader::Request::StartAgain(Attempt& attempt) {
  Section& section = *attempt.section;
  LogPrint("download %s starts again: the server sent the whole file", attempt.url.c_str());
  attempt.body.reset();
  std::remove(ResumeRecordName(section.filename).c_str());
  section.fp = std::freopen((section.filename + ".tmp").c_str(), "wb", section.fp);
  if (!section.fp) return false;
  attempt.body = NewBody(section);
  attempt.from = 0;
  return true;
}

// A body that cannot fit the disk is not begun: it would fill the disk and fail all the same.
// The rest is the answer's length, and, where the size of the file to install is known, what of
// it is still to be decoded.
bool Downloader::Request::RestFits(Attempt& attempt) {
  const Section& section = *attempt.section;
  curl_off_t length = -1;
  curl_easy_getinfo(attempt.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  if (length <= 0) return true;
  uint64_t need = static_cast<uint64_t>(length);
  if (section.expected && m_bDecompress) {
    need += section.expected->size - std::min(section.expected->size, attempt.body->Filled());
  }
  const size_t separator = FindLastSeparator(section.filename);
  sys::Drive drive;
  if (separator == std::string::npos ||
      !sys::Current().FreeSpaceOf(section.filename.substr(0, separator), drive) ||
      need <= drive.freeBytes) {
    return true;
  }
  LogPrint("%s: %llu bytes to write, %llu free on %s", section.filename.c_str(),
           static_cast<unsigned long long>(need), static_cast<unsigned long long>(drive.freeBytes),
           drive.root.c_str());
  attempt.bDiskFull = true;
  return false;
}

// Judges the ended transfer and installs its file. A failed attempt leaves nothing behind but a
// body cut short with its record, which the next attempt continues.
bool Downloader::Request::EndAttempt(CURLcode rc, Attempt& attempt) {
  Section& section = *attempt.section;
  BodyWriter& body = *attempt.body;
  const std::string& filename = section.filename;
  const std::string tmpName = filename + ".tmp";
  // An answer without a body is judged here.
  if (rc == CURLE_OK && !attempt.verdict && !JudgeAnswer(attempt)) rc = CURLE_WRITE_ERROR;
  FailedAttempt& failure = attempt.failure;
  failure = ReadFailure(attempt.curl, rc);
  // An error answered to a Range request is no body: it is logged as the error it is.
  const bool errorAnswer = attempt.verdict == RangeVerdict::Keep;
  bool accepted = false;
  long code = 0;
  curl_easy_getinfo(attempt.curl, CURLINFO_RESPONSE_CODE, &code);
  if ((rc == CURLE_OK || errorAnswer) && section.bOptional && code >= 400 && code <= 499)
    return EndAbsent(attempt);
  if (rc != CURLE_OK && !errorAnswer) {
    LogPrint("download %s failed(%d)", attempt.url.c_str(), static_cast<int>(rc));
  } else {
    if (code >= 200 && code <= 399 && !errorAnswer) {
      accepted = true;
    } else {
      LogPrint("download %s failed(%d)", attempt.url.c_str(), static_cast<int>(code));
    }
  }
  if (!body.Finish(accepted)) accepted = false;
  // More bytes than the file may hold is other content, however the transfer went.
  if (body.Oversized() && section.expected) {
    failure.otherContent = true;
    failure.contentWhy = "has more than " + std::to_string(section.maxSize) + " bytes";
  }
  bool diskFull = body.DiskFull() || attempt.bDiskFull;
  // Buffered bytes reach the file only here: a failed close means an incomplete file.
  if (std::fclose(section.fp) != 0 && accepted) {
    diskFull = diskFull || BodyWriter::IsDiskFullError(errno);
    LogPrint("write %s failed!(%d)", tmpName.c_str(), errno);
    accepted = false;
  }
  section.fp = nullptr;
  bool otherContent = failure.otherContent;
  std::string why = "it could not be downloaded";
  if (!accepted) {
    LogPrint("download %s failed", filename.c_str());
  } else if (section.patch) {
    if (InstallPatched(section, diskFull, why)) return true;
  } else {
    std::string chosen;
    const bool chose = ChooseBody(filename, tmpName, body, chosen);
    failure.otherContent = chose && !HasExpectedContent(section, body, failure.contentWhy);
    otherContent = failure.otherContent || (m_bDecompress && body.IsXz() && !body.Decoded());
    if (chose && !otherContent && Replace(section.url, chosen, filename)) {
      std::remove(ResumeRecordName(filename).c_str());
      m_pProgress->installed += body.Filled();
      return true;
    }
  }
  // The kept part may be to blame, not the host: the file starts again before anything counts.
  if (otherContent && attempt.from > 0) {
    LogPrint("download %s: the continued file is not the expected one, it starts again",
             attempt.url.c_str());
    section.bRestartNow = true;
    failure.otherContent = false;
  }
  // A transfer that was cut (or ended with the job) keeps what it received; anything else leaves
  // nothing behind: a body cut short by a full disk may be large, and the bytes of a refused or
  // damaged body are not worth continuing.
  const bool cut = (rc != CURLE_OK && rc != CURLE_WRITE_ERROR && !diskFull) || errorAnswer;
  // Only a body with its record can be continued; any other is of no use to a later attempt.
  KeepOrDrop(attempt, cut && IsPathExist(ResumeRecordName(filename)));
  // A failed patch is no failure of the host: the full payload follows at once.
  if (section.patch) {
    LogPrint("%s: patch not used (%s), downloading the full file", filename.c_str(), why.c_str());
    section.patch.reset();
    failure = FailedAttempt();
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
  if (!Replace(section.url, patched, section.filename)) return false;
  m_pProgress->installed += written.size;
  return true;
}

// The decoded file is made again from the kept bytes, so it goes either way.
void Downloader::Request::KeepOrDrop(const Attempt& attempt, bool bKeep) {
  const std::string tmpName = attempt.section->filename + ".tmp";
  sys::System& system = sys::Current();
  if (!bKeep) {
    system.DeleteFile(tmpName);
    std::remove(ResumeRecordName(attempt.section->filename).c_str());
  }
  system.DeleteFile(tmpName + "2");
}

// The server has no such file: what the attempt wrote and any copy of an earlier run go, so that
// the file's absence is what the job leaves.
bool Downloader::Request::EndAbsent(Attempt& attempt) {
  Section& section = *attempt.section;
  attempt.body->Finish(false);
  std::fclose(section.fp);
  section.fp = nullptr;
  KeepOrDrop(attempt, false);
  sys::System& system = sys::Current();
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

bool Downloader::AddPatched(const std::string& url, const std::string& filename,
                            const ContentDigest& expected, const PatchSource& patch, bool bSigned) {
  if (!Add(url, filename, &expected)) return false;
  m_pRequest->m_sections.back()->patch = patch;
  m_pRequest->m_sections.back()->bSigned = bSigned;
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
