#include "PosixSystem.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

#include "DesktopEntry.h"
#include "VersionNote.h"

namespace sys {

System& DefaultSystem() {
  static PosixSystem system;
  return system;
}

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string HomeFolder() {
  return Env("HOME");
}

std::string WithSeparator(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string UserDirsFile() {
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty()) config = HomeFolder() + "/.config";
  return config + "/user-dirs.dirs";
}

// The first folder of XDG_DATA_DIRS; the list holds absolute folders only.
std::string FirstDataFolder() {
  std::stringstream in(Env("XDG_DATA_DIRS"));
  for (std::string folder; std::getline(in, folder, ':');) {
    if (!folder.empty() && folder[0] == '/') return folder;
  }
  return "/usr/local/share";
}

bool FreeBytes(const std::string& root, uint64_t& free) {
  struct statvfs st {};
  if (statvfs(root.c_str(), &st) != 0) return false;
  free = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
  return true;
}

// Mount points in /proc/self/mounts escape blanks and a few other bytes as \ooo.
std::string UnescapeMountField(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      out += static_cast<char>(std::strtol(field.substr(i + 1, 3).c_str(), nullptr, 8));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

bool IsRemovableDevice(const std::string& device) {
  std::string name = device.substr(device.rfind('/') + 1);
  std::string base = "/sys/class/block/" + name;
  // A partition's removable flag is its whole disk's.
  for (const std::string& flag : {base + "/removable", base + "/../removable"}) {
    std::ifstream in(flag);
    int removable = 0;
    if (in >> removable) return removable != 0;
  }
  return false;
}

}  // namespace

bool IsFixedDiskMount(const std::string& device, const std::string& fsType) {
  static const char* const kDiskTypes[] = {"ext2", "ext3", "ext4",  "xfs",   "btrfs", "f2fs",
                                           "jfs",  "ntfs", "ntfs3", "exfat", "vfat",  "reiserfs"};
  if (device.rfind("/dev/", 0) != 0) return false;
  for (const char* type : kDiskTypes) {
    if (fsType == type) return true;
  }
  return false;
}

// Read as the desktop reads it: KEY="value", the value absolute or starting with "$HOME",
// backslashes escaping the next byte; the last line for the key counts.
std::string DesktopFolderFromUserDirs(const std::string& text, const std::string& home) {
  static const std::string kKey = "XDG_DESKTOP_DIR";
  std::string folder;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) {
    size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos || line.compare(at, kKey.size(), kKey) != 0) continue;
    at = line.find_first_not_of(" \t", at + kKey.size());
    if (at == std::string::npos || line[at] != '=') continue;
    at = line.find_first_not_of(" \t", at + 1);
    size_t close = line.rfind('"');
    if (at == std::string::npos || line[at] != '"' || close <= at) continue;
    std::string value = line.substr(at + 1, close - at - 1);
    bool inHome = value.rfind("$HOME", 0) == 0;
    if (inHome) value.erase(0, 5);
    if (inHome ? home.empty() || (!value.empty() && value[0] != '/')
               : value.empty() || value[0] != '/')
      continue;
    std::string path = inHome ? home : "";
    for (size_t i = 0; i < value.size(); ++i) {
      if (value[i] == '\\' && i + 1 < value.size()) ++i;
      path += value[i];
    }
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    folder = path;
  }
  return folder;
}

std::vector<Drive> PosixSystem::GetFixedDrives() {
  std::vector<Drive> drives;
  std::vector<std::string> roots = StandInDrives(':');
  if (roots.empty()) {
    std::ifstream mounts("/proc/self/mounts");
    for (std::string line; std::getline(mounts, line);) {
      std::istringstream fields(line);
      std::string device, mountPoint, fsType;
      if (!(fields >> device >> mountPoint >> fsType)) continue;
      if (!IsFixedDiskMount(device, fsType) || IsRemovableDevice(device)) continue;
      std::string root = WithSeparator(UnescapeMountField(mountPoint));
      bool seen = false;
      for (const std::string& r : roots) seen = seen || r == root;
      if (!seen) roots.push_back(root);
    }
  }
  for (const std::string& root : roots) {
    Drive drive{root, 0};
    if (FreeBytes(root, drive.freeBytes))
      drives.push_back(drive);
    else
      std::fputs("Failed to retrieve drive information\n", stdout);
  }
  return drives;
}

