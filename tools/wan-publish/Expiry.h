// The expiry a publisher gives a content list: launchers with a key refuse the list from then
// on, so a tree must be published again before it (from cron, say) to stay installable.
#pragma once

#include <cstdint>
#include <string>

// When a list published at `now` (seconds since 1970) expires, from a span after it ("30d",
// "12h", "90m", "3600s", "2w") or a UTC date ("2027-01-31", its midnight) or time
// ("2027-01-31T12:00:00Z"). False for anything else and for a time not after `now`.
bool ParseExpiry(const std::string& text, int64_t now, uint64_t& expires);
