// win-check.exe: the Windows system services and the launcher's name rules, run under Wine by
// tests/windows/run.sh, which checks what it prints. Usage: win-check COMMAND ARGUMENTS...
//   codepage                           the ANSI code page
//   version FILE                       the file version resource, a.b.c.d
//   names NAME                         the update's URL, local path and key of a game file name
//   folder appdata|desktop|programs    a special folder
//   shortcut FOLDER NAME TARGET WORK   saves a shell link
//   readlink FILE                      a shell link's target, working folder and description
//   verbs FOLDER ITEM                  the shell's verbs on an item, one a line
//   invoke FOLDER ITEM INDEX           carries out one of them
//   start FILE PARAMS WORKDIR          starts a program, waits up to 20 s, gives its handle back
//                                      and prints its exit code
//   touch NAME                         creates NAME in the current folder (a started program)
//   appid ID                           names the process and reads the name back
//   string ID                          a string of the program's string table
//   resource TYPE ID                   the size of one of the program's resources
//   messagebox TEXT CAPTION            shows the system's message box, "shown" once it is closed
//   readbox SECONDS                    waits up to SECONDS for a message box, prints its caption
//                                      and text in UTF-8 (read as Unicode), and closes it
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/WinUser.h"
#include "platform/win32/Win32System.h"
#include "update/UpdatePlan.h"

namespace {

int Fail(const char* what) {
  std::fprintf(stderr, "win-check: %s failed (%lu)\n", what, ::GetLastError());
  return 1;
}

int Version(const std::string& path) {
  uint32_t high = 0, low = 0;
  if (!sys::Current().GetFileVersion(path, high, low)) return Fail("GetFileVersion");
  std::printf("%u.%u.%u.%u\n", high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF);
  return 0;
}

int Names(const std::string& name) {
  const std::string local = LocalFileName(name, 1);
  std::printf("%s\n%s\n%s\n", GameFileUrl("http://h/", name, 1).c_str(),
              LocalFilePath("C:\\w\\", local).c_str(), LocalNameKey(local).c_str());
  return 0;
}

int SpecialFolder(const std::string& which) {
  const sys::Folder folder = which == "appdata"   ? sys::Folder::AppData
                             : which == "desktop" ? sys::Folder::Desktop
                                                  : sys::Folder::CommonPrograms;
  std::string path;
  if (!sys::Current().GetSpecialFolder(folder, path)) return Fail("GetSpecialFolder");
  std::printf("%s\n", path.c_str());
  return 0;
}

// Reads a link back through the shell, as a player's desktop would.
int ReadLink(const std::string& path) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return Fail("CoInitializeEx");
  IShellLinkA* link = nullptr;
  IPersistFile* file = nullptr;
  char target[MAX_PATH] = {}, work[MAX_PATH] = {}, description[MAX_PATH] = {};
  std::wstring wide(path.size() + 1, L'\0');
  wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(),
                                                      static_cast<int>(wide.size()))));
  const bool ok =
      SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(wide.c_str(), STGM_READ)) &&
      SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
      SUCCEEDED(link->GetWorkingDirectory(work, MAX_PATH)) &&
      SUCCEEDED(link->GetDescription(description, MAX_PATH));
  if (file) file->Release();
  if (link) link->Release();
  CoUninitialize();
  if (!ok) return Fail("reading the link");
  std::printf("%s\n%s\n%s\n", target, work, description);
  return 0;
}

int Verbs(const std::string& folder, const std::string& item) {
  std::vector<std::string> verbs;
  if (!sys::Current().GetShellVerbs(folder, item, verbs)) return Fail("GetShellVerbs");
  for (const std::string& verb : verbs) std::printf("%s\n", verb.c_str());
  return 0;
}

int AppId(const std::string& id) {
  if (!sys::SetAppUserModelId(id)) return Fail("SetAppUserModelId");
  wchar_t* named = nullptr;
  if (FAILED(GetCurrentProcessExplicitAppUserModelID(&named))) {
    return Fail("GetCurrentProcessExplicitAppUserModelID");
  }
  std::printf("%ls\n", named);
  CoTaskMemFree(named);
  return 0;
}

