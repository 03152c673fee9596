#include "Win32System.h"

#include "platform/WinUser.h"

#include <objbase.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdlib>
#include <ctime>

#include "../CodePage.h"

namespace sys {

System& DefaultSystem() {
  static Win32System system;
  return system;
}

namespace {

constexpr std::string_view kSeparators = "\\/";

std::string WithSeparator(std::string path) {
  if (!EndsWithChar(path, kSeparators)) path += '\\';
  return path;
}

bool FreeBytes(const std::string& root, uint64_t& free) {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExA(root.c_str(), &available, nullptr, nullptr)) return false;
  free = available.QuadPart;
  return true;
}

bool Attributes(const std::string& path, win32_DWORD& attributes) {
  attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES;
}

bool IsRelative(const std::string& path) {
  return !path.empty() && path[0] != '\\' && path[0] != '/' && !(path.size() > 1 && path[1] == ':');
}

}  // namespace

std::vector<Drive> Win32System::GetFixedDrives() {
  // Wine's Z: is the host's root, which no test may write to: test rigs name stand-ins.
  std::vector<std::string> roots = StandInDrives(';');
  if (roots.empty()) {
    win32_DWORD letters = GetLogicalDrives();
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
      if (!(letters & (1u << (letter - 'A')))) continue;
      std::string root = std::string(1, letter) + ":\\";
      if (GetDriveTypeA(root.c_str()) == DRIVE_FIXED) roots.push_back(root);
    }
  }
  std::vector<Drive> drives;
  for (const std::string& root : roots) {
    Drive drive{root, 0};
    if (FreeBytes(root, drive.freeBytes)) drives.push_back(drive);
  }
  return drives;
}

bool Win32System::FreeSpaceOf(const std::string& path, Drive& drive) {
  char root[MAX_PATH] = {};
  if (!GetVolumePathNameA(path.c_str(), root, MAX_PATH)) return false;
  drive.root = root;
  return FreeBytes(drive.root, drive.freeBytes);
}

bool Win32System::GetSpecialFolder(Folder folder, std::string& path) {
  int id = folder == Folder::AppData   ? CSIDL_APPDATA
           : folder == Folder::Desktop ? CSIDL_DESKTOPDIRECTORY
                                       : CSIDL_COMMON_PROGRAMS;
  char buffer[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathA(nullptr, buffer, id, FALSE)) return false;
  path = buffer;
  while (path.size() > 3 && EndsWithChar(path, kSeparators)) path.pop_back();
  return !path.empty();
}

std::string Win32System::GetModuleFileName() {
  char buffer[MAX_PATH];
  win32_DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
}

// The system's own split of its wide command line, so that the arguments are exactly those a
// Windows program sees, then each one in the ANSI code page.
std::vector<std::string> Win32System::GetCommandLineArgs() {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv) return args;
  for (int i = 1; i < count; ++i) args.push_back(ToAnsi(argv[i]));
  LocalFree(argv);
  return args;
}

uint32_t Win32System::GetCurrentProcessId() {
  return ::GetCurrentProcessId();
}

uint32_t Win32System::GetTickCount() {
  return ::GetTickCount();
}

int64_t Win32System::GetTime() {
  return static_cast<int64_t>(std::time(nullptr));
}

LocalTime Win32System::ToLocalTime(int64_t time) {
  time_t t = static_cast<time_t>(time);
  struct tm tm {};
  localtime_s(&tm, &t);
  return sys::ToLocalTime(tm);
}

