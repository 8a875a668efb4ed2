#include "settings/HiveRegistry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "settings/DeviceSettings.h"
#include "support/FakePrompts.h"
#include "support/TempDir.h"
#include "support/TestDialog.h"

namespace toggra {
namespace {

namespace fs = std::filesystem;
using test::FakePrompts;
using test::TempDir;

constexpr const char* kUsbSection = "[HKEY_CURRENT_USER\\SOFTWARE\\Arvendal GmbH\\USB]";

bool SetDword(IRegistry& reg, RegRoot root, const std::string& path, const std::string& name,
              uint32_t v) {
  std::unique_ptr<IRegKey> key;
  return reg.CreateKey(root, path, RegAccess::AllAccess, &key) == ERROR_SUCCESS &&
         key->SetValue(name, REG_DWORD, &v, 4) == ERROR_SUCCESS;
}

long GetDword(IRegistry& reg, RegRoot root, const std::string& path, const std::string& name,
              uint32_t* v) {
  std::unique_ptr<IRegKey> key;
  long rc = reg.OpenKey(root, path, RegAccess::Read, &key);
  if (rc != ERROR_SUCCESS) return rc;
  uint32_t type = 0, size = 4;
  rc = key->QueryValue(name, &type, v, &size);
  return rc == ERROR_SUCCESS && type != REG_DWORD ? ERROR_INVALID_DATATYPE : rc;
}

class HiveTest : public ::testing::Test {
 protected:
  TempDir dir;
  // A regular file in the way of a folder: no one, not even root, can create
  // a hive below it.
  std::string Unwritable(const std::string& name) {
    TempDir::Write(dir.File("blocker"), "");
    return dir.File("blocker") + "/" + name;
  }
};

// ---- who may open and create what ----

using HiveAccess = HiveTest;

TEST_F(HiveAccess, CreatingAKeyMakesFoldersAndHiveAndTheKeyCanBeOpened) {
  const std::string cu = dir.File("home/.config/toggra/HKEY_CURRENT_USER.reg");
  CHiveRegistry reg(cu, dir.File("lm.reg"));
  std::unique_ptr<IRegKey> key;
  EXPECT_EQ(reg.OpenKey(RegRoot::CurrentUser, "A\\B", RegAccess::Read, &key),
            ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(reg.CreateKey(RegRoot::CurrentUser, "A\\B", RegAccess::AllAccess, &key),
            ERROR_SUCCESS);
  // Written at once, so that another instance finds the key too.
  EXPECT_EQ(TempDir::Read(cu), "REGEDIT4\n\n[HKEY_CURRENT_USER\\A\\B]\n");
  CHiveRegistry other(cu, dir.File("lm.reg"));
  EXPECT_EQ(other.OpenKey(RegRoot::CurrentUser, "a\\b", RegAccess::AllAccess, &key),
            ERROR_SUCCESS);
  ASSERT_EQ(other.OpenKey(RegRoot::CurrentUser, "A", RegAccess::Read, &key), ERROR_SUCCESS);
  const uint32_t one = 1;
  EXPECT_EQ(key->SetValue("v", REG_DWORD, &one, 4), ERROR_ACCESS_DENIED);
  EXPECT_EQ(TempDir::Read(cu), "REGEDIT4\n\n[HKEY_CURRENT_USER\\A\\B]\n");
  EXPECT_FALSE(fs::exists(dir.File("lm.reg")));
}

TEST_F(HiveAccess, HiveThatCannotBeWrittenDeniesAllAccess) {
  fs::create_directories(dir.File("adir"));
  for (const std::string& lm : {Unwritable("HKEY_LOCAL_MACHINE.reg"), dir.File("adir")}) {
    CHiveRegistry reg(dir.File("cu.reg"), lm);
    std::unique_ptr<IRegKey> key;
    EXPECT_EQ(reg.CreateKey(RegRoot::LocalMachine, "SOFTWARE", RegAccess::AllAccess, &key),
              ERROR_ACCESS_DENIED)
        << lm;
    EXPECT_FALSE(SetDword(reg, RegRoot::LocalMachine, "SOFTWARE", "v", 1)) << lm;
  }
  // A missing hive reads as empty; creating a key needs writing, even for reading.
  CHiveRegistry reg(dir.File("cu.reg"), Unwritable("HKEY_LOCAL_MACHINE.reg"));
  std::unique_ptr<IRegKey> key;
  EXPECT_EQ(reg.OpenKey(RegRoot::LocalMachine, "SOFTWARE", RegAccess::Read, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(reg.CreateKey(RegRoot::LocalMachine, "SOFTWARE", RegAccess::Read, &key),
            ERROR_ACCESS_DENIED);
  EXPECT_TRUE(fs::is_directory(dir.File("adir")));
  EXPECT_FALSE(fs::exists(dir.File("cu.reg")));
}

// ---- the per-device store on real hives ----

class HiveRootFallback : public HiveTest {
 protected:
  DeviceSettingsRoot root;
  FakePrompts prompts;
};

TEST_F(HiveRootFallback, WritableMachineHiveTakesTheEntries) {
  CHiveRegistry reg(dir.File("cu.reg"), dir.File("etc/toggra/lm.reg"));
  CDeviceSettings s(reg, root, &prompts);
  ASSERT_TRUE(s.WriteDword(CDeviceSettings::ValueName(8, 0x1F, 0x1A2B, "SwitchTimer"), 60));
  EXPECT_EQ(root.root, RegRoot::LocalMachine);
  EXPECT_EQ(TempDir::Read(dir.File("etc/toggra/lm.reg")),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Arvendal GmbH\\USB]\n"
            "\"08-1f-00001a2b-SwitchTimer\"=dword:0000003c\n");
  EXPECT_FALSE(fs::exists(dir.File("cu.reg")));
}

TEST_F(HiveRootFallback, UnwritableMachineHiveSendsEverythingToTheUserHive) {
  const std::string cu = dir.File("cu.reg");
  TempDir::Write(cu, std::string("REGEDIT4\n\n") + kUsbSection +
                         "\n\"28-1f-00001a2b-devID\"=\"Pumpe \\\"links\\\"\"\n");
  CHiveRegistry reg(cu, Unwritable("lm.reg"));
  CDeviceSettings s(reg, root, &prompts);
  EXPECT_EQ(root.root, RegRoot::CurrentUser);
  std::string caption;
  ASSERT_TRUE(s.ReadString(CDeviceSettings::ValueName(0x28, 0x1F, 0x1A2B, "devID"), &caption));
  EXPECT_EQ(caption, "Pumpe \"links\"");
  ASSERT_TRUE(s.WriteString(CDeviceSettings::ValueName(0x28, 0x1F, 0x1A2B, "SwitchCandidate"),
                            "Anna"));
  EXPECT_EQ(TempDir::Read(cu), std::string("REGEDIT4\n\n") + kUsbSection +
                                   "\n\"28-1f-00001a2b-devID\"=\"Pumpe \\\"links\\\"\"\n"
                                   "\"28-1f-00001a2b-SwitchCandidate\"=\"Anna\"\n");
  EXPECT_TRUE(prompts.boxes.empty());
}

TEST_F(HiveRootFallback, NeitherHiveWritableShowsOpenErrorWithBothFilesAndWhy) {
  const std::string cu = Unwritable("cu.reg"), lm = Unwritable("lm.reg");
  CHiveRegistry reg(cu, lm);
  CDeviceSettings s(reg, root, &prompts);
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_EQ(prompts.boxes[0].text,
            "Registry open error\n" + lm + ": Not a directory\n" + cu + ": Not a directory");
  EXPECT_FALSE(s.WriteDword("00-00-00000000-DisplaySwitchStartError", 0));
  ASSERT_EQ(prompts.boxes.size(), 2u);
  EXPECT_EQ(prompts.boxes[1].text,
            "Die Einstellung \"DisplaySwitchStartError\" konnte nicht gespeichert werden.\n" + cu +
                ": Not a directory");
}

// ---- type and size rules on hand-written hives ----

class HiveTypeRules : public HiveTest {
 protected:
  test::TestDialog t;
  std::unique_ptr<CHiveRegistry> hive;

  CToggraDlg& DialogOn(const std::string& cuText) {
    TempDir::Write(dir.File("cu.reg"), cuText);
    hive = std::make_unique<CHiveRegistry>(dir.File("cu.reg"), dir.File("lm.reg"));
    t.Dialog().m_services.registry = hive.get();
    return t.Dialog();
  }
};

TEST_F(HiveTypeRules, OneLineStoredAsTextReadsAsZero) {
  CToggraDlg& dlg = DialogOn(
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Arvendal GmbH\\USB\\Toggra]\n"
      "\"OneLine\"=\"1\"\n\"Arrow\"=dword:00000001\n");
  int v = 0;
  EXPECT_FALSE(dlg.ReadOption("OneLine", &v));
  EXPECT_EQ(v, 0);
  EXPECT_TRUE(dlg.ReadOption("Arrow", &v));
  EXPECT_EQ(v, 1);
}

TEST_F(HiveTypeRules, ProtocolThatDoesNotFitReadsAsNotSet) {
  const std::string head = "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Arvendal GmbH\\USB\\Toggra]\n";
  CToggraDlg& dlg = DialogOn(head + "\"Protocol\"=\"" + std::string(4095, 'p') + "\"\n");
  std::string path = "vorher";
  EXPECT_FALSE(dlg.ReadProtocolOption(&path));
  EXPECT_EQ(path, "vorher");
  dlg.WriteOption("Protocol", 1);  // the right name with the wrong type
  EXPECT_FALSE(dlg.ReadProtocolOption(&path));
  EXPECT_EQ(path, "vorher");

  dlg.WriteProtocolOption(std::string(4094, 'q'));
  EXPECT_TRUE(dlg.ReadProtocolOption(&path));
  EXPECT_EQ(path, std::string(4094, 'q'));
}

TEST_F(HiveTypeRules, FailedOptionWritesAreSilent) {
  test::TestDialog t2;
  CHiveRegistry blocked(Unwritable("cu.reg"), dir.File("lm.reg"));
  t2.Dialog().m_services.registry = &blocked;
  t2.Dialog().WriteOption("OnTray", 1);
  t2.Dialog().WriteProtocolOption("x");
  int v = 0;
  EXPECT_FALSE(t2.Dialog().ReadOption("OnTray", &v));
  EXPECT_TRUE(t2.prompts.shown.empty());
}

// ---- several instances share one hive ----

using HiveSharing = HiveTest;

TEST_F(HiveSharing, TwoProcessesWritingAtOnceLoseNothing) {
  const std::string cu = dir.File("cu.reg");
  TempDir::Write(cu, "REGEDIT4\n; von Hand\nkaputt\n");
  constexpr int kPerProcess = 40;
  int gate[2];
  ASSERT_EQ(pipe(gate), 0);
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      close(gate[1]);
      char byte;
      while (read(gate[0], &byte, 1) > 0) {
      }
      CHiveRegistry reg(cu, dir.File("lm.reg"));
      bool ok = true;
      for (int i = 0; i < kPerProcess; ++i) {
        ok = SetDword(reg, RegRoot::CurrentUser, "Shared",
                      "p" + std::to_string(c) + "-" + std::to_string(i), c * 1000 + i) && ok;
      }
      _exit(ok ? 0 : 1);
    }
  }
  close(gate[0]);
  close(gate[1]);  // both start together
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  CHiveRegistry reg(cu, dir.File("lm.reg"));
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < kPerProcess; ++i) {
      uint32_t v = 0;
      const std::string name = "p" + std::to_string(c) + "-" + std::to_string(i);
      ASSERT_EQ(GetDword(reg, RegRoot::CurrentUser, "Shared", name, &v), ERROR_SUCCESS) << name;
      EXPECT_EQ(v, static_cast<uint32_t>(c * 1000 + i));
    }
  }
  const std::string text = TempDir::Read(cu);
  EXPECT_EQ(text.rfind("REGEDIT4\n; von Hand\nkaputt\n", 0), 0u);
  // Nothing but the hive and its lock file is left behind.
  int entries = 0;
  for (const auto& e : fs::directory_iterator(dir.Path())) {
    ++entries;
    EXPECT_TRUE(e.path().filename() == "cu.reg" || e.path().filename() == "cu.reg.lock")
        << e.path();
  }
  EXPECT_EQ(entries, 2);
}

