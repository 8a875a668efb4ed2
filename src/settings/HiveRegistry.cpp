#include "settings/HiveRegistry.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "settings/HiveStore.h"

namespace toggra {

namespace {

constexpr const char* kCurrentUserRoot = "HKEY_CURRENT_USER";
constexpr const char* kLocalMachineRoot = "HKEY_LOCAL_MACHINE";
constexpr const char* kDefaultLocalMachineHive = "/etc/toggra/HKEY_LOCAL_MACHINE.reg";
constexpr const char* kCurrentUserHiveName = "/toggra/HKEY_CURRENT_USER.reg";

class CHiveKey : public IRegKey {
 public:
  CHiveKey(std::shared_ptr<HiveStore> store, std::string fullKey, bool writable)
      : m_store(std::move(store)), m_key(std::move(fullKey)), m_writable(writable) {}

  long QueryValue(const std::string& name, uint32_t* type, void* data, uint32_t* size) override {
    if (data && !size) return ERROR_INVALID_PARAMETER;
    // Read at the moment of the query, as a key handle on Windows sees
    // values other processes have set since it was opened.
    std::shared_ptr<const HiveDocument> doc;
    const long rc = m_store->Load(&doc);
    if (rc != ERROR_SUCCESS) return rc;
    const HiveValue* v = doc->Find(m_key, name);
    if (!v) return ERROR_FILE_NOT_FOUND;
    if (type) *type = v->type;
    const uint32_t n = static_cast<uint32_t>(v->data.size());
    if (data && *size < n) {
      *size = n;
      return ERROR_MORE_DATA;
    }
    if (data && n) std::memcpy(data, v->data.data(), n);
    if (size) *size = n;
    return ERROR_SUCCESS;
  }

  long SetValue(const std::string& name, uint32_t type, const void* data, uint32_t size) override {
    if (!m_writable) return ERROR_ACCESS_DENIED;
    if (!HiveDocument::IsWritableName(name) || (!data && size)) return ERROR_INVALID_PARAMETER;
    const auto* bytes = static_cast<const unsigned char*>(data);
    HiveValue value{type, std::vector<unsigned char>(bytes, bytes + size)};
    return m_store->Modify([&](HiveDocument& doc) {
      const HiveValue* old = doc.Find(m_key, name);
      if (old && *old == value) return false;
      doc.Set(m_key, name, value);
      return true;
    });
  }

 private:
  std::shared_ptr<HiveStore> m_store;
  std::string m_key;
  bool m_writable;
};

std::string Variable(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string ConfigFolder() {
  // A relative XDG_CONFIG_HOME is invalid and ignored, as for other programs.
  const std::string xdg = Variable("XDG_CONFIG_HOME");
  if (!xdg.empty() && xdg[0] == '/') return xdg;
  std::string home = Variable("HOME");
  if (home.empty()) {
    if (const passwd* pw = getpwuid(getuid())) home = pw->pw_dir ? pw->pw_dir : "";
  }
  return home.empty() ? "" : home + "/.config";
}

}  // namespace

CHiveRegistry::CHiveRegistry(std::string cu, std::string lm)
    : m_currentUser(std::move(cu)),
      m_localMachine(std::move(lm)),
      m_currentUserStore(std::make_shared<HiveStore>(m_currentUser, kCurrentUserRoot)),
      m_localMachineStore(std::make_shared<HiveStore>(m_localMachine, kLocalMachineRoot)) {}

CHiveRegistry CHiveRegistry::FromEnvironment() {
  std::string cu = Variable(kHiveCurrentUserVariable);
  if (cu.empty()) {
    const std::string config = ConfigFolder();
    // Without a home folder there is no per-user hive: it reads as empty and
    // cannot be written.
    if (!config.empty()) cu = config + kCurrentUserHiveName;
  }
  std::string lm = Variable(kHiveLocalMachineVariable);
  if (lm.empty()) lm = kDefaultLocalMachineHive;
  return CHiveRegistry(std::move(cu), std::move(lm));
}

const std::shared_ptr<HiveStore>& CHiveRegistry::Store(RegRoot root) const {
  return root == RegRoot::CurrentUser ? m_currentUserStore : m_localMachineStore;
}

long CHiveRegistry::OpenKey(RegRoot root, const std::string& path, RegAccess access,
                            std::unique_ptr<IRegKey>* key) {
  const auto& store = Store(root);
  std::shared_ptr<const HiveDocument> doc;
  const long rc = store->Load(&doc);
  if (rc != ERROR_SUCCESS) return rc;
  const std::string full = store->FullKey(path);
  const bool all = access == RegAccess::AllAccess;
  if (!path.empty() && !doc->HasKey(full)) {
    // Asked for writing, the caller would make the key next; when the hive
    // cannot be written, that is the reason to tell (see ProblemText).
    if (all) store->CanWrite();
    return ERROR_FILE_NOT_FOUND;
  }
  if (all && !store->CanWrite()) return ERROR_ACCESS_DENIED;
  *key = std::make_unique<CHiveKey>(store, full, all);
  return ERROR_SUCCESS;
}

long CHiveRegistry::CreateKey(RegRoot root, const std::string& path, RegAccess access,
                              std::unique_ptr<IRegKey>* key) {
  const auto& store = Store(root);
  const bool all = access == RegAccess::AllAccess;
  if (all && !store->CanWrite()) return ERROR_ACCESS_DENIED;
  std::shared_ptr<const HiveDocument> doc;
  long rc = store->Load(&doc);
  if (rc != ERROR_SUCCESS) return rc;
  const std::string full = store->FullKey(path);
  const bool exists = path.empty() || doc->HasKey(full);
  if (!exists && !store->CanWrite()) return ERROR_ACCESS_DENIED;
  if (!exists) {
    rc = store->Modify([&](HiveDocument& d) {
      if (d.HasKey(full)) return false;  // another instance was quicker
      d.AddKey(full);
      return true;
    });
    if (rc != ERROR_SUCCESS) return rc;
  }
  *key = std::make_unique<CHiveKey>(store, full, all);
  return ERROR_SUCCESS;
}

std::string CHiveRegistry::ProblemText(RegRoot root) const {
  const HiveStore& store = *Store(root);
  const FileProblem& problem = store.Problem();
  if (!problem) return store.Path();
  return store.Path() + ": " + ErrnoText(problem.error);
}

const std::string& CHiveRegistry::HivePath(RegRoot root) const {
  return root == RegRoot::CurrentUser ? m_currentUser : m_localMachine;
}

}  // namespace toggra