void Win32System::Sleep(uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

void Win32System::OutputDebugString(const std::string& text) {
  OutputDebugStringA((text + "\n").c_str());
}

bool Win32System::MessageBox(const std::string& text, const std::string& caption) {
  return MessageBoxExA(nullptr, text.c_str(), caption.c_str(), MB_OK, 0) != 0;
}

int Win32System::GetLastError() {
  return static_cast<int>(::GetLastError());
}

bool Win32System::PathExists(const std::string& path) {
  win32_DWORD attributes;
  return Attributes(path, attributes);
}

bool Win32System::IsDirectory(const std::string& path) {
  win32_DWORD attributes;
  // A link to a folder is not a folder here: tree deletion removes the link, not its target.
  return Attributes(path, attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool Win32System::CreateDirectory(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool Win32System::RemoveDirectory(const std::string& path) {
  return RemoveDirectoryA(path.c_str()) != 0;
}

// The running executable cannot be deleted here, which the launcher's repair relies on. A link
// to a folder goes as a folder does, leaving its target alone.
bool Win32System::DeleteFile(const std::string& path) {
  win32_DWORD attributes;
  if (Attributes(path, attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return RemoveDirectoryA(path.c_str()) != 0;
  }
  return DeleteFileA(path.c_str()) != 0;
}

bool Win32System::CreateNewFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

bool Win32System::MoveFileReplace(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// The copy is written beside the target and renamed over it, so the target is never half
// written.
bool Win32System::CopyFile(const std::string& from, const std::string& to) {
  std::string temp = to + ".copy-" + std::to_string(::GetCurrentProcessId());
  if (!CopyFileA(from.c_str(), temp.c_str(), FALSE)) return false;
  if (MoveFileReplace(temp, to)) return true;
  win32_DWORD error = ::GetLastError();
  DeleteFileA(temp.c_str());
  SetLastError(error);
  return false;
}

bool Win32System::ListDirectory(const std::string& path, std::vector<std::string>& names) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((WithSeparator(path) + "*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    std::string name = entry.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return true;
}

bool Win32System::SetCurrentDirectory(const std::string& path) {
  return SetCurrentDirectoryA(path.c_str()) != 0;
}

namespace {
// The volume and the file's index on it: what names one file whatever path leads to it.
bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool ok = GetFileInformationByHandle(file, info) != 0;
  CloseHandle(file);
  return ok;
}
}  // namespace

bool Win32System::SameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION first{}, second{};
  return FileIdentity(a, &first) && FileIdentity(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

std::string Win32System::GetFullPath(const std::string& path) {
  char full[MAX_PATH];
  const win32_DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return n > 0 && n < sizeof full ? std::string(full, n) : std::string();
}

// Written hidden beside the file, then moved over it, so a process ended in between leaves the
// old file or none, never a part of one; the move keeps the attribute. Replacing a hidden
// leftover needs the attribute asked for again: CREATE_ALWAYS over a hidden file with other
// attributes is refused.
bool Win32System::WriteHiddenFile(const std::string& path, const std::string& content) {
  const std::string temp = HiddenFileTemporary(path);
  HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  win32_DWORD written = 0;
  bool ok = WriteFile(file, content.data(), static_cast<win32_DWORD>(content.size()), &written,
                      nullptr) &&
            written == content.size();
  win32_DWORD error = ::GetLastError();
  if (!CloseHandle(file) && ok) ok = false, error = ::GetLastError();
  if (ok && !MoveFileReplace(temp, path)) ok = false, error = ::GetLastError();
  if (!ok) DeleteFileA(temp.c_str());
  SetLastError(error);
  return ok;
}

bool Win32System::GetFileVersion(const std::string& path, uint32_t& high, uint32_t& low) {
  win32_DWORD ignored = 0;
  win32_DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return false;
  std::string data(size, '\0');
  if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return false;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length) ||
      length < sizeof *info) {
    return false;
  }
  high = info->dwFileVersionMS;
  low = info->dwFileVersionLS;
  return true;
}

bool Win32System::StartProcess(const std::string& file, const std::string& params,
                               const std::string& workDir, Process* started) {
  std::string program = file;
  // A bare or relative name is looked up in the working folder first.
  if (IsRelative(program) && !workDir.empty() && PathExists(WithSeparator(workDir) + program)) {
    program = WithSeparator(workDir) + program;
  }
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = "open";
  info.lpFile = program.c_str();
  info.lpParameters = params.empty() ? nullptr : params.c_str();
  info.lpDirectory = workDir.empty() ? nullptr : workDir.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExA(&info)) return false;
  if (!info.hProcess) return true;  // handed to a running program: nothing to wait on
  if (started) {
    *started = {GetProcessId(info.hProcess),
                static_cast<uint64_t>(reinterpret_cast<uintptr_t>(info.hProcess))};
  } else {
    CloseHandle(info.hProcess);
  }
  return true;
}

void Win32System::CloseProcess(Process& process) {
  if (process.handle) CloseHandle(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(process.handle)));
  process = {};
}

bool Win32System::HasProcessEnded(const Process& process) {
  if (!process.handle) return true;
  return WaitForSingleObject(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(process.handle)), 0) ==
         WAIT_OBJECT_0;
}

bool Win32System::OpenUrl(const std::string& url) {
  HINSTANCE result = ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<intptr_t>(result) > 32;
}

namespace {

// COM on the calling thread for the span of one shell call. A thread that already entered
// another apartment keeps it (and the call runs there); only what this scope began is ended.
class ComScope {
 public:
  ComScope() : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(m_result)) CoUninitialize();
  }
  bool Usable() const { return SUCCEEDED(m_result) || m_result == RPC_E_CHANGED_MODE; }

 private:
  HRESULT m_result;
};

// An interface pointer released when it goes.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() {
    if (m_p) m_p->Release();
  }
  T* operator->() const { return m_p; }
  T** operator&() { return &m_p; }
  void** Out() { return reinterpret_cast<void**>(&m_p); }
  explicit operator bool() const { return m_p != nullptr; }

 private:
  T* m_p = nullptr;
};

