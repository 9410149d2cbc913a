// The prefix's registry as the tests stage and compare it, and the one place
// that writes a class registration ("CLSID\{...}" with its display name,
// "Control" and "InprocServer32").
#pragma once
#include <windows.h>

#include <map>
#include <string>

namespace testbed {

struct ClassInfo {
  std::string clsid;       // "{...}"
  std::string name;        // display name (default value)
  std::string serverPath;  // InprocServer32 default value
  bool control = true;     // has a "Control" subkey
};

enum class ClassView {
  Process,  // HKEY_CLASSES_ROOT as this (32-bit) process sees it
  Native64  // the 64-bit view, where a 64-bit installer writes
};

struct ClassOptions {
  ClassView view = ClassView::Process;
  // The texts stored as their bytes exactly, without a terminating zero
  // added (for walks that must cope with what an installer left).
  bool exactBytes = false;
};

// Writes the registration; false when a key or value cannot be written.
bool WriteClassRegistration(const ClassInfo& info, ClassOptions options = {});
void RemoveClassRegistration(const std::string& clsid, ClassView view = ClassView::Process);
// The "CLSID\{...}" key of a class in the view (relative to the view's root).
std::string ClassKey(const std::string& clsid, ClassView view = ClassView::Process);
HKEY ClassRoot(ClassView view);

// Numbered class IDs from a wsprintf pattern that takes the number up to
// twice, e.g. "{7E57%04X-0000-4000-8000-00000000AB%02X}".
class ClsidSeries {
 public:
  explicit ClsidSeries(const char* pattern) : pattern_(pattern) {}
  std::string operator()(int n) const;

 private:
  const char* pattern_;
};

bool KeyExists(HKEY root, const std::string& path, REGSAM view = 0);
// The default value of a key as text; empty when there is none.
std::string DefaultValue(HKEY root, const std::string& path, REGSAM view = 0);

// Every key and value beneath root\path, flattened to "key\\name=type:data"
// lines, for comparing the registry before and after a run.
std::map<std::string, std::string> Snapshot(HKEY root, const std::string& path);

}  // namespace testbed
