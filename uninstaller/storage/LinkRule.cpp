#include "LinkRule.h"

#include <aclapi.h>

#include "../../common/SystemFunction.h"
#include "../framework/Handles.h"

namespace {
// Owners whose links are the system's own: SYSTEM, TrustedInstaller and the
// Administrators group. Nobody without administrator rights can give a
// file one of them.
const DWORD kSystemOwners[][7] = {
    // count, then the sub-authorities under the NT authority (5)
    {1, SECURITY_LOCAL_SYSTEM_RID},
    {6, SECURITY_SERVICE_ID_BASE_RID, 956008885, 3418522649, 1831038044, 1853292631, 2271478464},
    {2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS},
};

bool IsSystemOwner(PSID owner) {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  for (const DWORD* known : kSystemOwners) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    PSID sid = buffer;
    if (!InitializeSid(sid, &nt, static_cast<BYTE>(known[0]))) continue;
    for (DWORD i = 0; i < known[0]; ++i) *GetSidSubAuthority(sid, i) = known[i + 1];
    if (EqualSid(owner, sid)) return true;
  }
  return false;
}

// The link itself is opened, not what it leads to, and its owner read.
bool IsSystemLink(const wchar_t* path) {
  UniqueFile link(CreateFileW(path, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!link.IsValid()) return false;
  PSID owner = nullptr;  // inside the descriptor
  UniqueLocalMem descriptor;
  if (GetSecurityInfo(link.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                      reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.Put())) != ERROR_SUCCESS)
    return false;
  return owner && IsValidSid(owner) && IsSystemOwner(owner);
}

// Characters up to and including the backslash that ends the root of a full
// path: "C:\", "\\server\share\", "\\?\C:\", "\\?\UNC\server\share\"
// and the like; 0 for anything else.
int RootLength(const wchar_t* path) {
  if (path[0] && path[1] == L':' && path[2] == L'\\') return 3;
  if (path[0] != L'\\' || path[1] != L'\\') return 0;
  int separators = 4;  // "\\server\share\"
  if ((path[2] == L'?' || path[2] == L'.') && path[3] == L'\\') {
    if (path[4] && path[5] == L':' && path[6] == L'\\') return 7;
    bool unc = (path[4] | 0x20) == L'u' && (path[5] | 0x20) == L'n' && (path[6] | 0x20) == L'c' && path[7] == L'\\';
    separators = unc ? 6 : 4;  // "\\?\UNC\server\share\", "\\?\Volume{...}\"
  }
  for (int i = 2; path[i]; ++i) {
    if (path[i] == L'\\' && --separators == 2) return i + 1;
  }
  return 0;
}

// A full name as the rule compares them: no device prefix ("\\?\C:\x" is
// "C:\x", "\\?\UNC\s\x" is "\\s\x") and no trailing backslash.
class Name {
 public:
  static const int kCapacity = MAX_PATH * 2;

  bool Set(const wchar_t* text, int length) {
    length_ = 0;
    if (length >= 8 && text[0] == L'\\' && text[1] == L'\\' && (text[2] == L'?' || text[2] == L'.') &&
        text[3] == L'\\' && (text[4] | 0x20) == L'u' && (text[5] | 0x20) == L'n' && (text[6] | 0x20) == L'c' &&
        text[7] == L'\\')
      return Append(L"\\\\", 2) && Append(text + 8, length - 8) && TrimmedEnd();
    if (length >= 4 && text[0] == L'\\' && text[1] == L'\\' && (text[2] == L'?' || text[2] == L'.') &&
        text[3] == L'\\')
      return Append(text + 4, length - 4) && TrimmedEnd();
    return Append(text, length) && TrimmedEnd();
  }
  bool AppendPart(const wchar_t* part) { return Append(L"\\", 1) && Append(part, lstrlenW(part)) && TrimmedEnd(); }
  bool Equals(const Name& other) const;
  const wchar_t* Chars() const { return text_; }
  int Length() const { return length_; }

 private:
  bool Append(const wchar_t* text, int length) {
    if (length < 0 || length >= kCapacity - length_) return false;
    memcpy(text_ + length_, text, length * sizeof(wchar_t));
    length_ += length;
    text_[length_] = L'\0';
    return true;
  }
  bool TrimmedEnd() {
    while (length_ > 0 && text_[length_ - 1] == L'\\') text_[--length_] = L'\0';
    return true;
  }

  wchar_t text_[kCapacity];
  int length_ = 0;
};

using FinalNameQuery = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

bool Name::Equals(const Name& other) const {
  return IsSameNameIgnoringCase(text_, length_, other.text_, other.length_);
}

