#include "support/umockdev/Testbed.h"

#include <umockdev.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace toggra::test {

// ---- the caller's memory ----

namespace {

std::shared_ptr<UMockdevIoctlData> Own(UMockdevIoctlData* data) {
  return std::shared_ptr<UMockdevIoctlData>(data, [](UMockdevIoctlData* d) {
    if (d) g_object_unref(d);
  });
}

}  // namespace

IoctlMemory::IoctlMemory(UMockdevIoctlData* owned) : m_data(Own(owned)) {}

size_t IoctlMemory::Size() const {
  return m_data ? static_cast<size_t>(m_data->data_len) : 0;
}

uint64_t IoctlMemory::ClientAddress() const { return m_data ? m_data->client_addr : 0; }

std::vector<uint8_t> IoctlMemory::Read(size_t offset, size_t length) const {
  if (!m_data || offset > Size() || length > Size() - offset) return {};
  return std::vector<uint8_t>(m_data->data + offset, m_data->data + offset + length);
}

void IoctlMemory::Write(size_t offset, const std::vector<uint8_t>& bytes) {
  if (!m_data || bytes.empty() || offset > Size() || bytes.size() > Size() - offset) return;
  umockdev_ioctl_data_update(m_data.get(), offset, const_cast<guint8*>(bytes.data()),
                             static_cast<gint>(bytes.size()));
}

void IoctlMemory::WritePointer(size_t offset, uint64_t clientAddress) {
  std::vector<uint8_t> bytes(sizeof(void*));
  std::memcpy(bytes.data(), &clientAddress, bytes.size());
  Write(offset, bytes);
}

uint32_t IoctlMemory::ReadU32(size_t offset) const {
  const std::vector<uint8_t> bytes = Read(offset, sizeof(uint32_t));
  uint32_t v = 0;
  if (bytes.size() == sizeof v) std::memcpy(&v, bytes.data(), sizeof v);
  return v;
}

void IoctlMemory::WriteI32(size_t offset, int32_t value) {
  std::vector<uint8_t> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  Write(offset, bytes);
}

IoctlMemory IoctlMemory::Resolve(size_t offset, size_t length) const {
  if (!m_data) return IoctlMemory(nullptr);
  GError* error = nullptr;
  UMockdevIoctlData* child = umockdev_ioctl_data_resolve(m_data.get(), offset, length, &error);
  if (error) {
    g_error_free(error);
    return IoctlMemory(nullptr);
  }
  return IoctlMemory(child);
}

// ---- one call ----

unsigned long IoctlCall::Request() const { return umockdev_ioctl_client_get_request(m_client); }

std::string IoctlCall::DeviceNode() const {
  const char* node = umockdev_ioctl_client_get_devnode(m_client);
  return node ? node : "";
}

IoctlMemory IoctlCall::Argument(size_t length) const {
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(m_client);
  if (!arg) return IoctlMemory(nullptr);
  g_object_ref(arg);  // the client keeps its own reference
  return IoctlMemory(arg).Resolve(0, length);
}

IoctlMemory IoctlCall::Data() const {
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(m_client);
  if (arg) g_object_ref(arg);
  return IoctlMemory(arg);
}

uint64_t IoctlCall::ArgumentValue() const {
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(m_client);
  uint64_t v = 0;
  if (arg && arg->data_len >= static_cast<gint>(sizeof(void*)))
    std::memcpy(&v, arg->data, sizeof(void*));
  return v;
}

void IoctlCall::Complete(long result, int error) {
  umockdev_ioctl_client_complete(m_client, result, error);
}

// ---- the test bed ----

struct UmockdevTestbed::Attached {
  std::string devnode;
  IoctlHandler handler;
  UMockdevIoctlBase* base = nullptr;

