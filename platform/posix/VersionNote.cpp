// The launcher executable's own version note; linked into Launcher.exe only.
#include "VersionNote.h"

#include "LauncherSettings.h"

namespace {

static_assert(sys::IsFileVersionText(LAUNCHER_VERSION), "LAUNCHER_VERSION must read a.b.c.d");

constexpr uint32_t Half(int first) {
  return sys::FileVersionField(LAUNCHER_VERSION, first) << 16 |
         sys::FileVersionField(LAUNCHER_VERSION, first + 1);
}

struct Note {
  uint32_t nameSize, descSize, type;
  char name[(sizeof sys::kVersionNoteOwner + 3) & ~size_t{3}];
  uint32_t desc[2];
};

// A .note section is of the note type, so the reader finds it among the file's notes.
__attribute__((section(".note.launcher.version"), used, aligned(4)))
const Note kVersionNote = {sizeof sys::kVersionNoteOwner,
                           sizeof(uint32_t[2]),
                           sys::kVersionNoteType,
                           "Launcher",
                           {Half(0), Half(2)}};

}  // namespace
