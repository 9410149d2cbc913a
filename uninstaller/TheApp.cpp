// The program's one application object, created at static initialisation.
#include "sequence/UninstallApp.h"

UninstallApp theApp;
