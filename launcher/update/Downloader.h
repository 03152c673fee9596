// Fetches a list of files over HTTP and installs each under its final name: the body goes to a
// temporary file, is unpacked when asked and it is .xz, replaces the old file in one step and
// receives its version marker when asked. A job runs on the caller's thread (Excute) or on a
// worker thread of its own (ExcuteThread) that reports through ICallback.
#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ContentList.h"
#include "Decompressor.h"
#include "MirrorChoice.h"
#include "Refusal.h"
#include "platform/System.h"

class BodyWriter;

// The progress of the current job; zeroed as a whole.
struct DownloadProgress {
  double ulNow = 0;        // bytes sent so far in the current transfer
  double dlNow = 0;        // bytes received so far in the current transfer
  double ulTotal = 0;      // bytes to send in the current transfer
  double dlTotal = 0;      // bytes to receive in the current transfer (0 while unknown)
  int completed = 0;       // sections finished successfully in this job
  int total = 0;           // sections in this job
  int running = 0;         // 1 while the job runs
  uint64_t received = 0;   // body bytes received in this job, by every attempt
  uint64_t installed = 0;  // bytes of the files this job installed
  // The most memory the decoders of concurrent transfers were counted for at once.
  uint64_t decoderMemoryPeak = 0;
};

class Downloader {
 public:
  static constexpr uint64_t kUnbounded = UINT64_MAX;

  // Reports of a threaded job, made on its worker thread.
  class ICallback {
   public:
    virtual ~ICallback() = default;
    virtual void OnProgress() = 0;  // something in the progress record changed
    virtual void OnComplete() = 0;  // the job has ended, successfully or not
  };

  // When a transfer counts as stuck, the pause after a failed attempt, and the longest wait a
  // busy server's Retry-After may ask for. A transfer has no limit on its whole length: a large
  // file on a slow link (or one of many sharing it) takes as long as it takes, while one that
  // cannot connect or stops moving fails.
  struct Timing {
    long connectTimeoutMs = 30000;
    long lowSpeedBytesPerSecond = 1024;  // less than this ...
    long lowSpeedSeconds = 30;           // ... for this long fails the attempt
    uint32_t retryPauseMs = 1000;
    uint32_t longestRetryAfterMs = 60000;
  };

  // A patch that makes the section's file out of the installed one.
  struct PatchSource {
    std::string url;
    uint64_t size = 0;       // the patch's bytes: the most its body may hold
    std::string baseSha256;  // what the installed file must hash to
  };

  class Request {
   public:
    struct Section {
      virtual ~Section();
      std::string url;
      std::string filename;  // the final local path
      FILE* fp = nullptr;    // the temporary file while a transfer runs
      // What the installed file must hold (a signed tree's digest); unset: anything.
      std::optional<ContentDigest> expected;
      // The most bytes the installed file may hold; the body fails the moment it passes them.
      uint64_t maxSize = kUnbounded;
      // A file the server may not have: an answer 4xx ends the section at once, quietly and
      // without retries, with no local file, and the job goes on.
      bool bOptional = false;
      // `expected` is signed: a whole body of other content is the server's answer, not an
      // accident of the transfer (IsFinalMismatch).
      bool bSigned = false;
      // A resumed attempt ended with other content than expected (the kept part may be to
      // blame): the next attempt starts from the first byte, at once and uncounted.
      bool bRestartNow = false;
      // Tried before the full payload while set; any failure of it drops it for good, and the
      // full payload follows at once.
      std::optional<PatchSource> patch;
    };

    // `pAbort` is set while the owner ends the job: transfers stop, pauses wake up.
    Request(Decompressor* pDecompressor, DownloadProgress* pProgress, const Timing& timing,
            const sys::Signal* pAbort);
    virtual ~Request();

    bool AddSection(const std::string& url, const std::string& filename,
                    const ContentDigest* pExpected = nullptr, uint64_t maxSize = kUnbounded);
    // Runs the job: every section in order, with retries; false when a section failed.
    bool Excute();

