// Small file-system helpers shared by the launcher's parts. In local paths both "/" and "\"
// separate folders.
#pragma once

#include <cstdint>
#include <string>

// The root folder for the work folder: the fixed drive with the most free space that accepts
// a new file, else the roaming data folder; ends with the separator. Empty when neither exists.
std::string GetWritableRoot();

bool IsPathExist(const std::string& path);

// The size of the file at `path`; 0 when it does not exist.
uint64_t FileSize(const std::string& path);

// Position of the last "/" or "\" at index 1 or later; npos when there is none.
size_t FindLastSeparator(const std::string& path);

// Creates a folder and its missing parents; true when the folder exists afterwards.
bool CreateDirectoryRecursive(const std::string& path);

// Creates the folder that holds a file path; false for an empty path or one without separator.
bool CreateParentDirectory(const std::string& path);

// The first whitespace-delimited word of a text file (at most 259 characters), else empty.
std::string ReadFileWord(const std::string& path);

// Deletes everything below a folder, then the folder; true when the folder itself is gone.
// Entries that cannot be deleted are left and the rest goes on.
bool DeleteDirectoryTree(const std::string& path);
