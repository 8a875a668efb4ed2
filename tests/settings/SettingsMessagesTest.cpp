// What the settings messages tell the user: the file and the system's reason
// below the text, and one message for one failed save.
#include <gtest/gtest.h>

#include "settings/DeviceSettings.h"
#include "settings/HiveRegistry.h"
#include "support/TempDir.h"
#include "support/TestDialog.h"

namespace toggra::test {
namespace {

TEST(SettingsMessages, OneFailedSaveOfTheDurationsShowsOneMessageNamingTheFiles) {
  TempDir dir;
  TempDir::Write(dir.File("blocker"), "");
  const std::string cu = dir.File("blocker") + "/cu.reg", lm = dir.File("blocker") + "/lm.reg";
  CHiveRegistry hives(cu, lm);
  TestDialog t;
  CToggraDlg& d = t.Dialog();
  d.m_services.registry = &hives;
  t.AddColumn(0, 16);
  t.prompts.onTimerDlg = [](CToggraTimerDlg& dlg) {
    dlg.m_seconds = 5, dlg.m_candidateName = "Anna";
    return IDOK;
  };
  d.EditDurations(0);
  ASSERT_EQ(t.prompts.boxes.size(), 1u);
  EXPECT_EQ(t.prompts.boxes[0].text,
            "Registry open error\n" + lm + ": Not a directory\n" + cu + ": Not a directory");
  // The program goes on with what was entered.
  EXPECT_EQ(d.m_records[0].m_timer, 5);
}

TEST(SettingsMessages, OncePerSaveNamesTheFirstValueThatFailed) {
  MemoryRegistry registry;
  DeviceSettingsRoot root;
  FakePrompts prompts;
  CDeviceSettings save(registry, root, &prompts, SaveReport::OncePerSave);
  registry.localMachineWritable = false;
  EXPECT_FALSE(save.WriteString("08-1f-00001a2b-SwitchCandidate", "Anna"));
  EXPECT_FALSE(save.WriteDword("08-1f-00001a2b-SwitchTimer", 5));
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_EQ(prompts.boxes[0].text,
            "Die Einstellung \"SwitchCandidate\" konnte nicht gespeichert werden.");
  // Each value of a store for single writes is still told.
  CDeviceSettings single(registry, root, &prompts);
  registry.currentUserWritable = false;
  EXPECT_FALSE(single.WriteDword("08-1f-00001a2b-SwitchTimer", 5));
  EXPECT_FALSE(single.WriteDword("08-1f-00001a2b-SwitchTimer2", 5));
  EXPECT_EQ(prompts.boxes.size(), 3u);
}

}  // namespace
}  // namespace toggra::test
