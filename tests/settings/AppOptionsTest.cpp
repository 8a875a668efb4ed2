#include <gtest/gtest.h>

#include <cstring>

#include "support/TestDialog.h"

namespace toggra {
namespace {

constexpr const char* kKey = "SOFTWARE\\Arvendal GmbH\\USB\\Toggra";

class ApplicationOptions : public ::testing::Test {
 protected:
  test::TestDialog t;
  CToggraDlg& dlg = t.Dialog();
};

TEST_F(ApplicationOptions, WrittenAsTypedValuesUnderTheUserKeyAndReadBack) {
  dlg.WriteOption("OneLine", 1);
  dlg.WriteOption("OnTray", 0);
  dlg.WriteProtocolOption("/home/anna/lauf.txt");

  const auto* oneLine = t.registry.Find(RegRoot::CurrentUser, kKey, "OneLine");
  ASSERT_NE(oneLine, nullptr);
  EXPECT_EQ(oneLine->type, REG_DWORD);
  EXPECT_EQ(oneLine->data, (std::vector<unsigned char>{1, 0, 0, 0}));
  const auto* protocol = t.registry.Find(RegRoot::CurrentUser, kKey, "Protocol");
  ASSERT_NE(protocol, nullptr);
  EXPECT_EQ(protocol->type, REG_SZ);
  EXPECT_EQ(protocol->data.size(), std::strlen("/home/anna/lauf.txt") + 1);

  int v = -1;
  ASSERT_TRUE(dlg.ReadOption("OneLine", &v));
  EXPECT_EQ(v, 1);
  ASSERT_TRUE(dlg.ReadOption("OnTray", &v));
  EXPECT_EQ(v, 0);
  std::string path;
  ASSERT_TRUE(dlg.ReadProtocolOption(&path));
  EXPECT_EQ(path, "/home/anna/lauf.txt");
  for (const auto& [name, key] : t.registry.keys) EXPECT_EQ(name.rfind("HKCU\\", 0), 0u) << name;
}

TEST_F(ApplicationOptions, MissingKeyOrValueIsNotSet) {
  int v = 5;
  EXPECT_FALSE(dlg.ReadOption("Arrow", &v));
  dlg.WriteOption("OneLine", 1);
  EXPECT_FALSE(dlg.ReadOption("Arrow", &v));
  std::string path = "keep";
  EXPECT_FALSE(dlg.ReadProtocolOption(&path));
  EXPECT_EQ(path, "keep");
}

TEST_F(ApplicationOptions, OneLineStoredAsTextReadsAsNotSet) {
  t.registry.SetString(RegRoot::CurrentUser, kKey, "OneLine", "1");
  int v = 0;
  EXPECT_FALSE(dlg.ReadOption("OneLine", &v));
  EXPECT_EQ(v, 0);
}

TEST_F(ApplicationOptions, ProtocolMustBeTextThatFitsItsBuffer) {
  std::string path = "keep";
  t.registry.SetDword(RegRoot::CurrentUser, kKey, "Protocol", 1);
  EXPECT_FALSE(dlg.ReadProtocolOption(&path));
  EXPECT_EQ(path, "keep");

  t.registry.SetString(RegRoot::CurrentUser, kKey, "Protocol", std::string(4095, 'p'));
  EXPECT_FALSE(dlg.ReadProtocolOption(&path));
  EXPECT_EQ(path, "keep");

  t.registry.SetString(RegRoot::CurrentUser, kKey, "Protocol", std::string(4094, 'p'));
  EXPECT_TRUE(dlg.ReadProtocolOption(&path));
  EXPECT_EQ(path.size(), 4094u);
}

TEST_F(ApplicationOptions, FailedWritesAreSilent) {
  t.registry.currentUserWritable = false;
  dlg.WriteOption("OnTray", 1);
  dlg.WriteProtocolOption("x");
  EXPECT_TRUE(t.registry.keys.empty());
  EXPECT_TRUE(t.prompts.shown.empty());
}

}  // namespace
}  // namespace toggra
