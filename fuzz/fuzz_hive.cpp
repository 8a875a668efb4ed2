// A hive file as a person may have edited it. Whatever its bytes, writing it
// back keeps it readable the same way, and a value the program sets in it
// reads back as it was set once the file has been written and read again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "settings/HiveFile.h"
#include "settings/Registry.h"

namespace {

// The keys the program writes to.
constexpr const char* kKeys[] = {
    "HKEY_CURRENT_USER\\SOFTWARE\\Arvendal GmbH\\USB",
    "HKEY_CURRENT_USER\\SOFTWARE\\Arvendal GmbH\\USB\\Toggra",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Arvendal GmbH\\USB",
};

// Takes the last `n` bytes off the end of `in`.
std::string TakeBack(std::string& in, size_t n) {
  n = std::min(n, in.size());
  std::string out = in.substr(in.size() - n);
  in.resize(in.size() - n);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace toggra;
  std::string in(reinterpret_cast<const char*>(data), size);
  // Four bytes at the front choose the change (key, value type, the lengths
  // of name and data), name and data are at the end, the file in between.
  if (in.size() < 4) return 0;
  const std::string head = in.substr(0, 4);
  in.erase(0, 4);
  const auto byte = [&](int k) { return static_cast<unsigned char>(head[k]); };
  const char* key = kKeys[byte(0) % std::size(kKeys)];
  const uint32_t types[] = {REG_SZ, REG_DWORD, REG_BINARY, byte(1)};
  const uint32_t type = types[(byte(1) >> 6) % 4];
  const std::string bytes = TakeBack(in, byte(3) % 48);
  const std::string name = TakeBack(in, byte(2) % 24);
  const std::string& file = in;

  std::vector<HiveProblem> problems;
  HiveDocument doc = HiveDocument::Parse(file, &problems);
  for (const HiveProblem& p : problems) FUZZ_REQUIRE(p.line >= 1);

  // Written back unchanged, the file reads as it did: no line turns
  // unreadable, and writing it once more gives the same text. (Only a line
  // end with stray carriage returns before it loses one on each write.)
  const std::string once = doc.Serialize();
  std::vector<HiveProblem> problemsOnce;
  const std::string twice = HiveDocument::Parse(once, &problemsOnce).Serialize();
  FUZZ_REQUIRE(problemsOnce.size() <= problems.size());
  if (file.find("\r\r") == std::string::npos) FUZZ_REQUIRE(twice == once);

  if (!HiveDocument::IsWritableName(name)) return 0;
  HiveValue value{type, {bytes.begin(), bytes.end()}};
  if (type == REG_DWORD) value.data.resize(4);
  doc.Set(key, name, value);
  const HiveDocument reread = HiveDocument::Parse(doc.Serialize(), nullptr);
  const HiveValue* back = reread.Find(key, name);
  FUZZ_REQUIRE(back != nullptr && *back == value);
  return 0;
}
