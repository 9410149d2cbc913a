#!/bin/bash
# Checks that the tests notice real faults: applies each fault below to the
# product code on its own, builds, runs the whole suite and reports whether
# some test failed ("caught") or all passed ("MISSED").
#   tools/fault-check.sh            every fault
#   tools/fault-check.sh 3 7        only faults 3 and 7 (numbers as printed)
# The tree is left as it was, uncommitted changes included, also when the
# run is interrupted or fails; only the restored files' times change (so
# that the next build picks them up again).
set -uo pipefail
cd "$(dirname "$0")/.."

# One fault a line: file | sed expression | what it breaks.
faults=(
  'uninstaller/framework/WinMain.cpp|s/^  KeepCurrentDirectoryOutOfDllSearch();$//|unravel: the current directory stays in the DLL search'
  'dxsetup/dxprep.cpp|s/^  KeepCurrentDirectoryOutOfDllSearch();$//|dxprep: the current directory stays in the DLL search'
  'uninstaller/sequence/UninstallApp.h|s/Application(IDS_APP_TITLE)/Application(IDS_APP_TITLE + 1)/|application title: wrong string ID'
  'uninstaller/framework/Application.cpp|s/(type \& MB_ICONMASK) == 0/(type \& MB_ICONMASK) != 0/|message box: exclamation-icon rule inverted'
  'uninstaller/framework/ModalDialog.cpp|s/^    case WM_CTLCOLORBTN:$//|dialogs: the buttons'"'"' grey dropped'
  'uninstaller/framework/Handles.h|s/{ RegCloseKey(h); }/{ (void)h; }/|registry keys never closed'
  'uninstaller/framework/Handles.h|s/{ FindClose(h); }/{ (void)h; }/|find handles never closed'
  'uninstaller/removal/ControlRecord.cpp|s/^  delete\[\] description;$//|a listed control'"'"'s name never freed'
  'uninstaller/framework/OwnedList.h|s/(count_ - i - 1)/(count_ - i)/|owned list: removal moves one slot too many'
  'uninstaller/framework/Handles.h|s/{ DeleteObject(h); }/{ (void)h; }/|GDI objects never deleted'
  'uninstaller/storage/ClassServers.h|s/kServerPathSize = 520/kServerPathSize = 260/|class texts: server-path buffer halved'
  'uninstaller/sequence/UninstallApp.cpp|s/if (intro.DoModal() != IDOK)/if (intro.DoModal() == IDOK)/|intro: "Uninstall" and "Skip" swapped'
  'dxsetup/dxprep.cpp|s/kSetupFlags = 63/kSetupFlags = 62/|dxprep: wrong flags for the setup library'
  'uninstaller/storage/FolderGuard.cpp|s/GetDriveTypeA(root) != DRIVE_REMOTE/GetDriveTypeA(root) == DRIVE_REMOTE/|folder guard: drive roots left unprotected'
  'uninstaller/removal/FaultGuard.cpp|s/^  GuardRecord\* guard = static_cast/  if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION) return ExceptionContinueSearch;\n&/|fault guard: access violations pass on'
  'uninstaller/removal/ControlRemovalDialog.cpp|s/if (!passRunning.IsSet()) //|control list: a click during a pass starts another'
  'dxsetup/dxprep.cpp|s/if (g_installing.IsSet())/if (false)/|dxprep: a click while the setup runs starts another'
  'uninstaller/sequence/TempStorage.cpp|s/^  guard.ProtectShellFolders();$//|folder guard: the shell'"'"'s folders left unprotected'
  'uninstaller/sequence/TempStorage.cpp|s/if (IsSameFolder(scriptFolder, folder.Identity()))/if (false)/|cleanup: the uninstall script not kept in its folder'
  'uninstaller/sequence/TempStorage.cpp|s/if (IsSameFolder(dirs.ocxStorageDir, folder.Identity())) KeepRegisteredServers/if (false) KeepRegisteredServers/|cleanup: registered servers not kept in the control folder'
  'uninstaller/removal/FaultGuard.cpp|s/if (record->ExceptionFlags \& EXCEPTION_UNWIND) return/if (record->ExceptionFlags \& (EXCEPTION_UNWIND + EXCEPTION_NONCONTINUABLE)) return/|fault guard: a C++ throw passes on'
  'uninstaller/removal/FaultGuard.cpp|s/^  FaultGuardUnwindAndLeave(guard, record);$/  FaultGuardLeave(guard);/|fault guard: foreign frames abandoned, not unwound'
  'uninstaller/removal/FaultGuard.cpp|s/^  if (outcome.stackOverflowed) RearmStackGuard();$//|fault guard: no guard page after a stack overflow'
  'uninstaller/removal/ForeignCallScope.cpp|s/i < kMaxQuitMessages \&\&/i < 0 \&\&/|foreign call: quit messages left in the queue'
  'uninstaller/removal/ForeignCallScope.cpp|s/if (lstrcmpA(now, dllDir_) != 0) SetDllDirectoryA(dllDir_);//|foreign call: the DLL search directory not put back'
  'uninstaller/removal/ControlFile.cpp|s/kOwnFolderAndSystem = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR \x7c /kOwnFolderAndSystem = /|controls: their own folder not searched for what they import'
  'uninstaller/resource.h|s/#define IDD_INTRO 104 /#define IDD_INTRO 199 /|intro: template 104 renumbered 199 (code and template alike)'
  'uninstaller/storage/LinkRule.cpp|s/^  PathName\& actual = finalName ? \*finalName : own;$/&\n  return finalName ? finalName->ReadFinal(opened) : true;/|link rule: every folder passes, links and all'
  'uninstaller/removal/ClassRegistrations.cpp|s/^    if (error != ERROR_FILE_NOT_FOUND \&\& error != ERROR_PATH_NOT_FOUND) return ControlWalk::kFolderRefused;$//|control list: a control folder a link leads to still listed'
  'uninstaller/storage/HeldFolder.cpp|s/^  PathName opened;$/  *entry = static_cast<UniqueFile\&\&>(file);\n  return true;\n&/|cleanup: an entry the file system names outside the folder (a link) deleted'
  'uninstaller/framework/DirectorySearch.h|s/^  return exact;$/  return bytes > 0;/;s/^  out\[exact ? bytes : 0\] = .\\0.;$/  out[bytes > 0 ? bytes : 0] = 0;/|names: look-alike ANSI spellings accepted'
  'uninstaller/sequence/TempStorage.cpp|s/^    folder.DeleteEntry(entry.name, entry.length);$/    if (SpellExactlyInAnsi(entry.name, entry.length, spelled, sizeof spelled)) DeleteFileA((dirs.tempStorageDir + spelled).Get());/|cleanup: entries deleted by a path text rebuilt after the check'
  'uninstaller/removal/ClassRegistrations.cpp|s/ \&\& IsPlainFileName(path + last + 1)//|control list: a path leading out of the control folder listed'
  'uninstaller/removal/FaultGuard.cpp|s/^    handler_ = AddVectoredExceptionHandler(1, MendChainOfGuardedCall);$//|fault guard: a chain the control broke left broken'
  'uninstaller/removal/ForeignCallScope.cpp|s/if (ReadX87Control() != x87Control_)/if (false)/;s/if (hasSse_ \&\& ReadMxcsr() != mxcsr_)/if (false)/|foreign call: the floating-point control state not put back'
  'dxsetup/SourcePath.cpp|s/^    else if (IsDBCSLeadByte.*$//|dxprep: the backslash search stops at a trail byte'
  'cmake/LeanProgram.cmake|s/ -Wl,--tsaware//|programs: not Terminal-Server aware'
  'uninstaller/removal/ControlRecord.cpp|s/if (serverPath \&\& file.IsPinned())/if (serverPath)/|control removal: a control loaded wherever its path leads by now'
  'uninstaller/removal/ControlFile.cpp|s/^  if (!ReadOpenedFolderIdentity(pinned_.Get(), \&identity_) \x7c\x7c !byPath.IsValid() \x7c\x7c$/  if (!ReadOpenedFolderIdentity(pinned_.Get(), \&identity_) \x7c\x7c (false \&\& (!byPath.IsValid() \x7c\x7c/;s/^      named != identity_)$/      named != identity_)))/|held folder: an entry used through a path that leads elsewhere'
  'uninstaller/removal/ControlFile.cpp|s/^  return listedLength_ > 0 \&\& folder.DeleteEntry(listed_, listedLength_);$/  return DeleteFileW(path_) != FALSE;/|control removal: a control deleted by its path read again'
  'uninstaller/sequence/ExternalUninstaller.cpp|s/^  if (!scriptPath.IsEmpty() \&\& !IsReachedWithoutLinks(scriptPath)) {$/  if (false) {/|hand-over: a script reached through a link handed over'
  'uninstaller/storage/LinkRule.cpp|s/!actual.ReadFinal(opened)/!actual.ReadFinal(UniqueFile(CreateFileW(path, FILE_READ_ATTRIBUTES, 7, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)).Get())/|link rule: decided on the path opened again, not on the open handle'
  'common/DllSearch.h|s/^  if (set) set(kSearchSystem32);$/  (void)set;/|unravel: its own folder stays in the search for libraries loaded by name'
  'uninstaller/storage/HeldFolder.cpp|s/FILE_SHARE_READ \x7c FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,/7 \/* every sharing *\/, nullptr, OPEN_EXISTING,/|held folder: others may rename it while it is held'
  'uninstaller/storage/HeldFolder.cpp|s/^       GetFileInformationByHandleEx(folder_.Get(), kind, buffer, kBufferSize); kind = FileIdBothDirectoryInfo) {$/       !started \&\& GetFileInformationByHandleEx(folder_.Get(), kind, buffer, kBufferSize); kind = FileIdBothDirectoryInfo) {/|cleanup: a folder listed one batch only'
  'uninstaller/sequence/TempStorage.cpp|s/PathOpensFile(path, file, folder)) {$/true) {/|cleanup: a file named like a registered server kept wherever that server is'
  'uninstaller/storage/ClassServers.cpp|s/return memchr(buffer, 0, size) != nullptr;/return true;/|class texts: a full buffer without a zero byte taken'
  'uninstaller/storage/LinkRule.cpp|s/IsAdministration(const_cast<DWORD\*>(\&entry->SidStart)))$/true)/|link rule: links ordinary users may change followed'
  'uninstaller/storage/LinkRule.cpp|s/(reparseTag == 0 \x7c\x7c (reparseTag \& kNameSurrogate))/true/|link rule: every reparse point a link, compressed and synced files too'
  'uninstaller/removal/ControlFile.cpp|s/FILE_READ_DATA, FILE_SHARE_READ, \&pinned_/0, FILE_SHARE_READ, \&pinned_/|control removal: a pin without data access, which binds nobody'
  'uninstaller/storage/FolderGuard.cpp|s/if (failed_ \x7c\x7c !ReadOpenedFolderIdentity(folder, \&identity))/if (!ReadOpenedFolderIdentity(folder, \&identity))/|folder guard: a folder it could not record ignored'
  'uninstaller/storage/LinkRule.cpp|s/if (length != 0 \x7c\x7c GetLastError() != ERROR_MORE_DATA) return false;/return false;/|link rule: a final name longer than the final-name call can take (Wine'"'"'s) not read'
  'uninstaller/removal/ControlFile.cpp|s/FindImportedLibrary(path, name, found) != kElsewhere)/true)/|controls: imports never looked for in the Windows directory or on PATH'
  'uninstaller/removal/ControlFile.cpp|s/(entry.shortLength > 0 \&\&/(false \&\&/|control removal: a control registered by its 8.3 short name not found'
  'uninstaller/storage/LinkRule.cpp|s/expected->AppendPart(found.cFileName, lstrlenW(found.cFileName))/expected->AppendPart(part, partLength)/|link rule: a path'"'"'s parts compared as spelled, not by their long names'
  'uninstaller/storage/LinkRule.cpp|s/ \x7c\x7c redirected->AppendPart(rest + 1, lstrlenW(rest + 1)));$/);/|link rule: under WOW64 only the system directory itself redirected, nothing in it'
  'uninstaller/removal/ControlFile.cpp|s/ \x7c LOAD_LIBRARY_SEARCH_SYSTEM32;$/ \x7c LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;/|controls: what they import also looked for beside unravel.exe'
  'uninstaller/sequence/ExternalUninstaller.cpp|s/!IsReachedWithoutLinks(scriptPath)) {$/!IsReachedWithoutLinks(ScriptFolder(dirs))) {/|hand-over: the script'"'"'s folder checked for links, not the script'
  'uninstaller/sequence/ExternalUninstaller.cpp|s/directory.IsEmpty() ? nullptr : directory.Get()/nullptr/|hand-over: the uninstaller started in unravel'"'"'s current directory'
  'uninstaller/sequence/TempStorage.cpp|s/ReadFolderIdentity(expanded, \&named)/ReadFolderIdentity(path, \&named)/|cleanup: a registered server'"'"'s expandable path read unexpanded'
  'uninstaller/sequence/TempStorage.cpp|s/{ kept.Add(entry.cFileName); });$/{ if (kept.IsEmpty()) kept.Add(entry.cFileName); });/|cleanup: only the first script found kept'
  'uninstaller/storage/FolderGuard.cpp|s/^    CSIDL_MYPICTURES, *CSIDL_MYMUSIC, *CSIDL_MYVIDEO,$//|folder guard: the profile'"'"'s Pictures, Music and Videos left unprotected'
  'uninstaller/sequence/TempStorage.cpp|s/ \x7c\x7c name.EqualsNoCase(file.shortName)//|cleanup: a server registered by its 8.3 short name not kept'
  'uninstaller/sequence/TempStorage.cpp|s/if (name.Length() == path.Length() \x7c\x7c PathOpensFile(/if (PathOpensFile(/|cleanup: a server registered by its bare name not kept'
  'uninstaller/sequence/TempStorage.cpp|s/char expanded\[520\];/char expanded[519];/|cleanup: a registered server'"'"'s path expanded into a buffer one too small'
  'uninstaller/removal/ControlRemovalDialog.cpp|s/^  bool ask = true;$/  static bool ask = true;/|control list: "Yes to All" remembered past its pass'
  'uninstaller/storage/FolderGuard.cpp|s/SHGFP_TYPE_CURRENT/SHGFP_TYPE_DEFAULT/|folder guard: the shell'"'"'s folders read at their default places, not where they are'
  'uninstaller/removal/ControlFile.cpp|s/Holds(folder, length + 7, name, found) \x7c\x7c Holds(folder, length, name, found) \x7c\x7c FindOnPath(name, found)/FindOnPath(name, found) \x7c\x7c Holds(folder, length + 7, name, found) \x7c\x7c Holds(folder, length, name, found)/|controls: a library on PATH taken ahead of the Windows directory'
  'uninstaller/removal/ControlFile.cpp|s/if (full \&\& length < MAX_PATH \&\& !excluded.Excludes(entry))/if (full \&\& length < MAX_PATH)/|controls: imports taken from unravel'"'"'s own folder or the current directory where PATH names them'
  'uninstaller/storage/LinkRule.cpp|s/ \&\& !AllowsOthers(parent, FILE_DELETE_CHILD \x7c GENERIC_ALL);$/;/|link rule: a link others may delete through its folder followed'
  'uninstaller/storage/LinkRule.cpp|s/if ((header->AceFlags \& INHERIT_ONLY_ACE) \x7c\x7c !(entry->Mask \& rights)/if (!(entry->Mask \& rights)/|link rule: inherit-only entries counted, so the Program Files layout refused'
  'uninstaller/storage/LinkRule.cpp|s/ \x7c\x7c !present \x7c\x7c !list) return true;$/) return true;\n  if (!present \x7c\x7c !list) return false;/|link rule: a missing access list taken for one that allows nobody'
  'uninstaller/storage/LinkRule.cpp|s/^      case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:$/&\n        return false;/|link rule: a deny entry makes the link trusted'
  'uninstaller/storage/LinkRule.cpp|s/const int prefix = unc ? 7 : 4, skipped = unc ? 1 : 0;/const int prefix = 0, skipped = 0;/|link rule: the parts of a path read in the plain form, which drops a trailing space'
  'uninstaller/storage/FolderGuard.cpp|s/ \&\& ReadFolderIdentity(Text(root), \&identity)) Record(true, identity);$/ \&\& !Record(ReadFolderIdentity(Text(root), \&identity), identity)) failed_ = true;/|folder guard: a drive root that can'"'"'t be opened stops the cleanup'
  'uninstaller/removal/ControlRemovalDialog.cpp|s/if (walk == ControlWalk::kFolderRefused) {/if (false) {/|control list: a refused control folder reported as no controls'
  'uninstaller/sequence/ExternalUninstaller.cpp|s/^  if (!scriptPath.IsEmpty() \&\& !IsReachedWithoutLinks(scriptPath)) {$/  if (!scriptPath.IsEmpty() \&\& !IsReachedWithoutLinks(scriptPath)) scriptPath = Text();\n  if (false) {/|hand-over: a refused script reported as absent'
)