    bool m_bDecompress = false;
    Decompressor* m_pDecompressor;
    std::vector<std::unique_ptr<Section>> m_sections;
    DownloadProgress* m_pProgress;
    UpdateRefusal m_refusal;  // set when a section is refused, which ends the job
    ICallback* m_pCallback = nullptr;
    bool m_bWriteVersion = false;
    // Transfers at once: 1 takes the sections strictly in order, one after the other.
    int m_nConnections = 1;
    // The hosts of every section, the data host first (the part of each section's URL that a
    // mirror's replaces), then its mirrors; empty: the sections' URLs alone.
    std::vector<std::string> m_hosts;

   private:
    struct Attempt;

    CURL* NewHandle();
    bool DownloadWithRetries(CURL* curl, size_t index, MirrorChoice& choice);
    bool DownloadSection(CURL* curl, Section& section, const std::string& url,
                         FailedAttempt& failure);
    // One attempt in two halves around the transfer, which runs alone or among others. A
    // failed one's `failure` says what the host did.
    std::unique_ptr<Attempt> BeginAttempt(CURL* curl, Section& section, const std::string& url);
    bool EndAttempt(CURLcode rc, Attempt& attempt);
    bool EndAbsent(Attempt& attempt);
    bool InstallPatched(const Section& section, bool& diskFull, std::string& why);
    std::unique_ptr<BodyWriter> NewBody(Section& section);
    bool ContinuePartial(Attempt& attempt);
    bool JudgeAnswer(Attempt& attempt);
    bool StartAgain(Attempt& attempt);
    bool RestFits(Attempt& attempt);
    void KeepOrDrop(const Attempt& attempt, bool bKeep);
    static FailedAttempt ReadFailure(CURL* curl, CURLcode rc);
    AfterFailure JudgeAttempt(MirrorChoice& choice, size_t index, const FailedAttempt& failure);
    std::string HostUrl(const Section& section, size_t host) const;
    bool ExcuteConcurrent(MirrorChoice& choice);
    bool ChooseBody(const std::string& filename, const std::string& tmpName, const BodyWriter& body,
                    std::string& chosen);
    static bool HasExpectedContent(const Section& section, const BodyWriter& body,
                                   std::string& why);
    // Ends the job with a refusal: the section's content is other than signed (`why` says how).
    void Refuse(const Section& section, const std::string& why);
    // Whether a whole body that is not the expected content ends its section (and the job) for
    // good, once no other host is left to try, instead of failing one attempt.
    static bool IsFinalMismatch(const Section& section) { return section.bSigned; }
    bool Refused() const { return m_refusal.kind != Refusal::None; }
    bool Replace(const std::string& url, const std::string& chosen, const std::string& filename);
    bool Aborted() const { return m_pAbort->IsSet(); }
    void Progress();
    static int TransferInfo(void* clientp, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t ulTotal,
                            curl_off_t ulNow);
    // libcurl's callbacks for the answer's head and body; `userdata` is the Attempt.
    static size_t HeaderCallback(char* data, size_t size, size_t count, void* userdata);
    static size_t WriteCallback(char* data, size_t size, size_t count, void* userdata);

    curl_slist* m_pHeader = nullptr;  // the job's request headers

    Timing m_timing;
    const sys::Signal* m_pAbort;
  };

  Downloader();
  // Tests shorten the limits and the pause; the product keeps 30 s, 1 KiB/s and 1000 ms.
  explicit Downloader(const Timing& timing);
  // Ends a running job (its transfer is abandoned, OnComplete is not called) and waits for it.
  virtual ~Downloader();
  Downloader(const Downloader&) = delete;
  Downloader& operator=(const Downloader&) = delete;

