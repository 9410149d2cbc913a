#pragma once
#include "../framework/Application.h"
#include "InstallDirs.h"

class UninstallApp : public Application {
 public:
  bool Start() override { return RunSequence(); }

  // The whole removal, one modal step after another. Always false: the
  // program has no window to keep running.
  bool RunSequence();

  InstallDirs dirs;
};
