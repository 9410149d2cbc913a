#include "LinkRule.h"

#include <aclapi.h>

#include <winternl.h>

#include "FolderIdentity.h"

namespace {
const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opened with flags, the parts of its security descriptor that what names,
// into *descriptor.
bool ReadSecurity(const wchar_t* path, DWORD flags, SECURITY_INFORMATION what, UniqueLocalMem* descriptor) {
  UniqueFile opened(CreateFileW(path, READ_CONTROL, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr));
  return opened.IsValid() && GetSecurityInfo(opened.Get(), SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr,
                                             reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor->Put())) ==
                                 ERROR_SUCCESS;
}

// name (a full name as PathName keeps it), then part if any, in the "\\?\"
// form, which reads every part as it is spelled: the plain form drops a
// trailing space or dot. A drive's root keeps its backslash.
bool ToDevicePath(const PathName& name, const wchar_t* part, int partLength, wchar_t* out) {
  const wchar_t* text = name.Chars();
  const bool unc = text[0] == L'\\' && text[1] == L'\\';
  const int prefix = unc ? 7 : 4, skipped = unc ? 1 : 0;  // "\\?\UNC" takes the place of one backslash
  const int length = name.Length() - skipped;
  if (prefix + length + 1 + partLength >= PathName::kCapacity) return false;
  memcpy(out, unc ? L"\\\\?\\UNC" : L"\\\\?\\", prefix * sizeof(wchar_t));
  memcpy(out + prefix, text + skipped, length * sizeof(wchar_t));
  int at = prefix + length;
  if (partLength > 0 || (length == 2 && text[1] == L':')) out[at++] = L'\\';
  memcpy(out + at, part, partLength * sizeof(wchar_t));
  out[at + partLength] = L'\0';
  return true;
}

// Whether the link at (its device path) in the folder parent (the name read
// so far) is one no ordinary user could have made or changed.
bool IsTrustedLink(const wchar_t* at, const PathName& parent) {
  wchar_t parentPath[PathName::kCapacity];
  UniqueLocalMem link, folder;
  return ToDevicePath(parent, nullptr, 0, parentPath) &&
         ReadSecurity(at, FILE_FLAG_OPEN_REPARSE_POINT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                      &link) &&
         ReadSecurity(parentPath, 0, DACL_SECURITY_INFORMATION, &folder) &&
         IsLinkOnlyAdministratorsChange(link.Get(), folder.Get());
}

// Whether sid is SYSTEM, TrustedInstaller or Administrators.
bool IsAdministration(PSID sid) {
  // Sub-authorities under the NT authority (5): count, then each.
  static const DWORD kAdministration[][7] = {
      {1, SECURITY_LOCAL_SYSTEM_RID},
      {6, SECURITY_SERVICE_ID_BASE_RID, 956008885, 3418522649, 1831038044, 1853292631, 2271478464},  // TrustedInstaller
      {2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS},
  };
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  for (const DWORD* known : kAdministration) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    PSID candidate = buffer;
    if (!InitializeSid(candidate, &nt, static_cast<BYTE>(known[0]))) continue;
    for (DWORD i = 0; i < known[0]; ++i) *GetSidSubAuthority(candidate, i) = known[i + 1];
    if (sid && IsValidSid(sid) && EqualSid(sid, candidate)) return true;
  }
  return false;
}

// Whether the access list of descriptor allows anyone but the
// administration any of rights on the object itself.
bool AllowsOthers(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK rights) {
  BOOL present = FALSE, defaulted = FALSE;
  PACL list = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted) || !present || !list) return true;
  for (DWORD i = 0; i < list->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(list, i, reinterpret_cast<void**>(&header))) return true;
    const ACCESS_ALLOWED_ACE* entry = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);  // the mask: every layout's
    switch (header->AceType) {
      case ACCESS_DENIED_ACE_TYPE:
      case ACCESS_DENIED_OBJECT_ACE_TYPE:
      case ACCESS_DENIED_CALLBACK_ACE_TYPE:
      case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
        continue;
      case ACCESS_ALLOWED_ACE_TYPE:
      case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
        if ((header->AceFlags & INHERIT_ONLY_ACE) || !(entry->Mask & rights) ||
            IsAdministration(const_cast<DWORD*>(&entry->SidStart)))
          continue;
        return true;
      default:  // an entry for object types: whoever it names
        if (!(header->AceFlags & INHERIT_ONLY_ACE) && (entry->Mask & rights)) return true;
    }
  }
  return false;
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