TEST_F(HiveSharing, OpenKeySeesValuesChangedByAnotherWriter) {
  const std::string cu = dir.File("cu.reg");
  CHiveRegistry reg(cu, dir.File("lm.reg"));
  ASSERT_TRUE(SetDword(reg, RegRoot::CurrentUser, "K", "v", 1));
  std::unique_ptr<IRegKey> key;
  ASSERT_EQ(reg.OpenKey(RegRoot::CurrentUser, "K", RegAccess::Read, &key), ERROR_SUCCESS);
  uint32_t v = 0, type = 0, size = 4;
  ASSERT_EQ(key->QueryValue("v", &type, &v, &size), ERROR_SUCCESS);
  EXPECT_EQ(v, 1u);

  TempDir::Write(cu, "REGEDIT4\n\n[HKEY_CURRENT_USER\\K]\n\"v\"=dword:00000002\n\"w\"=hex:00\n");
  size = 4;
  ASSERT_EQ(key->QueryValue("v", &type, &v, &size), ERROR_SUCCESS);
  EXPECT_EQ(v, 2u);

}

TEST_F(HiveSharing, HiveKeptAsSymbolicLinkStaysOne) {
  fs::create_directories(dir.File("dotfiles"));
  TempDir::Write(dir.File("dotfiles/cu.reg"), "REGEDIT4\n");
  fs::create_symlink(dir.File("dotfiles/cu.reg"), dir.File("cu.reg"));
  CHiveRegistry reg(dir.File("cu.reg"), dir.File("lm.reg"));
  ASSERT_TRUE(SetDword(reg, RegRoot::CurrentUser, "K", "v", 5));
  EXPECT_TRUE(fs::is_symlink(dir.File("cu.reg")));
  EXPECT_NE(TempDir::Read(dir.File("dotfiles/cu.reg")).find("\"v\"=dword:00000005"),
            std::string::npos);
}

