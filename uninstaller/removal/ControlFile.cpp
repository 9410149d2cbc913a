#include "ControlFile.h"

#include "../storage/LinkRule.h"

namespace {
const DWORD kOwnFolderAndSystem = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;

// Whether name (MAX_PATH units at most) lies in dir (dirLength units, with
// its trailing backslash), as a file; its full path into found.
bool Holds(const wchar_t* dir, int dirLength, const wchar_t* name, wchar_t* found) {
  if (dirLength <= 0 || dirLength >= kWidePathSize - MAX_PATH) return false;
  memcpy(found, dir, dirLength * sizeof(wchar_t));
  lstrcpynW(found + dirLength, name, MAX_PATH);
  DWORD attributes = GetFileAttributesW(found);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A folder the system reports, with a trailing backslash; 0 when it fails.
int ReadFolder(UINT(WINAPI* query)(LPWSTR, UINT), wchar_t* folder) {
  UINT length = query(folder, MAX_PATH - 1);
  if (length == 0 || length >= MAX_PATH - 1) return 0;
  folder[length] = L'\\';
  folder[length + 1] = L'\0';
  return static_cast<int>(length + 1);
}

// The program's own folder and the current directory, as PATH might name
// them: never searched.
class ExcludedFolders {
 public:
  ExcludedFolders() {
    wchar_t folder[kWidePathSize];
    DWORD length = GetModuleFileNameW(nullptr, folder, kWidePathSize);
    wchar_t* cut = length > 0 && length < kWidePathSize ? wcsrchr(folder, L'\\') : nullptr;
    if (cut) *cut = L'\0';
    read_[0] = cut && ReadFolderIdentity(folder, &folders_[0]);
    length = GetCurrentDirectoryW(kWidePathSize, folder);
    read_[1] = length > 0 && length < kWidePathSize && ReadFolderIdentity(folder, &folders_[1]);
  }
  bool Excludes(const wchar_t* folder) const {
    FolderIdentity identity;
    if (!ReadFolderIdentity(folder, &identity)) return true;  // nothing there to search
    return (read_[0] && identity == folders_[0]) || (read_[1] && identity == folders_[1]);
  }

 private:
  FolderIdentity folders_[2];
  bool read_[2] = {false, false};
};

// The first of PATH's folders that holds name: full (drive or share), shorter
// than MAX_PATH, neither excluded.
bool FindOnPath(const wchar_t* name, wchar_t* found) {
  DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
  if (size == 0 || size > 32767) return false;
  wchar_t* path = new wchar_t[size];
  bool held = false;
  if (GetEnvironmentVariableW(L"PATH", path, size) == size - 1) {
    ExcludedFolders excluded;
    for (wchar_t* entry = path; entry && !held;) {
      wchar_t* next = wcschr(entry, L';');
      if (next) *next++ = L'\0';
      wchar_t folder[MAX_PATH + 1];
      int length = lstrlenW(entry);
      const bool full = length >= 3 && ((entry[1] == L':' && entry[2] == L'\\') ||
                                        (entry[0] == L'\\' && entry[1] == L'\\'));
      if (full && length < MAX_PATH && !excluded.Excludes(entry)) {
        lstrcpyW(folder, entry);
        if (folder[length - 1] != L'\\') folder[length++] = L'\\';
        held = Holds(folder, length, name, found);
      }
      entry = next;
    }
  }
  delete[] path;
  return held;
}

// The libraries the image at path (in full) imports by name (its import
// table; what those import in turn is not read), each passed to visit.
// Read from the file mapped as an image resource, which runs nothing; every
// offset is checked against the image's size. Nothing for anything that
// can't be read: the load itself then tells.
template <typename Visit>
void ForEachImport(const wchar_t* path, Visit visit) {
  HMODULE mapped = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!mapped) return;
  const BYTE* base = reinterpret_cast<const BYTE*>(reinterpret_cast<UINT_PTR>(mapped) & ~static_cast<UINT_PTR>(3));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const LONG kFirstPage = 4096;  // always mapped, the headers at its start
  const auto* nt = dos->e_magic == IMAGE_DOS_SIGNATURE && dos->e_lfanew > 0 &&
                           dos->e_lfanew <= kFirstPage - static_cast<LONG>(sizeof(IMAGE_NT_HEADERS32))
                       ? reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew)
                       : nullptr;
  const DWORD size = nt ? nt->OptionalHeader.SizeOfImage : 0;
  if (nt && nt->Signature == IMAGE_NT_SIGNATURE && nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC &&
      nt->OptionalHeader.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_IMPORT &&
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress < size) {
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (DWORD at = imports.VirtualAddress; at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= size;
         at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
      const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + at);
      if (entry->Name == 0 || entry->Name >= size) break;
      const char* name = reinterpret_cast<const char*>(base + entry->Name);
      wchar_t wide[MAX_PATH];
      int length = memchr(name, 0, size - entry->Name) ? MultiByteToWideChar(CP_ACP, 0, name, -1, wide, MAX_PATH) : 0;
      if (length > 1) visit(static_cast<const wchar_t*>(wide));
    }
  }
  FreeLibrary(mapped);
}

