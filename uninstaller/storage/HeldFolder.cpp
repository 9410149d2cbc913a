#include "HeldFolder.h"

#include <stddef.h>
#include <winternl.h>

#include "../../common/SystemFunction.h"
#include "LinkRule.h"

namespace {
// The calls that list, open and delete through one open folder, looked up
// at run time: Windows XP lacks the first two, NtCreateFile is
// the platform's only open relative to a folder handle, and NtQueryObject
// gives an open file's name with its volume. Their types are spelled here, as the headers show
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

// The last part of path, after its last backslash (double-byte aware), in
// UTF-16, exactly: false for a part the code page can't take back exactly
// or that is no plain name.
bool ReadLastPart(const char* path, wchar_t* name, int capacity, int* length) {
  if (!path) return false;
  Text text(path);
  const int cut = text.FindLastBackslash() + 1;
  *length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path + cut, text.Length() - cut, name, capacity);
  return *length > 0 && IsPlainName(name, *length);
}

bool SameFile(HANDLE one, HANDLE other) {
  FolderIdentity first, second;
  return ReadOpenedFolderIdentity(one, &first) && ReadOpenedFolderIdentity(other, &second) && first == second;
}
}  // namespace

bool HeldFolder::ForEachEntry(void (*visit)(void* context, const Entry& entry), void* context) const {
  HandleCalls calls;
  if (!IsOpen() || !LookUpHandleCalls(&calls)) return false;
  HANDLE folder = folder_.Get();
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
      if (entry->FileNameLength <= kBufferSize - kHeader - offset) {
        int shortLength = entry->ShortNameLength / static_cast<int>(sizeof(wchar_t));
        Entry listed = {entry->FileAttributes, entry->FileName,
                        static_cast<int>(entry->FileNameLength / sizeof(wchar_t)), entry->ShortName,
                        shortLength >= 0 && shortLength <= 12 ? shortLength : 0};
        visit(context, listed);
      }
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

bool HeldFolder::Open(const Text& dir) {
  folder_.Reset();
  HandleCalls calls;
  wchar_t wide[kNameCapacity];
  if (dir.IsEmpty() || !LookUpHandleCalls(&calls) ||
      !MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, dir.Get(), dir.Length() + 1, wide, kNameCapacity)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  // No FILE_SHARE_DELETE: nobody renames or deletes the folder while it is held.
  UniqueFile folder(CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!folder.IsValid()) return false;
  if (!GetFileInformationByHandle(folder.Get(), &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !IsReachedWithoutLinks(folder.Get(), wide) ||
      !ReadOpenedFolderIdentity(folder.Get(), &identity_)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  int length = ReadObjectName(calls, folder.Get(), name_, kNameCapacity);
  while (length > 0 && name_[length - 1] == L'\\') --length;
  if (length <= 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  nameLength_ = length;
  folder_ = static_cast<UniqueFile&&>(folder);
  return true;
}

bool HeldFolder::HoldsDirectly(HANDLE file, const wchar_t* name, int length) const {
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

// A link put there after the listing opens as itself (FILE_OPEN_REPARSE_POINT),
// so at worst the link goes, never what it leads to; Wine, which follows it
// anyway, names the target and fails HoldsDirectly. Per file: one open and
// one name query, which keeps the cleanup near a plain DeleteFileA (a query
// of the file's attributes or ID would cost Wine one more hand-over of the
// file's Unix descriptor each).
bool HeldFolder::OpenEntry(const wchar_t* name, int length, ACCESS_MASK access, DWORD share,
                           UniqueFile* entry) const {
  HandleCalls calls;
  entry->Reset();
  if (!IsOpen() || !LookUpHandleCalls(&calls) || !IsPlainName(name, length) || length > MAX_PATH)
    return false;  // longer than any file system's name
  UNICODE_STRING relative;
  relative.Length = relative.MaximumLength = static_cast<USHORT>(length * sizeof(wchar_t));
  relative.Buffer = const_cast<wchar_t*>(name);
  OBJECT_ATTRIBUTES attributes = {sizeof attributes, folder_.Get(), &relative, 0, nullptr, nullptr};
  IO_STATUS_BLOCK io;
  UniqueFile file;
  if (calls.open(file.Put(), access | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes, &io, nullptr, 0, share,
                 kFileOpen,
                 kFileNonDirectoryFile | kFileOpenReparsePoint | kFileOpenForBackupIntent | kFileSynchronousIoNonalert,
                 nullptr, 0) < 0) {
    file.Release();  // nothing was opened
    return false;
  }
  if (!HoldsDirectly(file.Get(), name, length)) return false;
  *entry = static_cast<UniqueFile&&>(file);
  return true;
}

bool HeldFolder::DeleteEntry(const wchar_t* name, int length) const {
  HandleCalls calls;
  UniqueFile file;
  if (!LookUpHandleCalls(&calls) || !OpenEntry(name, length, DELETE, kShareAll, &file)) return false;
  struct {
    BOOLEAN deleteFile;
  } disposition = {TRUE};  // FILE_DISPOSITION_INFO
  return calls.set(file.Get(), kFileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

bool HeldFolder::FindListedName(const char* path, wchar_t* listed, int* listedLength) const {
  wchar_t name[MAX_PATH + 1];
  int length = 0;
  *listedLength = 0;
  if (!ReadLastPart(path, name, MAX_PATH + 1, &length)) return false;
  bool exact = false;
  auto match = [&](const Entry& entry) {
    if (exact || entry.length > MAX_PATH) return;
    bool same = entry.length == length && memcmp(entry.name, name, length * sizeof(wchar_t)) == 0;
    if (same || (*listedLength == 0 && (IsSameNameIgnoringCase(entry.name, entry.length, name, length) ||
                                        (entry.shortLength > 0 &&
                                         IsSameNameIgnoringCase(entry.shortName, entry.shortLength, name, length))))) {
      memcpy(listed, entry.name, entry.length * sizeof(wchar_t));
      *listedLength = entry.length;
      exact = same;
    }
  };
  return ForEachEntry(match) && *listedLength > 0;
}

bool HeldFolder::OpenEntryNamedBy(const char* path, UniqueFile* entry) const {
  wchar_t name[MAX_PATH + 1], widePath[kNameCapacity];
  int length = 0;
  entry->Reset();
  if (!FindListedName(path, name, &length) ||
      !MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, widePath, kNameCapacity))
    return false;
  UniqueFile pinned;
  if (!OpenEntry(name, length, 0, FILE_SHARE_READ, &pinned) || !LeadsTo(widePath, pinned.Get())) return false;
  *entry = static_cast<UniqueFile&&>(pinned);
  return true;
}

bool HeldFolder::DeleteEntryNamedBy(const char* path) const {
  wchar_t name[MAX_PATH + 1];
  int length = 0;
  if (!path || !*path) return true;
  return FindListedName(path, name, &length) && DeleteEntry(name, length);
}

bool HeldFolder::LeadsTo(const wchar_t* path, HANDLE entry) {
  UniqueFile named(CreateFileW(path, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
  return named.IsValid() && IsReachedWithoutLinks(named.Get(), path) && SameFile(named.Get(), entry);
}