TEST_F(HiveSharing, UnreadableLineIsWarnedAboutOnceWithFileAndLine) {
  const std::string cu = dir.File("cu.reg");
  TempDir::Write(cu, "REGEDIT4\n\n[HKEY_CURRENT_USER\\K]\n\"v\"=dword:xyz\n");
  CHiveRegistry reg(cu, dir.File("lm.reg"));
  ::testing::internal::CaptureStderr();
  uint32_t v = 0;
  EXPECT_EQ(GetDword(reg, RegRoot::CurrentUser, "K", "v", &v), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(SetDword(reg, RegRoot::CurrentUser, "K", "w", 1));
  EXPECT_EQ(GetDword(reg, RegRoot::CurrentUser, "K", "w", &v), ERROR_SUCCESS);
  const std::string err = ::testing::internal::GetCapturedStderr();
  const std::string where = cu + ":4:";
  ASSERT_NE(err.find(where), std::string::npos) << err;
  EXPECT_EQ(err.find(where, err.find(where) + 1), std::string::npos) << err;
  EXPECT_NE(TempDir::Read(cu).find("\"v\"=dword:xyz\n"), std::string::npos);
}

// ---- where the hives are ----

class HivePaths : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* n : {"TOGGRA_HKCU", "TOGGRA_HKLM", "XDG_CONFIG_HOME", "HOME"}) {
      if (const char* v = std::getenv(n)) m_saved.emplace_back(n, v);
      unsetenv(n);
    }
  }
  void TearDown() override {
    for (const auto& [n, v] : m_saved) setenv(n, v.c_str(), 1);
  }
  static std::string User() { return CHiveRegistry::FromEnvironment().HivePath(RegRoot::CurrentUser); }

 private:
  std::vector<std::pair<const char*, std::string>> m_saved;
};

TEST_F(HivePaths, VariablesThenConfigFolderThenHome) {
  setenv("HOME", "/home/anna", 1);
  EXPECT_EQ(User(), "/home/anna/.config/toggra/HKEY_CURRENT_USER.reg");
  EXPECT_EQ(CHiveRegistry::FromEnvironment().HivePath(RegRoot::LocalMachine),
            "/etc/toggra/HKEY_LOCAL_MACHINE.reg");
  setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  EXPECT_EQ(User(), "/home/anna/.config/toggra/HKEY_CURRENT_USER.reg");
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(User(), "/cfg/toggra/HKEY_CURRENT_USER.reg");
  setenv("TOGGRA_HKCU", "/x/user.reg", 1);
  setenv("TOGGRA_HKLM", "/x/machine.reg", 1);
  EXPECT_EQ(User(), "/x/user.reg");
  EXPECT_EQ(CHiveRegistry::FromEnvironment().HivePath(RegRoot::LocalMachine), "/x/machine.reg");
}

}  // namespace
}  // namespace toggra