// A BSTR freed when it goes.
class Bstr {
 public:
  explicit Bstr(const std::string& text) : m_text(SysAllocString(ToWide(text).c_str())) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(m_text); }
  BSTR get() const { return m_text; }

 private:
  BSTR m_text;
};

// A verb's name as the menu shows it: "&" marks the access key and "&&" is an ampersand.
std::string VerbDisplayName(const wchar_t* name) {
  std::wstring shown;
  for (const wchar_t* c = name; *c; ++c) {
    if (*c == L'&' && *++c == L'\0') break;
    shown += *c;
  }
  return ToAnsi(shown.c_str());
}

// The shell's verbs on `item` of `folder` (Shell.Application's Folder.ParseName(item).Verbs()).
bool ShellVerbs(const std::string& folder, const std::string& item,
                ComPtr<FolderItemVerbs>& verbs) {
  ComPtr<IShellDispatch> shell;
  if (FAILED(CoCreateInstance(CLSID_Shell, nullptr, CLSCTX_INPROC_SERVER, IID_IShellDispatch,
                              shell.Out()))) {
    return false;
  }
  Bstr folderName(folder), itemName(item);
  VARIANT where;
  VariantInit(&where);
  where.vt = VT_BSTR;
  where.bstrVal = folderName.get();
  ComPtr<::Folder> shellFolder;  // the shell's, not sys::Folder
  ComPtr<FolderItem> shellItem;
  return SUCCEEDED(shell->NameSpace(where, &shellFolder)) && shellFolder &&
         SUCCEEDED(shellFolder->ParseName(itemName.get(), &shellItem)) && shellItem &&
         SUCCEEDED(shellItem->Verbs(&verbs)) && verbs;
}

VARIANT IndexVariant(size_t index) {
  VARIANT variant;
  VariantInit(&variant);
  variant.vt = VT_I4;
  variant.lVal = static_cast<LONG>(index);
  return variant;
}

}  // namespace

// A shell link (IShellLinkA) saved through IPersistFile, which takes the wide path.
bool Win32System::SaveShortcut(const std::string& folder, const std::string& name,
                               const Shortcut& shortcut) {
  ComScope com;
  if (!com.Usable()) return false;
  ComPtr<IShellLinkA> link;
  ComPtr<IPersistFile> file;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              link.Out())) ||
      FAILED(link->SetPath(shortcut.target.c_str())) ||
      FAILED(link->SetWorkingDirectory(shortcut.workDir.c_str())) ||
      FAILED(link->SetDescription(shortcut.description.c_str())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.Out()))) {
    return false;
  }
  const std::wstring path = ToWide(WithSeparator(folder) + name + ".lnk");
  return !path.empty() && SUCCEEDED(file->Save(path.c_str(), TRUE));
}

bool Win32System::GetShellVerbs(const std::string& folder, const std::string& item,
                                std::vector<std::string>& names) {
  ComScope com;
  ComPtr<FolderItemVerbs> verbs;
  long count = 0;
  if (!com.Usable() || !ShellVerbs(folder, item, verbs) || FAILED(verbs->get_Count(&count))) {
    return false;
  }
  for (long i = 0; i < count; ++i) {
    ComPtr<FolderItemVerb> verb;
    BSTR name = nullptr;
    if (FAILED(verbs->Item(IndexVariant(static_cast<size_t>(i)), &verb)) || !verb ||
        FAILED(verb->get_Name(&name))) {
      return false;
    }
    names.push_back(VerbDisplayName(name ? name : L""));
    SysFreeString(name);
  }
  return true;
}

bool Win32System::InvokeShellVerb(const std::string& folder, const std::string& item,
                                  size_t index) {
  ComScope com;
  ComPtr<FolderItemVerbs> verbs;
  ComPtr<FolderItemVerb> verb;
  return com.Usable() && ShellVerbs(folder, item, verbs) &&
         SUCCEEDED(verbs->Item(IndexVariant(index), &verb)) && verb && SUCCEEDED(verb->DoIt());
}

std::string ToAnsi(const wchar_t* text) {
  if (!text) return "";
  const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return "";
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.pop_back();
  return out;
}

std::wstring ToWide(const std::string& text) {
  const int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (size <= 1) return L"";
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, out.data(), size);
  out.pop_back();
  return out;
}

bool SetAppUserModelId(const std::string& id) {
  const std::wstring wide = ToWide(id);
  return !wide.empty() && SUCCEEDED(SetCurrentProcessExplicitAppUserModelID(wide.c_str()));
}

}  // namespace sys
