#include "UninstallApp.h"

#include <ole2.h>

#include "../Messages.h"
#include "../removal/ControlRemovalDialog.h"
#include "ExternalUninstaller.h"
#include "IntroDialog.h"
#include "TempStorage.h"

bool UninstallApp::RunSequence() {
  HRESULT hr = OleInitialize(nullptr);
  if (hr != S_OK && hr != S_FALSE) {
    AppMessageBox(kOleFailedMessage, MB_OK | MB_ICONEXCLAMATION);
    return false;
  }

  ReadInstallDirs(dirs);
  SetDialogColors(RGB(192, 192, 192), RGB(0, 0, 0));

  IntroDialog intro;
  if (intro.DoModal() != IDOK) {
    OleUninitialize();
    return false;
  }

  if (dirs.ocxStorageDir.Length() == 0) {
    MessageBoxA(nullptr, kNoControlsMessage, kSequenceCaption, MB_OK | MB_ICONINFORMATION);
  } else {
    ControlRemovalDialog removal(nullptr, dirs.ocxStorageDir);
    removal.DoModal();  // however it ends, the sequence goes on
  }

  if (!dirs.tempStorageDir.IsEmpty()) CleanTempStorage(dirs);
  StartExternalUninstaller(dirs);

  OleUninitialize();
  return false;
}
