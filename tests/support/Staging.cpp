#include "Staging.h"

#include <stdexcept>

namespace testbed {
Staging::Staging() {
  RegDeleteTreeA(HKEY_USERS, kPrimaryDirectories);
  RegDeleteTreeA(HKEY_USERS, kFallbackDirectories);
}

Staging::~Staging() {
  RegDeleteTreeA(HKEY_USERS, kPrimaryDirectories);
  RegDeleteTreeA(HKEY_USERS, kFallbackDirectories);
  for (const auto& cls : classes_) RemoveClassRegistration(cls.first, cls.second);
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
  if (RegCreateKeyExA(HKEY_USERS, kPrimaryDirectories, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
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
  std::string trimmed = dir;
  while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
  for (size_t at = trimmed.find('\\', 3);; at = trimmed.find('\\', at + 1)) {
    std::string folder = trimmed.substr(0, at);
    if (CreateDirectoryA((folder + "\\").c_str(), nullptr)) folders_.push_back(folder);  // a trailing space kept
    if (at == std::string::npos) break;
  }
}

void Staging::WriteFile(const std::string& path, const std::string& content) {
  if (!testbed::WriteFile(path, content)) throw std::runtime_error("cannot write " + path);
  files_.push_back(path);
}

void Staging::CopyFixture(const std::string& fixture, const std::string& to) { CopyIn(Fixture(fixture), to); }

void Staging::CopyIn(const std::string& from, const std::string& to) {
  if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) throw std::runtime_error("cannot copy " + from + " to " + to);
  SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
  files_.push_back(to);
}

void Staging::Register(const ClassInfo& info, ClassView view) {
  classes_.emplace_back(info.clsid, view);
  if (!WriteClassRegistration(info, {view})) throw std::runtime_error("cannot register " + info.clsid);
}

void Staging::InstallControl(const std::string& fixture, const ClassInfo& info, ClassView view) {
  CopyFixture(fixture, info.serverPath);
  Register(info, view);
}

void Staging::InstallUninstaller() {
  for (const char* record : {"\\uninst-record.txt", "\\uninst-cwd.txt"}) {
    DeleteFileA((WindowsDir() + record).c_str());
    Track(WindowsDir() + record);
  }
  CopyFixture("uninst.exe", WindowsDir() + "\\uninst.exe");
}

std::string Staging::UninstallerRecord() const { return ReadWholeFile(WindowsDir() + "\\uninst-record.txt"); }

}  // namespace testbed
