#include "Resume.h"

#include <charconv>
#include <cstdio>
#include <fstream>

namespace {

bool HasControlCharacters(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  }
  return false;
}

// "bytes FIRST-LAST/LENGTH" (LENGTH may be "*"): the first byte it holds.
bool ContentRangeStart(const std::string& value, uint64_t& first) {
  const std::string unit = "bytes ";
  if (value.compare(0, unit.size(), unit) != 0) return false;
  const char* begin = value.data() + unit.size();
  const char* end = value.data() + value.size();
  uint64_t last = 0;
  auto [dash, ec] = std::from_chars(begin, end, first);
  if (ec != std::errc() || dash == end || *dash != '-') return false;
  auto [slash, ec2] = std::from_chars(dash + 1, end, last);
  return ec2 == std::errc() && slash != end && *slash == '/' && last >= first;
}

}  // namespace

std::string ResumeRecordName(const std::string& path) {
  return path + ".tmp.range";
}

bool ReadResumeRecord(const std::string& path, ResumeRecord& record) {
  std::ifstream in(ResumeRecordName(path), std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Three lines, each ended: a record cut short by a crash is no record.
  std::string* fields[] = {&record.url, &record.validator, &record.digest};
  size_t start = 0;
  for (std::string* field : fields) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) return false;
    *field = text.substr(start, end - start);
    start = end + 1;
  }
  return start == text.size() && !record.url.empty();
}

bool WriteResumeRecord(const std::string& path, const ResumeRecord& record) {
  const std::string text = record.url + "\n" + record.validator + "\n" + record.digest + "\n";
  FILE* file = std::fopen(ResumeRecordName(path).c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

std::string AnswerValidator(const std::string& etag, const std::string& lastModified) {
  const std::string& value = !etag.empty() && etag.rfind("W/", 0) != 0 ? etag : lastModified;
  return HasControlCharacters(value) ? "" : value;
}

bool MayResume(const ResumeRecord& kept, const std::string& url, const std::string& digest) {
  return kept.url == url && kept.digest == digest && !(kept.validator.empty() && digest.empty());
}

RangeVerdict JudgeRangeAnswer(long code, uint64_t from, const std::string& contentRange,
                              const std::string& validator, const std::string& kept,
                              std::string& why) {
  if (from == 0) {
    if (code != 206) return RangeVerdict::Whole;
    why = "a part of the file answered a request for all of it";
    return RangeVerdict::Refuse;
  }
  if (code == 416) {
    why = "the server has no bytes from " + std::to_string(from);
    return RangeVerdict::Refuse;
  }
  // The server ignored the Range, or If-Range told it the file changed: it starts again.
  if (code == 200) return RangeVerdict::Whole;
  if (code != 206) return RangeVerdict::Keep;
  uint64_t first = 0;
  if (!ContentRangeStart(contentRange, first) || first != from) {
    why = "the answer's range \"" + contentRange + "\" does not start at byte " +
          std::to_string(from);
    return RangeVerdict::Refuse;
  }
  // Without a validator kept, the content list's digest alone tells other bytes, at the end.
  if (!kept.empty() && validator != kept) {
    why = "the server's validator changed from \"" + kept + "\" to \"" + validator + "\"";
    return RangeVerdict::Refuse;
  }
  return RangeVerdict::Continue;
}
