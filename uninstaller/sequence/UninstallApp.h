#pragma once
#include "../framework/Application.h"
#include "../resource.h"
#include "InstallDirs.h"

class UninstallApp : public Application {
 public:
  UninstallApp() : Application(IDS_APP_TITLE) {}
  bool Start() override { return RunSequence(); }

  // The whole removal, one modal step after another. Always false: the
  // program has no window to keep running.
  bool RunSequence();

  InstallDirs dirs;
};
