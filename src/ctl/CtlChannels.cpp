#include "ctl/CtlChannels.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "app/Format.h"
#include "app/Ids.h"
#include "app/StartUpSteps.h"
#include "device/DeviceRegistry.h"
#include "settings/DeviceSettings.h"

namespace toggra {

namespace {

constexpr int kSwitchTypes[] = {kTypeSwitch8, kTypeMultiSwitch, kTypeSwitch48, kTypeSwitch5};
constexpr int kCutterPlain = 1;
constexpr int kCutterAlt = 17;

struct LampState {
  int red, yellow, green;
  const char* name;
};
// The lamps of a traffic light as the program's poll reads them.
constexpr LampState kLampStates[] = {
    {1, 0, 0, "red"}, {0, 1, 0, "yellow"}, {0, 0, 1, "green"}, {0, 0, 0, "dark"}};

bool IsSwitchType(int type) {
  return std::find(std::begin(kSwitchTypes), std::end(kSwitchTypes), type) !=
         std::end(kSwitchTypes);
}

std::string ReadState(CCompositePivlink& lib, const CtlChannel& c) {
  if (c.trafficLight) {
    const int red = lib.GetSwitch(c.device, kLampRed);
    const int yellow = lib.GetSwitch(c.device, kLampYellow);
    const int green = lib.GetSwitch(c.device, kLampGreen);
    for (const LampState& l : kLampStates)
      if (l.red == red && l.yellow == yellow && l.green == green) return l.name;
    return kCtlUnreachable;
  }
  int raw;
  if (c.type == kTypeMultiSwitch) {
    unsigned long value = 0;
    if (lib.GetMultiSwitch(c.device, nullptr, &value, 0) < 0) return kCtlUnreachable;
    raw = static_cast<int>((value >> (c.switchId - kFirstSwitchId)) & 1);
  } else {
    raw = lib.GetSwitch(c.device, c.switchId);
  }
  if (raw != 0 && raw != 1) return kCtlUnreachable;
  return (raw == 1) != c.inverted ? "on" : "off";
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
    const int type = lib.GetUSBType(d);
    if (!IsSwitchType(type)) continue;
    int count = 0, button = 0;
    if (!lib.GetSwitchConfig(d, &count, &button)) {
      lib.GetOnlineOnCount(d);  // the retry discovery makes
      if (!lib.GetSwitchConfig(d, &count, &button)) continue;
    }
    const bool trafficLight = lib.IsAmpel(d) != 0;
    if (trafficLight) count = std::min(count, 1);
    const int version = lib.GetVersion(d);
    const int serial = lib.GetSerialNumber(d);
    const int cutter = lib.IsCutter(d);
    for (int ch = 0; ch < count; ++ch) {
      CtlChannel c;
      c.device = d;
      c.switchId = kFirstSwitchId + ch;
      c.id = lib.ChannelId(d, ch);
      c.backend = lib.BackendName(d);
      c.type = type;
      c.version = version;
      c.serial = serial;
      c.trafficLight = trafficLight;
      c.inverted = cutter == kCutterPlain || cutter == kCutterAlt;
      const ChannelRow* row = ChannelRowOf(c.switchId);
      std::string suffix = row ? row->suffix : "/" + std::to_string(ch + 1);
      if (row) {
        const int keyType = row->keyType == kDeviceTypeKey ? type : row->keyType;
        c.prefix = Format("%02x-%02x-%08x", keyType, version, serial);
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
