#include "LinkRule.h"

#include <aclapi.h>

#include "FolderIdentity.h"
#include "SystemCalls.h"

namespace {
const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The link itself is opened, not what it leads to, and its owner read.
bool IsSystemLink(const wchar_t* path) {
  UniqueFile link(CreateFileW(path, READ_CONTROL, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
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

bool IsDotsOnly(const wchar_t* part) {
  while (*part == L'.') ++part;
  return *part == L'\0';
}

// The name path has with no link followed but the system's own: each part
// after the root as the folder above lists it, a system link replaced by the
// final name of what it leads to.
bool ReadExpectedName(const wchar_t* path, PathName* expected) {
  wchar_t full[PathName::kCapacity];
  DWORD length = GetFullPathNameW(path, PathName::kCapacity, full, nullptr);
  if (length == 0 || length >= static_cast<DWORD>(PathName::kCapacity)) return false;
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
    } else if (!IsLink(found.dwFileAttributes, found.dwReserved0)) {  // the tag, for a reparse point
      named = expected->AppendPart(found.cFileName, lstrlenW(found.cFileName));
    } else if (IsSystemLink(full)) {
      UniqueFile target = OpenForAttributes(full);
      named = target.IsValid() && expected->ReadFinal(target.Get());
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
bool RedirectForWow64(const PathName& expected, PathName* redirected) {
  wchar_t system[MAX_PATH], wow64[MAX_PATH];
  UINT systemLength = GetSystemDirectoryW(system, MAX_PATH);
  UINT wow64Length = GetSystemWow64DirectoryW(wow64, MAX_PATH);
  PathName systemName, prefix;
  if (systemLength == 0 || systemLength >= MAX_PATH || wow64Length == 0 || wow64Length >= MAX_PATH ||
      !systemName.Set(system, systemLength) || systemName.Length() > expected.Length())
    return false;
  const int cut = systemName.Length();
  const wchar_t* rest = expected.Chars() + cut;
  if (!prefix.Set(expected.Chars(), cut) || !prefix.IsSameIgnoringCase(systemName) || (*rest && *rest != L'\\'))
    return false;
  return redirected->Set(wow64, wow64Length) && (!*rest || redirected->AppendPart(rest + 1, lstrlenW(rest + 1)));
}
}  // namespace

bool IsSystemOwner(PSID owner) {
  // Sub-authorities under the NT authority (5): count, then each.
  static const DWORD kSystemOwners[][7] = {
      {1, SECURITY_LOCAL_SYSTEM_RID},
      {6, SECURITY_SERVICE_ID_BASE_RID, 956008885, 3418522649, 1831038044, 1853292631, 2271478464},  // TrustedInstaller
  };
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  for (const DWORD* known : kSystemOwners) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    PSID sid = buffer;
    if (!InitializeSid(sid, &nt, static_cast<BYTE>(known[0]))) continue;
    for (DWORD i = 0; i < known[0]; ++i) *GetSidSubAuthority(sid, i) = known[i + 1];
    if (owner && IsValidSid(owner) && EqualSid(owner, sid)) return true;
  }
  return false;
}

bool IsLink(DWORD attributes, DWORD reparseTag) {
  const DWORD kNameSurrogate = 0x20000000;  // IsReparseTagNameSurrogate
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && (reparseTag == 0 || (reparseTag & kNameSurrogate));
}

bool IsSameNameIgnoringCase(const wchar_t* one, int length, const wchar_t* other, int otherLength) {
  return Newer().CompareStringOrdinal(one, length, other, otherLength, TRUE) == CSTR_EQUAL;
}

bool PathName::Append(const wchar_t* text, int length) {
  if (length < 0 || length >= kCapacity - length_) return false;
  memcpy(text_ + length_, text, length * sizeof(wchar_t));
  length_ += length;
  text_[length_] = L'\0';
  return true;
}

bool PathName::TrimEnd() {
  while (length_ > 0 && text_[length_ - 1] == L'\\') text_[--length_] = L'\0';
  return true;
}

bool PathName::Set(const wchar_t* text, int length) {
  length_ = 0;
  text_[0] = L'\0';
  if (length >= 4 && text[0] == L'\\' && text[1] == L'\\' && (text[2] == L'?' || text[2] == L'.') &&
      text[3] == L'\\') {
    text += 4;
    length -= 4;
    if (length >= 4 && (text[0] | 0x20) == L'u' && (text[1] | 0x20) == L'n' && (text[2] | 0x20) == L'c' &&
        text[3] == L'\\')
      return Append(L"\\\\", 2) && Append(text + 4, length - 4) && TrimEnd();
  }
  return Append(text, length) && TrimEnd();
}

bool PathName::AppendPart(const wchar_t* part, int length) {
  return Append(L"\\", 1) && Append(part, length) && TrimEnd();
}

bool PathName::ReadFinal(HANDLE opened) {
  wchar_t text[kCapacity];
  DWORD length = Newer().GetFinalPathNameByHandleW(opened, text, kCapacity, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length > 0 && length < static_cast<DWORD>(kCapacity)) return Set(text, length);
  if (length != 0 || GetLastError() != ERROR_MORE_DATA) return false;
  // Wine reads the name through a buffer of MAX_PATH characters and fails a
  // longer one; its object manager gives the name whole, as "\??\" and the
  // DOS path, which is all that call would add to it.
  struct {
    UNICODE_STRING name;
    wchar_t text[kCapacity];
  } info;
  ULONG returned = 0;
  const ULONG kObjectNameInformation = 1;
  if (Newer().NtQueryObject(opened, kObjectNameInformation, &info, sizeof info, &returned) < 0 || !info.name.Buffer)
    return false;
  const int units = info.name.Length / sizeof(wchar_t);
  return units > 4 && memcmp(info.name.Buffer, L"\\??\\", 4 * sizeof(wchar_t)) == 0 &&
         Set(info.name.Buffer + 4, units - 4);
}

bool IsReachedWithoutLinks(HANDLE opened, const wchar_t* path, PathName* finalName) {
  PathName expected, own, redirected;
  PathName& actual = finalName ? *finalName : own;
  if (!path || !*path || !actual.ReadFinal(opened) || !ReadExpectedName(path, &expected)) return false;
  return actual.IsSameIgnoringCase(expected) ||
         (RedirectForWow64(expected, &redirected) && actual.IsSameIgnoringCase(redirected));
}

bool IsReachedWithoutLinks(const Text& path) {
  wchar_t wide[kWidePathSize];
  if (!ToWidePath(path.Get(), wide, kWidePathSize)) return false;
  UniqueFile opened = OpenForAttributes(wide);
  return opened.IsValid() && IsReachedWithoutLinks(opened.Get(), wide);
}
