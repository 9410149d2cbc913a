// Stages a sample installation of the product in the test prefix: the
// directory values, class registrations of sample controls, temporary files,
// the uninstall script and the stand-in uninstaller. What a test stages is
// taken away again when the Staging object goes.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "Prefix.h"
#include "Registry.h"

namespace testbed {

// Where the product keeps its directory values (HKEY_USERS), first and
// second place.
constexpr char kPrimaryDirectories[] = ".Default\\Software\\Morvex\\Zentrova\\Directories";
constexpr char kFallbackDirectories[] = ".Default\\Software\\Zentrova\\Zentrova\\Directories";

class Staging {
 public:
  Staging();
  ~Staging();
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;

  // The primary directory values; an empty text leaves that value out.
  void SetDirectories(const std::string& ocx, const std::string& temp, const std::string& root);
  // The control folder made and recorded as the only directory value.
  void SetControlFolderOnly(const std::string& ocx) {
    MakeFolder(ocx);
    SetDirectories(ocx, "", "");
  }
  // A folder, with its parents, removed with everything in it afterwards.
  void MakeFolder(const std::string& dir);
  void WriteFile(const std::string& path, const std::string& content = "x");
  // A copy of a fixture built beside the tests (FIXTURE_DIR), by file name.
  void CopyFixture(const std::string& fixture, const std::string& to);
  void CopyIn(const std::string& from, const std::string& to);
  // A file the program under test will write, removed afterwards.
  void Track(const std::string& path) { files_.push_back(path); }
  // A class registration, in the view given, removed afterwards.
  void Register(const ClassInfo& info, ClassView view = ClassView::Process);
  // A copy of a fixture control at info.serverPath, registered as `info`.
  void InstallControl(const std::string& fixture, const ClassInfo& info, ClassView view = ClassView::Process);
  // The stand-in uninstaller in the Windows directory, and what it recorded.
  void InstallUninstaller();
  std::string UninstallerRecord() const;
  std::string WindowsDir() const { return testbed::WindowsDir(); }

 private:
  std::vector<std::string> folders_;
  std::vector<std::string> files_;
  std::vector<std::pair<std::string, ClassView>> classes_;
};

}  // namespace testbed
