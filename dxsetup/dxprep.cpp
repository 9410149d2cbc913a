// dxprep: installs the DirectX runtime from the DirectX folder beside the
// launcher through the platform's setup library, then says how it went.
#include <windows.h>

#include "../common/BusyFlag.h"
#include "../common/DllSearch.h"
#include "Messages.h"
#include "../common/RedirectionTrust.h"
#include "SourcePath.h"

extern "C" int WINAPI DirectXSetup(HWND owner, LPSTR rootPath, DWORD flags);

namespace {
constexpr DWORD kSetupFlags = 63;
constexpr WPARAM kInstallClicked = 1;  // ID 1, notification 0
constexpr WPARAM kCancelClicked = 2;   // "Cancel", Esc and the close box

char g_sourcePath[kSourcePathSize];
bool g_sourcePathValid = false;
// Set from "Install" to the end of the dialog: the setup library runs its
// own windows and message loop, which deliver posted clicks to this dialog.
BusyFlag g_installing;

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message != WM_COMMAND) return 0;
  // Install, Cancel, Esc and the close box while the setup runs or its
  // outcome is up: one call, one message, one end.
  if (g_installing.IsSet()) return (wParam == kInstallClicked || wParam == kCancelClicked) ? TRUE : 0;
  if (wParam == kInstallClicked) {
    BusyFlag::Scope install(g_installing);
    // A source path that could not be built is never handed to the library.
    int rc = g_sourcePathValid ? DirectXSetup(dialog, g_sourcePath, kSetupFlags) : -1;
    MessageBoxA(dialog, rc < 0 ? kSetupFailedMessage : kSetupSucceededMessage, kSetupCaption, MB_OK);
    EndDialog(dialog, rc < 0 ? rc : 0);
  } else if (wParam == kCancelClicked) {
    EndDialog(dialog, -1);
  }
  return 0;
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // DSETUP.dll and what it loads later still come from the application
  // directory, which stays in the order.
  KeepCurrentDirectoryOutOfDllSearch();
  TrustOnlyAdministratorsRedirections();
  char modulePath[kSourcePathSize];
  DWORD length = GetModuleFileNameA(instance, modulePath, kSourcePathSize);
  g_sourcePathValid = MakeSourcePath(modulePath, length, g_sourcePath);
  DialogBoxParamA(instance, "DLG_MASTER", nullptr, SetupDialogProc, 0);
  return 0;
}
