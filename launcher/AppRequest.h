// The "app:" requests that a page sends by navigating: "app:" + command + "|arg" ...
#pragma once

#include <string>
#include <vector>

#include "update/AppConfig.h"

// True when `url` is a request: the text after its first "?" (or the whole address when it
// has none) begins with "app:" in any case. `request` gets the text after those four letters.
bool FindAppRequest(const std::string& url, std::string& request);

// The fields of a request: split at every "|", empty fields kept; none for an empty request.
std::vector<std::string> SplitAppRequest(const std::string& request);

// Stores the arguments of a "startgame" request (fields[0] is the command) in the launch
// parameters: fields 1-8 with at least 9 fields, the newbie flag with 10, the extra argument
// with 11. Fewer than 9 fields store nothing.
void ApplyStartGame(AppConfig& config, const std::vector<std::string>& fields);
