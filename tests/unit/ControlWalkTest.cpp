// The walk that lists the product's controls, at the limits of what it
// reads (display name 261 characters, server path 519), and the framework's
// owned list it fills.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Registry.h"
#include "framework/OwnedList.h"
#include "removal/ClassRegistrations.h"

namespace {
const char kDir[] = "C:\\ZLIMIT\\";

const testbed::ClsidSeries Clsid("{7E57%04X-1111-4000-8000-0000000000C1}");

// A class marked as a control; its texts stored as `nameBytes` and
// `pathBytes` exactly (a zero byte only if the caller put one in).
void RegisterRaw(int n, const std::string& nameBytes, const std::string& pathBytes) {
  testbed::ClassOptions exact;
  exact.exactBytes = true;
  ASSERT_TRUE(testbed::WriteClassRegistration({Clsid(n), nameBytes, pathBytes}, exact)) << Clsid(n);
}
void Register(int n, const std::string& name, const std::string& path) {
  ASSERT_TRUE(testbed::WriteClassRegistration({Clsid(n), name, path})) << Clsid(n);
}

// A name of `length` characters that says which class it belongs to.
std::string Name(int n, size_t length) {
  std::string name = "Limit " + std::to_string(n) + " ";
  name.resize(length, 'n');
  return name;
}
// A server path of `length` characters directly in kDir.
std::string Path(size_t length) {
  std::string path = kDir;
  path.resize(length - 4, 'p');
  return path + ".ocx";
}

std::vector<std::pair<std::string, std::string>> Walk() {
  OwnedList<ControlRecord> records;
  HeldFolder folder;
  EXPECT_EQ(ControlWalk::kWalked, CollectProductControls(kDir, folder, records));
  std::vector<std::pair<std::string, std::string>> found;
  for (int i = 0; i < records.Count(); ++i)
    found.emplace_back(records[i]->description, records[i]->serverPath);
  return found;
}

class ControlWalkTest : public ::testing::Test {
 protected:
  void SetUp() override { TearDown(); }
  void TearDown() override {
    for (int n = 1; n <= 8; ++n) testbed::RemoveClassRegistration(Clsid(n));
  }
};

TEST_F(ControlWalkTest, TextsAtTheirLimitsAreListedWholeAndOneByteMoreOrNoZeroByteIsSkipped) {
  const std::string shortPath = Path(20);
  Register(1, Name(1, 261), shortPath);  // longest name
  Register(2, Name(2, 262), shortPath);  // one byte too many
  Register(3, Name(3, 20), Path(519));   // longest path
  Register(4, Name(4, 20), Path(520));   // one byte too many
  Register(5, Name(5, 20), Path(300));   // a long path, well within the limit
  // Texts that fill the whole buffer without a zero byte: the system hands
  // them over as they are, and only the walk's own check refuses them.
  RegisterRaw(6, Name(6, 262), shortPath + '\0');
  RegisterRaw(7, Name(7, 20) + '\0', Path(520));
  Register(8, Name(8, 20), shortPath);   // an ordinary one after all of them

  const auto found = Walk();
  const std::vector<std::pair<std::string, std::string>> expected{
      {Name(1, 261), shortPath}, {Name(3, 20), Path(519)}, {Name(5, 20), Path(300)},
      {Name(8, 20), shortPath}};
  ASSERT_EQ(expected.size(), found.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].first, found[i].first) << "line " << i;
    EXPECT_EQ(expected[i].second, found[i].second) << "line " << i;
  }
}

// Records that say when they go.
struct Tracked {
  explicit Tracked(int id, std::vector<int>& gone) : id(id), gone(gone) {}
  ~Tracked() { gone.push_back(id); }
  int id;
  std::vector<int>& gone;
};

std::vector<int> Ids(const OwnedList<Tracked>& list) {
  std::vector<int> ids;
  for (int i = 0; i < list.Count(); ++i) ids.push_back(list[i]->id);
  return ids;
}

TEST(OwnedListTest, RemoveAtFirstMiddleAndLastDestroysOnlyThatEntryAndMovesNoMore) {
  for (int at : {0, 2, 4}) {
    std::vector<int> gone;
    OwnedList<Tracked> list;
    for (int id = 1; id <= 5; ++id) list.Add(new Tracked(id, gone));
    const Tracked* const last = list[4];

    list.RemoveAt(at);
    std::vector<int> expected{1, 2, 3, 4, 5};
    expected.erase(expected.begin() + at);
    EXPECT_EQ(expected, Ids(list)) << "removing at " << at;
    EXPECT_EQ((std::vector<int>{at + 1}), gone) << "removing at " << at;
    // The slot just past the end is the sentinel: moving the later entries
    // up leaves the old last entry's pointer there; moving one slot too many
    // reads beyond the list and brings in whatever lay there.
    EXPECT_EQ(last, list[list.Count()]) << "removing at " << at << " moved one slot too many";

    list.Clear();
    EXPECT_EQ(5u, gone.size());
    EXPECT_EQ(0, list.Count());
  }
}
}  // namespace