bool PosixSystem::FreeSpaceOf(const std::string& path, Drive& drive) {
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return false;
  std::string root = real;
  std::free(real);
  // The mount point: the outermost folder on the path's device.
  struct stat st {
  }, parent{};
  if (stat(root.c_str(), &st) != 0) return false;
  while (root != "/") {
    const size_t slash = root.rfind('/');
    const std::string up = slash == 0 ? "/" : root.substr(0, slash);
    if (stat(up.c_str(), &parent) != 0 || parent.st_dev != st.st_dev) break;
    root = up;
  }
  drive.root = WithSeparator(root);
  return FreeBytes(root, drive.freeBytes);
}

bool PosixSystem::GetSpecialFolder(Folder folder, std::string& path) {
  std::string home = HomeFolder();
  switch (folder) {
    case Folder::AppData:
      path = Env("XDG_DATA_HOME");
      if (path.empty() && !home.empty()) path = home + "/.local/share";
      break;
    case Folder::Desktop:
      path = DesktopFolderFromUserDirs(ReadText(UserDirsFile()), home);
      if (path.empty()) path = Env("XDG_DESKTOP_DIR");
      if (path.empty() && !home.empty()) path = home + "/Desktop";
      break;
    case Folder::CommonPrograms:
      // Programs installed locally for all users, not the distribution's own folder.
      path = FirstDataFolder() + "/applications";
      break;
  }
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return !path.empty();
}

std::string PosixSystem::GetModuleFileName() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::vector<std::string> PosixSystem::GetCommandLineArgs() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::vector<std::string> args;
  for (std::string arg; std::getline(in, arg, '\0');) args.push_back(arg);
  if (!args.empty()) args.erase(args.begin());
  return args;
}

uint32_t PosixSystem::GetCurrentProcessId() {
  return static_cast<uint32_t>(getpid());
}

