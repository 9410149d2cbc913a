/* A program with every fault the binaries check looks for: an import from
   a DLL outside the system set, no ASLR, DEP or Terminal-Server awareness,
   two manifests, one asking for no elevation but for common controls 6, no version resource, dxprep's
   dialog template in another language, an icon group too many, and a size
   over the smaller budget. */
#include <windows.h>
#include <commctrl.h>

/* Initialised, so it takes room in the file. */
static const volatile char padding[60 * 1024] = {1};

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command, int show) {
  (void)instance;
  (void)previous;
  (void)command;
  (void)show;
  InitCommonControls();
  return padding[0];
}
