// Typed values of an open key as the settings code reads and writes them,
// for the application options and the per-device store alike.
#pragma once

#include <string>

#include "settings/Registry.h"

namespace toggra {

// The buffer the program has always read strings with; a longer value does
// not fit and counts as not set.
inline constexpr uint32_t kRegStringBuffer = 4095;
inline constexpr uint32_t kRegDwordSize = 4;

// A REG_DWORD value into *out; false (and *out untouched) when it is
// missing, of another type or longer than a word.
bool ReadDwordValue(IRegKey& key, const std::string& name, int* out);
// Four bytes of a value of any type, as the debug options are read.
bool ReadAnyWord(IRegKey& key, const std::string& name, int* out);
// A REG_SZ value into *out, up to its terminating zero or the end of its data;
// false (and *out untouched) when it is missing, of another type or too long.
bool ReadStringValue(IRegKey& key, const std::string& name, std::string* out);

long WriteDwordValue(IRegKey& key, const std::string& name, int value);
// The text with its terminating zero, as REG_SZ.
long WriteStringValue(IRegKey& key, const std::string& name, const std::string& text);

}  // namespace toggra
