// Program entry: hand control to the application object. The programs have
// no main window, so a Start routine that returns ends the process.
#include "Application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The current directory may be one anybody can write to (a download
  // folder); no DLL is to be picked up from there.
  SetDllDirectoryA("");
  Application* app = Application::Current();
  if (app) app->Start();
  return 0;
}
