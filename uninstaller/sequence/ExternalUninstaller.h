#pragma once
// Hand-over to the external uninstaller: uninst.exe from the Windows
// directory, run on the product's DeIsLog.* script.
#include "InstallDirs.h"

// Starts "<uninstaller> -f\"<script>\"" without waiting, or, when either file
// is missing or the two paths don't fit the command buffer, shows the two
// messages that tell the user how to do it by hand. A script (or a folder on
// its path) reached through a link an ordinary user could change (LinkRule.h)
// is refused in one message of its own, nothing started.
void StartExternalUninstaller(const InstallDirs& dirs);

// The uninstall script's mask, as the hand-over searches for it.
extern const char kUninstallScriptMask[];

// Full path of the last entry matching mask in directory, or, with no
// directory, in ScriptFolder(dirs). Empty text when nothing matches or there
// is no place.
Text FindInstallFile(const char* mask, const Text* directory, const InstallDirs& dirs);

// Where the hand-over looks when no directory is given: rootDir, or, only
// when rootDir is empty, the folder above tempStorageDir. Empty if neither.
Text ScriptFolder(const InstallDirs& dirs);

// The folder above a temporary-storage directory: C:\P\TEMP\ gives C:\P\,
// C:\P\TEMP gives C:\. Empty when no such folder can be cut out.
Text ParentOfTempStorage(const Text& tempStorageDir);

// Starts program itself (never a program the platform might find by
// splitting an unquoted command line) with this command line, shown
// normally, in directory (the Windows directory; the current one where
// empty), not waited for. False if it could not be started.
bool StartUninstallerProgram(const Text& program, const Text& commandLine, const Text& directory);

// The command line, or empty text when it would not fit 520 bytes.
Text BuildUninstallCommand(const Text& uninstallerPath, const Text& scriptPath);
