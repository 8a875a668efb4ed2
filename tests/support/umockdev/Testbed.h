// A umockdev test bed for one test: a fake sysfs and device-node tree that a
// process run under the preload library (see Preload.h) sees instead of the
// real one. Emulators attach to a device node and answer its ioctls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace toggra::test {

// A block of the caller's memory, as the handler sees it: an ioctl argument,
// or a buffer a pointer in it leads to. Changes go back to the caller when the
// call completes.
class IoctlMemory {
 public:
  // Takes over one reference to `owned` (null: an invalid block).
  explicit IoctlMemory(UMockdevIoctlData* owned);

  size_t Size() const;
  // The block's address in the caller's process (what a pointer to it holds).
  uint64_t ClientAddress() const;
  std::vector<uint8_t> Read(size_t offset, size_t length) const;
  void Write(size_t offset, const std::vector<uint8_t>& bytes);
  void WritePointer(size_t offset, uint64_t clientAddress);
  uint32_t ReadU32(size_t offset) const;
  int32_t ReadI32(size_t offset) const { return static_cast<int32_t>(ReadU32(offset)); }
  void WriteI32(size_t offset, int32_t value);
  // The block that the pointer at `offset` leads to, `length` bytes long;
  // an empty object when it cannot be read.
  IoctlMemory Resolve(size_t offset, size_t length) const;
  bool Valid() const { return m_data != nullptr; }

 private:
  std::shared_ptr<UMockdevIoctlData> m_data;
};

// One ioctl call on an emulated node, or a read() or write() on it when the
// handler was attached with them. Exactly one Complete per call.
class IoctlCall {
 public:
  enum class Kind { kIoctl, kRead, kWrite };
  explicit IoctlCall(UMockdevIoctlClient* client, Kind kind = Kind::kIoctl)
      : m_client(client), m_kind(kind) {}

  Kind CallKind() const { return m_kind; }
  // A read's buffer or a write's bytes, as the caller passed them.
  IoctlMemory Data() const;

  unsigned long Request() const;
  std::string DeviceNode() const;
  // The argument block, `length` bytes (the size the request number implies,
  // or the size of the struct the caller passes).
  IoctlMemory Argument(size_t length) const;
  // The argument as a plain number (requests that pass an int by value).
  uint64_t ArgumentValue() const;
  // Ends the call: the caller's ioctl returns `result` with errno `error`.
  void Complete(long result, int error = 0);

 private:
  UMockdevIoctlClient* m_client;
  Kind m_kind;
};

// Serves the ioctls of one node. Runs on umockdev's handler thread, not the
// test's: guard shared state. Return false to let umockdev handle the call.
using IoctlHandler = std::function<bool(IoctlCall&)>;

class UmockdevTestbed {
 public:
  UmockdevTestbed();
  ~UmockdevTestbed();
  UmockdevTestbed(const UmockdevTestbed&) = delete;
  UmockdevTestbed& operator=(const UmockdevTestbed&) = delete;

  // The folder a child process needs in UMOCKDEV_DIR.
  std::string RootDir() const;
  // The root of the fake sysfs (RootDir() + "/sys").
  std::string SysDir() const;

  // Adds devices from text in umockdev-record format; false and *error on a
  // parse failure.
  bool AddFromString(const std::string& text, std::string* error = nullptr);
  void RemoveDevice(const std::string& syspath);
  void SetAttribute(const std::string& devpath, const std::string& name,
                    const std::string& value);
  // The attribute as the fake sysfs holds it now (written by the program too).
  std::string ReadAttribute(const std::string& devpath, const std::string& name) const;
  void Uevent(const std::string& devpath, const std::string& action);

  // Lets `handler` answer every ioctl on `devnode` ("/dev/bus/usb/001/002").
  // The handler lives as long as the test bed or until DetachIoctl.
  // With `readWrite`, the node's read() and write() calls go to it too
  // (IoctlCall::CallKind), with their bytes in IoctlCall::Data.
  bool AttachIoctl(const std::string& devnode, IoctlHandler handler,
                   std::string* error = nullptr, bool readWrite = false);
  bool DetachIoctl(const std::string& devnode);

 private:
  struct Attached;
  UMockdevTestbed* m_testbed;
  std::vector<std::unique_ptr<Attached>> m_attached;
};

}  // namespace toggra::test
