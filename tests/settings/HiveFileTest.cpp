#include "settings/HiveFile.h"

#include <gtest/gtest.h>

#include "settings/Registry.h"

#include "support/CaseNames.h"

namespace toggra {

void PrintTo(const HiveValue& v, std::ostream* os) {
  *os << "type " << v.type << " bytes";
  for (unsigned char c : v.data) *os << ' ' << static_cast<int>(c);
}

namespace {

constexpr const char* kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Arvendal GmbH\\USB";

HiveValue Dword(uint32_t v) {
  return {REG_DWORD, {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                      static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)}};
}

HiveValue Text(const std::string& s) {
  HiveValue v{REG_SZ, {s.begin(), s.end()}};
  v.data.push_back(0);
  return v;
}

HiveDocument ParseClean(const std::string& text) {
  std::vector<HiveProblem> problems;
  HiveDocument doc = HiveDocument::Parse(text, &problems);
  EXPECT_TRUE(problems.empty()) << problems.front().line << ": " << problems.front().text;
  return doc;
}

// ---- every type survives a write and a read, and is written as expected ----

struct TypeCase {
  const char* label;
  std::string name;
  HiveValue value;
  std::string line;  // the value's line(s) in the file
};

class HiveFormatRoundTrip : public ::testing::TestWithParam<TypeCase> {};

TEST_P(HiveFormatRoundTrip, WritesTheLineAndReadsTheSameValue) {
  const TypeCase& c = GetParam();
  HiveDocument doc;
  doc.Set(kKey, c.name, c.value);
  const std::string text = doc.Serialize();
  EXPECT_EQ(text, "REGEDIT4\n\n[" + std::string(kKey) + "]\n" + c.line + "\n");
  const HiveDocument reread = ParseClean(text);
  const HiveValue* back = reread.Find(kKey, c.name);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(*back, c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Types, HiveFormatRoundTrip,
    ::testing::Values(
        TypeCase{"Dword", "28-1f-00001a2b-SwitchTimer", Dword(60),
                 "\"28-1f-00001a2b-SwitchTimer\"=dword:0000003c"},
        TypeCase{"NegativeDword", "t", Dword(0xFFFFFFFBu), "\"t\"=dword:fffffffb"},
        TypeCase{"Text", "28-1f-00001a2b-devID", Text("Pumpe \"links\" C:\\x"),
                 "\"28-1f-00001a2b-devID\"=\"Pumpe \\\"links\\\" C:\\\\x\""},
        TypeCase{"Utf8Text", "c", Text("Jürgen Größe"), "\"c\"=\"Jürgen Größe\""},
        TypeCase{"EmptyText", "c", Text(""), "\"c\"=\"\""},
        TypeCase{"EscapedName", "a\"b\\c", Dword(1), "\"a\\\"b\\\\c\"=dword:00000001"},
        TypeCase{"DefaultValue", "", Text("x"), "@=\"x\""},
        TypeCase{"Binary", "00-00-00000000-AVdebugOptions", HiveValue{REG_BINARY, {1, 0, 0, 0}},
                 "\"00-00-00000000-AVdebugOptions\"=hex:01,00,00,00"},
        TypeCase{"EmptyBinary", "b", HiveValue{REG_BINARY, {}}, "\"b\"=hex:"},
        TypeCase{"OtherType", "q", HiveValue{0xB, {1, 2, 3, 4, 5, 6, 7, 8}},
                 "\"q\"=hex(b):01,02,03,04,05,06,07,08"},
        TypeCase{"NoneType", "n", HiveValue{REG_NONE, {0xff}}, "\"n\"=hex(0):ff"},
        // Text the quoted form cannot carry unchanged is kept as raw bytes.
        TypeCase{"TextWithLineBreak", "m", Text("a\nb"), "\"m\"=hex(1):61,0a,62,00"},
        TypeCase{"TextNotUtf8", "l", Text("\xe4"), "\"l\"=hex(1):e4,00"},
        TypeCase{"TextWithoutZero", "z", HiveValue{REG_SZ, {'o', 'k'}}, "\"z\"=hex(1):6f,6b"},
        TypeCase{"ShortDword", "s", HiveValue{REG_DWORD, {1, 2}}, "\"s\"=hex(4):01,02"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(HiveFormatLongValues, AreWrappedIntoShortLinesAndReadBack) {
  HiveValue blob{REG_BINARY, std::vector<unsigned char>(100, 0xAB)};
  HiveDocument doc;
  doc.Set(kKey, "blob", blob);
  const std::string text = doc.Serialize();
  for (size_t start = 0, nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
    EXPECT_LE(nl - start, 80u) << text.substr(start, nl - start);
  }
  const HiveDocument reread = ParseClean(text);
  ASSERT_NE(reread.Find(kKey, "blob"), nullptr);
  EXPECT_EQ(*reread.Find(kKey, "blob"), blob);
}

// ---- reading what people and Windows write ----

class HiveFormatReading : public ::testing::Test {};

TEST_F(HiveFormatReading, KeyAndValueNamesIgnoreCase) {
  HiveDocument doc = ParseClean(
      "REGEDIT4\n\n[hkey_local_machine\\software\\ARVENDAL GMBH\\usb]\n"
      "\"28-1F-00001A2B-SWITCHTIMER\"=dword:0000000A\n");
  const HiveValue* v = doc.Find(kKey, "28-1f-00001a2b-SwitchTimer");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(*v, Dword(10));
  EXPECT_TRUE(doc.HasKey("HKEY_LOCAL_MACHINE\\Software"));
  EXPECT_FALSE(doc.HasKey("HKEY_LOCAL_MACHINE\\Soft"));

  // Setting it keeps the spelling the person chose, in the same line.
  doc.Set(kKey, "28-1f-00001a2b-SwitchTimer", Dword(11));
  EXPECT_EQ(doc.Serialize(),
            "REGEDIT4\n\n[hkey_local_machine\\software\\ARVENDAL GMBH\\usb]\n"
            "\"28-1F-00001A2B-SWITCHTIMER\"=dword:0000000b\n");
}

TEST_F(HiveFormatReading, WindowsExportWithCrLfContinuationsAndShortDwords) {
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Arvendal GmbH\\USB]\r\n"
      "\"b\"=hex:01,02,\\\r\n  03,04\r\n"
      "\"d\" = dword:3c\r\n"
      "\"p\"=\"C:\\temp\"\r\n";
  HiveDocument doc = ParseClean(text);
  EXPECT_EQ(*doc.Find(kKey, "b"), (HiveValue{REG_BINARY, {1, 2, 3, 4}}));
  EXPECT_EQ(*doc.Find(kKey, "d"), Dword(60));
  // A single backslash before another character is taken as written.
  EXPECT_EQ(*doc.Find(kKey, "p"), Text("C:\\temp"));
  EXPECT_EQ(doc.Serialize(), text);

  doc.Set(kKey, "n", Dword(1));
  EXPECT_EQ(doc.Serialize(), text + "\"n\"=dword:00000001\r\n");
}

TEST_F(HiveFormatReading, LaterDefinitionWinsAndIsTheOneChanged) {
  HiveDocument doc = ParseClean(
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\X]\n\"v\"=dword:00000001\n\n"
      "[HKEY_LOCAL_MACHINE\\x]\n\"v\"=dword:00000002\n");
  EXPECT_EQ(*doc.Find("HKEY_LOCAL_MACHINE\\X", "v"), Dword(2));
  doc.Set("HKEY_LOCAL_MACHINE\\X", "v", Dword(3));
  EXPECT_EQ(*doc.Find("HKEY_LOCAL_MACHINE\\X", "v"), Dword(3));
}

// ---- lines that cannot be parsed ----

class HiveMalformedLines : public ::testing::TestWithParam<const char*> {};

TEST_P(HiveMalformedLines, AreReportedSkippedAndKeptVerbatim) {
  const std::string bad = GetParam();
  const std::string text = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=dword:00000001\n" + bad +
                           "\n\"b\"=\"zwei\"\n; Kommentar\n";
  std::vector<HiveProblem> problems;
  HiveDocument doc = HiveDocument::Parse(text, &problems);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].line, 5);
  EXPECT_EQ(problems[0].text, bad);
  // The lines around it still count.
  EXPECT_EQ(*doc.Find("HKEY_LOCAL_MACHINE\\K", "a"), Dword(1));
  EXPECT_EQ(*doc.Find("HKEY_LOCAL_MACHINE\\K", "b"), Text("zwei"));

  doc.Set("HKEY_LOCAL_MACHINE\\K", "a", Dword(2));
  doc.Set("HKEY_LOCAL_MACHINE\\K", "c", Dword(3));
  EXPECT_EQ(doc.Serialize(),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=dword:00000002\n" + bad +
                "\n\"b\"=\"zwei\"\n\"c\"=dword:00000003\n; Kommentar\n");
}

INSTANTIATE_TEST_SUITE_P(Lines, HiveMalformedLines,
                         ::testing::Values("\"x\"=dword:123456789", "\"x\"=dword:zz",
                                           "\"x\"=\"offen", "\"x\"=hex:1,2,345", "\"x\"=hex:01,",
                                           "\"x\"=hex(q):01", "\"x\"=-", "\"x\"=\"a\" rest",
                                           "x=dword:00000001", "Unsinn", "\"x\"dword:1"),
                         [](const auto& info) { return test::RowName(info.index, info.param); });

TEST_F(HiveFormatReading, BadSectionLineHidesItsValuesButKeepsThem) {
  const std::string text =
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:00000001\n[-HKEY_LOCAL_MACHINE\\B]\n"
      "\"w\"=dword:00000002\n\"stray\"\n";
  std::vector<HiveProblem> problems;
  HiveDocument doc = HiveDocument::Parse(text, &problems);
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_EQ(problems[0].line, 5);
  EXPECT_EQ(doc.Find("HKEY_LOCAL_MACHINE\\A", "w"), nullptr);
  // A new value of A goes to A's section, not behind the bad one.
  doc.Set("HKEY_LOCAL_MACHINE\\A", "n", Dword(4));
  EXPECT_EQ(doc.Serialize(),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:00000001\n\"n\"=dword:00000004\n"
            "[-HKEY_LOCAL_MACHINE\\B]\n\"w\"=dword:00000002\n\"stray\"\n");
}

// ---- keys ----

class HiveKeys : public ::testing::Test {};

TEST_F(HiveKeys, AddedKeysAreSectionsOnceAndValuesGoToThem) {
  HiveDocument doc = ParseClean("REGEDIT4\n");
  doc.AddKey("HKEY_CURRENT_USER\\A");
  doc.AddKey("HKEY_CURRENT_USER\\a");
  doc.Set("HKEY_CURRENT_USER\\B", "x", Dword(1));
  doc.Set("HKEY_CURRENT_USER\\A", "y", Text("t"));
  EXPECT_EQ(doc.Serialize(),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"y\"=\"t\"\n\n[HKEY_CURRENT_USER\\B]\n"
            "\"x\"=dword:00000001\n");
}

}  // namespace
}  // namespace toggra
