#include "UninstallApp.h"

#include <ole2.h>

#include "IntroDialog.h"

namespace {
const char kSequenceCaption[] = "Zentrova Uninstall.";
const char kNoControlsMessage[] = "No previously installed Zentrova .OCX\ncontrols were detected.";
const char kOleFailedMessage[] =
    "OLE initialization failed. Make sure that the OLE libraries are the correct version.";
}  // namespace

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
    // TODO(control removal): show the list of the product's controls here.
  }

  // TODO(cleanup): clear the temporary-storage directory here when it is known.
  // TODO(hand-over): start the external uninstaller here.

  OleUninitialize();
  return false;
}
