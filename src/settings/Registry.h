// The registry as the settings code uses it: two roots, keys opened for
// reading or for all access, typed values. The production implementation keeps
// each root in a text file (see HiveRegistry.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace toggra {

enum class RegRoot { CurrentUser, LocalMachine };

inline constexpr long ERROR_SUCCESS = 0;
inline constexpr long ERROR_FILE_NOT_FOUND = 2;
inline constexpr long ERROR_ACCESS_DENIED = 5;
inline constexpr long ERROR_MORE_DATA = 234;
inline constexpr long ERROR_INVALID_PARAMETER = 87;
inline constexpr long ERROR_CANTREAD = 1012;
inline constexpr long ERROR_CANTWRITE = 1013;
inline constexpr long ERROR_INVALID_DATATYPE = 1804;

inline constexpr uint32_t REG_NONE = 0;
inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_BINARY = 3;
inline constexpr uint32_t REG_DWORD = 4;

enum class RegAccess { Read, AllAccess };  // KEY_READ, KEY_ALL_ACCESS

// An open key; closing is destroying it.
class IRegKey {
 public:
  virtual ~IRegKey() = default;
  // RegQueryValueEx: *size holds the buffer size on entry and the data size on
  // return; ERROR_MORE_DATA when the buffer is too small, ERROR_FILE_NOT_FOUND
  // when the value is missing. data may be null to ask for type and size.
  virtual long QueryValue(const std::string& name, uint32_t* type, void* data,
                          uint32_t* size) = 0;
  // RegSetValueEx; ERROR_ACCESS_DENIED on a key opened for reading.
  virtual long SetValue(const std::string& name, uint32_t type, const void* data,
                        uint32_t size) = 0;
};

class IRegistry {
 public:
  virtual ~IRegistry() = default;
  // RegOpenKeyEx: ERROR_FILE_NOT_FOUND when the key does not exist,
  // ERROR_ACCESS_DENIED when AllAccess is asked and the root cannot be written.
  virtual long OpenKey(RegRoot root, const std::string& path, RegAccess access,
                       std::unique_ptr<IRegKey>* key) = 0;
  // RegCreateKeyEx: opens the key, creating it (and its parents) when absent.
  virtual long CreateKey(RegRoot root, const std::string& path, RegAccess access,
                         std::unique_ptr<IRegKey>* key) = 0;
  // For a message after a call on root failed: where the root is kept and the
  // system's reason ("<file>: <reason>"), or empty when there is nothing to say.
  virtual std::string ProblemText(RegRoot) const { return {}; }
};

}  // namespace toggra
