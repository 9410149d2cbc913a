#include "TempStorage.h"

#include <stddef.h>
#include <winternl.h>

#include "../../common/SystemFunction.h"
#include "../framework/DirectorySearch.h"
#include "../framework/OwnedList.h"
#include "../removal/ClassRegistrations.h"
#include "ExternalUninstaller.h"

bool IsStoredFileToDelete(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_ARCHIVE) != 0; }

bool DeleteStoredFile(Text path) {
  if (path.IsEmpty()) return true;
  return DeleteFileA(path.Get()) != FALSE;
}

namespace {
// Names of entries the cleanup leaves, all in the one folder it cleans.
class KeptNames {
 public:
  void Add(const char* name) { names_.Add(new Text(name)); }
  bool IsEmpty() const { return names_.Count() == 0; }
  bool Holds(const char* name) const {
    Text candidate(name);
    for (int i = 0; i < names_.Count(); ++i) {
      if (names_[i]->EqualsNoCase(candidate)) return true;
    }
    return false;
  }

 private:
  OwnedList<Text> names_;
};

// A file the cleanup would delete from the control-storage folder.
struct StoredFile {
  Text name;
  Text shortName;  // empty when the file system keeps none
  bool identityRead = false;
  bool readable = false;
  FolderIdentity identity;
  bool kept = false;
};

// The last part of path, after its last backslash, slash or drive colon.
// Neither "/" nor ":" is ever the trail byte of a double-byte character.
Text LastPart(const Text& path) {
  int cut = path.FindLastBackslash();
  for (int i = cut + 1; i < path.Length(); ++i) {
    if (path[i] == '/' || path[i] == ':') cut = i;
  }
  return path.Mid(cut + 1);
}

bool PathOpensFile(const Text& path, StoredFile& file, const Text& dir) {
  if (!file.identityRead) {
    file.readable = ReadFolderIdentity(dir + file.name, &file.identity);
    file.identityRead = true;
  }
  if (!file.readable) return false;
  char expanded[520];
  DWORD length = ExpandEnvironmentStringsA(path.Get(), expanded, sizeof expanded);
  FolderIdentity named;
  return length > 0 && length <= sizeof expanded && ReadFolderIdentity(expanded, &named) && named == file.identity;
}

void KeepRegisteredServers(const Text& dir, KeptNames& kept) {
  OwnedList<StoredFile> files;
  ForEachDirectoryEntry(dir + "*.*", [&files](const WIN32_FIND_DATAA& entry) {
    if (!IsStoredFileToDelete(entry.dwFileAttributes)) return;
    StoredFile* file = new StoredFile;
    file->name = entry.cFileName;
    file->shortName = entry.cAlternateFileName;
    files.Add(file);
  });
  if (files.Count() == 0) return;

  auto visit = [&](const char* serverPath) {
    Text path(serverPath);
    if (path.Length() >= 2 && path[0] == '"' && path[path.Length() - 1] == '"') path = path.Mid(1).Left(path.Length() - 2);
    Text name = LastPart(path);
    if (name.IsEmpty()) return;
    for (int i = 0; i < files.Count(); ++i) {
      StoredFile& file = *files[i];
      if (file.kept || !(name.EqualsNoCase(file.name) || name.EqualsNoCase(file.shortName))) continue;
      if (name.Length() == path.Length() || PathOpensFile(path, file, dir)) {
        file.kept = true;
        kept.Add(file.name.Get());
      }
    }
  };
  ForEachClassServer(visit);
}

bool IsSameFolder(const Text& folder, const FolderIdentity& identity) {
  FolderIdentity other;
  return !folder.IsEmpty() && ReadFolderIdentity(folder, &other) && other == identity;
}
}  // namespace

bool CleanTempStorage(const InstallDirs& dirs) {
  if (dirs.tempStorageDir.IsEmpty()) return true;
  FolderGuard guard;
  guard.ProtectSystemFolders();
  guard.ProtectShellFolders();
  return CleanTempStorage(dirs, guard);
}

