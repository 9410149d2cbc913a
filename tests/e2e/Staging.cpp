#include "Staging.h"

#include <shlobj.h>

#include <stdexcept>

#include "Driver.h"

namespace e2e {
namespace {
const char kPrimaryKey[] = ".Default\\Software\\Morvex\\Zentrova\\Directories";
const char kFallbackKey[] = ".Default\\Software\\Zentrova\\Zentrova\\Directories";

std::string Trim(std::string dir);
}  // namespace

void RemoveFolderTree(const std::string& folder) {
  const std::string dir = Trim(folder);
  WIN32_FIND_DATAA entry;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &entry);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = dir + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolderTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(h, &entry));
    FindClose(h);
  }
  RemoveDirectoryA(dir.c_str());
}

namespace {
std::string Trim(std::string dir) {
  while (!dir.empty() && dir.back() == '\\') dir.pop_back();
  return dir;
}

void SetDefault(const std::string& key, const std::string& value) {
  HKEY h;
  if (RegCreateKeyA(HKEY_CLASSES_ROOT, key.c_str(), &h) != ERROR_SUCCESS) throw std::runtime_error("key " + key);
  RegSetValueA(h, nullptr, REG_SZ, value.c_str(), static_cast<DWORD>(value.size()));
  RegCloseKey(h);
}

void Flatten(HKEY key, const std::string& prefix, std::map<std::string, std::string>& out) {
  out[prefix] = "(key)";
  char name[16384];
  std::vector<BYTE> data(65536);
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = sizeof name, dataSize = static_cast<DWORD>(data.size()), type = 0;
    if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data.data(), &dataSize) != ERROR_SUCCESS) break;
    out[prefix + "\\" + name + "="] = std::to_string(type) + ":" +
                                      std::string(reinterpret_cast<char*>(data.data()), dataSize);
  }
  for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) {
    HKEY sub;
    if (RegOpenKeyExA(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
    Flatten(sub, prefix + "\\" + name, out);
    RegCloseKey(sub);
  }
}
}  // namespace

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool WaitFile(const std::string& path, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
    if (FileExists(path)) {
      Sleep(300);  // let the writer finish
      return true;
    }
    Sleep(100);
  }
  return FileExists(path);
}

std::string ReadWholeFile(const std::string& path) {
  std::string content;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return content;
  char buffer[4096];
  DWORD got;
  while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got) content.append(buffer, got);
  CloseHandle(h);
  return content;
}

bool KeyExists(HKEY root, const std::string& path) {
  HKEY h;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

bool ProfileIsThrowaway() {
  char documents[MAX_PATH];
  return SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents)) &&
         FileExists(std::string(documents) + "\\unravel-throwaway-home");
}

std::map<std::string, std::string> Snapshot(HKEY root, const std::string& path) {
  std::map<std::string, std::string> out;
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return out;
  Flatten(key, path, out);
  RegCloseKey(key);
  return out;
}

Staging::Staging() {
  RegDeleteTreeA(HKEY_USERS, kPrimaryKey);
  RegDeleteTreeA(HKEY_USERS, kFallbackKey);
}

Staging::~Staging() {
  RegDeleteTreeA(HKEY_USERS, kPrimaryKey);
  RegDeleteTreeA(HKEY_USERS, kFallbackKey);
  for (const std::string& clsid : classes_) RegDeleteTreeA(HKEY_CLASSES_ROOT, ("CLSID\\" + clsid).c_str());
  for (const std::string& file : files_) {
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    // A program that has just ended may hold its files a moment longer.
    for (int tries = 0; !DeleteFileA(file.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND &&
                         GetLastError() != ERROR_PATH_NOT_FOUND && tries < 50; ++tries)
      Sleep(200);
  }
  for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) RemoveFolderTree(*it);
}

void Staging::SetDirectories(const std::string& ocx, const std::string& temp, const std::string& root) {
  HKEY h;
  if (RegCreateKeyExA(HKEY_USERS, kPrimaryKey, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
    throw std::runtime_error("cannot create the directories key");
  const std::pair<const char*, const std::string*> values[] = {
      {"Ocx Storage", &ocx}, {"Temp Storage", &temp}, {"Root", &root}};
  for (const auto& v : values) {
    if (v.second->empty()) continue;
    RegSetValueExA(h, v.first, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.second->c_str()),
                   static_cast<DWORD>(v.second->size() + 1));
  }
  RegCloseKey(h);
}

void Staging::MakeFolder(const std::string& dir) {
  // Only folders made here are removed afterwards, never one that was there.
  std::string trimmed = Trim(dir);
  for (size_t at = trimmed.find('\\', 3);; at = trimmed.find('\\', at + 1)) {
    std::string folder = trimmed.substr(0, at);
    if (CreateDirectoryA(folder.c_str(), nullptr)) folders_.push_back(folder);
    if (at == std::string::npos) break;
  }
}

void Staging::WriteFile(const std::string& path, const std::string& content) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write " + path);
  DWORD written;
  ::WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(h);
  files_.push_back(path);
}

void Staging::CopyFixture(const std::string& fixture, const std::string& to) {
  CopyIn(WindowsPathFromEnv("FIXTURE_DIR") + "\\" + fixture, to);
}

void Staging::CopyIn(const std::string& from, const std::string& to) {
  if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) throw std::runtime_error("cannot copy " + from + " to " + to);
  SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
  files_.push_back(to);
}

void Staging::Register(const ClassInfo& info) {
  std::string key = "CLSID\\" + info.clsid;
  SetDefault(key, info.name);
  if (info.control) SetDefault(key + "\\Control", "");
  SetDefault(key + "\\InprocServer32", info.serverPath);
  classes_.push_back(info.clsid);
}

std::string Staging::WindowsDir() const {
  char dir[MAX_PATH];
  GetWindowsDirectoryA(dir, MAX_PATH);
  return dir;
}

void Staging::InstallUninstaller() {
  DeleteFileA((WindowsDir() + "\\uninst-record.txt").c_str());
  CopyFixture("uninst.exe", WindowsDir() + "\\uninst.exe");
  Track(WindowsDir() + "\\uninst-record.txt");
}

std::string Staging::UninstallerRecord() const { return ReadWholeFile(WindowsDir() + "\\uninst-record.txt"); }

}  // namespace e2e
