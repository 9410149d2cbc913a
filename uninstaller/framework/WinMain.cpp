// Program entry: hand control to the application object. The programs have
// no main window, so a Start routine that returns ends the process.
#include "Application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The current directory may be one anybody can write to (a download
  // folder); no DLL is to be picked up from there. A named directory takes
  // its place in the search order on every loader (an empty one is ignored
  // by some, which then keep the current directory); the system directory
  // is searched anyway, so this adds no place of its own.
  char systemDir[MAX_PATH];
  UINT length = GetSystemDirectoryA(systemDir, MAX_PATH);
  SetDllDirectoryA(length > 0 && length < MAX_PATH ? systemDir : "");
  Application* app = Application::Current();
  if (app) app->Start();
  return 0;
}
