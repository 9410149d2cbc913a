// Repeated walks, lookups and cleanups leave no handle, GDI object or heap
// block behind. Wine counts none of these for a process (GetGuiResources and
// GetProcessHandleCount answer 0), but it hands out the lowest free slot for
// a new handle or GDI object: a leak shows as a fresh handle's slot moving up.
// A search Wine keeps open holds no handle, only heap: it shows in the heaps.
#include <vector>

#include "Sandbox.h"
#include "framework/ModalDialog.h"
#include "removal/ClassRegistrations.h"
#include "sequence/ExternalUninstaller.h"
#include "sequence/InstallDirs.h"
#include "sequence/TempStorage.h"

namespace {
struct Footprint {
  UINT_PTR handleSlot;
  UINT gdiSlot;
  size_t heapBytes;
};

Footprint Measure() {
  Footprint f{};
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  f.handleSlot = reinterpret_cast<UINT_PTR>(event);
  CloseHandle(event);
  HGDIOBJ brush = CreateSolidBrush(RGB(1, 2, 3));
  f.gdiSlot = LOWORD(reinterpret_cast<UINT_PTR>(brush));  // the high word counts reuses
  DeleteObject(brush);
  // Every heap of the process: the C runtime's and the platform's own.
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  for (HANDLE heap : heaps) {
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heap, &entry))
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) f.heapBytes += entry.cbData;
  }
  return f;
}

constexpr int kRounds = 16;
const char kClass[] = "{7E57AA77-2222-4000-8000-0000000000C2}";

TEST(ResourceGrowthTest, RepeatedWalkLookupAndCleanupKeepHandlesGdiObjectsAndHeapLevel) {
  Sandbox box("growth");
  WriteFile(box / "DeIsLog.1");
  ASSERT_TRUE(CreateDirectoryA((box / "temp").c_str(), nullptr));
  const std::string name(200, 'g');  // a leaked copy of it is plain to see
  ASSERT_TRUE(testbed::WriteClassRegistration({kClass, name, box / "growth.ocx"}));

  int listed = 0, found = 0;
  auto round = [&] {
    {
      OwnedList<ControlRecord> records;
      HeldFolder folder;
      CollectProductControls(box.Dir().c_str(), folder, records);
      listed = records.Count();
    }
    InstallDirs dirs;
    ReadInstallDirs(dirs);
    dirs.rootDir = box.Dir().c_str();
    found = FindInstallFile("DeIsLog.*", nullptr, dirs).IsEmpty() ? 0 : 1;
    for (const char* name : {"a.tmp", "b.tmp"}) WriteFile(box / (std::string("temp\\") + name));
    InstallDirs temp;
    temp.tempStorageDir = (box / "temp\\").c_str();
    CleanTempStorage(temp);
    SetDialogColors(RGB(192, 192, 192), RGB(0, 0, 0));
  };
  round();  // first use fills the platform's own caches
  round();
  const Footprint before = Measure();
  // Each round walks every class of the prefix: few rounds, as under
  // emulation that walk is slow, yet enough for a leak to pass the slack.
  for (int i = 0; i < kRounds; ++i) round();
  const Footprint after = Measure();
  testbed::RemoveClassRegistration(kClass);

  EXPECT_EQ(1, listed);
  EXPECT_EQ(1, found);
  EXPECT_FALSE(FileExists(box / "temp\\a.tmp"));
  // A little slack for the platform's own; a leak per round is kRounds or
  // more (a leaked 200-character name alone is over 3000 bytes).
  EXPECT_LE(after.handleSlot, before.handleSlot + 4 * 4) << "kernel handles leak";
  EXPECT_LE(after.gdiSlot, before.gdiSlot + 4u) << "GDI objects leak";
  EXPECT_LE(after.heapBytes, before.heapBytes + 2048) << "heap blocks leak";
}
}  // namespace
