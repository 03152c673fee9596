// WebKit rewrites an address before its navigation policy sees it; this gives back the address
// as the page wrote it, as far as that can be known.
#pragma once

#include <string>

namespace gtkweb {

// Decodes exactly the escapes WebKit adds: "%20" (blank), "%22" ("), "%3C" (<), "%3E" (>),
// "%60" (`) and "%80" to "%FF" (the UTF-8 bytes of non-ASCII text), all in upper-case hex.
// WebKit escapes blank and " inside an http query and in any fragment, < > ` in a fragment, and
// non-ASCII text everywhere; it leaves "%" itself alone.
//
// Ambiguous, and left so: a page that writes one of those escapes itself (say "%20" or "%E4")
// gets it decoded, since it looks the same as one WebKit added; "%" followed by anything else
// stays as written. Lost before this sees the address: the case of the scheme (WebKit lower-
// cases it; "app:" is matched ignoring case anyway), blanks at either end of the address and
// tabs and line breaks anywhere (WebKit removes them), and the host of an http address, which
// becomes its IDNA form.
std::string UndoEngineEscapes(const std::string& url);

}  // namespace gtkweb
