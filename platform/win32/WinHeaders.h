// <windows.h> as every file of the Windows build sees it (included first by the compiler,
// -include). The framework has window types of its own (a handle is a number, a device context
// and a region are framework objects), so the system's types of the same names are renamed
// win32_* while the headers are read: code under platform/win32/ calls the system with those.
// The function-name macros (MessageBox to MessageBoxA, ...) and the colour and word macros
// are removed: the framework has members and functions of those names, and Windows code calls
// the "A" functions by their full names.
#pragma once

#define DWORD win32_DWORD
#define LONG win32_LONG
#define LPARAM win32_LPARAM
#define WPARAM win32_WPARAM
#define LRESULT win32_LRESULT
#define UINT_PTR win32_UINT_PTR
#define ULONG_PTR win32_ULONG_PTR
#define COLORREF win32_COLORREF
#define HWND win32_HWND
#define HDC win32_HDC
#define HICON win32_HICON
#define HCURSOR win32_HCURSOR
#define HRGN win32_HRGN
#define HMONITOR win32_HMONITOR
#define MONITORINFO win32_MONITORINFO
#define POINT win32_POINT
#define SIZE win32_SIZE
#define RECT win32_RECT
#define LPRECT win32_LPRECT
#define MSG win32_MSG
#define WINDOWPOS win32_WINDOWPOS
#define COPYDATASTRUCT win32_COPYDATASTRUCT
#define DRAWITEMSTRUCT win32_DRAWITEMSTRUCT
#define LPDRAWITEMSTRUCT win32_LPDRAWITEMSTRUCT
#define TRACKMOUSEEVENT win32_TRACKMOUSEEVENT
#define BLENDFUNCTION win32_BLENDFUNCTION
#define TIMERPROC win32_TIMERPROC
#define WNDENUMPROC win32_WNDENUMPROC
// System functions the framework has its own of, with the same parameters.
#define GetCurrentThreadId win32_GetCurrentThreadId
#define GetFocus win32_GetFocus
#define GetSystemMetrics win32_GetSystemMetrics
#define PostQuitMessage win32_PostQuitMessage
#define ReleaseCapture win32_ReleaseCapture
#define GetClassInfoA win32_GetClassInfoA
#define KillTimer win32_KillTimer
#define SetTimer win32_SetTimer
#define MessageBoxA win32_MessageBoxA
#define InitCommonControlsEx win32_InitCommonControlsEx
#define INITCOMMONCONTROLSEX win32_INITCOMMONCONTROLSEX
// WNDCLASS is declared through the A/W pasting macro: the pasted name is mapped back.
#define WNDCLASS win32_WNDCLASS
#define win32_WNDCLASSA WNDCLASSA

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// The order matters: libcurl's header brings Winsock 2, which must come before <windows.h>.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
// clang-format on
// The web-browser control's interfaces, for the one file that hosts it.
#ifdef LAUNCHER_WEB_CONTROL
#define DOCHOSTUIINFO win32_DOCHOSTUIINFO
#define DOCHOSTUIFLAG_NO3DBORDER win32_DOCHOSTUIFLAG_NO3DBORDER
#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#undef DOCHOSTUIINFO
#undef DOCHOSTUIFLAG_NO3DBORDER
#endif

#undef DWORD
#undef LONG
#undef LPARAM
#undef WPARAM
#undef LRESULT
#undef UINT_PTR
#undef ULONG_PTR
#undef COLORREF
#undef HWND
#undef HDC
#undef HICON
#undef HCURSOR
#undef HRGN
#undef HMONITOR
#undef MONITORINFO
#undef POINT
#undef SIZE
#undef RECT
#undef LPRECT
#undef MSG
#undef WINDOWPOS
#undef COPYDATASTRUCT
#undef DRAWITEMSTRUCT
#undef LPDRAWITEMSTRUCT
#undef TRACKMOUSEEVENT
#undef BLENDFUNCTION
#undef TIMERPROC
#undef WNDENUMPROC
#undef WNDCLASS
#undef GetCurrentThreadId
#undef GetFocus
#undef GetSystemMetrics
#undef PostQuitMessage
#undef ReleaseCapture
#undef GetClassInfoA
#undef KillTimer
#undef SetTimer
#undef MessageBoxA
#undef InitCommonControlsEx
#undef INITCOMMONCONTROLSEX
#undef win32_WNDCLASSA

#undef TRUE
#undef FALSE
#undef ERROR
#undef RGB
#undef LOWORD
#undef HIWORD
#undef MAKELPARAM
#undef MAKEWPARAM
#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef DrawText
#undef FindWindow
#undef GetModuleFileName
#undef GetWindowText
#undef LoadString
#undef MessageBox
#undef OutputDebugString
#undef PostMessage
#undef RemoveDirectory
#undef SendMessage
#undef SetCurrentDirectory
#undef SetWindowText
#undef GetWindowLong
#undef SetWindowLong
#undef DefWindowProc
#undef PostThreadMessage
#undef CreateWindow
#undef LoadIcon
#undef GetClassName
#undef GetMonitorInfo

