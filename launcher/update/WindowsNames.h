// Names that Windows takes for something other than a file of that name in its folder: the
// devices every folder holds ("CON", "nul.txt") and short names ("GAMEFI~1.TXT" may be
// "gamefiles.txt"). Windows players read every tree, so the update and wan-publish refuse such
// names on Linux too. Local names are in the system's code page and compared as LocalNameKey
// compares them.
#pragma once

#include <string>

// True when the local name or one of its folders is a device in every folder: CON, PRN, AUX,
// NUL, CONIN$, CONOUT$, COM1 to COM9 and LPT1 to LPT9 (with a superscript 1, 2 or 3 too), in any
// case, with any extension and trailing dots or blanks. Writing such a file writes the device.
bool NamesADevice(const std::string& localName);
// True when the local name or one of its folders has the shape of a short name, BASE~N.EXT: at
// most eight characters before its one dot, ending in "~" and digits, at most three after it.
// Windows may give any file such a second name, so such an entry could be another game file or
// one of the launcher's; only names of that shape can be.
bool MayBeAShortName(const std::string& localName);
