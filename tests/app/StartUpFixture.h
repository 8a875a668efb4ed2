// A main dialog on fake devices, started the way the front-end starts it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Format.h"
#include "support/TestDialog.h"

namespace toggra::test {

class StartUpFixture : public ::testing::Test {
 protected:
  static constexpr const char* kUsbKey = "SOFTWARE\\Arvendal GmbH\\USB";
  static constexpr const char* kOptionsKey = "SOFTWARE\\Arvendal GmbH\\USB\\Toggra";

  std::vector<std::string> names;  // the -N list; outlives the dialog
  TestDialog t;

  CToggraDlg& Dlg() { return t.Dialog(); }
  FakeDevice& AddDevice(int type, int switches, int serial = 1000) {
    FakeDevice dev;
    dev.type = type;
    dev.switches = switches;
    dev.serial = serial;
    t.device->devices.push_back(dev);
    return t.device->devices.back();
  }
  void Start() { ASSERT_TRUE(Dlg().OnInitDialog()); }

  // Per-device entries are named by key type, version, serial and entry.
  void StoreDword(int keyType, int version, int serial, const char* entry, int v) {
    t.registry.SetDword(RegRoot::LocalMachine, kUsbKey,
                        Format("%02x-%02x-%08x-%s", keyType, version, serial, entry), v);
  }
  void StoreString(int keyType, int version, int serial, const char* entry,
                   const std::string& s) {
    t.registry.SetString(RegRoot::LocalMachine, kUsbKey,
                         Format("%02x-%02x-%08x-%s", keyType, version, serial, entry), s);
  }
  const std::string& Text(int id) { return Dlg().Control(id).text; }
};

}  // namespace toggra::test
