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

// The data host field of a request without its "#tree=ID" ending, which names the update tree
// the server list expects there; `tree` gets ID when it is a tree id (IsTreeId), else nothing.
// The fragment never reaches a URL or the game's command line.
std::string SplitDataHostTree(const std::string& field, std::string& tree);

// Stores the arguments of a "startgame" request (fields[0] is the command) in the launch
// parameters: fields 1-8 with at least 9 fields (the data host split by SplitDataHostTree), the
// newbie flag with 10, the extra argument with 11. Fewer than 9 fields store nothing.
void ApplyStartGame(AppConfig& config, const std::vector<std::string>& fields);
