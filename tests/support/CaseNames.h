// Names for the cases of parameterised tests, as ctest lists them. Without
// them ctest shows the bytes of each case's struct, which change with padding
// and pointers from build to build.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace toggra::test {

// `words` as a test name: letters and digits kept, a minus before a digit
// spelled out, every other run of characters one underscore.
inline std::string NameWords(const std::string& words) {
  std::string out;
  for (size_t i = 0; i < words.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(words[i]);
    if (std::isalnum(c)) {
      out += static_cast<char>(c);
    } else if (c == '-' && i + 1 < words.size() &&
               std::isdigit(static_cast<unsigned char>(words[i + 1]))) {
      if (!out.empty() && out.back() != '_') out += '_';
      out += "Minus";
    } else if (!out.empty() && out.back() != '_') {
      out += '_';
    }
  }
  while (!out.empty() && out.back() == '_') out.pop_back();
  return out;
}

// A row of a table, named by its place and the words that tell it apart:
// "Row3_60_30_g". The place keeps two rows with like words apart.
inline std::string RowName(size_t index, const std::string& words) {
  const std::string w = NameWords(words);
  return "Row" + std::to_string(index) + (w.empty() ? "" : "_" + w);
}

}  // namespace toggra::test
