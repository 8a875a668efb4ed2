// Devices that come after start-up: when the entries without a device are
// opened anew, and what the columns, tray, window and state file then show.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "app/Hotplug.h"
#include "app/Format.h"
#include "app/StartUpSteps.h"
#include "device/DeviceRegistry.h"
#include "support/TestDialog.h"

namespace toggra::test {
namespace {

// The devices plugged into one configuration entry; each opening of the
// entry sees those plugged in at that moment.
struct Socket {
  std::mutex mutex;
  std::vector<DriverDevice> devices;
  uint32_t levels = 0;
  int opens = 0;
};

class SocketDriver : public IDriver {
 public:
  explicit SocketDriver(std::shared_ptr<Socket> socket) : m_socket(std::move(socket)) {}
  std::vector<DriverDevice> Enumerate() override {
    std::lock_guard lock(m_socket->mutex);
    ++m_socket->opens;
    m_seen = m_socket->devices.size();
    return m_socket->devices;
  }
  std::vector<DriverDevice> EnumerateMore() override {
    std::lock_guard lock(m_socket->mutex);
    std::vector<DriverDevice> more(m_socket->devices.begin() + m_seen, m_socket->devices.end());
    m_seen = m_socket->devices.size();
    return more;
  }
  bool Read(int, DriverReading* reading, std::string*) override {
    std::lock_guard lock(m_socket->mutex);
    reading->on = m_socket->levels;
    return true;
  }
  bool Write(int, int channel, bool on, std::string*) override {
    std::lock_guard lock(m_socket->mutex);
    m_socket->levels = on ? m_socket->levels | 1u << channel : m_socket->levels & ~(1u << channel);
    return true;
  }

 private:
  std::shared_ptr<Socket> m_socket;
  size_t m_seen = 0;
};

std::unique_ptr<CBackendPivlink> OpenSocket(const std::shared_ptr<Socket>& socket) {
  CDriverPivlink::Options options;
  options.serving = DriverServing::kCaller;
  return std::make_unique<CDriverPivlink>(std::make_unique<SocketDriver>(socket), options);
}

DriverDevice Board(const std::string& name, int channels, int serial) {
  DriverDevice d;
  d.name = name;
  for (int c = 1; c <= channels; ++c) d.channels.push_back(std::to_string(c));
  d.serial = serial;
  return d;
}

class Queue : public IEventQueue {
 public:
  std::vector<std::function<void()>> posted;
  void Post(std::function<void()> work) override { posted.push_back(std::move(work)); }
  void Run() {
    auto work = std::exchange(posted, {});
    for (auto& w : work) w();
  }
};

class Resets : public IColumnObserver {
 public:
  int resets = 0;
  void OnColumnChanged(const CToggraDlg&, int, unsigned) override {}
  void OnColumnsReset(const CToggraDlg&) override { ++resets; }
};

class Hotplug : public ::testing::Test {
 protected:
  static constexpr const char* kState = "/run/stand.txt";

  Hotplug() {
    dlg = std::make_unique<CToggraDlg>(t.Services([this] {
      std::vector<CCompositePivlink::Part> parts;
      for (auto& socket : {a, b})
        parts.push_back({"fake", "fake:" + std::to_string(parts.size()), OpenSocket(socket),
                         [socket] { return OpenSocket(socket); }});
      return std::make_unique<CCompositePivlink>(std::move(parts));
    }));
    dlg->m_stateFile = kState;
    dlg->AddObserver(&observer);
  }
  void Start(int pollMs = 0) {
    ASSERT_TRUE(dlg->OnInitDialog());
    MakeHotplug(pollMs);
  }
  void MakeHotplug(int pollMs = 0) {
    CHotplug::Options options;
    options.nowMs = [this] { return now; };
    options.pollMs = pollMs;
    options.background = [this](std::function<void()> work) { background.push_back(std::move(work)); };
    hotplug = std::make_unique<CHotplug>(*dlg, queue, options);
  }
  // The search off the event thread, then its result on the event thread.
  void RunSearch() {
    for (auto& work : std::exchange(background, {})) work();
    queue.Run();
  }
  void Plug(const std::shared_ptr<Socket>& socket, DriverDevice device, uint32_t levels) {
    std::lock_guard lock(socket->mutex);
    socket->devices.push_back(std::move(device));
    socket->levels = levels;
  }
  std::string State() { return t.files.files[kState]; }

