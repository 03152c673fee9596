// Where a cut transfer continues. The body received so far stays in "FILE.tmp" (the bytes as
// they came, also for an .xz body, whose decoded bytes are made again from them), and beside it
// "FILE.tmp.range" records what those bytes are: the URL (its name carries the version), the
// validator the server gave with them and the content list's digest of the file. The next
// attempt, or the next run, asks for the rest with a Range request and If-Range, and joins the
// answer only when the server says it continues those very bytes.
#pragma once

#include <cstdint>
#include <string>

struct ResumeRecord {
  std::string url;
  // The server's strong ETag, else its Last-Modified; empty when it gave neither.
  std::string validator;
  // The SHA-256 the content list gives the installed file; empty where there is none.
  std::string digest;

  bool operator==(const ResumeRecord&) const = default;
};

// "FILE.tmp.range", the record of the partial body "FILE.tmp" of the file at `path`.
std::string ResumeRecordName(const std::string& path);
// False when the record is missing or not whole (a crash while it was written).
bool ReadResumeRecord(const std::string& path, ResumeRecord& record);
bool WriteResumeRecord(const std::string& path, const ResumeRecord& record);

// The validator to keep from an answer's ETag and Last-Modified header values: a weak ETag
// ("W/...") may not be sent in If-Range, and a value with control characters is not one.
std::string AnswerValidator(const std::string& etag, const std::string& lastModified);
// Whether a partial body recorded as `kept` may continue a download of `url` whose content
// list digest is `digest`: the same URL and digest, and something that tells other bytes
// under that name (the server's validator or the digest).
bool MayResume(const ResumeRecord& kept, const std::string& url, const std::string& digest);

enum class RangeVerdict {
  Whole,     // the answer is the whole body from its first byte
  Continue,  // the answer continues the partial body exactly where it ends
  Keep,      // an answer that is no body (an error): the partial stays for a later attempt
  Refuse,    // other bytes than asked for: neither the answer nor the partial may be used
};
// Judges the head of an answer to a request for the bytes from `from` on (0: a plain request
// for the whole body), which sent `kept` as If-Range. `contentRange` and `validator` are the
// answer's; `why` says what was wrong with a refused one.
RangeVerdict JudgeRangeAnswer(long code, uint64_t from, const std::string& contentRange,
                              const std::string& validator, const std::string& kept,
                              std::string& why);
