// toggra.conf as a person may have edited it. Whatever its bytes, the file
// reads back as it was written, a value set in it reads back as set, and every
// other entry and line stays where it was.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "config/ConfFile.h"

namespace {

constexpr const char* kSections[] = {"devices", "mqtt", "caption", "x y"};

std::string TakeBack(std::string& in, size_t n) {
  n = std::min(n, in.size());
  std::string out = in.substr(in.size() - n);
  in.resize(in.size() - n);
  return out;
}

bool Clean(const std::string& text) {
  return text.find_first_of("\n\r=") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using toggra::config::CConfFile;
  std::string in(reinterpret_cast<const char*>(data), size);
  if (in.size() < 3) return 0;
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(in[k]); };
  const char* section = kSections[byte(0) % std::size(kSections)];
  const size_t keyLength = byte(1) % 24;
  const size_t valueLength = byte(2) % 48;
  in.erase(0, 3);
  std::string value = TakeBack(in, valueLength);
  std::string key = TakeBack(in, keyLength);

  CConfFile file = CConfFile::Parse(in);
  FUZZ_REQUIRE(file.Text() == in);
  for (const auto& p : file.Problems()) FUZZ_REQUIRE(p.line >= 1);
  const size_t entries = file.Entries().size();

  // Keys and values as the programs write them: trimmed, one line.
  auto trim = [](std::string& t) {
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.pop_back();
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.erase(0, 1);
  };
  trim(key);
  trim(value);
  if (key.empty() || !Clean(key) || !Clean(value) || key[0] == '#' || key[0] == ';' || key[0] == '[')
    return 0;
  const bool existed = file.Get(section, key).has_value();
  file.Set(section, key, value);
  const CConfFile again = CConfFile::Parse(file.Text());
  const auto got = again.Get(section, key);
  FUZZ_REQUIRE(got && got->value == value);
  FUZZ_REQUIRE(again.Entries().size() >= entries + (existed ? 0 : 1));
  FUZZ_REQUIRE(again.Problems().size() == file.Problems().size());
  CConfFile removed = again;
  removed.Remove(section, key);
  FUZZ_REQUIRE(!CConfFile::Parse(removed.Text()).Get(section, key));
  return 0;
}
