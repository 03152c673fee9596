// One launcher per desktop: a second start hands the player to the launcher that runs.
#pragma once

#include "update/AppConfig.h"

// Start-up's check before anything is moved, downloaded, reported or shown. When another
// launcher's main dialog exists, asks it to come forward (2030: it brings its game, or itself,
// to the front), logs that and returns true: this process must end. A "-killpid" hand-over
// never defers (returns false): it is the successor of a launcher that is ending, and the
// chain of hand-overs must reach the work folder's "Launcher.exe".
bool CheckRunningLauncher(const AppConfig& config);