// ReleaseCapture under a name of its own (the framework has its own ReleaseCapture): bound to the
// system's function by its linker symbol, stdcall-decorated on 32-bit x86.
#ifdef _WIN64
#define LAUNCHER_SYSTEM_SYMBOL(name, argumentBytes) #name
#else
#define LAUNCHER_SYSTEM_SYMBOL(name, argumentBytes) "_" #name "@" #argumentBytes
#endif
extern "C" BOOL WINAPI SystemReleaseCapture(void) __asm__(LAUNCHER_SYSTEM_SYMBOL(ReleaseCapture,
                                                                                 0));

// The framework's own message numbers, styles and flags (WinUser.h: the same values).
#undef WM_NULL
#undef WM_CREATE
#undef WM_DESTROY
#undef WM_MOVE
#undef WM_SIZE
#undef WM_SETFOCUS
#undef WM_KILLFOCUS
#undef WM_ENABLE
#undef WM_SETTEXT
#undef WM_PAINT
#undef WM_CLOSE
#undef WM_QUIT
#undef WM_ERASEBKGND
#undef WM_SHOWWINDOW
#undef WM_MOUSEACTIVATE
#undef WM_DRAWITEM
#undef WM_QUERYDRAGICON
#undef WM_WINDOWPOSCHANGED
#undef WM_COPYDATA
#undef WM_SETICON
#undef WM_NCDESTROY
#undef WM_NCPAINT
#undef WM_NCLBUTTONDOWN
#undef WM_KEYDOWN
#undef WM_KEYUP
#undef WM_CHAR
#undef WM_INITDIALOG
#undef WM_COMMAND
#undef WM_SYSCOMMAND
#undef WM_TIMER
#undef WM_MOUSEMOVE
#undef WM_LBUTTONDOWN
#undef WM_LBUTTONUP
#undef WM_ICONERASEBKGND
#undef WM_MOUSEHOVER
#undef WM_MOUSELEAVE
#undef WM_USER
#undef PBM_SETRANGE
#undef PBM_SETPOS
#undef PBM_DELTAPOS
#undef PBM_SETRANGE32
#undef PBM_GETRANGE
#undef PBM_GETPOS
#undef WS_OVERLAPPED
#undef WS_POPUP
#undef WS_CHILD
#undef WS_MINIMIZE
#undef WS_VISIBLE
#undef WS_DISABLED
#undef WS_CLIPSIBLINGS
#undef WS_CLIPCHILDREN
#undef WS_CAPTION
#undef WS_BORDER
#undef WS_SYSMENU
#undef WS_THICKFRAME
#undef WS_GROUP
#undef WS_TABSTOP
#undef WS_MINIMIZEBOX
#undef WS_MAXIMIZEBOX
#undef WS_EX_TOPMOST
#undef WS_EX_LAYERED
#undef WS_EX_APPWINDOW
#undef DS_SETFONT
#undef DS_CENTER
#undef DS_SETFOREGROUND
#undef DS_FIXEDSYS
#undef BS_PUSHBUTTON
#undef BS_DEFPUSHBUTTON
#undef BS_OWNERDRAW
#undef BS_TYPEMASK
#undef SS_BLACKFRAME
#undef SS_TYPEMASK
#undef SS_NOTIFY
#undef GWL_STYLE
#undef GWL_EXSTYLE
#undef GWL_ID
#undef SW_HIDE
#undef SW_SHOWNORMAL
#undef SW_SHOWMINIMIZED
#undef SW_MINIMIZE
#undef SW_SHOWNA
#undef SW_SHOW
#undef SW_RESTORE
#undef SWP_NOSIZE
#undef SWP_NOMOVE
#undef SWP_NOZORDER
#undef SWP_NOREDRAW
#undef SWP_NOACTIVATE
#undef SWP_FRAMECHANGED
#undef SWP_SHOWWINDOW
#undef SWP_HIDEWINDOW
#undef HWND_TOP
#undef HWND_BOTTOM
#undef HWND_TOPMOST
#undef HWND_NOTOPMOST
#undef BN_CLICKED
#undef IDOK
#undef IDCANCEL
#undef SC_MINIMIZE
#undef SC_RESTORE
#undef SC_CLOSE
#undef HTCAPTION
#undef TME_HOVER
#undef TME_LEAVE
#undef TME_CANCEL
#undef MK_LBUTTON
#undef SIZE_RESTORED
#undef SIZE_MINIMIZED
#undef ICON_SMALL
#undef ICON_BIG
#undef ODT_BUTTON
#undef ODA_DRAWENTIRE
#undef VK_RETURN
#undef VK_ESCAPE
#undef VK_SPACE
#undef SM_CXSCREEN
#undef SM_CYSCREEN
#undef SM_CXICON
#undef SM_CYICON
#undef MONITOR_DEFAULTTOPRIMARY
#undef ALTERNATE
#undef WINDING
#undef RGN_AND
#undef RGN_OR
#undef RGN_XOR
#undef RGN_DIFF
#undef RGN_COPY
#undef ERROR
#undef NULLREGION
#undef SIMPLEREGION
#undef COMPLEXREGION
#undef SRCCOPY
#undef AC_SRC_OVER
#undef AC_SRC_ALPHA
#undef ULW_ALPHA
#undef MB_OK
#undef ERROR_INVALID_WINDOW_HANDLE
#undef ERROR_INVALID_PARAMETER