// The name the system gives opened: normalized (long names, links
// resolved), with its drive letter.
bool ReadFinalName(HANDLE opened, Name* name) {
  static const FinalNameQuery finalName =
      FindSystemFunction<FinalNameQuery>("kernel32.dll", "GetFinalPathNameByHandleW");
  wchar_t text[Name::kCapacity];
  if (!finalName) return false;
  DWORD length = finalName(opened, text, Name::kCapacity, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  return length > 0 && length < static_cast<DWORD>(Name::kCapacity) && name->Set(text, length);
}

bool IsDotsOnly(const wchar_t* part) {
  while (*part == L'.') ++part;
  return *part == L'\0';
}

// The name path has with no link followed but the system's own: each part
// after the root as the folder above lists it, a system link replaced by the
// final name of what it leads to.
bool ReadExpectedName(const wchar_t* path, Name* expected) {
  wchar_t full[Name::kCapacity];
  DWORD length = GetFullPathNameW(path, Name::kCapacity, full, nullptr);
  if (length == 0 || length >= static_cast<DWORD>(Name::kCapacity)) return false;
  int root = RootLength(full);
  if (root == 0 || !expected->Set(full, root)) return false;
  for (DWORD start = root, end = root; end <= length; ++end) {
    if (end < length && full[end] != L'\\') continue;
    if (end == start) {  // a doubled backslash
      ++start;
      continue;
    }
    wchar_t kept = full[end];
    full[end] = L'\0';
    const wchar_t* part = full + start;
    WIN32_FIND_DATAW found;
    bool readable = !IsDotsOnly(part) && !wcspbrk(part, L"*?");
    UniqueFind listed(readable ? FindFirstFileW(full, &found) : INVALID_HANDLE_VALUE);
    bool named = false;
    if (!listed.IsValid()) {
      named = false;
    } else if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      named = expected->AppendPart(found.cFileName);
    } else if (IsSystemLink(full)) {
      UniqueFile target(CreateFileW(full, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      named = target.IsValid() && ReadFinalName(target.Get(), expected);
    }
    full[end] = kept;
    if (!named) return false;
    start = end + 1;
  }
  return true;
}

// Under WOW64 the system sends a 32-bit program's system directory to the
// 32-bit one: expected with that prefix replaced, or false where there is
// none (32-bit Windows, another folder).
bool RedirectForWow64(const Name& expected, Name* redirected) {
  wchar_t system[MAX_PATH], wow64[MAX_PATH];
  UINT systemLength = GetSystemDirectoryW(system, MAX_PATH);
  UINT wow64Length = GetSystemWow64DirectoryW(wow64, MAX_PATH);
  Name systemName;
  if (systemLength == 0 || systemLength >= MAX_PATH || wow64Length == 0 || wow64Length >= MAX_PATH ||
      !systemName.Set(system, systemLength) || systemName.Length() > expected.Length())
    return false;
  Name prefix;
  const int cut = systemName.Length();
  if (!prefix.Set(expected.Chars(), cut) || !prefix.Equals(systemName) ||
      (expected.Chars()[cut] != L'\\' && expected.Chars()[cut] != L'\0'))
    return false;
  return redirected->Set(wow64, wow64Length) &&
         (expected.Chars()[cut] == L'\0' || redirected->AppendPart(expected.Chars() + cut + 1));
}
}  // namespace

bool IsSameNameIgnoringCase(const wchar_t* one, int length, const wchar_t* other, int otherLength) {
  using OrdinalCompare = int(WINAPI*)(LPCWSTR, int, LPCWSTR, int, BOOL);
  static const OrdinalCompare compare = FindSystemFunction<OrdinalCompare>("kernel32.dll", "CompareStringOrdinal");
  return compare && compare(one, length, other, otherLength, TRUE) == CSTR_EQUAL;
}

bool IsReachedWithoutLinks(HANDLE opened, const wchar_t* path) {
  Name expected, actual, redirected;
  if (!path || !*path || !ReadFinalName(opened, &actual) || !ReadExpectedName(path, &expected)) return false;
  return actual.Equals(expected) || (RedirectForWow64(expected, &redirected) && actual.Equals(redirected));
}

bool IsReachedWithoutLinks(const Text& path) {
  wchar_t wide[Name::kCapacity];
  if (path.IsEmpty() ||
      !MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.Get(), path.Length() + 1, wide, Name::kCapacity))
    return false;
  UniqueFile opened(CreateFileW(wide, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return opened.IsValid() && IsReachedWithoutLinks(opened.Get(), wide);
}
