// Stages a sample installation of the product in the test prefix: the
// directory values, class registrations of sample controls, temporary files,
// the uninstall script and the stand-in uninstaller. What a test stages is
// taken away again when the Staging object goes.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace e2e {

struct ClassInfo {
  std::string clsid;       // "{...}"
  std::string name;        // display name (default value)
  std::string serverPath;  // InprocServer32 default value
  bool control = true;     // has a "Control" subkey
};

class Staging {
 public:
  Staging();
  ~Staging();
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;

  // The primary directory values; an empty text leaves that value out.
  void SetDirectories(const std::string& ocx, const std::string& temp, const std::string& root);
  // A folder, with its parents, removed with everything in it afterwards.
  void MakeFolder(const std::string& dir);
  void WriteFile(const std::string& path, const std::string& content = "x");
  // A copy of a fixture built beside the tests (FIXTURE_DIR), by file name.
  void CopyFixture(const std::string& fixture, const std::string& to);
  void CopyIn(const std::string& from, const std::string& to);
  // A file the program under test will write, removed afterwards.
  void Track(const std::string& path) { files_.push_back(path); }
  void Register(const ClassInfo& info);
  // The stand-in uninstaller in the Windows directory, and what it recorded.
  void InstallUninstaller();
  std::string UninstallerRecord() const;
  std::string WindowsDir() const;

 private:
  std::vector<std::string> folders_;
  std::vector<std::string> files_;
  std::vector<std::string> classes_;
};

bool FileExists(const std::string& path);
// Removes a folder and everything in it, read-only files included.
void RemoveFolderTree(const std::string& dir);
// Waits until the file exists (a started program writes it).
bool WaitFile(const std::string& path, DWORD timeoutMs);
std::string ReadWholeFile(const std::string& path);
bool KeyExists(HKEY root, const std::string& path);
// Whether the profile's Documents holds the mark the prefix setup leaves in
// its throwaway home: only then may a test point the cleanup at the
// profile's folders (a broken guard would empty them).
bool ProfileIsThrowaway();

// Every key and value beneath root\path, flattened to "key\\name=type:data"
// lines, for comparing the registry before and after a run.
std::map<std::string, std::string> Snapshot(HKEY root, const std::string& path);

}  // namespace e2e
