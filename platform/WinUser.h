// Message numbers, styles and flags of the window system. The numbers are the Windows ones,
// because other programs send them to the launcher's windows.
#pragma once

#include "Types.h"

// Messages.
inline constexpr UINT WM_NULL = 0x0000, WM_CREATE = 0x0001, WM_DESTROY = 0x0002, WM_MOVE = 0x0003,
                      WM_SIZE = 0x0005, WM_SETFOCUS = 0x0007, WM_KILLFOCUS = 0x0008,
                      WM_ENABLE = 0x000A, WM_SETTEXT = 0x000C, WM_PAINT = 0x000F, WM_CLOSE = 0x0010,
                      WM_QUIT = 0x0012, WM_ERASEBKGND = 0x0014, WM_SHOWWINDOW = 0x0018,
                      WM_MOUSEACTIVATE = 0x0021, WM_DRAWITEM = 0x002B, WM_QUERYDRAGICON = 0x0037,
                      WM_WINDOWPOSCHANGED = 0x0047, WM_COPYDATA = 0x004A, WM_SETICON = 0x0080,
                      WM_NCDESTROY = 0x0082, WM_NCPAINT = 0x0085, WM_NCLBUTTONDOWN = 0x00A1,
                      WM_KEYDOWN = 0x0100, WM_KEYUP = 0x0101, WM_CHAR = 0x0102,
                      WM_INITDIALOG = 0x0110, WM_COMMAND = 0x0111, WM_SYSCOMMAND = 0x0112,
                      WM_TIMER = 0x0113, WM_MOUSEMOVE = 0x0200, WM_LBUTTONDOWN = 0x0201,
                      WM_LBUTTONUP = 0x0202, WM_ICONERASEBKGND = 0x0027, WM_MOUSEHOVER = 0x02A1,
                      WM_MOUSELEAVE = 0x02A3, WM_USER = 0x0400;

// Progress bar messages.
inline constexpr UINT PBM_SETRANGE = WM_USER + 1, PBM_SETPOS = WM_USER + 2,
                      PBM_DELTAPOS = WM_USER + 3, PBM_SETRANGE32 = WM_USER + 6,
                      PBM_GETRANGE = WM_USER + 7, PBM_GETPOS = WM_USER + 8;

// Window styles.
inline constexpr DWORD WS_OVERLAPPED = 0x00000000, WS_POPUP = 0x80000000, WS_CHILD = 0x40000000,
                       WS_MINIMIZE = 0x20000000, WS_VISIBLE = 0x10000000, WS_DISABLED = 0x08000000,
                       WS_CLIPSIBLINGS = 0x04000000, WS_CLIPCHILDREN = 0x02000000,
                       WS_CAPTION = 0x00C00000, WS_BORDER = 0x00800000, WS_SYSMENU = 0x00080000,
                       WS_THICKFRAME = 0x00040000, WS_GROUP = 0x00020000, WS_TABSTOP = 0x00010000,
                       WS_MINIMIZEBOX = 0x00020000, WS_MAXIMIZEBOX = 0x00010000;
inline constexpr DWORD WS_EX_TOPMOST = 0x00000008, WS_EX_LAYERED = 0x00080000,
                       WS_EX_APPWINDOW = 0x00040000;
inline constexpr DWORD DS_SETFONT = 0x40, DS_CENTER = 0x800, DS_SETFOREGROUND = 0x200,
                       DS_FIXEDSYS = 0x8;
inline constexpr DWORD BS_PUSHBUTTON = 0x0, BS_DEFPUSHBUTTON = 0x1, BS_OWNERDRAW = 0xB,
                       BS_TYPEMASK = 0xF;
inline constexpr DWORD SS_BLACKFRAME = 0x7, SS_TYPEMASK = 0x1F, SS_NOTIFY = 0x100;
inline constexpr int GWL_STYLE = -16, GWL_EXSTYLE = -20, GWL_ID = -12;

// ShowWindow commands.
inline constexpr int SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOWMINIMIZED = 2, SW_MINIMIZE = 6,
                     SW_SHOWNA = 8, SW_SHOW = 5, SW_RESTORE = 9;

// SetWindowPos.
inline constexpr UINT SWP_NOSIZE = 0x1, SWP_NOMOVE = 0x2, SWP_NOZORDER = 0x4, SWP_NOREDRAW = 0x8,
                      SWP_NOACTIVATE = 0x10, SWP_FRAMECHANGED = 0x20, SWP_SHOWWINDOW = 0x40,
                      SWP_HIDEWINDOW = 0x80;
inline const HWND HWND_TOP = 0, HWND_BOTTOM = 1, HWND_TOPMOST = static_cast<HWND>(-1),
                  HWND_NOTOPMOST = static_cast<HWND>(-2);

// Command notifications, system commands, hit-test codes, mouse tracking.
inline constexpr UINT BN_CLICKED = 0;
inline constexpr int IDOK = 1, IDCANCEL = 2;
inline constexpr UINT SC_MINIMIZE = 0xF020, SC_RESTORE = 0xF120, SC_CLOSE = 0xF060;
inline constexpr UINT HTCAPTION = 2;
inline constexpr DWORD TME_HOVER = 0x1, TME_LEAVE = 0x2, TME_CANCEL = 0x80000000;
inline constexpr UINT MK_LBUTTON = 0x1;
inline constexpr UINT SIZE_RESTORED = 0, SIZE_MINIMIZED = 1;
inline constexpr int ICON_SMALL = 0, ICON_BIG = 1;
inline constexpr UINT ODT_BUTTON = 4, ODA_DRAWENTIRE = 1;

// Virtual keys.
inline constexpr UINT VK_RETURN = 0x0D, VK_ESCAPE = 0x1B, VK_SPACE = 0x20;

// Metrics, monitors, regions, raster operations, layered windows, message boxes.
inline constexpr int SM_CXSCREEN = 0, SM_CYSCREEN = 1, SM_CXICON = 11, SM_CYICON = 12;
inline constexpr DWORD MONITOR_DEFAULTTOPRIMARY = 1;
inline constexpr int ALTERNATE = 1, WINDING = 2;
inline constexpr int RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5;
inline constexpr int ERROR = 0, NULLREGION = 1, SIMPLEREGION = 2, COMPLEXREGION = 3;
inline constexpr DWORD SRCCOPY = 0x00CC0020;
inline constexpr BYTE AC_SRC_OVER = 0, AC_SRC_ALPHA = 1;
inline constexpr DWORD ULW_ALPHA = 2;
inline constexpr UINT MB_OK = 0;
inline constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400, ERROR_INVALID_PARAMETER = 87;