backup_dir="$(mktemp -d)"
applied_file=""
log="build/fault-check.log"
mkdir -p build

restore() {
  if [ -n "$applied_file" ]; then
    # Same content, new time: the build sees the file change back.
    cat "$backup_dir/original" >"$applied_file"
    applied_file=""
  fi
}
finish() {
  restore
  rm -rf "$backup_dir"
}
interrupted() {
  echo
  echo "fault-check: interrupted; the tree is restored"
  finish
  # The suite's cleanup did not run: stop this tree's Wine prefix.
  local script
  for script in build/release/wine-prefix*.sh; do
    [ -x "$script" ] && "$script" cleanup >/dev/null 2>&1
  done
  exit 130
}
trap finish EXIT
trap interrupted INT TERM

selected=("$@")
wanted() {
  [ "${#selected[@]}" -eq 0 ] && return 0
  local n
  for n in "${selected[@]}"; do [ "$n" = "$1" ] && return 0; done
  return 1
}

# A clean build and suite first: a fault only counts as caught against a
# suite that passes without it.
echo "fault-check: the suite without faults (log: $log)"
if ! bash tools/test.sh >"$log" 2>&1; then
  echo "fault-check: the suite fails without any fault; see $log" >&2
  exit 1
fi

caught=0
total=0
for i in "${!faults[@]}"; do
  number=$((i + 1))
  wanted "$number" || continue
  IFS='|' read -r file expression description <<<"${faults[$i]}"
  total=$((total + 1))
  cp "$file" "$backup_dir/original"
  applied_file="$file"
  sed -i "$expression" "$file"
  if cmp -s "$file" "$backup_dir/original"; then
    restore
    printf '%2d  NOT APPLIED  %s (%s no longer matches)\n' "$number" "$description" "$file"
    continue
  fi
  start=$(date +%s)
  if ! cmake --build --preset release >"$log" 2>&1; then
    restore
    printf '%2d  NO BUILD     %s\n' "$number" "$description"
    continue
  fi
  if bash tools/test.sh >"$log" 2>&1; then
    result="MISSED"
    failed=""
  else
    result="caught"
    caught=$((caught + 1))
    failed="$(sed -n 's/^[[:space:]]*[0-9][0-9]* - \([^ ]*\) .*/\1/p' "$log" | sort -u | tr '\n' ' ')"
  fi
  restore
  printf '%2d  %-11s  %s  (%ss%s)\n' "$number" "$result" "$description" "$(($(date +%s) - start))" \
    "${failed:+; failed: ${failed% }}"
done

# Leave the build matching the restored tree.
cmake --build --preset release >"$log" 2>&1 || echo "fault-check: rebuilding the restored tree failed; see $log"
echo "$caught of $total faults caught"