  static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    IoctlCall call(client);
    return static_cast<Attached*>(self)->handler(call) ? TRUE : FALSE;
  }
  static gboolean OnRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    IoctlCall call(client, IoctlCall::Kind::kRead);
    return static_cast<Attached*>(self)->handler(call) ? TRUE : FALSE;
  }
  static gboolean OnWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    IoctlCall call(client, IoctlCall::Kind::kWrite);
    return static_cast<Attached*>(self)->handler(call) ? TRUE : FALSE;
  }
};

UmockdevTestbed::UmockdevTestbed() : m_testbed(umockdev_testbed_new()) {}

UmockdevTestbed::~UmockdevTestbed() {
  for (auto& a : m_attached) umockdev_testbed_detach_ioctl(m_testbed, a->devnode.c_str(), nullptr);
  for (auto& a : m_attached) g_object_unref(a->base);
  // The last reference removes the test bed's folder.
  g_object_unref(m_testbed);
}

std::string UmockdevTestbed::RootDir() const {
  gchar* dir = umockdev_testbed_get_root_dir(m_testbed);
  std::string s = dir ? dir : "";
  g_free(dir);
  return s;
}

std::string UmockdevTestbed::SysDir() const {
  gchar* dir = umockdev_testbed_get_sys_dir(m_testbed);
  std::string s = dir ? dir : "";
  g_free(dir);
  return s;
}

bool UmockdevTestbed::AddFromString(const std::string& text, std::string* error) {
  GError* e = nullptr;
  const bool ok = umockdev_testbed_add_from_string(m_testbed, text.c_str(), &e);
  if (e) {
    if (error) *error = e->message;
    g_error_free(e);
  }
  return ok;
}

void UmockdevTestbed::RemoveDevice(const std::string& syspath) {
  umockdev_testbed_remove_device(m_testbed, syspath.c_str());
}

void UmockdevTestbed::SetAttribute(const std::string& devpath, const std::string& name,
                                   const std::string& value) {
  umockdev_testbed_set_attribute(m_testbed, devpath.c_str(), name.c_str(), value.c_str());
}

std::string UmockdevTestbed::ReadAttribute(const std::string& devpath,
                                           const std::string& name) const {
  std::ifstream in(RootDir() + devpath + "/" + name);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void UmockdevTestbed::Uevent(const std::string& devpath, const std::string& action) {
  umockdev_testbed_uevent(m_testbed, devpath.c_str(), action.c_str());
}

bool UmockdevTestbed::AttachIoctl(const std::string& devnode, IoctlHandler handler,
                                  std::string* error, bool readWrite) {
  auto attached = std::make_unique<Attached>();
  attached->devnode = devnode;
  attached->handler = std::move(handler);
  attached->base = umockdev_ioctl_base_new();
  g_signal_connect(attached->base, "handle-ioctl", G_CALLBACK(&Attached::OnIoctl),
                   attached.get());
  if (readWrite) {
    g_signal_connect(attached->base, "handle-read", G_CALLBACK(&Attached::OnRead), attached.get());
    g_signal_connect(attached->base, "handle-write", G_CALLBACK(&Attached::OnWrite),
                     attached.get());
  }
  GError* e = nullptr;
  const bool ok = umockdev_testbed_attach_ioctl(m_testbed, devnode.c_str(), attached->base, &e);
  if (e) {
    if (error) *error = e->message;
    g_error_free(e);
  }
  if (!ok) {
    g_object_unref(attached->base);
    return false;
  }
  m_attached.push_back(std::move(attached));
  return true;
}

bool UmockdevTestbed::DetachIoctl(const std::string& devnode) {
  for (auto it = m_attached.begin(); it != m_attached.end(); ++it) {
    if ((*it)->devnode != devnode) continue;
    umockdev_testbed_detach_ioctl(m_testbed, devnode.c_str(), nullptr);
    // umockdev may keep the base alive for descriptors still open; they must
    // not reach the handler freed below.
    g_signal_handlers_disconnect_by_data((*it)->base, it->get());
    g_object_unref((*it)->base);
    m_attached.erase(it);
    return true;
  }
  return false;
}

}  // namespace toggra::test