uint32_t PosixSystem::GetTickCount() {
  auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

int64_t PosixSystem::GetTime() {
  return static_cast<int64_t>(std::time(nullptr));
}

LocalTime PosixSystem::ToLocalTime(int64_t time) {
  time_t t = static_cast<time_t>(time);
  struct tm tm {};
  localtime_r(&t, &tm);
  return sys::ToLocalTime(tm);
}

void PosixSystem::Sleep(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void PosixSystem::OutputDebugString(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
}

bool PosixSystem::MessageBox(const std::string& text, const std::string& caption) {
  // Without a window system there is nobody to confirm: say it and go on.
  std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  return true;
}

int PosixSystem::GetLastError() {
  return errno;
}

bool PosixSystem::PathExists(const std::string& path) {
  return access(path.c_str(), F_OK) == 0;
}

bool PosixSystem::IsDirectory(const std::string& path) {
  struct stat st {};
  // A link to a folder is not a folder here: tree deletion removes the link, not its target.
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixSystem::CreateDirectory(const std::string& path) {
  return mkdir(path.c_str(), 0755) == 0;
}

bool PosixSystem::RemoveDirectory(const std::string& path) {
  return rmdir(path.c_str()) == 0;
}

// A running program's file cannot be deleted on Windows, and the launcher's repair relies on
// that to keep itself while it empties its folder: the running executable is refused here too.
bool PosixSystem::DeleteFile(const std::string& path) {
  struct stat target {
  }, self{};
  if (lstat(path.c_str(), &target) == 0 && stat("/proc/self/exe", &self) == 0 &&
      target.st_dev == self.st_dev && target.st_ino == self.st_ino) {
    errno = ETXTBSY;
    return false;
  }
  return unlink(path.c_str()) == 0;
}

bool PosixSystem::CreateNewFile(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool PosixSystem::MoveFileReplace(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

namespace {

bool CopyContent(int in, int out) {
  char buffer[65536];
  for (ssize_t n; (n = read(in, buffer, sizeof buffer)) != 0;) {
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno != EINTR) return false;
      if (w > 0) done += w;
    }
  }
  return true;
}

}  // namespace

// The copy is written beside the target and renamed over it, so the target is never half
// written, and a running program (the launcher replacing its own file) can be replaced.
bool PosixSystem::CopyFile(const std::string& from, const std::string& to) {
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st {};
  fstat(in, &st);
  std::string temp = to + ".copy-XXXXXX";
  int out = mkostemp(temp.data(), O_CLOEXEC);
  bool ok = out >= 0 && fchmod(out, st.st_mode & 0777) == 0 && CopyContent(in, out);
  int error = errno;
  close(in);
  if (out >= 0 && close(out) != 0 && ok) ok = false, error = errno;
  if (ok && rename(temp.c_str(), to.c_str()) != 0) ok = false, error = errno;
  if (!ok && out >= 0) unlink(temp.c_str());
  errno = error;
  return ok;
}

bool PosixSystem::ListDirectory(const std::string& path, std::vector<std::string>& names) {
  DIR* dir = opendir(path.c_str());
  if (!dir) return false;
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      names.emplace_back(entry->d_name);
    }
  }
  closedir(dir);
  return true;
}

bool PosixSystem::SetCurrentDirectory(const std::string& path) {
  return chdir(path.c_str()) == 0;
}

bool PosixSystem::SameFile(const std::string& a, const std::string& b) {
  struct stat first {
  }, second{};
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string PosixSystem::GetFullPath(const std::string& path) {
  if (char* resolved = realpath(path.c_str(), nullptr)) {
    std::string full = resolved;
    std::free(resolved);
    return full;
  }
  if (!path.empty() && path[0] == '/') return path;
  char* current = getcwd(nullptr, 0);
  if (!current) return "";
  std::string full = WithSeparator(current) + path;
  std::free(current);
  return full;
}

bool PosixSystem::GetFileVersion(const std::string& path, uint32_t& high, uint32_t& low) {
  return ReadVersionNote(path, high, low);
}

namespace {

bool WriteAll(int fd, const void* data, size_t size) {
  return write(fd, data, size) == static_cast<ssize_t>(size);
}

// Starts `args[0]` with `args` in `workDir`; a name without a slash is looked up in PATH only
// when `searchPath` is set. Double fork: the started program is nobody's child here, so it
// never lingers as a zombie. The middle process waits until the exec has happened
// (the close-on-exec pipe closes) or failed (errno arrives), then reports pid and error.
bool Spawn(std::vector<std::string> args, const std::string& workDir, bool searchPath,
           Process* started) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;
  pid_t child = fork();
  if (child < 0) {
    int error = errno;
    close(report[0]);
    close(report[1]);
    errno = error;
    return false;
  }
  if (child == 0) {
    setsid();
    int execStatus[2];
    if (pipe2(execStatus, O_CLOEXEC) != 0) _exit(1);
    pid_t grandchild = fork();
    if (grandchild == 0) {
      int32_t error = 0;
      if (workDir.empty() || chdir(workDir.c_str()) == 0)
        searchPath ? execvp(argv[0], argv.data()) : execv(argv[0], argv.data());
      error = errno;
      WriteAll(execStatus[1], &error, sizeof error);
      _exit(127);
    }
    close(execStatus[1]);
    int32_t result[2] = {grandchild, 0};
    if (grandchild < 0)
      result[1] = errno;
    else if (read(execStatus[0], &result[1], sizeof result[1]) != sizeof result[1])
      result[1] = 0;
    WriteAll(report[1], result, sizeof result);
    _exit(0);
  }
  close(report[1]);
  int status = 0;
  waitpid(child, &status, 0);
  int32_t result[2] = {0, ECHILD};
  bool reported = read(report[0], result, sizeof result) == sizeof result;
  close(report[0]);
  if (!reported || result[0] <= 0 || result[1] != 0) {
    errno = reported ? result[1] : ECHILD;
    return false;
  }
  if (started) *started = {static_cast<uint32_t>(result[0]), static_cast<uint64_t>(result[0])};
  return true;
}

// Only a program is started: an ELF executable or a script that names its interpreter. Any
// other file (a page saved in a program's place, a text) would otherwise be run by the shell.
bool IsProgramFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char head[4] = {};
  ssize_t n = read(fd, head, sizeof head);
  close(fd);
  bool program = (n == 4 && std::memcmp(head,
                                        "\x7f"
                                        "ELF",
                                        4) == 0) ||
                 (n >= 2 && head[0] == '#' && head[1] == '!');
  if (!program) errno = ENOEXEC;
  return program;
}

}  // namespace

// Linux has no hidden attribute: marker files are hidden by their leading dot or not at all.
// The content is written beside the file and renamed over it, so a process killed in between
// leaves the old file or none, never an empty or partial one.
bool PosixSystem::WriteHiddenFile(const std::string& path, const std::string& content) {
  const std::string temp = HiddenFileTemporary(path);
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, content.data(), content.size());
  int error = errno;
  if (close(fd) != 0 && ok) ok = false, error = errno;
  if (ok && rename(temp.c_str(), path.c_str()) != 0) ok = false, error = errno;
  if (!ok) unlink(temp.c_str());
  errno = error;
  return ok;
}

