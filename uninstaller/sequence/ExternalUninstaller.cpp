#include "ExternalUninstaller.h"

#include "../Messages.h"
#include "../framework/DirectorySearch.h"
#include "../framework/Handles.h"
#include "../storage/LinkRule.h"
#include "../storage/SystemFolder.h"

namespace {
const char kCommandFormat[] = "%s -f\"%s\"";
constexpr int kCommandSize = 520;
constexpr UINT kWindowsDirSize = 259;
}  // namespace

const char kUninstallScriptMask[] = "DeIsLog.*";

// The program's path is not quoted in the command line, so letting the
// platform split that line could start another program (C:\My.exe for
// C:\My Windows\uninst.exe): the path found is named on its own. It starts
// in the Windows directory, not in whatever folder this program was started
// from.
bool StartUninstallerProgram(const Text& program, const Text& commandLine, const Text& directory) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION started = {};
  Text writable = commandLine;  // CreateProcessA may write into the line
  if (!CreateProcessA(program.Get(), writable.GetBuffer(writable.Length()), nullptr, nullptr, FALSE, 0, nullptr,
                      directory.IsEmpty() ? nullptr : directory.Get(), &startup, &started))
    return false;
  UniqueKernelObject thread(started.hThread), process(started.hProcess);  // not waited for
  return true;
}

Text ParentOfTempStorage(const Text& tempStorageDir) {
  int last = tempStorageDir.FindLastBackslash();
  if (last <= 0) return Text();
  Text cut = tempStorageDir.Left(last);
  int previous = cut.FindLastBackslash();
  return previous < 0 ? Text() : cut.Left(previous + 1);
}

Text ScriptFolder(const InstallDirs& dirs) {
  if (!dirs.rootDir.IsEmpty()) return dirs.rootDir;
  if (!dirs.tempStorageDir.IsEmpty()) return ParentOfTempStorage(dirs.tempStorageDir);
  return Text();
}

Text FindInstallFile(const char* mask, const Text* directory, const InstallDirs& dirs) {
  Text base = directory ? *directory : ScriptFolder(dirs);
  if (base.IsEmpty()) return Text();

  Text result;  // the last match wins, directories included
  ForEachDirectoryEntry(base + mask, [&](const WIN32_FIND_DATAA& entry) { result = base + entry.cFileName; });
  return result;
}

Text BuildUninstallCommand(const Text& uninstallerPath, const Text& scriptPath) {
  if (uninstallerPath.Length() + scriptPath.Length() + 5 >= kCommandSize) return Text();
  char command[kCommandSize];
  wsprintfA(command, kCommandFormat, uninstallerPath.Get(), scriptPath.Get());
  return Text(command);
}

void StartExternalUninstaller(const InstallDirs& dirs) {
  Text scriptPath = FindInstallFile(kUninstallScriptMask, nullptr, dirs);
  // The uninstaller runs elevated on it: a script reached through a link an
  // ordinary user could change (its folder's or its own) is none of the
  // product's. Said as such: running it by hand is no advice to give.
  if (!scriptPath.IsEmpty() && !IsReachedWithoutLinks(scriptPath)) {
    char message[1025];  // wsprintfA writes 1024 bytes at most
    wsprintfA(message, kScriptRefusedFormat, scriptPath.Get());
    MessageBoxA(nullptr, message, kSequenceCaption, MB_OK | MB_ICONINFORMATION);
    return;
  }

  const Text windows = ReadSystemFolder(GetWindowsDirectoryA, kWindowsDirSize);
  const Text windowsDir = windows.IsEmpty() ? windows : windows + "\\";
  Text uninstallerPath = FindInstallFile("uninst.exe", &windowsDir, dirs);

  Text command;
  if (!scriptPath.IsEmpty() && !uninstallerPath.IsEmpty()) command = BuildUninstallCommand(uninstallerPath, scriptPath);
  if (command.IsEmpty()) {
    MessageBoxA(nullptr, kNoUninstallInfoMessage, kSequenceCaption, MB_OK | MB_ICONINFORMATION);
    MessageBoxA(nullptr, kTryByHandMessage, kSequenceCaption, MB_OK | MB_ICONINFORMATION);
    return;
  }
  StartUninstallerProgram(uninstallerPath, command, windows);  // its outcome is the uninstaller's own
}
