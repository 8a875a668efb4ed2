#include "device/DeviceMonitor.h"

#include <thread>

#ifdef TOGGRA_HAVE_LIBUDEV
#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace toggra {

#ifdef TOGGRA_HAVE_LIBUDEV

struct CDeviceMonitor::State {
  udev* context = nullptr;
  udev_monitor* monitor = nullptr;
  int stopFd = -1;
  std::thread thread;

  ~State() {
    if (thread.joinable()) {
      const uint64_t one = 1;
      (void)::write(stopFd, &one, sizeof one);
      thread.join();
    }
    if (stopFd >= 0) ::close(stopFd);
    if (monitor) udev_monitor_unref(monitor);
    if (context) udev_unref(context);
  }

  void Run(const std::function<void()>& changed) {
    pollfd fds[2] = {{udev_monitor_get_fd(monitor), POLLIN, 0}, {stopFd, POLLIN, 0}};
    for (;;) {
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents) return;
      bool any = false;
      // The socket is non-blocking: read what has come, then tell once.
      while (udev_device* device = udev_monitor_receive_device(monitor)) {
        any = true;
        udev_device_unref(device);
      }
      if (any) changed();
    }
  }
};

CDeviceMonitor::CDeviceMonitor(std::function<void()> changed) : m_changed(std::move(changed)) {}

CDeviceMonitor::~CDeviceMonitor() = default;

bool CDeviceMonitor::Start(std::string* reason) {
  auto state = std::make_unique<State>();
  state->context = udev_new();
  // "udev": the events after udev's rules ran, so a new node has its group
  // and mode already.
  if (state->context) state->monitor = udev_monitor_new_from_netlink(state->context, "udev");
  if (!state->monitor) {
    *reason = std::string("cannot watch udev: ") + std::strerror(errno ? errno : ENOSYS);
    return false;
  }
  for (const char* subsystem : kWatchedSubsystems)
    udev_monitor_filter_add_match_subsystem_devtype(state->monitor, subsystem, nullptr);
  if (const int error = udev_monitor_enable_receiving(state->monitor); error < 0) {
    *reason = std::string("cannot watch udev: ") + std::strerror(-error);
    return false;
  }
  state->stopFd = ::eventfd(0, EFD_CLOEXEC);
  if (state->stopFd < 0) {
    *reason = std::string("cannot watch udev: ") + std::strerror(errno);
    return false;
  }
  State* raw = state.get();
  raw->thread = std::thread([raw, this] { raw->Run(m_changed); });
  m_state = std::move(state);
  return true;
}

#else

struct CDeviceMonitor::State {};

CDeviceMonitor::CDeviceMonitor(std::function<void()> changed) : m_changed(std::move(changed)) {}

CDeviceMonitor::~CDeviceMonitor() = default;

bool CDeviceMonitor::Start(std::string* reason) {
  *reason = "this build has no udev monitor (libudev was not found)";
  return false;
}

#endif

}  // namespace toggra
