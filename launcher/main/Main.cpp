// Launcher.exe on the Linux desktop: the framework runs the one application object.
#include "Launcher.h"

namespace {
CLauncherApp theApp;
}  // namespace

int main(int argc, char** argv) {
  return AfxWinMain(argc, argv);
}
