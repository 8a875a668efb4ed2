// A registry in memory, with roots that can be made unwritable.
#pragma once

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "settings/Registry.h"

namespace toggra::test {

class MemoryRegistry : public IRegistry {
 public:
  struct Value {
    uint32_t type = REG_NONE;
    std::vector<unsigned char> data;
  };
  using Key = std::map<std::string, Value>;  // value name -> value

  bool localMachineWritable = true;
  bool currentUserWritable = true;
  std::map<std::string, Key> keys;  // "HKLM\path" / "HKCU\path", compared as given

  static std::string Full(RegRoot root, const std::string& path) {
    return (root == RegRoot::LocalMachine ? "HKLM\\" : "HKCU\\") + path;
  }

  void SetDword(RegRoot root, const std::string& path, const std::string& name, uint32_t v) {
    Value val{REG_DWORD, std::vector<unsigned char>(4)};
    std::memcpy(val.data.data(), &v, 4);
    keys[Full(root, path)][name] = val;
  }
  void SetString(RegRoot root, const std::string& path, const std::string& name,
                 const std::string& s) {
    Value val{REG_SZ, std::vector<unsigned char>(s.begin(), s.end())};
    val.data.push_back(0);
    keys[Full(root, path)][name] = val;
  }
  const Value* Find(RegRoot root, const std::string& path, const std::string& name) const {
    auto k = keys.find(Full(root, path));
    if (k == keys.end()) return nullptr;
    auto v = k->second.find(name);
    return v == k->second.end() ? nullptr : &v->second;
  }

  long OpenKey(RegRoot root, const std::string& path, RegAccess access,
               std::unique_ptr<IRegKey>* key) override {
    if (access == RegAccess::AllAccess && !Writable(root)) return ERROR_ACCESS_DENIED;
    auto it = keys.find(Full(root, path));
    if (it == keys.end()) return ERROR_FILE_NOT_FOUND;
    *key = std::make_unique<MemKey>(it->second, access == RegAccess::AllAccess);
    return ERROR_SUCCESS;
  }
  long CreateKey(RegRoot root, const std::string& path, RegAccess access,
                 std::unique_ptr<IRegKey>* key) override {
    if (!Writable(root)) return ERROR_ACCESS_DENIED;
    *key = std::make_unique<MemKey>(keys[Full(root, path)], access == RegAccess::AllAccess);
    return ERROR_SUCCESS;
  }

 private:
  bool Writable(RegRoot root) const {
    return root == RegRoot::LocalMachine ? localMachineWritable : currentUserWritable;
  }

  class MemKey : public IRegKey {
   public:
    MemKey(Key& key, bool writable) : m_key(key), m_writable(writable) {}
    long QueryValue(const std::string& name, uint32_t* type, void* data, uint32_t* size) override {
      auto it = m_key.find(name);
      if (it == m_key.end()) return ERROR_FILE_NOT_FOUND;
      if (type) *type = it->second.type;
      const uint32_t n = static_cast<uint32_t>(it->second.data.size());
      if (data && size && *size < n) {
        *size = n;
        return ERROR_MORE_DATA;
      }
      if (data && n) std::memcpy(data, it->second.data.data(), n);
      if (size) *size = n;
      return ERROR_SUCCESS;
    }
    long SetValue(const std::string& name, uint32_t type, const void* data, uint32_t size) override {
      if (!m_writable) return ERROR_ACCESS_DENIED;
      Value v{type, std::vector<unsigned char>(size)};
      if (size) std::memcpy(v.data.data(), data, size);
      m_key[name] = v;
      return ERROR_SUCCESS;
    }

   private:
    Key& m_key;
    bool m_writable;
  };
};

}  // namespace toggra::test
