// Program entry: hand control to the application object. The programs have
// no main window, so a Start routine that returns ends the process.
#include "Application.h"
#include "../../common/DllSearch.h"
#include "../../common/RedirectionTrust.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  KeepCurrentDirectoryOutOfDllSearch();
  KeepProgramFolderOutOfDllSearch();
  TrustOnlyAdministratorsRedirections();
  Application* app = Application::Current();
  if (app) app->Start();
  return 0;
}
