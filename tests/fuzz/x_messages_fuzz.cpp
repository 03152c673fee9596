// What another X client puts on the wire: a ClientMessage's fields and the bytes of the
// copy-data property. The first 24 bytes fill the message (format, type and five longs, as
// Xlib may hand them over sign-extended); the rest is the property.
#include <cstring>

#include "FuzzSupport.h"
#include "platform/ForeignMessages.h"
#include "platform/WinUser.h"
#include "platform/gtk/XMessages.h"

namespace {

constexpr Atom kMessageAtom = 301;  // as interned on some display

void CheckMessage(const uint8_t* data) {
  XEvent event{};
  event.type = ClientMessage;
  event.xclient.format = data[0] % 2 ? 32 : data[0];
  event.xclient.message_type = data[1] % 2 ? kMessageAtom : data[1];
  event.xclient.window = data[2] | data[3] << 8;
  for (int i = 0; i < 5; ++i) {
    int32_t value;
    std::memcpy(&value, data + 4 + 4 * i, 4);
    event.xclient.data.l[i] = value;  // sign-extended, as Xlib does
  }
  x11::Incoming in;
  if (!x11::DecodeClientMessage(event, kMessageAtom, &in)) {
    FUZZ_CHECK(event.xclient.format != 32 || event.xclient.message_type != kMessageAtom);
    return;
  }
  // Every field is the sender's 32 bits, whatever the sign extension made of them.
  FUZZ_CHECK(in.message == static_cast<uint32_t>(event.xclient.data.l[0]));
  FUZZ_CHECK(in.serial == static_cast<uint32_t>(event.xclient.data.l[4]));
  FUZZ_CHECK(in.target == event.xclient.window);
  // Accepted foreign messages carry plain values only.
  if (ui::IsAcceptedForeignMessage(in.message, in.wParam)) {
    FUZZ_CHECK(in.message == WM_COPYDATA || in.message >= WM_USER || in.message == WM_NULL ||
               in.message == WM_CLOSE || in.message == WM_QUIT || in.message == WM_SYSCOMMAND);
  }
}

void CheckProperty(const uint8_t* data, size_t size) {
  uint32_t kind = 0;
  std::string payload;
  if (!x11::DecodeCopyData(data, size, &kind, &payload)) {
    FUZZ_CHECK(size < 4);
    return;
  }
  FUZZ_CHECK(payload.size() == size - 4);
  FUZZ_CHECK(x11::EncodeCopyData(kind, payload) == fuzz::Text(data, size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 24) return 0;
  CheckMessage(data);
  CheckProperty(data + 24, size - 24);
  return 0;
}