// The name path has with no link followed but those only administrators
// can change: each part after the root as the folder above lists it, such a
// link replaced by the final name of what it leads to.
bool ReadExpectedName(const wchar_t* path, PathName* expected) {
  wchar_t full[PathName::kCapacity], at[PathName::kCapacity];
  DWORD length = GetFullPathNameW(path, PathName::kCapacity, full, nullptr);
  if (length == 0 || length >= static_cast<DWORD>(PathName::kCapacity)) return false;
  int root = RootLength(full);
  if (root == 0 || !expected->Set(full, root)) return false;
  for (DWORD start = root, end = root; end <= length; ++end) {
    if (end < length && full[end] != L'\\') continue;
    const wchar_t* part = full + start;
    const int partLength = static_cast<int>(end - start);
    start = end + 1;
    if (partLength == 0) continue;  // a doubled or trailing backslash
    const wchar_t kept = full[end];
    full[end] = L'\0';
    const bool readable = !IsDotsOnly(part) && !wcspbrk(part, L"*?") && ToDevicePath(*expected, part, partLength, at);
    full[end] = kept;
    WIN32_FIND_DATAW found;
    UniqueFind listed(readable ? FindFirstFileW(at, &found) : INVALID_HANDLE_VALUE);
    if (!listed.IsValid()) return false;
    if (!IsLink(found.dwFileAttributes, found.dwReserved0)) {  // the tag, for a reparse point
      if (!expected->AppendPart(found.cFileName, lstrlenW(found.cFileName))) return false;
      continue;
    }
    UniqueFile target = IsTrustedLink(at, *expected) ? OpenForAttributes(at) : UniqueFile();
    if (!target.IsValid() || !expected->ReadFinal(target.Get())) return false;
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

bool IsLinkOnlyAdministratorsChange(PSECURITY_DESCRIPTOR link, PSECURITY_DESCRIPTOR parent) {
  const ACCESS_MASK kChange = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES | DELETE |
                              WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  return link && parent && GetSecurityDescriptorOwner(link, &owner, &defaulted) && IsAdministration(owner) &&
         !AllowsOthers(link, kChange) && !AllowsOthers(parent, FILE_DELETE_CHILD | GENERIC_ALL);
}

bool IsLink(DWORD attributes, DWORD reparseTag) {
  const DWORD kNameSurrogate = 0x20000000;  // IsReparseTagNameSurrogate
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && (reparseTag == 0 || (reparseTag & kNameSurrogate));
}

bool IsSameNameIgnoringCase(const wchar_t* one, int length, const wchar_t* other, int otherLength) {
  return CompareStringOrdinal(one, length, other, otherLength, TRUE) == CSTR_EQUAL;
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
  DWORD length = GetFinalPathNameByHandleW(opened, text, kCapacity, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length > 0 && length < static_cast<DWORD>(kCapacity)) return Set(text, length);
  if (length != 0 || GetLastError() != ERROR_MORE_DATA) return false;
  // Wine: it reads the name through a buffer of MAX_PATH characters and
  // fails a longer one; its object manager gives the name whole, as "\??\" and the
  // DOS path, which is all that call would add to it.
  struct {
    UNICODE_STRING name;
    wchar_t text[kCapacity];
  } info;
  ULONG returned = 0;
  if (NtQueryObject(opened, ObjectNameInformation, &info, sizeof info, &returned) < 0 || !info.name.Buffer)
    return false;
  const int units = info.name.Length / sizeof(wchar_t);
  return units > 4 && memcmp(info.name.Buffer, L"\\??\\", 4 * sizeof(wchar_t)) == 0 &&
         Set(info.name.Buffer + 4, units - 4);
}

bool IsReachedWithoutLinks(HANDLE opened, const wchar_t* path, PathName* finalName) {
  PathName expected, own, redirected;
  PathName& actual = finalName ? *finalName : own;
  if (!path || !*path || !actual.ReadFinal(opened) || !ReadExpectedName(path, &expected)) return false;
  if (actual.IsSameIgnoringCase(expected) ||
      (RedirectForWow64(expected, &redirected) && actual.IsSameIgnoringCase(redirected)))
    return true;
  // Wine: the final name drops the trailing spaces and dots of its last part
  // ("C:\Zentrova \Ocx " reads "C:\Zentrova \Ocx"); the name as listed then
  // stands for it, so that names built on it are exact.
  int kept = expected.Length();
  while (kept > 0 && (expected.Chars()[kept - 1] == L' ' || expected.Chars()[kept - 1] == L'.')) --kept;
  PathName trimmed;
  if (kept == expected.Length() || !trimmed.Set(expected.Chars(), kept) || !actual.IsSameIgnoringCase(trimmed))
    return false;
  actual = expected;
  return true;
}

bool IsReachedWithoutLinks(const Text& path) {
  wchar_t wide[kWidePathSize];
  if (!ToWidePath(path.Get(), wide, kWidePathSize)) return false;
  UniqueFile opened = OpenForAttributes(wide);
  return opened.IsValid() && IsReachedWithoutLinks(opened.Get(), wide);
}
