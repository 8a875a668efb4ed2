// The test bed wrapper against umockdev itself: a device from text, its
// attributes, and an ioctl handler that reads and writes the caller's memory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "support/umockdev/Preload.h"
#include "support/umockdev/Testbed.h"

namespace toggra::test {
namespace {

constexpr const char* kDevice =
    "P: /devices/virtual/misc/thing\n"
    "N: thing\n"
    "E: DEVNAME=/dev/thing\n"
    "E: SUBSYSTEM=misc\n"
    "A: dev=10:99\n"
    "A: label=first\\n\n";

// _IOWR('T', 1, struct Pair): the handler doubles `in` into `out` and follows `text`.
struct Pair {
  int32_t in;
  int32_t out;
  char* text;
};
constexpr unsigned long kRequestPair = _IOWR('T', 1, Pair);
constexpr unsigned long kRequestRefused = _IO('T', 2);

TEST(UmockdevTestbed, DeviceAttributesAndIoctlHandler) {
  ASSERT_TRUE(UnderUmockdevPreload()) << "the test program did not re-execute itself";
  UmockdevTestbed bed;
  std::string error;
  ASSERT_TRUE(bed.AddFromString(kDevice, &error)) << error;
  EXPECT_EQ(bed.ReadAttribute("/sys/devices/virtual/misc/thing", "label"), "first\n");
  bed.SetAttribute("/sys/devices/virtual/misc/thing", "label", "second");
  EXPECT_EQ(bed.ReadAttribute("/sys/devices/virtual/misc/thing", "label"), "second");

  std::atomic<int> calls{0};
  ASSERT_TRUE(bed.AttachIoctl("/dev/thing", [&](IoctlCall& call) {
    ++calls;
    if (call.Request() == kRequestRefused) {
      call.Complete(-1, EPERM);
      return true;
    }
    if (call.Request() != kRequestPair) return false;
    IoctlMemory pair = call.Argument(sizeof(Pair));
    pair.WriteI32(offsetof(Pair, out), pair.ReadI32(offsetof(Pair, in)) * 2);
    IoctlMemory text = pair.Resolve(offsetof(Pair, text), 4);
    text.Write(0, {'d', 'o', 'n', 'e'});
    call.Complete(7);
    return true;
  }, &error)) << error;

  const int fd = ::open("/dev/thing", O_RDWR);
  ASSERT_GE(fd, 0) << std::strerror(errno);
  char text[5] = "xxxx";
  Pair pair{21, 0, text};
  EXPECT_EQ(::ioctl(fd, kRequestPair, &pair), 7);
  EXPECT_EQ(pair.out, 42);
  EXPECT_STREQ(text, "done");
  errno = 0;
  EXPECT_EQ(::ioctl(fd, kRequestRefused), -1);
  EXPECT_EQ(errno, EPERM);
  ::close(fd);
  EXPECT_EQ(calls.load(), 2);
}

TEST(UmockdevTestbed, PreloadKeepsWhatWasThere) {
  const std::string preload = UmockdevPreload();
  EXPECT_NE(preload.find("libumockdev-preload.so.0"), std::string::npos);
  const auto env = UmockdevChildEnvironment("/tmp/bed");
  EXPECT_EQ(env.at("UMOCKDEV_DIR"), "/tmp/bed");
  EXPECT_EQ(env.at("LD_PRELOAD"), preload);
}

}  // namespace
}  // namespace toggra::test
