// <windows.h> for the framework and the system services: the function-name macros that would
// rename their members (MessageBox to MessageBoxA, ...) are removed; Windows code calls the
// "A" functions by their full names.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef GetModuleFileName
#undef MessageBox
#undef OutputDebugString
#undef RemoveDirectory
#undef SetCurrentDirectory