  TestDialog t;
  std::shared_ptr<Socket> a = std::make_shared<Socket>(), b = std::make_shared<Socket>();
  // Before the dialog, which tells its observers when it ends.
  Queue queue;
  Resets observer;
  std::unique_ptr<CToggraDlg> dlg;
  int64_t now = 1000;
  std::vector<std::function<void()>> background;
  std::unique_ptr<CHotplug> hotplug;
};

TEST_F(Hotplug, ADevicePluggedInLaterGetsColumnsAfterTheOthers) {
  Plug(a, Board("A", 2, 111), 0b01);
  Start();
  ASSERT_EQ(dlg->m_switchCount, 2);
  const int width = t.host.outer.cx;
  EXPECT_EQ(State().rfind("1 0 ", 0), 0u);

  Plug(b, Board("B", 1, 222), 0b1);
  hotplug->DevicesChanged();
  now += 299;
  hotplug->Tick();
  EXPECT_TRUE(background.empty()) << "searched before the burst of events settled";
  now += 1;
  hotplug->Tick();
  ASSERT_EQ(background.size(), 1u);
  for (auto& work : std::exchange(background, {})) work();
  EXPECT_EQ(dlg->m_switchCount, 2) << "columns changed off the event thread";
  queue.Run();

  ASSERT_EQ(dlg->m_switchCount, 3);
  EXPECT_EQ(dlg->m_records[0].m_devNo, 0);
  EXPECT_EQ(dlg->m_records[1].m_devNo, 0);
  EXPECT_EQ(dlg->m_records[2].m_devNo, 1);
  EXPECT_EQ(dlg->m_records[2].m_state, 1);
  EXPECT_EQ(dlg->Control(kIdGroupBox + 2).text, "222");
  EXPECT_EQ(t.tray.icons.size(), 3u);
  EXPECT_EQ(t.tray.IconOf(kTrayIdSwitch + 2), kIconGreen);
  EXPECT_EQ(t.host.outer.cx - width, dlg->Control(kIdGroupBox).rect.Width())
      << "the window grows by one column";
  EXPECT_EQ(State().rfind("1 0 1 ", 0), 0u) << State();
  EXPECT_EQ(observer.resets, 2);

  // Nothing waits any more: a later event opens no entry anew and adds nothing.
  hotplug->DevicesChanged();
  now += 1000;
  hotplug->Tick();
  RunSearch();
  EXPECT_EQ(dlg->m_switchCount, 3);
  EXPECT_EQ(a->opens, 1) << "an entry with its device is not opened again";
  EXPECT_EQ(b->opens, 2);
  EXPECT_EQ(observer.resets, 2);
}

TEST_F(Hotplug, AnEntryWithADeviceTakesUpItsSecondAfterEveryOtherColumn) {
  Plug(a, Board("A", 1, 111), 0b1);
  Plug(b, Board("B", 1, 222), 0b0);
  Start();
  ASSERT_EQ(dlg->m_switchCount, 2);
  Plug(a, Board("A2", 2, 333), 0b1);  // the socket's levels: bit 0 of each device
  hotplug->DevicesChanged();
  now += 300;
  hotplug->Tick();
  RunSearch();
  ASSERT_EQ(dlg->m_switchCount, 4);
  EXPECT_EQ(dlg->m_records[1].m_serial, 222) << "the columns there stay in place";
  EXPECT_EQ(dlg->m_records[2].m_serial, 333);
  EXPECT_EQ(dlg->m_records[2].m_devNo, 2);
  EXPECT_EQ(StableChannelId(*dlg->m_device, 2, kFirstSwitchId + 1), "fake:A2:2");
  EXPECT_EQ(a->opens, 1);
}

TEST_F(Hotplug, EventsDuringASearchAreLookedAtByTheNextOne) {
  Plug(a, Board("A", 1, 111), 0);
  Start();
  hotplug->DevicesChanged();
  now += 300;
  hotplug->Tick();
  ASSERT_EQ(background.size(), 1u);
  for (auto& work : std::exchange(background, {})) work();  // finds nothing yet
  // The board's node comes while the search's result is on its way.
  Plug(b, Board("B", 2, 222), 0);
  hotplug->DevicesChanged();
  now += 300;
  hotplug->Tick();
  EXPECT_TRUE(background.empty()) << "two searches at once";
  queue.Run();
  EXPECT_EQ(dlg->m_switchCount, 1);
  hotplug->Tick();
  ASSERT_EQ(background.size(), 1u);
  RunSearch();
  EXPECT_EQ(dlg->m_switchCount, 3);
}

TEST_F(Hotplug, ASimulationGivesWayToTheFirstRealDevice) {
  Start();
  ASSERT_EQ(dlg->m_simulation, 1);
  ASSERT_EQ(dlg->Control(kIdGroupBox).text, "Simulation");
  EXPECT_TRUE(State().empty());
  Plug(b, Board("B", 2, 222), 0b10);
  hotplug->DevicesChanged();
  now += 300;
  hotplug->Tick();
  RunSearch();
  EXPECT_EQ(dlg->m_simulation, 0);
  ASSERT_EQ(dlg->m_switchCount, 2);
  EXPECT_EQ(dlg->m_records[0].m_serial, 222);
  EXPECT_EQ(dlg->Control(kIdGroupBox).text, "222");
  EXPECT_EQ(t.tray.icons.size(), 2u);
  EXPECT_EQ(t.tray.IconOf(kTrayIdSwitch), kIconRed);
  EXPECT_EQ(State().rfind("0 1 ", 0), 0u) << State();
}

TEST_F(Hotplug, AFrontEndThatWaitsRunsWithoutColumnsUntilADeviceComes) {
  int waits = 0;
  dlg->m_waitForDevices = [&] { ++waits; };
  Start();
  EXPECT_EQ(waits, 1);
  EXPECT_EQ(dlg->m_switchCount, 0);
  EXPECT_EQ(dlg->m_simulation, 0);
  EXPECT_TRUE(t.prompts.shown.empty()) << "no start-error dialog while waiting";
  dlg->TimerTick();
  EXPECT_EQ(t.files.readOpens + t.files.writeOpens, 0) << "the state file is not ours yet";

  Plug(a, Board("A", 1, 111), 0b1);
  hotplug->DevicesChanged();
  now += 300;
  hotplug->Tick();
  RunSearch();
  EXPECT_EQ(dlg->m_switchCount, 1);
  EXPECT_EQ(State().rfind("1 ", 0), 0u) << State();
}

// The no-device dialog of the start-up runs the event loop, and with it the
// tick: a device coming then is taken up once the start-up is done.
TEST_F(Hotplug, NothingIsSearchedBeforeTheStartUpHasLaidOutTheColumns) {
  MakeHotplug();
  Plug(a, Board("A", 1, 111), 0b1);
  hotplug->DevicesChanged();
  now += 300;
  hotplug->Tick();
  EXPECT_TRUE(background.empty());
  ASSERT_TRUE(dlg->OnInitDialog());
  ASSERT_EQ(dlg->m_switchCount, 1);
  hotplug->Tick();
  RunSearch();
  EXPECT_EQ(dlg->m_switchCount, 1) << "the device the start-up found counts once";
  Plug(b, Board("B", 1, 222), 0b1);
  hotplug->DevicesChanged();
  now += 300;
  hotplug->Tick();
  RunSearch();
  EXPECT_EQ(dlg->m_switchCount, 2);
}

TEST_F(Hotplug, WithoutAMonitorTheEntriesAreLookedAtAtAnInterval) {
  Start(5000);
  now += 4999;
  hotplug->Tick();
  EXPECT_TRUE(background.empty());
  now += 1;
  hotplug->Tick();
  EXPECT_EQ(background.size(), 1u);
}

}  // namespace
}  // namespace toggra::test
