// The patches a tree offers beside its payloads: for every listed file, one from each other
// version that one of the last K publishes listed, as "NAME.FROM-TO.patch" (update/Patch.h is
// the launcher's side). The tree keeps the versions manifests of those publishes in
// "history/versions.N.txt" (N counting up), since a player may still have any of them installed;
// it keeps every payload, as it always did (a base's bytes come from its payload); a patch whose
// base left the window, or whose result is no longer listed, is deleted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TreeSigner.h"

// Records the tree's current versions manifest (about to be replaced) in its history, keeping the
// newest `publishes`; false with `error` set.
bool RecordHistory(const std::string& treeDir, int publishes, std::string& error);

// Gives every file of `files` its patches (PublishedFile::patches) from the versions the history
// lists: reused where the tree's content list already gives the patch and the file is there,
// else made from the base's payload (when the patch fits the launcher's memory and is smaller
// than the file's payload). Patch files of the tree no longer offered are deleted. False with
// `error` set.
bool PublishPatches(const std::string& treeDir, std::vector<PublishedFile>& files, uint32_t threads,
                    std::string& error);
