// The system services of the platform being built, for programs that extend them.
#pragma once

#ifdef _WIN32
#include "win32/Win32System.h"
namespace sys {
using NativeSystem = Win32System;
}
#else
#include "posix/PosixSystem.h"
namespace sys {
using NativeSystem = PosixSystem;
}
#endif
