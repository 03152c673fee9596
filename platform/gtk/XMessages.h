// Window messages between processes on X11, and what one process can learn about another's
// top-level windows. Every call here opens its own display connection, so any thread may use
// them. Parameters travel as 32-bit values: callers pass them masked, receivers zero-extend.
// The wire format is written down in DESIGN.md.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace x11 {

// Atoms of the wire format.
inline constexpr const char* kMessageAtom = "WAN_WINDOW_MESSAGE";
inline constexpr const char* kReplyAtom = "WAN_WINDOW_REPLY";
inline constexpr const char* kCopyDataAtom = "WAN_COPYDATA";
inline constexpr uint32_t kCopyDataMessage = 0x004A;
inline constexpr int kSendTimeoutMs = 5000;
inline constexpr size_t kMaxCopyData = 1 << 20;

bool WindowExists(uint32_t window);
// Top-level windows from the top of the stacking order down (looking through window manager
// frames), shown or not, without the toolkits' never-shown helper windows.
std::vector<uint32_t> TopLevelWindows();
bool WindowPid(uint32_t window, uint32_t* pid);  // _NET_WM_PID
uint32_t TransientFor(uint32_t window);          // WM_TRANSIENT_FOR, 0 when none
std::string WindowClass(uint32_t window);        // the class part of WM_CLASS
uint32_t FindWindowByClass(const std::string& className);
bool IsIconic(uint32_t window);  // WM_STATE is IconicState
// Maps (restores) and raises the window and asks the window manager to activate it.
bool Activate(uint32_t window);

bool PostMessage(uint32_t window, uint32_t message, uint32_t wParam, uint32_t lParam);
// Waits up to kSendTimeoutMs for the receiver's result.
bool SendMessage(uint32_t window, uint32_t message, uint32_t wParam, uint32_t lParam,
                 uint32_t* result);
bool SendCopyData(uint32_t window, uint32_t wParam, uint32_t kind, const std::string& payload,
                  uint32_t* result);

// The receiving side, on the receiver's own connection.
struct Incoming {
  uint32_t target = 0;
  uint32_t message = 0;
  uint32_t wParam = 0;
  uint32_t lParam = 0;       // copy-data: the payload length
  uint32_t replyWindow = 0;  // 0: posted, no reply
  uint32_t serial = 0;
};
bool DecodeMessage(Display* display, const XEvent& event, Incoming* incoming);
// Reads and deletes the copy-data property of the sender's reply window.
bool TakeCopyData(Display* display, uint32_t replyWindow, uint32_t* kind, std::string* payload);

// The byte work of the above, without a display. `messageAtom` is the interned kMessageAtom.
bool DecodeClientMessage(const XEvent& event, Atom messageAtom, Incoming* incoming);
// The copy-data property: the kind (4 bytes, little-endian) and then the payload.
std::string EncodeCopyData(uint32_t kind, const std::string& payload);
// False for a property shorter than the kind.
bool DecodeCopyData(const unsigned char* data, size_t count, uint32_t* kind, std::string* payload);
void SendReply(Display* display, uint32_t replyWindow, uint32_t serial, uint32_t result);

}  // namespace x11
