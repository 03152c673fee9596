#include "GtkSystem.h"

#include "platform/Backend.h"

// GLib defines TRUE and FALSE as macros: toolkit headers come after the framework's.
#include <gtk/gtk.h>

namespace gtkui {

bool GtkSystem::MessageBox(const std::string& text, const std::string& caption) {
  if (!ui::HasBackend()) return sys::PosixSystem::MessageBox(text, caption);
  return ui::RunOnUiThread([&] {
    GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER,
                                            GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
    gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
    gtk_window_set_position(GTK_WINDOW(box), GTK_WIN_POS_CENTER);
    gtk_dialog_set_default_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
  });
}

}  // namespace gtkui
