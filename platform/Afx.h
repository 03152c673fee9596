// The framework the launcher's classes are written against: application object, windows,
// message maps, dialogs, controls, drawing and resources.
#pragma once

#include "Controls.h"
#include "Dialog.h"
#include "Gdi.h"
#include "GdiPlus.h"
#include "MessageMap.h"
#include "Resources.h"
#include "WinApp.h"
#include "Wnd.h"
