// toggra.conf: what survives a write, which file or variable wins, and where
// each value is said to come from.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "config/Config.h"
#include "settings/Captions.h"
#include "settings/DeviceSettings.h"
#include "support/MemoryRegistry.h"
#include "support/TempDir.h"

namespace toggra::test {
namespace {

using config::CConfFile;

TEST(ConfFileText, WritesBackEverythingItDidNotChange) {
  const std::string text =
      "# the pump room\n[devices]\nentries = hidrelay:*\n\n# names\n[caption]\n"
      "hidrelay:ABCDE:1 = Pumpe # links\nnot an entry\n[later]\nx = 1";
  CConfFile file = CConfFile::Parse(text);
  EXPECT_EQ(file.Text(), text);
  ASSERT_EQ(file.Problems().size(), 1u);
  EXPECT_EQ(file.Problems()[0].line, 8);
  // '#' inside a value belongs to it.
  EXPECT_EQ(file.Get("caption", "hidrelay:ABCDE:1")->value, "Pumpe # links");

  file.Set("caption", "hidrelay:ABCDE:2", "Licht");
  file.Set("devices", "entries", "usbhub:1-1.4:2,3");
  file.Set("mqtt", "url", "mqtt://pi");
  EXPECT_TRUE(file.Remove("later", "x"));
  EXPECT_FALSE(file.Remove("later", "x"));
  EXPECT_EQ(file.Text(),
            "# the pump room\n[devices]\nentries = usbhub:1-1.4:2,3\n\n# names\n[caption]\n"
            "hidrelay:ABCDE:1 = Pumpe # links\nhidrelay:ABCDE:2 = Licht\nnot an entry\n[later]\n"
            "\n[mqtt]\nurl = mqtt://pi\n");
}

TEST(ConfFileText, ReportsEachUnreadableLineWithItsNumber) {
  const CConfFile file = CConfFile::Parse("key = before a section\n[]\n[mqtt\n[mqtt]\n= 3\nurl = a\nurl = b\n");
  std::vector<int> lines;
  for (const auto& p : file.Problems()) lines.push_back(p.line);
  EXPECT_EQ(lines, (std::vector<int>{1, 2, 3, 5}));
  EXPECT_EQ(file.Get("mqtt", "url")->value, "b");  // the later line counts
  EXPECT_EQ(file.Get("mqtt", "url")->line, 7);
}

class Layers : public ::testing::Test {
 protected:
  TempDir dir;
  std::map<std::string, std::string> env{{"TOGGRA_SYSTEM_CONF", dir.File("etc.conf")},
                                         {"XDG_CONFIG_HOME", dir.Path().string()}};
  std::string user = dir.File("toggra/toggra.conf");
  MemoryRegistry hive;
  config::GetEnv getenv = [this](const char* name) -> const char* {
    auto it = env.find(name);
    return it == env.end() ? nullptr : it->second.c_str();
  };
  std::optional<config::ConfValue> Get(const char* section, const char* key) {
    return config::Resolve(*config::FindSetting(section, key), config::LoadConfig(getenv), &hive,
                           getenv);
  }
};

TEST_F(Layers, EnvironmentOverUserOverMachineOverHive) {
  std::filesystem::create_directories(dir.Path() / "toggra");
  TempDir::Write(env["TOGGRA_SYSTEM_CONF"], "[mqtt]\nurl = mqtt://machine\nprefix = site\n"
                                            "[caption]\nbench:0:1 = Pumpe\nbench:0:2 = Tor\n");
  TempDir::Write(user, "[mqtt]\n\nurl = mqtt://user\n[caption]\nbench:0:1 = Heizung\n");
  hive.SetString(RegRoot::CurrentUser, "SOFTWARE\\Arvendal GmbH\\USB\\Toggra", "MQTTCAFile", "/ca");
  hive.SetString(RegRoot::CurrentUser, "SOFTWARE\\Arvendal GmbH\\USB\\Toggra", "MQTTPrefix", "hive");

  EXPECT_EQ(Get("mqtt", "url")->value, "mqtt://user");
  EXPECT_EQ(Get("mqtt", "url")->source, user + ":3");
  EXPECT_EQ(Get("mqtt", "prefix")->source, env["TOGGRA_SYSTEM_CONF"] + ":3");
  EXPECT_EQ(Get("mqtt", "ca-file")->source, "hive value \"MQTTCAFile\"");
  EXPECT_FALSE(Get("mqtt", "key-file"));
  env["TOGGRA_MQTT"] = "mqtt://env";
  EXPECT_EQ(Get("mqtt", "url")->source, "environment TOGGRA_MQTT");

  const auto captions = config::LoadConfig(getenv).Captions();
  ASSERT_EQ(captions.size(), 2u);
  EXPECT_EQ(captions[0].second.value, "Heizung");
  EXPECT_EQ(captions[1].second.value, "Tor");
}

TEST_F(Layers, ReportsUnknownKeysAndCaptionsThatAreNoChannelIds) {
  TempDir::Write(env["TOGGRA_SYSTEM_CONF"], "[mqtt]\nurll = x\n[caption]\n6699 = Pumpe\n[devices]\nentries = bench:x\n");
  const auto problems = config::LoadConfig(getenv).Problems();
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0], env["TOGGRA_SYSTEM_CONF"] + ":2: unknown key \"urll\" in [mqtt]");
  EXPECT_NE(problems[1].find(":4: \"6699\" is no channel id"), std::string::npos);
}

TEST_F(Layers, CaptionWriteKeepsCommentsAndModeAndADevIdStillWins) {
  std::filesystem::create_directories(dir.Path() / "toggra");
  TempDir::Write(user, "# keep me\n[caption]\nbench:0:1 = Alt\n");
  ::chmod(user.c_str(), 0600);
  std::string reason;
  ASSERT_TRUE(config::WriteCaption(user, "bench:0:1", "Pumpe", &reason)) << reason;
  ASSERT_TRUE(config::WriteCaption(user, "bench:0:3", "Tor", &reason)) << reason;
  ASSERT_TRUE(config::WriteCaption(user, "bench:0:3", "", &reason)) << reason;
  EXPECT_FALSE(config::WriteCaption(user, "6699", "x", &reason));
  EXPECT_FALSE(config::WriteCaption(user, "bench:0:1", "two\nlines", &reason));
  EXPECT_EQ(TempDir::Read(user), "# keep me\n[caption]\nbench:0:1 = Pumpe\n");
  struct stat st {};
  ::stat(user.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // The process's own environment: the lookup the window uses.
  ::setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
  DeviceSettingsRoot root;
  CDeviceSettings settings(hive, root, nullptr);
  std::string caption;
  EXPECT_TRUE(ReadCaption(settings, "08-1f-00001a2b-devID", "bench:0:1", &caption));
  EXPECT_EQ(caption, "Pumpe");
  EXPECT_FALSE(ReadCaption(settings, "08-1f-00001a2b-devID", "bench:0:2", &caption));
  hive.SetString(RegRoot::LocalMachine, kDeviceSettingsKey, "08-1f-00001a2b-devID", "Heizung");
  EXPECT_TRUE(ReadCaption(settings, "08-1f-00001a2b-devID", "bench:0:1", &caption));
  EXPECT_EQ(caption, "Heizung");
  ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace toggra::test
