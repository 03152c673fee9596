// Why an update refused what its server offers. Unlike a failed transfer, a refusal is final:
// the server would offer the same again, so it is neither retried nor asked about box after box.
// The update dialog tells the player once, by its kind; wan-update prints the reason.
#pragma once

#include <string>

enum class Refusal {
  None,
  NotSigned,   // under a key, the tree publishes no signed content list
  NotGenuine,  // a signature, a manifest, an entry or a file's content is not the publisher's
  OutOfDate,   // the list has expired, or is older than one accepted or than the build takes
  OtherTree,   // the list is of another tree, or names none where one is expected
};

struct UpdateRefusal {
  Refusal kind = Refusal::None;
  std::string reason;  // one line, for wan-update and the log
};
