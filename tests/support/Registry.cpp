#include "Registry.h"

#include <vector>

namespace testbed {
namespace {
const char kClasses64[] = "Software\\Classes\\";

REGSAM ViewFlag(ClassView view) { return view == ClassView::Native64 ? KEY_WOW64_64KEY : 0; }

bool SetDefault(ClassView view, const std::string& key, const std::string& value, bool exactBytes) {
  HKEY h;
  if (RegCreateKeyExA(ClassRoot(view), key.c_str(), 0, nullptr, 0, KEY_WRITE | ViewFlag(view), nullptr, &h,
                      nullptr) != ERROR_SUCCESS)
    return false;
  // The system counts a zero byte right after a text's bytes as part of it:
  // exact bytes are handed over with another byte after them.
  const std::string bytes = exactBytes ? value + 'x' : value;
  const DWORD size = static_cast<DWORD>(value.size() + (exactBytes ? 0 : 1));
  const LSTATUS status = RegSetValueExA(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.c_str()), size);
  RegCloseKey(h);
  return status == ERROR_SUCCESS;
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

HKEY ClassRoot(ClassView view) { return view == ClassView::Native64 ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT; }

std::string ClassKey(const std::string& clsid, ClassView view) {
  return std::string(view == ClassView::Native64 ? kClasses64 : "") + "CLSID\\" + clsid;
}

bool WriteClassRegistration(const ClassInfo& info, ClassOptions options) {
  const std::string key = ClassKey(info.clsid, options.view);
  return SetDefault(options.view, key, info.name, options.exactBytes) &&
         (!info.control || SetDefault(options.view, key + "\\Control", "", false)) &&
         SetDefault(options.view, key + "\\InprocServer32", info.serverPath, options.exactBytes);
}

void RemoveClassRegistration(const std::string& clsid, ClassView view) {
  HKEY classes;
  if (RegOpenKeyExA(ClassRoot(view), ClassKey("", view).c_str(), 0, KEY_ALL_ACCESS | ViewFlag(view), &classes) !=
      ERROR_SUCCESS)
    return;
  RegDeleteTreeA(classes, clsid.c_str());
  RegCloseKey(classes);
}

std::string ClsidSeries::operator()(int n) const {
  char id[64];
  wsprintfA(id, pattern_, n, n);
  return id;
}

bool KeyExists(HKEY root, const std::string& path, REGSAM view) {
  HKEY h;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

std::string DefaultValue(HKEY root, const std::string& path, REGSAM view) {
  char value[MAX_PATH] = "";
  DWORD size = sizeof value;
  const DWORD flags = RRF_RT_REG_SZ | (view == KEY_WOW64_64KEY ? RRF_SUBKEY_WOW6464KEY : 0);
  RegGetValueA(root, path.c_str(), nullptr, flags, nullptr, value, &size);
  return value;
}

std::map<std::string, std::string> Snapshot(HKEY root, const std::string& path) {
  std::map<std::string, std::string> out;
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return out;
  Flatten(key, path, out);
  RegCloseKey(key);
  return out;
}

}  // namespace testbed