namespace {
// The calls that list and delete through one open folder, looked up at run
// time: Windows XP lacks the first two, NtCreateFile is the platform's only
// open relative to a folder handle, and NtQueryObject gives an open file's
// name with its volume. Their types are spelled here, as the headers show
// them only to programs built for Vista and later.
const int kFileDispositionInfo = 4;         // FILE_INFO_BY_HANDLE_CLASS
const int kFileIdBothDirectoryInfo = 10;
const int kFileIdBothDirectoryRestartInfo = 11;
const ULONG kObjectNameInformation = 1;     // OBJECT_INFORMATION_CLASS
const ULONG kFileOpen = 1;                  // NtCreateFile disposition
const ULONG kFileSynchronousIoNonalert = 0x20;
const ULONG kFileNonDirectoryFile = 0x40;
const ULONG kFileOpenForBackupIntent = 0x4000;
const ULONG kFileOpenReparsePoint = 0x200000;
const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct IdBothDirEntry {  // FILE_ID_BOTH_DIR_INFO
  DWORD NextEntryOffset;
  DWORD FileIndex;
  LARGE_INTEGER CreationTime, LastAccessTime, LastWriteTime, ChangeTime, EndOfFile, AllocationSize;
  DWORD FileAttributes;
  DWORD FileNameLength;  // bytes
  DWORD EaSize;
  CCHAR ShortNameLength;
  WCHAR ShortName[12];
  LARGE_INTEGER FileId;
  WCHAR FileName[1];
};

using QueryByHandle = BOOL(WINAPI*)(HANDLE, int, void*, DWORD);
using SetByHandle = BOOL(WINAPI*)(HANDLE, int, void*, DWORD);
using OpenRelative = NTSTATUS(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*, LARGE_INTEGER*, ULONG,
                                      ULONG, ULONG, ULONG, void*, ULONG);
using QueryObject = NTSTATUS(NTAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);

struct HandleCalls {
  QueryByHandle query;
  SetByHandle set;
  OpenRelative open;
  QueryObject queryObject;
};

HandleCalls FindHandleCalls() {
  HandleCalls calls;
  calls.query = FindSystemFunction<QueryByHandle>("kernel32.dll", "GetFileInformationByHandleEx");
  calls.set = FindSystemFunction<SetByHandle>("kernel32.dll", "SetFileInformationByHandle");
  calls.open = FindSystemFunction<OpenRelative>("ntdll.dll", "NtCreateFile");
  calls.queryObject = FindSystemFunction<QueryObject>("ntdll.dll", "NtQueryObject");
  return calls;
}

bool LookUpHandleCalls(HandleCalls* calls) {
  static const HandleCalls found = FindHandleCalls();  // once a process: asked per file
  *calls = found;
  return found.query && found.set && found.open && found.queryObject;
}

// The name the system keeps for the open file, volume included
// (OBJECT_NAME_INFORMATION: "\\Device\\HarddiskVolume1\\dir\\file", Wine's
// "\\??\\C:\\dir\\file"), into name; its length, or -1.
int ReadObjectName(const HandleCalls& calls, HANDLE file, wchar_t* name, int capacity) {
  struct {
    UNICODE_STRING name;
    wchar_t text[MAX_PATH * 2 + 64];
  } info;
  ULONG returned = 0;
  if (calls.queryObject(file, kObjectNameInformation, &info, sizeof info, &returned) < 0 || !info.name.Buffer ||
      info.name.Length % sizeof(wchar_t) != 0)
    return -1;
  int length = info.name.Length / sizeof(wchar_t);
  if (length > capacity) return -1;
  memcpy(name, info.name.Buffer, length * sizeof(wchar_t));
  return length;
}

bool IsDotOrDotDot(const wchar_t* name, int length) {
  return (length == 1 && name[0] == L'.') || (length == 2 && name[0] == L'.' && name[1] == L'.');
}

// A name a relative open would read as more than one entry of this folder
// (a path, a stream); no file system lists one, so it is only ever refused.
bool IsPlainName(const wchar_t* name, int length) {
  if (length <= 0 || IsDotOrDotDot(name, length)) return false;
  for (int i = 0; i < length; ++i) {
    if (name[i] == L'\\' || name[i] == L'/' || name[i] == L':' || name[i] == L'\0') return false;
  }
  return true;
}

// Deletes the entry name of folder if it opens as no folder and, by the name
// the system keeps for it, lies directly inside (see HoldsDirectly). A link
// put there after the listing opens as itself (FILE_OPEN_REPARSE_POINT), so
// at worst the link goes, never what it leads to; Wine, which follows it
// anyway, names the target and fails the test. The file system itself
// refuses a read-only file. Per file: one open, one name query, the mark and
// the close, which is what keeps this near a plain DeleteFileA (a query of
// the file's attributes or ID would cost Wine one more hand-over of the
// file's Unix descriptor each).
bool DeleteEntry(const HandleCalls& calls, const CheckedStorageFolder& folder, const wchar_t* name, int length) {
  if (length > MAX_PATH) return false;  // longer than any file system's name
  UNICODE_STRING relative;
  relative.Length = relative.MaximumLength = static_cast<USHORT>(length * sizeof(wchar_t));
  relative.Buffer = const_cast<wchar_t*>(name);
  OBJECT_ATTRIBUTES attributes = {sizeof attributes, folder.Get(), &relative, 0, nullptr, nullptr};
  IO_STATUS_BLOCK io;
  UniqueFile file;
  if (calls.open(file.Put(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes, &io, nullptr, 0, kShareAll,
                 kFileOpen,
                 kFileNonDirectoryFile | kFileOpenReparsePoint | kFileOpenForBackupIntent | kFileSynchronousIoNonalert,
                 nullptr, 0) < 0) {
    file.Release();  // nothing was opened
    return false;
  }
  if (!folder.HoldsDirectly(file.Get(), name, length)) return false;
  struct {
    BOOLEAN deleteFile;
  } disposition = {TRUE};  // FILE_DISPOSITION_INFO
  return calls.set(file.Get(), kFileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

// Lists folder through its handle and calls visit(entry, name, length) for
// each entry. False if the listing can't start.
template <typename Visit>
bool ForEachEntryOf(const HandleCalls& calls, HANDLE folder, Visit visit) {
  // Heap, not stack: one listing buffer, sized for a few hundred names a call.
  const DWORD kBufferSize = 64 * 1024;
  BYTE* buffer = new BYTE[kBufferSize];
  const DWORD kHeader = offsetof(IdBothDirEntry, FileName);
  bool started = false;
  for (int kind = kFileIdBothDirectoryRestartInfo; calls.query(folder, kind, buffer, kBufferSize);
       kind = kFileIdBothDirectoryInfo) {
    started = true;
    for (DWORD offset = 0; offset <= kBufferSize - kHeader;) {
      const IdBothDirEntry* entry = reinterpret_cast<const IdBothDirEntry*>(buffer + offset);
      if (entry->FileNameLength <= kBufferSize - kHeader - offset)
        visit(*entry, entry->FileName, static_cast<int>(entry->FileNameLength / sizeof(wchar_t)));
      if (entry->NextEntryOffset == 0 || entry->NextEntryOffset > kBufferSize ||
          entry->NextEntryOffset % sizeof(LONGLONG) != 0)
        break;
      offset += entry->NextEntryOffset;
    }
  }
  if (!started) started = GetLastError() == ERROR_NO_MORE_FILES;  // an empty listing
  delete[] buffer;
  return started;
}
}  // namespace

bool CheckedStorageFolder::Open(const Text& dir, const FolderGuard& guard) {
  folder_.Reset();
  HandleCalls calls;
  if (dir.IsEmpty() || !LookUpHandleCalls(&calls)) return false;
  wchar_t wide[MAX_PATH * 2];
  if (!MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, dir.Get(), dir.Length() + 1, wide, MAX_PATH * 2))
    return false;
  UniqueFile folder(CreateFileW(wide, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!folder.IsValid() || !GetFileInformationByHandle(folder.Get(), &info) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  // The open folder first, then its path: a link swapped in before the open
  // and out again would leave dir naming another folder than the one held.
  FolderIdentity identity, named;
  if (!guard.Allows(folder.Get(), dir, &identity) || !IsReachedWithoutLinks(dir) ||
      !ReadFolderIdentity(dir, &named) || named != identity)
    return false;
  int length = ReadObjectName(calls, folder.Get(), name_, kNameCapacity);
  while (length > 0 && name_[length - 1] == L'\\') --length;
  if (length <= 0) return false;
  nameLength_ = length;
  folder_ = static_cast<UniqueFile&&>(folder);
  identity_ = identity;
  return true;
}

bool CheckedStorageFolder::HoldsDirectly(HANDLE file, const wchar_t* name, int length) const {
  HandleCalls calls;
  wchar_t full[kNameCapacity];
  if (!IsOpen() || !LookUpHandleCalls(&calls)) return false;
  int fullLength = ReadObjectName(calls, file, full, kNameCapacity);
  // Exact: both names come from the system, the entry's built from the
  // folder's and the listed name it was opened by.
  return fullLength == nameLength_ + 1 + length && full[nameLength_] == L'\\' &&
         memcmp(full, name_, nameLength_ * sizeof(wchar_t)) == 0 &&
         memcmp(full + nameLength_ + 1, name, length * sizeof(wchar_t)) == 0;
}

bool CleanTempStorage(const InstallDirs& dirs, const FolderGuard& guard) {
  if (dirs.tempStorageDir.IsEmpty()) return true;
  CheckedStorageFolder folder;
  return folder.Open(dirs.tempStorageDir, guard) && CleanTempStorage(dirs, folder);
}

bool CleanTempStorage(const InstallDirs& dirs, const CheckedStorageFolder& folder) {
  HandleCalls calls;
  if (!folder.IsOpen() || !LookUpHandleCalls(&calls)) return false;
  const Text& dir = dirs.tempStorageDir;
  KeptNames kept;
  Text scriptFolder = ScriptFolder(dirs);
  if (IsSameFolder(scriptFolder, folder.Identity())) {
    ForEachDirectoryEntry(scriptFolder + kUninstallScriptMask,
                          [&kept](const WIN32_FIND_DATAA& entry) { kept.Add(entry.cFileName); });
  }
  if (IsSameFolder(dirs.ocxStorageDir, folder.Identity())) KeepRegisteredServers(dir, kept);

  HANDLE opened = folder.Get();
  return ForEachEntryOf(calls, opened, [&](const IdBothDirEntry& entry, const wchar_t* name, int length) {
    if (!IsStoredFileToDelete(entry.FileAttributes) ||
        (entry.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) || !IsPlainName(name, length))
      return;
    char spelled[MAX_PATH];  // the usual case, nothing kept, costs nothing per file
    if (!kept.IsEmpty() && SpellExactlyInAnsi(name, length, spelled, sizeof spelled) && kept.Holds(spelled)) return;
    DeleteEntry(calls, folder, name, length);
  });
}

bool CleanTempStorage(Text dir) {
  InstallDirs dirs;
  dirs.tempStorageDir = dir;
  return CleanTempStorage(dirs);
}

bool CleanTempStorage(Text dir, const FolderGuard& guard) {
  InstallDirs dirs;
  dirs.tempStorageDir = dir;
  return CleanTempStorage(dirs, guard);
}
