#include "HeldFolder.h"

#include <stddef.h>
#include <winternl.h>

namespace {
const ULONG kFileOpen = 1;  // NtCreateFile disposition and options
const ULONG kFileSynchronousIoNonalert = 0x20;
const ULONG kFileNonDirectoryFile = 0x40;
const ULONG kFileOpenForBackupIntent = 0x4000;
const ULONG kFileOpenReparsePoint = 0x200000;
const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A name a relative open would read as more than one entry of this folder
// (a path, a stream); no file system lists one, so it is only ever refused.
bool IsPlainName(const wchar_t* name, int length) {
  if (length <= 0 || length > MAX_PATH || (name[0] == L'.' && (length == 1 || (length == 2 && name[1] == L'.'))))
    return false;
  for (int i = 0; i < length; ++i) {
    if (name[i] == L'\\' || name[i] == L'/' || name[i] == L':' || name[i] == L'\0') return false;
  }
  return true;
}
}  // namespace

bool HeldFolder::ForEachEntry(void (*visit)(void* context, const Entry& entry), void* context) const {
  if (!IsOpen()) return false;
  // Heap, not stack: one listing buffer, sized for a few hundred names a call.
  const DWORD kBufferSize = 64 * 1024;
  BYTE* buffer = new BYTE[kBufferSize];
  const DWORD kHeader = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
  bool started = false;
  for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
       GetFileInformationByHandleEx(folder_.Get(), kind, buffer, kBufferSize); kind = FileIdBothDirectoryInfo) {
    started = true;
    for (DWORD offset = 0; offset <= kBufferSize - kHeader;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + offset);
      if (entry->FileNameLength <= kBufferSize - kHeader - offset) {
        int shortLength = entry->ShortNameLength / static_cast<int>(sizeof(wchar_t));
        Entry listed = {entry->FileAttributes,
                        (entry->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? entry->EaSize : 0,  // the tag
                        entry->FileName,
                        static_cast<int>(entry->FileNameLength / sizeof(wchar_t)),
                        entry->ShortName,
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
  wchar_t wide[kWidePathSize];
  if (!ToWidePath(dir.Get(), wide, kWidePathSize)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  // No FILE_SHARE_DELETE: nobody renames or deletes the folder while it is held.
  UniqueFile folder(CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!folder.IsValid()) return false;
  BY_HANDLE_FILE_INFORMATION info;  // attributes and identity in one read
  FILE_ATTRIBUTE_TAG_INFO tag = {0, 0};
  if (!GetFileInformationByHandle(folder.Get(), &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
       !GetFileInformationByHandleEx(folder.Get(), FileAttributeTagInfo, &tag, sizeof tag)) ||
      IsLink(info.dwFileAttributes, tag.ReparseTag) || !IsReachedWithoutLinks(folder.Get(), wide, &name_)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  identity_.volumeSerial = info.dwVolumeSerialNumber;
  identity_.indexHigh = info.nFileIndexHigh;
  identity_.indexLow = info.nFileIndexLow;
  folder_ = static_cast<UniqueFile&&>(folder);
  return true;
}

// A link put there after the listing opens as itself (FILE_OPEN_REPARSE_POINT),
// so at worst the link goes, never what it leads to. Wine: it follows a Unix
// link anyway and names the target, which fails the name test, the one
// reason for the name query per entry. Per file: one open and one name
// query, which keeps the cleanup near a plain DeleteFileA.
bool HeldFolder::OpenEntry(const wchar_t* name, int length, ACCESS_MASK access, DWORD share,
                           UniqueFile* entry) const {
  entry->Reset();
  if (!IsOpen() || !IsPlainName(name, length)) return false;
  UNICODE_STRING relative;
  relative.Length = relative.MaximumLength = static_cast<USHORT>(length * sizeof(wchar_t));
  relative.Buffer = const_cast<wchar_t*>(name);
  OBJECT_ATTRIBUTES attributes = {sizeof attributes, folder_.Get(), &relative, 0, nullptr, nullptr};
  IO_STATUS_BLOCK io;
  UniqueFile file;
  if (NtCreateFile(file.Put(), access | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes, &io, nullptr, 0,
                           share, kFileOpen,
                           kFileNonDirectoryFile | kFileOpenReparsePoint | kFileOpenForBackupIntent |
                               kFileSynchronousIoNonalert,
                           nullptr, 0) < 0) {
    file.Release();  // nothing was opened
    return false;
  }
  // Exact: both names come from the system, the entry's built from the
  // folder's and the listed name it was opened by.
  PathName opened;
  const int cut = name_.Length();
  if (!opened.ReadFinal(file.Get()) || opened.Length() != cut + 1 + length || opened.Chars()[cut] != L'\\' ||
      memcmp(opened.Chars(), name_.Chars(), cut * sizeof(wchar_t)) != 0 ||
      memcmp(opened.Chars() + cut + 1, name, length * sizeof(wchar_t)) != 0)
    return false;
  *entry = static_cast<UniqueFile&&>(file);
  return true;
}

bool HeldFolder::Delete(HANDLE file) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

bool HeldFolder::DeleteEntry(const wchar_t* name, int length) const {
  UniqueFile file;
  return OpenEntry(name, length, DELETE, kShareAll, &file) && Delete(file.Get());
}
