#include "ctl/CtlChannels.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "app/Format.h"
#include "app/Ids.h"
#include "app/StartUpSteps.h"
#include "device/Channels.h"
#include "device/DeviceRegistry.h"
#include "settings/DeviceSettings.h"

namespace toggra {

namespace {

// A switched channel is read back after the device's worker has carried the
// command out and read the hardware again, or after this long.
constexpr int kSettleMs = 3000;

// The state names of kStateOff, kStateOn, kStateYellow and kStateDark.
constexpr const char* kPlainNames[] = {"off", "on"};
constexpr const char* kLightNames[] = {"red", "green", "yellow", "dark"};

std::string ReadState(CCompositePivlink& lib, const CtlChannel& c) {
  const int state = ReadChannelState(lib, c.device, c.switchId, c.type, c.trafficLight);
  if (c.trafficLight) return state < 0 ? kCtlUnreachable : kLightNames[state];
  if (state != kStateOff && state != kStateOn) return kCtlUnreachable;
  return kPlainNames[(state == kStateOn) != c.inverted ? 1 : 0];
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char ch : s) {
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += static_cast<char>(ch);
    } else if (ch < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", ch);
      out += esc;
    } else {
      out += static_cast<char>(ch);
    }
  }
  return out + "\"";
}

std::string Lower(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return s;
}

}  // namespace

std::vector<CtlChannel> ListChannels(CCompositePivlink& lib, int devices,
                                     CDeviceSettings* settings) {
  std::vector<CtlChannel> channels;
  for (int d = 0; d < devices; ++d) {
    DeviceClass dc = ClassifyDevice(lib, d);
    if (!dc.usable) continue;
    const int count = dc.trafficLight ? std::min(dc.channels, 1) : dc.channels;
    const int version = lib.GetVersion(d);
    const int serial = lib.GetSerialNumber(d);
    const bool inverted = IsCutterCode(lib.IsCutter(d));
    for (int ch = 0; ch < count; ++ch) {
      CtlChannel c;
      c.device = d;
      c.switchId = kFirstSwitchId + ch;
      c.id = lib.ChannelId(d, ch);
      c.backend = lib.BackendName(d);
      c.type = dc.type;
      c.version = version;
      c.serial = serial;
      c.trafficLight = dc.trafficLight;
      c.inverted = inverted;
      const ChannelRow* row = ChannelRowOf(c.switchId);
      std::string suffix = row ? row->suffix : "/" + std::to_string(ch + 1);
      const int keyType = KeyTypeOf(dc.type, ch);
      if (keyType >= 0) {
        c.prefix = SettingsPrefix(keyType, version, serial);
        auto name = [&](const char* entry) {
          return CDeviceSettings::ValueName(keyType, version, serial, entry);
        };
        // As the window's caption: the candidate's name, else "devID".
        if (settings && !settings->ReadString(name(kEntryCandidate), &c.caption))
          c.caption.clear();
        if (settings && c.caption.empty() && !settings->ReadString(name(kEntryDevId), &c.caption))
          c.caption.clear();
      }
      if (c.caption.empty()) c.caption = Format("%d%s", serial, suffix.c_str());
      c.state = ReadState(lib, c);
      channels.push_back(std::move(c));
    }
  }
  return channels;
}

CtlChannel* FindChannel(std::vector<CtlChannel>& channels, const std::string& id) {
  for (CtlChannel& c : channels)
    if (c.id == id) return &c;
  const std::string prefix = Lower(id);
  for (CtlChannel& c : channels)
    if (!c.prefix.empty() && c.prefix == prefix) return &c;
  return nullptr;
}

bool IsOnState(const std::string& state) { return state == "on" || state == "green"; }

bool SwitchChannel(CCompositePivlink& lib, CtlChannel& c, bool on, std::string* reason) {
  bool accepted = true;
  if (c.trafficLight) {
    // Red, yellow, green: the order in which the program sends a colour.
    accepted = lib.SetSwitch(c.device, kLampRed, on ? 0 : 1) != 0;
    accepted = lib.SetSwitch(c.device, kLampYellow, 0) != 0 && accepted;
    accepted = lib.SetSwitch(c.device, kLampGreen, on ? 1 : 0) != 0 && accepted;
  } else {
    accepted = lib.SetSwitch(c.device, c.switchId, on != c.inverted ? 1 : 0) != 0;
  }
  lib.Settle(c.device, kSettleMs);
  c.state = ReadState(lib, c);
  const std::string wanted = c.trafficLight ? (on ? "green" : "red") : (on ? "on" : "off");
  if (!accepted) {
    *reason = "the device refused the command (reads " + c.state + ")";
    return false;
  }
  if (c.state != wanted) {
    *reason = c.state == kCtlUnreachable ? std::string("unreachable")
                                         : "reads " + c.state + " after switching " +
                                               (on ? "on" : "off");
    return false;
  }
  return true;
}

std::string ChannelJson(const CtlChannel& c) {
  return "{\"id\": " + JsonString(c.id) + ", \"backend\": " + JsonString(c.backend) +
         ", \"state\": " + JsonString(c.state) + ", \"type\": " + std::to_string(c.type) +
         ", \"version\": " + std::to_string(c.version) + ", \"serial\": " +
         std::to_string(c.serial) + ", \"prefix\": " + JsonString(c.prefix) +
         ", \"caption\": " + JsonString(c.caption) + "}";
}

std::string AvailableJson(const std::string& entry, const std::string& description) {
  const size_t colon = entry.find(':');
  return "{\"id\": null, \"backend\": " + JsonString(entry.substr(0, colon)) +
         ", \"state\": \"available\", \"entry\": " + JsonString(entry) +
         ", \"description\": " + JsonString(description) + "}";
}

std::vector<std::pair<std::string, std::string>> AvailableEntries(
    const CDeviceRegistry& backends, const std::vector<std::string>& configured) {
  std::vector<std::pair<std::string, std::string>> result;
  for (const BackendInfo& b : backends.Backends()) {
    if (!b.available) continue;
    for (const auto& offer : b.available()) {
      const std::string& entry = offer.first;
      // "usbhub:1-1:2,3" configures the hardware of "usbhub:1-1".
      const bool named = std::any_of(configured.begin(), configured.end(), [&](const std::string& e) {
        return e == entry || e.rfind(entry + ":", 0) == 0;
      });
      if (!named) result.emplace_back(entry, offer.second);
    }
  }
  return result;
}

}  // namespace toggra
