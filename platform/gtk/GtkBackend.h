// The Linux desktop backend: top-level windows are GTK 3 windows (their handle is the X11
// window id), window regions are X11 shapes, layered windows use an RGBA visual, and messages
// from other processes arrive as X11 client messages (XMessages.h).
#pragma once

#include "platform/Backend.h"

typedef struct _GtkWidget GtkWidget;

namespace gtkui {

// Sets up GTK on X11 (once per process; on a Wayland desktop through XWayland, whatever
// GDK_BACKEND says) and installs the backend; the calling thread becomes the UI thread. False
// when there is no X display.
bool Install();

// Hosting a native widget in a child window: the widget fills the child's place in its
// top-level window and follows its moves and visibility (the web view uses this).
bool HostWidget(HWND child, GtkWidget* widget);
GtkWidget* TopLevelWidget(HWND topLevel);

// How many times a top-level window's bounding shape was given to the X server. An unchanged
// shape is not sent again, so repaints that change no outline leave this alone.
unsigned ShapeChanges(HWND topLevel);

// Whether translucent pixels of layered windows blend with what is beneath (a compositing
// manager runs); without one they are cut by their alpha at 50 %.
bool IsComposited();

}  // namespace gtkui
