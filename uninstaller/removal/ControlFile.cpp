#include "ControlFile.h"

#include "../storage/LinkRule.h"
#include "../storage/SystemCalls.h"

namespace {
const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
const DWORD kOwnFolderAndSystem = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;

bool ReadIdentity(const wchar_t* path, FolderIdentity* identity, bool withoutLinks) {
  UniqueFile opened(CreateFileW(path, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return opened.IsValid() && (!withoutLinks || IsReachedWithoutLinks(opened.Get(), path)) &&
         ReadOpenedFolderIdentity(opened.Get(), identity);
}

// The folders the registration tool searches after the system directory,
// added to the loader's search while this lives: the 16-bit system
// directory, the Windows directory, then PATH's folders. A PATH entry that is
// relative, empty, missing, MAX_PATH long or more, or the program's own
// folder or the current directory, is skipped.
class SearchFolders {
 public:
  SearchFolders() {
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
  int Count() const { return count_; }

 private:
  void ReadOwnFolders() {
    wchar_t folder[kWidePathSize];
    DWORD length = GetModuleFileNameW(nullptr, folder, kWidePathSize);
    wchar_t* cut = length > 0 && length < kWidePathSize ? wcsrchr(folder, L'\\') : nullptr;
    if (cut) *cut = L'\0';
    ownRead_[0] = cut && ReadIdentity(folder, &own_[0], false);
    length = GetCurrentDirectoryW(kWidePathSize, folder);
    ownRead_[1] = length > 0 && length < kWidePathSize && ReadIdentity(folder, &own_[1], false);
  }

  void Add(const wchar_t* folder, bool fromPath) {
    const int length = lstrlenW(folder);
    const bool full = length >= 3 && ((folder[1] == L':' && folder[2] == L'\\') || (folder[0] == L'\\' && folder[1] == L'\\'));
    FolderIdentity identity;
    if (count_ == kCapacity || !full || length >= MAX_PATH || !ReadIdentity(folder, &identity, false)) return;
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
  FolderIdentity named;
  if (!FindListedName(folder, name, lstrlenW(name), listed_, &listedLength_) ||
      !folder.OpenEntry(listed_, listedLength_, FILE_READ_DATA, FILE_SHARE_READ, &pinned_) ||
      !ReadOpenedFolderIdentity(pinned_.Get(), &identity_) || !ReadIdentity(path_, &named, true) ||
      named != identity_) {
    pinned_.Reset();
    return false;
  }
  return true;
}

HMODULE ControlFile::Load() const {
  if (!IsPinned()) return nullptr;
  HMODULE loaded = LoadLibraryExW(path_, nullptr, kOwnFolderAndSystem);
  if (loaded) return loaded;
  if (GetLastError() == ERROR_INVALID_PARAMETER) return LoadLibraryExW(path_, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (GetLastError() != ERROR_MOD_NOT_FOUND) return nullptr;
  SearchFolders added;
  return added.Count() > 0 ? LoadLibraryExW(path_, nullptr, kOwnFolderAndSystem | LOAD_LIBRARY_SEARCH_USER_DIRS)
                           : nullptr;
}

bool ControlFile::IsLoadedFrom(HMODULE module) const {
  wchar_t path[kWidePathSize];
  DWORD length = GetModuleFileNameW(module, path, kWidePathSize);
  FolderIdentity loaded;
  return IsPinned() && length > 0 && length < kWidePathSize && ReadIdentity(path, &loaded, false) &&
         loaded == identity_;
}

bool ControlFile::Delete(const HeldFolder& folder) {
  pinned_.Reset();
  return listedLength_ > 0 && folder.DeleteEntry(listed_, listedLength_);
}
