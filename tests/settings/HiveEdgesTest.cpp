// Hive files as people leave them and where they put them: hand-written
// oddities that must survive the program's writes, folders with spaces and
// umlauts, and a hive path that is a FIFO.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "settings/HiveFile.h"
#include "settings/HiveRegistry.h"
#include "settings/Registry.h"
#include "support/FinishesWithin.h"
#include "support/TempDir.h"

namespace toggra {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::FinishesWithin;
using test::TempDir;

constexpr const char* kUsb = "HKEY_CURRENT_USER\\SOFTWARE\\Arvendal GmbH\\USB";
constexpr const char* kOptions = "HKEY_CURRENT_USER\\SOFTWARE\\Arvendal GmbH\\USB\\Toggra";

HiveValue Dword(uint32_t v) {
  return {REG_DWORD, {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                      static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)}};
}

// ---- a hand-written file, then the program's first option written to it ----

struct HandWritten {
  const char* label;
  std::string text;
};

class HandWrittenHive : public ::testing::TestWithParam<HandWritten> {};

TEST_P(HandWrittenHive, KeepsWhatItSaidAndTakesTheNewKey) {
  const std::string& text = GetParam().text;
  std::vector<HiveProblem> before;
  HiveDocument doc = HiveDocument::Parse(text, &before);
  ASSERT_NE(doc.Find(kUsb, "28-1f-00001a2b-SwitchTimer"), nullptr);

  doc.Set(kOptions, "OneLine", Dword(1));
  std::vector<HiveProblem> after;
  const HiveDocument reread = HiveDocument::Parse(doc.Serialize(), &after);
  EXPECT_EQ(after.size(), before.size());
  const HiveValue* timer = reread.Find(kUsb, "28-1f-00001a2b-SwitchTimer");
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(*timer, Dword(60));
  const HiveValue* option = reread.Find(kOptions, "OneLine");
  ASSERT_NE(option, nullptr);
  EXPECT_EQ(*option, Dword(1));
}

INSTANTIATE_TEST_SUITE_P(
    Files, HandWrittenHive,
    ::testing::Values(
        // An editor's byte-order mark, and no header line.
        HandWritten{"MarkWithoutHeader",
                    "\xEF\xBB\xBF[HKEY_CURRENT_USER\\SOFTWARE\\Arvendal GmbH\\USB]\n"
                    "\"28-1f-00001a2b-SwitchTimer\"=dword:0000003c\n"},
        // A hex list whose last line was deleted, its continuation mark left.
        HandWritten{"HexListLeftOpen",
                    "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Arvendal GmbH\\USB]\n"
                    "\"00-00-00000000-AVdebugOptions\"=hex:01,00,\\\n"
                    "\"28-1f-00001a2b-SwitchTimer\"=dword:0000003c\n"}),
    [](const ::testing::TestParamInfo<HandWritten>& info) { return std::string(info.param.label); });

// ---- hive files on disk ----

class HiveFilesOnDisk : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(HiveFilesOnDisk, FoldersWithSpacesAndUmlautsHoldBothHives) {
  const std::string cu = dir.File("Eigene Dateien/Einstellungen für Toggra/HKEY_CURRENT_USER.reg");
  const std::string lm = dir.File("Maschine Größe/HKEY_LOCAL_MACHINE.reg");
  {
    CHiveRegistry reg(cu, lm);
    for (RegRoot root : {RegRoot::CurrentUser, RegRoot::LocalMachine}) {
      std::unique_ptr<IRegKey> key;
      ASSERT_EQ(reg.CreateKey(root, "SOFTWARE\\Arvendal GmbH\\USB", RegAccess::AllAccess, &key),
                ERROR_SUCCESS);
      const uint32_t sixty = 60;
      ASSERT_EQ(key->SetValue("28-1f-00001a2b-SwitchTimer", REG_DWORD, &sixty, 4), ERROR_SUCCESS);
    }
  }
  EXPECT_TRUE(fs::is_regular_file(cu));
  EXPECT_TRUE(fs::is_regular_file(lm));
  CHiveRegistry other(cu, lm);
  for (RegRoot root : {RegRoot::CurrentUser, RegRoot::LocalMachine}) {
    std::unique_ptr<IRegKey> key;
    ASSERT_EQ(other.OpenKey(root, "SOFTWARE\\Arvendal GmbH\\USB", RegAccess::Read, &key),
              ERROR_SUCCESS);
    uint32_t type = 0, value = 0, size = 4;
    ASSERT_EQ(key->QueryValue("28-1f-00001a2b-SwitchTimer", &type, &value, &size), ERROR_SUCCESS);
    EXPECT_EQ(value, 60u);
  }
}

TEST_F(HiveFilesOnDisk, FifoInPlaceOfTheHiveIsRefusedWithoutBlocking) {
  const std::string cu = dir.File("HKEY_CURRENT_USER.reg");
  ASSERT_EQ(::mkfifo(cu.c_str(), 0600), 0);
  CHiveRegistry reg(cu, dir.File("lm.reg"));
  std::unique_ptr<IRegKey> key;
  ASSERT_TRUE(FinishesWithin(5s, [&] {
    reg.OpenKey(RegRoot::CurrentUser, "SOFTWARE", RegAccess::Read, &key);
  })) << "opening a key blocked on the FIFO";
  EXPECT_NE(reg.OpenKey(RegRoot::CurrentUser, "SOFTWARE", RegAccess::Read, &key), ERROR_SUCCESS);
  EXPECT_NE(reg.CreateKey(RegRoot::CurrentUser, "SOFTWARE", RegAccess::AllAccess, &key),
            ERROR_SUCCESS);
  EXPECT_FALSE(fs::is_regular_file(cu));
}

}  // namespace
}  // namespace toggra