HMODULE LoadBesideAndFromSystem(const wchar_t* path) {
  HMODULE loaded = LoadLibraryExW(path, nullptr, kOwnFolderAndSystem);
  if (loaded || GetLastError() != ERROR_INVALID_PARAMETER) return loaded;
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);  // no search flags on this platform
}
}  // namespace

ImportedLibraries::~ImportedLibraries() {
  while (count_ > 0) FreeLibrary(loaded_[--count_]);
}

// Wine: read from the import table before the load, not learnt from a load
// that fails, since Wine keeps such a control mapped and its file undeletable.
void ImportedLibraries::LoadFor(const wchar_t* path) {
  ForEachImport(path, [this, path](const wchar_t* name) {
    wchar_t found[kWidePathSize];
    if (count_ == kCapacity || GetModuleHandleW(name) || _wcsnicmp(name, L"api-ms-", 7) == 0 ||
        _wcsnicmp(name, L"ext-ms-", 7) == 0 || FindImportedLibrary(path, name, found) != kElsewhere)
      return;
    HMODULE loaded = LoadBesideAndFromSystem(found);
    if (loaded) loaded_[count_++] = loaded;
  });
}

ImportPlace FindImportedLibrary(const wchar_t* controlPath, const wchar_t* name, wchar_t* found) {
  const wchar_t* cut = wcsrchr(controlPath, L'\\');
  if (!cut || wcspbrk(name, L"\\/:")) return kNowhere;
  if (Holds(controlPath, static_cast<int>(cut + 1 - controlPath), name, found)) return kBeside;
  wchar_t folder[MAX_PATH + 8];
  int length = ReadFolder(GetSystemDirectoryW, folder);
  if (Holds(folder, length, name, found)) return kInSystem;
  length = ReadFolder(GetWindowsDirectoryW, folder);
  if (length == 0) return kNowhere;
  lstrcpyW(folder + length, L"System\\");  // the 16-bit system directory
  if (Holds(folder, length + 7, name, found) || Holds(folder, length, name, found) || FindOnPath(name, found))
    return kElsewhere;
  return kNowhere;
}

namespace {
// The name the listing of folder gives the entry named name: the one spelled
// exactly so, else the first that matches it ignoring case, long or short.
bool FindListedName(const HeldFolder& folder, const wchar_t* name, int length, wchar_t* listed, int* listedLength) {
  bool exact = false;
  *listedLength = 0;
  auto match = [&](const HeldFolder::Entry& entry) {
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
  return folder.ForEachEntry(match) && *listedLength > 0;
}
}  // namespace

bool ControlFile::Pin(const HeldFolder& folder, const char* serverPath) {
  pinned_.Reset();
  listedLength_ = 0;
  if (!serverPath || !ToWidePath(serverPath, path_, kWidePathSize)) return false;
  const wchar_t* name = wcsrchr(path_, L'\\') + 1;  // a full path has one
  if (!FindListedName(folder, name, lstrlenW(name), listed_, &listedLength_) ||
      !folder.OpenEntry(listed_, listedLength_, FILE_READ_DATA, FILE_SHARE_READ, &pinned_))
    return false;
  // Opened while pinned: the path itself, with no link on the way.
  UniqueFile byPath = OpenForAttributes(path_);
  FolderIdentity named;
  if (!ReadOpenedFolderIdentity(pinned_.Get(), &identity_) || !byPath.IsValid() ||
      !IsReachedWithoutLinks(byPath.Get(), path_) || !ReadOpenedFolderIdentity(byPath.Get(), &named) ||
      named != identity_)
    pinned_.Reset();
  return IsPinned();
}

HMODULE ControlFile::Load(ImportedLibraries& imports) const {
  imports.LoadFor(path_);
  return LoadBesideAndFromSystem(path_);
}

bool ControlFile::IsLoadedFrom(HMODULE module) const {
  wchar_t path[kWidePathSize];
  DWORD length = GetModuleFileNameW(module, path, kWidePathSize);
  FolderIdentity loaded;
  return IsPinned() && length > 0 && length < kWidePathSize && ReadFolderIdentity(path, &loaded) &&
         loaded == identity_;
}

bool ControlFile::Delete(const HeldFolder& folder) {
  pinned_.Reset();
  return listedLength_ > 0 && folder.DeleteEntry(listed_, listedLength_);
}