  // Transfers the following jobs run at once (1 when never set; at least 1).
  void SetConnections(int nConnections) { m_nConnections = nConnections < 1 ? 1 : nConnections; }
  int Connections() const { return m_nConnections; }

  // With `pExpected`, the file is installed only when its unpacked content is that one; any
  // other content fails the attempt as a body cut short does, and so does a body that passes
  // the expected size or `maxSize` (checked as it arrives).
  bool Add(const std::string& url, const std::string& filename,
           const ContentDigest* pExpected = nullptr, uint64_t maxSize = kUnbounded);
  // A file a tree may lack (it is fetched only where a tree publishes it): absent, the job goes
  // on and `filename` does not exist after it; an old tree's update logs nothing more.
  bool AddOptional(const std::string& url, const std::string& filename, uint64_t maxSize);
  // Every file of the job, all added before, is on `mirrors` too (folder URLs, tried in order):
  // a file's URL there is the mirror's followed by what follows `primary` in its own. False,
  // with no mirror set, when a file's URL does not start with `primary`.
  bool SetMirrors(const std::string& primary, const std::vector<std::string>& mirrors);
  // A file whose content a signed list gives: as Add with `content`, except that a whole body of
  // other content is refused (GetRefusal), not retried, and the job ends without a box.
  bool AddSigned(const std::string& url, const std::string& filename, const ContentDigest& content);
  // A file that `patch` may make out of the installed one: the patch is downloaded and applied
  // first, and the full payload at `url` replaces it in the same job on any doubt (the patch
  // is missing or damaged, the installed file is not its base, the result is not `expected`).
  // With `bSigned`, the full payload is a signed file's (AddSigned).
  bool AddPatched(const std::string& url, const std::string& filename,
                  const ContentDigest& expected, const PatchSource& patch, bool bSigned);
  bool Excute(bool bDecompress, bool bWriteVersion);
  // Starts the job on a worker thread; its end is reported through pCallback->OnComplete().
  bool ExcuteThread(bool bDecompress, bool bWriteVersion, ICallback* pCallback);
  // The synchronous single-file download: Reset, Add, Excute, and the file must exist.
  bool DownloadFile(const std::string& url, const std::string& filename, bool bDecompress,
                    uint64_t maxSize = kUnbounded);
  // Zeroes the progress and deletes the job. Called from another thread than the job's while
  // the job runs, it ends the job as the destructor does; called from the job's own OnComplete
  // (to chain the next job), it only discards the finished one.
  void Reset();

  const DownloadProgress& GetProgress() const { return m_progress; }
  // Why the last job, or the plan that made none, refused what the server offers; kind None
  // when nothing was refused. Zeroed by Reset.
  const UpdateRefusal& GetRefusal() const {
    return m_pRequest && m_pRequest->m_refusal.kind != Refusal::None ? m_pRequest->m_refusal
                                                                     : m_refusal;
  }
  void Refuse(const UpdateRefusal& refusal) { m_refusal = refusal; }
  const Request* GetRequest() const { return m_pRequest.get(); }

 private:
  static void ThreadProc(Request* pRequest, const sys::Signal* pAbort);
  // Joins every worker thread except the calling one; with bAbort, running jobs are ended.
  // On the UI thread, a worker's calls to it fail meanwhile (ui::WorkerJoin), so a worker
  // waiting for a message box or a window message never waits for the thread joining it.
  void JoinWorkers(bool bAbort);

  // Worker threads of this downloader not joined yet. A thread that chains the next job from
  // its OnComplete stays here until a later ExcuteThread, Reset or the destructor, run on
  // another thread, joins it.
  std::vector<std::thread> m_threads;
  DownloadProgress m_progress;
  UpdateRefusal m_refusal;  // the plan's, which made no job
  std::unique_ptr<Request> m_pRequest;
  Decompressor m_decompressor;
  Timing m_timing;
  int m_nConnections = 1;
  std::mutex m_mutex;  // guards m_threads
  sys::Signal m_abort;
};
