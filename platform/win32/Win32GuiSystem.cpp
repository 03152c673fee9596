#include "Win32GuiSystem.h"

#include "platform/Backend.h"

namespace win32ui {

bool Win32GuiSystem::MessageBox(const std::string& text, const std::string& caption) {
  if (!ui::HasBackend()) return sys::Win32System::MessageBox(text, caption);
  return ui::RunOnUiThread([&] { sys::Win32System::MessageBox(text, caption); });
}

}  // namespace win32ui