int Start(const std::string& file, const std::string& params, const std::string& workDir) {
  sys::Process started;
  if (!sys::Current().StartProcess(file, params, workDir, &started)) return Fail("StartProcess");
  const auto process = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(started.handle));
  win32_DWORD code = 0;
  const bool ended = WaitForSingleObject(process, 20000) == WAIT_OBJECT_0 &&
                     GetExitCodeProcess(process, &code) && started.id != 0;
  // Given back, the handle is closed and the process record emptied.
  sys::Current().CloseProcess(started);
  win32_DWORD flags = 0;
  if (GetHandleInformation(process, &flags) || started.handle || started.id) {
    return Fail("CloseProcess");
  }
  if (!ended) return Fail("waiting for the started program");
  std::printf("%lu\n", code);
  return 0;
}

// The program's own string table, in the ANSI code page as the launcher reads it.
int String(const std::string& id) {
  char text[256];
  const int length = LoadStringA(GetModuleHandleA(nullptr), std::stoul(id), text, sizeof text);
  if (length <= 0) return Fail("LoadStringA");
  std::printf("%s\n", text);
  return 0;
}

// TYPE is a number (5 for a dialog, 14 for an icon group) or a name ("PNG").
int Resource(const std::string& type, const std::string& id) {
  const char* typeName = std::isdigit(static_cast<unsigned char>(type[0]))
                             ? MAKEINTRESOURCEA(std::stoul(type))
                             : type.c_str();
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(std::stoul(id)), typeName);
  if (!found) return Fail("FindResourceA");
  std::printf("%lu\n", SizeofResource(nullptr, found));
  return 0;
}

std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size > 1 ? size : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
  out.pop_back();
  return out;
}

std::wstring WindowText(win32_HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

// The message box's text is its static control of id 0xFFFF. The box is read once it is shown:
// its window exists before its texts are set.
win32_HWND ShownMessageBox() {
  win32_HWND box = FindWindowW(L"#32770", nullptr);
  return box && IsWindowVisible(box) && GetDlgItem(box, 0xFFFF) ? box : nullptr;
}

int ReadBox(const std::string& seconds) {
  const win32_DWORD until = GetTickCount() + static_cast<win32_DWORD>(std::stoul(seconds)) * 1000;
  win32_HWND box = nullptr;
  while (!(box = ShownMessageBox()) && static_cast<win32_LONG>(until - GetTickCount()) > 0)
    Sleep(50);
  if (!box) return Fail("FindWindowW(#32770)");
  std::printf("%s\n%s\n", Utf8(WindowText(box)).c_str(),
              Utf8(WindowText(GetDlgItem(box, 0xFFFF))).c_str());
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  return 0;
}

}  // namespace

int main() {
  const std::vector<std::string> args = sys::Current().GetCommandLineArgs();
  auto is = [&](const char* command, size_t count) {
    return args.size() == count + 1 && args[0] == command;
  };
  if (is("codepage", 0)) return std::printf("%u\n", GetACP()) < 0;
  if (is("version", 1)) return Version(args[1]);
  if (is("names", 1)) return Names(args[1]);
  if (is("folder", 1)) return SpecialFolder(args[1]);
  if (is("shortcut", 4)) {
    return sys::Current().SaveShortcut(args[1], args[2], {args[3], args[4], args[2]})
               ? 0
               : Fail("SaveShortcut");
  }
  if (is("readlink", 1)) return ReadLink(args[1]);
  if (is("verbs", 2)) return Verbs(args[1], args[2]);
  if (is("invoke", 3)) {
    return sys::Current().InvokeShellVerb(args[1], args[2], std::stoul(args[3]))
               ? 0
               : Fail("InvokeShellVerb");
  }
  if (is("start", 3)) return Start(args[1], args[2], args[3]);
  if (is("touch", 1)) return sys::Current().CreateNewFile(args[1]) ? 0 : Fail("CreateNewFile");
  if (is("appid", 1)) return AppId(args[1]);
  if (is("string", 1)) return String(args[1]);
  if (is("resource", 2)) return Resource(args[1], args[2]);
  if (is("messagebox", 2)) {
    return sys::Current().MessageBox(args[1], args[2]) ? std::printf("shown\n") < 0
                                                       : Fail("MessageBox");
  }
  if (is("readbox", 1)) return ReadBox(args[1]);
  std::fprintf(stderr, "usage: win-check COMMAND ARGUMENTS... (see WinCheck.cpp)\n");
  return 2;
}