bool PosixSystem::StartProcess(const std::string& file, const std::string& params,
                               const std::string& workDir, Process* started) {
  std::string program = file;
  // A bare or relative name is the working folder's; PATH is never searched.
  if (!program.empty() && program[0] != '/' && !workDir.empty())
    program = WithSeparator(workDir) + program;
  struct stat st {};
  if (stat(program.c_str(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = EACCES;
    return false;
  }
  if (!IsProgramFile(program)) return false;
  // A downloaded or copied program of ours may have lost its execute bit.
  if (st.st_uid == geteuid() && !(st.st_mode & S_IXUSR))
    chmod(program.c_str(), st.st_mode | S_IXUSR | S_IXGRP | S_IXOTH);
  std::vector<std::string> args = SplitCommandLine(params);
  args.insert(args.begin(), program);
  return Spawn(std::move(args), workDir, false, started);
}

// The started program is detached (see Spawn): its pid is no handle held open, and once it ends
// nothing of it is left here to reap.
void PosixSystem::CloseProcess(Process& process) {
  process = {};
}

// The started program is nobody's child here, so its pid is asked about; one that has ended but
// not yet been reaped by whoever adopted it is a zombie, and ended too.
bool PosixSystem::HasProcessEnded(const Process& process) {
  if (process.id == 0) return true;
  if (kill(static_cast<pid_t>(process.id), 0) != 0) return errno == ESRCH;
  std::ifstream stat("/proc/" + std::to_string(process.id) + "/stat");
  std::string line;
  std::getline(stat, line);
  const size_t name = line.rfind(')');
  return name != std::string::npos && line.compare(name, 3, ") Z") == 0;
}

bool PosixSystem::OpenUrl(const std::string& url) {
  return Spawn({"xdg-open", url}, "", true, nullptr);
}

namespace {

std::string ShortcutFile(const std::string& folder, const std::string& name) {
  return WithSeparator(folder) + name + ".desktop";
}

bool WriteWholeFile(const std::string& path, const std::string& content, mode_t mode) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, content.data(), content.size());
  return close(fd) == 0 && ok;
}

// Every start rewrites the shortcuts; the picture is left alone while it is the same, so a
// desktop watching the folder does not reload it each time.
bool WriteIfDifferent(const std::string& path, const std::string& content) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream old;
  if (in && (old << in.rdbuf()) && old.str() == content) return true;
  in.close();
  return WriteWholeFile(path, content, 0644);
}

// The executable file `name` in an absolute folder of PATH; empty when there is none (a
// relative entry would make the current folder's files programs we run).
std::string FindProgram(const std::string& name) {
  std::istringstream path(Env("PATH"));
  for (std::string dir; std::getline(path, dir, ':');) {
    if (dir.empty() || dir[0] != '/') continue;
    std::string file = WithSeparator(dir) + name;
    if (access(file.c_str(), X_OK) == 0) return file;
  }
  return "";
}

// Runs `args` (no shell) and waits for its end, at most `milliseconds`; a program still running
// then is killed. True when it ended with status 0.
bool RunBounded(std::vector<std::string> args, uint32_t milliseconds) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  int status = 0;
  pid_t ended = 0;
  while ((ended = waitpid(child, &status, WNOHANG)) == 0 || (ended < 0 && errno == EINTR)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return ended == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

// A desktop launcher file; executable, as desktop folders trust only those. Its picture is
// written beside the target, so that every shortcut to the target names the same file.
bool PosixSystem::SaveShortcut(const std::string& folder, const std::string& name,
                               const Shortcut& shortcut) {
  std::string icon;
  if (!shortcut.iconPng.empty()) {
    icon = DesktopIconPath(shortcut.target);
    if (!WriteIfDifferent(icon, shortcut.iconPng)) icon.clear();
  }
  return WriteWholeFile(ShortcutFile(folder, name), DesktopEntryText(name, shortcut, icon), 0755);
}

// GNOME's desktop starts a launcher file on a double click only once it carries the trusted
// mark, which gio sets; a desktop without gio has no such mark to set.
bool PosixSystem::TrustShortcut(const std::string& folder, const std::string& name) {
  const std::string gio = FindProgram("gio");
  if (gio.empty()) return true;
  return RunBounded({gio, "set", ShortcutFile(folder, name), "metadata::trusted", "true"}, 3000);
}

// The Linux desktop's shell offers no verbs on files, so nothing can be pinned through it.
bool PosixSystem::GetShellVerbs(const std::string&, const std::string&, std::vector<std::string>&) {
  return false;
}

bool PosixSystem::InvokeShellVerb(const std::string&, const std::string&, size_t) {
  return false;
}

}  // namespace sys
