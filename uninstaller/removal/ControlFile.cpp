#include "ControlFile.h"

#include "../storage/LinkRule.h"
#include "../storage/SystemCalls.h"

namespace {
const DWORD kOwnFolderAndSystem = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;

// The folders the registration tool searches after the system directory,
// added to the loader's search while this lives: the 16-bit system
// directory, the Windows directory, then PATH's folders. A PATH entry that is
// relative, empty, missing, MAX_PATH long or more, or the program's own
// folder or the current directory, is skipped.
class SearchFolders {
 public:
  explicit SearchFolders(bool wanted) {
    if (!wanted) return;
    wchar_t folder[MAX_PATH];
    UINT length = GetWindowsDirectoryW(folder, MAX_PATH - 8);
    if (length == 0 || length >= MAX_PATH - 8) return;
    lstrcatW(folder, L"\\System");
    Add(folder, false);
    folder[length] = L'\0';
    Add(folder, false);
    ReadOwnFolders();
    DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (size == 0 || size > 32767) return;
    wchar_t* path = new wchar_t[size];
    if (GetEnvironmentVariableW(L"PATH", path, size) == size - 1) {
      for (wchar_t* entry = path; entry;) {
        wchar_t* next = wcschr(entry, L';');
        if (next) *next++ = L'\0';
        Add(entry, true);
        entry = next;
      }
    }
    delete[] path;
  }
  ~SearchFolders() {
    for (int i = 0; i < count_; ++i) Newer().RemoveDllDirectory(cookies_[i]);
  }

 private:
  void ReadOwnFolders() {
    wchar_t folder[kWidePathSize];
    DWORD length = GetModuleFileNameW(nullptr, folder, kWidePathSize);
    wchar_t* cut = length > 0 && length < kWidePathSize ? wcsrchr(folder, L'\\') : nullptr;
    if (cut) *cut = L'\0';
    ownRead_[0] = cut && ReadFolderIdentity(folder, &own_[0]);
    length = GetCurrentDirectoryW(kWidePathSize, folder);
    ownRead_[1] = length > 0 && length < kWidePathSize && ReadFolderIdentity(folder, &own_[1]);
  }

  void Add(const wchar_t* folder, bool fromPath) {
    const int length = lstrlenW(folder);
    const bool full =
        length >= 3 && ((folder[1] == L':' && folder[2] == L'\\') || (folder[0] == L'\\' && folder[1] == L'\\'));
    FolderIdentity identity;
    if (count_ == kCapacity || !full || length >= MAX_PATH || !ReadFolderIdentity(folder, &identity)) return;
    if (fromPath && ((ownRead_[0] && identity == own_[0]) || (ownRead_[1] && identity == own_[1]))) return;
    void* cookie = Newer().AddDllDirectory(folder);
    if (cookie) cookies_[count_++] = cookie;
  }

  static const int kCapacity = 128;
  void* cookies_[kCapacity];
  int count_ = 0;
  FolderIdentity own_[2];  // the program's folder, the current directory
  bool ownRead_[2] = {false, false};
};

// Whether a file name (MAX_PATH units at most) lies in dir (dirLength units,
// with its trailing backslash).
bool Exists(const wchar_t* dir, int dirLength, const wchar_t* name) {
  wchar_t path[kWidePathSize + MAX_PATH];
  if (dirLength <= 0 || dirLength >= kWidePathSize) return false;
  memcpy(path, dir, dirLength * sizeof(wchar_t));
  lstrcpynW(path + dirLength, name, MAX_PATH);
  return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// Whether a library the image at path (in full) imports (its import table;
// what those import in turn is not read) is neither loaded already nor found
// in path's own folder or the system directory. Read from the file
// mapped as an image resource, which runs nothing; every offset is checked
// against the image's size. False for anything that can't be read: the load
// itself then tells.
bool ImportsSomethingElsewhere(const wchar_t* path) {
  const int dirLength = static_cast<int>(wcsrchr(path, L'\\') + 1 - path);
  wchar_t system[MAX_PATH];
  UINT systemLength = GetSystemDirectoryW(system, MAX_PATH - 1);
  if (systemLength == 0 || systemLength >= MAX_PATH - 1) return false;
  system[systemLength++] = L'\\';
  HMODULE mapped = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!mapped) return false;
  const BYTE* base = reinterpret_cast<const BYTE*>(reinterpret_cast<UINT_PTR>(mapped) & ~static_cast<UINT_PTR>(3));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const LONG kFirstPage = 4096;  // always mapped, the headers at its start
  const auto* nt = dos->e_magic == IMAGE_DOS_SIGNATURE && dos->e_lfanew > 0 &&
                           dos->e_lfanew <= kFirstPage - static_cast<LONG>(sizeof(IMAGE_NT_HEADERS32))
                       ? reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew)
                       : nullptr;
  const DWORD size = nt ? nt->OptionalHeader.SizeOfImage : 0;
  bool elsewhere = false;
  if (nt && nt->Signature == IMAGE_NT_SIGNATURE && nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC &&
      nt->OptionalHeader.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_IMPORT &&
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress < size) {
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (DWORD at = imports.VirtualAddress; !elsewhere && at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= size;
         at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
      const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + at);
      if (entry->Name == 0 || entry->Name >= size) break;
      const char* name = reinterpret_cast<const char*>(base + entry->Name);
      wchar_t wide[MAX_PATH];
      int length = memchr(name, 0, size - entry->Name) ? MultiByteToWideChar(CP_ACP, 0, name, -1, wide, MAX_PATH) : 0;
      if (length <= 1 || GetModuleHandleW(wide) || _wcsnicmp(wide, L"api-ms-", 7) == 0 ||
          _wcsnicmp(wide, L"ext-ms-", 7) == 0)
        continue;
      elsewhere = !Exists(path, dirLength, wide) && !Exists(system, systemLength, wide);
    }
  }
  FreeLibrary(mapped);
  return elsewhere;
}

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

// Decided before the load, from the import table, not by a load that fails:
// a module whose imports could not be found may stay mapped (Wine keeps it,
// and its file can't be deleted then).
HMODULE ControlFile::Load() const {
  const bool elsewhere = ImportsSomethingElsewhere(path_);
  SearchFolders added(elsewhere);
  HMODULE loaded =
      LoadLibraryExW(path_, nullptr, kOwnFolderAndSystem | (elsewhere ? LOAD_LIBRARY_SEARCH_USER_DIRS : 0));
  if (loaded || GetLastError() != ERROR_INVALID_PARAMETER) return loaded;
  return LoadLibraryExW(path_, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);  // no search flags on this platform
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
