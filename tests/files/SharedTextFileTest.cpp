#include "files/SharedTextFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "support/TempDir.h"

namespace toggra::test {
namespace {

namespace fs = std::filesystem;
using Change = CSharedTextFile::Change;

class SharedTextFile : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.File("shared.txt");
  std::vector<FileProblem> reported;

  CSharedTextFile Make(CSharedTextFile::LockPlace lock, bool missingIsEmpty) {
    CSharedTextFile::Options o;
    o.noun = "test file";
    o.lock = lock;
    o.missingIsEmpty = missingIsEmpty;
    o.newMode = 0640;
    o.settle = std::chrono::nanoseconds(0);
    return CSharedTextFile(path, o, [this](const FileProblem& p) { reported.push_back(p); });
  }
  static auto Append(const std::string& more) {
    return [more](const std::string& text) -> std::optional<std::string> { return text + more; };
  }
};

TEST_F(SharedTextFile, ChangeUnderALockFileCreatesTheFileWithItsModeAndLeavesNoTemporary) {
  CSharedTextFile file = Make(CSharedTextFile::LockPlace::LockFile, true);
  ASSERT_NE(file.Current(), nullptr);
  EXPECT_EQ(*file.Current(), "");
  EXPECT_EQ(file.Modify(Append("a\n")), Change::Written);
  EXPECT_EQ(file.Modify(Append("b\n")), Change::Written);
  EXPECT_EQ(TempDir::Read(path), "a\nb\n");
  EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.Path())) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"shared.txt", "shared.txt.lock"}));
  EXPECT_TRUE(reported.empty());
}

TEST_F(SharedTextFile, GenerationMovesOnlyWithTheText) {
  TempDir::Write(path, "one");
  CSharedTextFile file = Make(CSharedTextFile::LockPlace::TheFile, false);
  ASSERT_NE(file.Current(), nullptr);
  const unsigned long first = file.Generation();
  TempDir::Write(path, "one");  // rewritten, same text
  ASSERT_NE(file.Current(), nullptr);
  EXPECT_EQ(file.Generation(), first);
  TempDir::Write(path, "two");
  EXPECT_EQ(*file.Current(), "two");
  EXPECT_NE(file.Generation(), first);
  // A change that declines leaves the bytes and the generation alone.
  const unsigned long second = file.Generation();
  EXPECT_EQ(file.Modify([](const std::string&) { return std::nullopt; }), Change::Unchanged);
  EXPECT_EQ(TempDir::Read(path), "two");
  EXPECT_EQ(file.Generation(), second);
}

// Written in place right after a read, the file usually keeps its stamp (the
// same size, times within one tick of the file system's clock): until the
// stamp is trusted, every read must still see the bytes now in the file.
TEST_F(SharedTextFile, AnUntrustedStampIsReadAgainEveryTime) {
  CSharedTextFile::Options o;
  o.settle = std::chrono::hours(1);
  CSharedTextFile file(path, o);
  for (const char* text : {"one", "two", "six", "ten", "two"}) {
    TempDir::Write(path, text);
    ASSERT_NE(file.Current(), nullptr);
    EXPECT_EQ(*file.Current(), text);
  }
  fs::remove(path);
  EXPECT_EQ(file.Current(), nullptr);
  TempDir::Write(path, "new");
  ASSERT_NE(file.Current(), nullptr);
  EXPECT_EQ(*file.Current(), "new");
}

TEST_F(SharedTextFile, AProblemIsReportedOnceUntilTheFileIsFineAgain) {
  fs::create_directory(path);
  CSharedTextFile file = Make(CSharedTextFile::LockPlace::TheFile, false);
  EXPECT_EQ(file.Current(), nullptr);
  EXPECT_EQ(file.Modify(Append("x")), Change::Failed);
  EXPECT_FALSE(file.Replace("x"));
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0].error, EISDIR);
  EXPECT_EQ(reported[0].step, FileStep::NotRegular);
  EXPECT_EQ(reported[0].text, path + ": the test file is not a regular file");

  fs::remove(path);
  ASSERT_TRUE(file.Replace("fine"));
  ASSERT_NE(file.Current(), nullptr);
  file.Recovered();
  EXPECT_FALSE(file.Problem());
  fs::remove(path);
  EXPECT_EQ(file.Current(), nullptr);
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_EQ(reported[1].text, path + ": cannot read the test file: No such file or directory");
}

TEST_F(SharedTextFile, ReplacementBelowAFileFailsWithTheSystemsReason) {
  TempDir::Write(dir.File("blocker"), "");
  path = dir.File("blocker") + "/shared.txt";
  CSharedTextFile file = Make(CSharedTextFile::LockPlace::LockFile, true);
  EXPECT_EQ(file.Modify(Append("x")), Change::Failed);
  EXPECT_EQ(file.Problem().error, ENOTDIR);
  EXPECT_EQ(file.Problem().step, FileStep::Lock);
}

}  // namespace
}  // namespace toggra::test
