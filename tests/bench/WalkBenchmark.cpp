// How long the walk over the class registrations takes, against a bare
// enumeration of the same "CLSID" key. Fills the registry of its (throwaway)
// prefix with ordinary in-process servers and the product's controls first.
//   walk_benchmark [classes] [controls]     defaults: 50000 200
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "framework/Handles.h"
#include "BenchClock.h"
#include "Registry.h"
#include "removal/ClassRegistrations.h"

namespace {
const char kStorage[] = "C:\\BenchOcx\\";

void Populate(int classes, int controls) {
  int step = classes / (controls ? controls : 1);
  for (int i = 0; i < classes; ++i) {
    char name[64], path[128];
    wsprintfA(name, "{BE4C%04X-%04X-4000-8000-000000000000}", i >> 16, i & 0xFFFF);
    bool control = controls && i % step == 0 && i / step < controls;
    if (control) wsprintfA(path, "%sctl%05d.ocx", kStorage, i);
    else wsprintfA(path, "C:\\windows\\system32\\server%05d.dll", i);
    testbed::WriteClassRegistration({name, control ? "Bench Control" : "Bench Server", path, control});
  }
}

int BareEnumeration() {
  UniqueRegKey classes;
  RegOpenKeyA(HKEY_CLASSES_ROOT, "CLSID", classes.Put());
  char name[261];
  int count = 0;
  while (RegEnumKeyA(classes.Get(), count, name, sizeof name) == ERROR_SUCCESS) ++count;
  return count;
}

// The reads in their plain order: display name, class key, "Control", path.
void LiteralWalk(const Text& storageDir, std::vector<std::string>& out) {
  UniqueRegKey classes;
  RegOpenKeyA(HKEY_CLASSES_ROOT, "CLSID", classes.Put());
  char name[261];
  for (DWORD i = 0; RegEnumKeyA(classes.Get(), i, name, sizeof name) == ERROR_SUCCESS; ++i) {
    char description[262], path[520];
    LONG size = sizeof description;
    if (RegQueryValueA(classes.Get(), name, description, &size) != ERROR_SUCCESS) continue;
    UniqueRegKey cls, control;
    if (RegOpenKeyA(classes.Get(), name, cls.Put()) != ERROR_SUCCESS) continue;
    if (RegOpenKeyA(cls.Get(), "Control", control.Put()) != ERROR_SUCCESS) continue;
    size = sizeof path;
    if (RegQueryValueA(cls.Get(), "InprocServer32", path, &size) != ERROR_SUCCESS) continue;
    if (!IsPathInDir(storageDir, path)) continue;
    OFSTRUCT info;
    out.push_back(std::string(description) + "|" + path + "|" + (OpenFile(path, &info, OF_EXIST) != HFILE_ERROR ? "1" : "0"));
  }
}

}  // namespace

int main(int argc, char** argv) {
  int classes = bench::Arg(argc, argv, 1, 50000);
  int controls = bench::Arg(argc, argv, 2, 200);
  printf("populating %d classes (%d of them the product's controls)...\n", classes, controls);
  fflush(stdout);
  double start = bench::Now();
  Populate(classes, controls);
  printf("populated in %.1f s\n", bench::Now() - start);

  Text storage(kStorage);
  int enumerated = 0;
  double bare = bench::Best([&] { enumerated = BareEnumeration(); });
  OwnedList<ControlRecord> records;
  double walk = bench::Best([&] {
    records.Clear();
    HeldFolder folder;
    CollectProductControls(storage, folder, records);
  });
  std::vector<std::string> literal;
  double literalTime = bench::Best([&] {
    literal.clear();
    LiteralWalk(storage, literal);
  });

  std::vector<std::string> walked;
  for (int i = 0; i < records.Count(); ++i)
    walked.push_back(std::string(records[i]->description) + "|" + records[i]->serverPath + "|" +
                     (records[i]->fileExists ? "1" : "0"));
  printf("classes enumerated:            %d\n", enumerated);
  printf("bare enumeration (RegEnumKeyA): %.3f s\n", bare);
  printf("control walk:                   %.3f s  (%d controls)\n", walk, records.Count());
  printf("walk in plain read order:       %.3f s\n", literalTime);
  printf("ratio walk / bare:              %.2f (target: at most 2.5)\n", walk / bare);
  printf("ratio plain order / bare:       %.2f\n", literalTime / bare);
  printf("same outcome as the plain order: %s\n", walked == literal ? "yes" : "NO");
  return walked == literal ? 0 : 1;
}
