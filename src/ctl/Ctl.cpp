#include "ctl/Ctl.h"

#include <cstdlib>
#include <ostream>

#include "app/Format.h"
#include "app/Ids.h"
#include "app/StartUpSteps.h"
#include "ctl/CtlChannels.h"
#include "device/DeviceRegistry.h"
#include "settings/DeviceSettings.h"

namespace toggra {

namespace {

constexpr int kDefaultCycleSeconds = 2;
constexpr int kMaxCycleSeconds = 24 * 60 * 60;
constexpr int kMillisecondsPerSecond = 1000;

struct Command {
  std::string verb;
  std::string id;
  bool all = false;
  bool json = false;
  int seconds = kDefaultCycleSeconds;
};

bool IsSwitchVerb(const std::string& v) {
  return v == "on" || v == "off" || v == "toggle" || v == "cycle";
}

// False and *problem on a usage error.
bool Parse(const std::vector<std::string>& args, Command* c, std::string* problem) {
  std::vector<std::string> words;
  for (const std::string& a : args) {
    if (a == "--all") {
      c->all = true;
    } else if (a == "--json") {
      c->json = true;
    } else if (a == "--help" || a == "-h") {
      c->verb = "help";
      return true;
    } else if (a.size() > 1 && a[0] == '-') {
      *problem = "unknown option " + a;
      return false;
    } else {
      words.push_back(a);
    }
  }
  if (words.empty()) {
    *problem = "no command given";
    return false;
  }
  c->verb = words[0];
  if (c->verb == "help") return true;
  if (c->verb == "list") {
    if (words.size() != 1) {
      *problem = "list takes no id";
      return false;
    }
    return true;
  }
  if (c->verb != "status" && !IsSwitchVerb(c->verb)) {
    *problem = "unknown command " + c->verb;
    return false;
  }
  if (c->all || (c->json && c->verb != "status")) {
    *problem = (c->all ? "--all" : "--json") + std::string(" is not an option of ") + c->verb;
    return false;
  }
  const size_t most = c->verb == "cycle" ? 3 : 2;
  if (words.size() < 2 || words.size() > most) {
    *problem = c->verb + (c->verb == "cycle" ? " takes ID [SECONDS]" : " takes one ID");
    return false;
  }
  c->id = words[1];
  if (words.size() == 3) {
    const std::string& s = words[2];
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end || v < 0 || v > kMaxCycleSeconds) {
      *problem = "bad SECONDS \"" + s + "\" (0 to " + std::to_string(kMaxCycleSeconds) + ")";
      return false;
    }
    c->seconds = static_cast<int>(v);
  }
  return true;
}

using Available = std::vector<std::pair<std::string, std::string>>;

void PrintChannels(std::ostream& out, const std::vector<CtlChannel>& channels, bool json,
                   const Available& available = {}) {
  if (json) {
    // One array; hardware that is not configured comes last, with the state
    // "available" and the entry that would enable it.
    std::vector<std::string> objects;
    for (const CtlChannel& c : channels) objects.push_back(ChannelJson(c));
    for (const auto& [entry, description] : available)
      objects.push_back(AvailableJson(entry, description));
    out << "[";
    for (size_t i = 0; i < objects.size(); ++i) out << (i ? ",\n " : "") << objects[i];
    out << "]\n";
    return;
  }
  for (const CtlChannel& c : channels)
    out << c.id << "\t" << c.state << "\t" << Format("type %d, version %d, serial %d", c.type,
                                                     c.version, c.serial)
        << "\t" << c.caption << "\n";
  for (const auto& [entry, description] : available)
    out << "available\t" << entry << "\t" << description << "\n";
}

}  // namespace

std::string CtlUsage() {
  return "usage: toggra-ctl list [--all] [--json]\n"
         "       toggra-ctl status ID [--json]\n"
         "       toggra-ctl on|off|toggle ID\n"
         "       toggra-ctl cycle ID [SECONDS]   (off, wait, on; default 2 s)\n"
         "ID is BACKEND:DEVICE:CHANNEL (usbhub:1-1.4:2, bench:0:3) or the channel's\n"
         "settings prefix (08-1f-00001a2b). The devices are those of TOGGRA_DEVICES,\n"
         "TOGGRA_BENCH or the \"Devices\" setting, as for toggra.\n"
         "Exit status: 0 done, 1 refused or unreachable, 2 usage error.\n";
}

int RunCtl(const std::vector<std::string>& args, const CtlServices& s) {
  std::ostream& out = *s.out;
  std::ostream& err = *s.err;
  Command c;
  std::string problem;
  if (!Parse(args, &c, &problem)) {
    err << "toggra-ctl: " << problem << "\n" << CtlUsage();
    return kCtlExitUsage;
  }
  if (c.verb == "help") {
    out << CtlUsage();
    return kCtlExitDone;
  }

  const std::vector<std::string> entries = ConfiguredDeviceEntries(s.registry, s.getenv);
  std::unique_ptr<CCompositePivlink> lib =
      s.backends->Open(entries, [&](const std::string& m) { err << "toggra-ctl: " << m << "\n"; });
  const int devices = lib->OpenArvendal();
  std::unique_ptr<CDeviceSettings> settings;
  DeviceSettingsRoot root;
  if (s.registry) settings = std::make_unique<CDeviceSettings>(*s.registry, root, nullptr);
  std::vector<CtlChannel> channels = ListChannels(*lib, devices, settings.get());

  if (c.verb == "list") {
    PrintChannels(out, channels, c.json,
                  c.all ? AvailableEntries(*s.backends, entries) : Available{});
    // The last line of `list --all`: the back-ends this build has.
    if (c.all && !c.json) {
      const char* separator = "\t";
      out << "backends";
      for (const BackendInfo& b : s.backends->Backends()) {
        out << separator << b.name;
        separator = " ";
      }
      out << "\n";
    }
    return kCtlExitDone;
  }

  CtlChannel* channel = FindChannel(channels, c.id);
  if (!channel) {
    err << "toggra-ctl: " << c.id << ": no such channel (see toggra-ctl list)\n";
    return kCtlExitDevice;
  }
  if (c.verb == "status") {
    PrintChannels(out, {*channel}, c.json);
    return channel->state == kCtlUnreachable ? kCtlExitDevice : kCtlExitDone;
  }
  if (channel->state == kCtlUnreachable) {
    err << "toggra-ctl: " << channel->id << ": unreachable\n";
    return kCtlExitDevice;
  }
  std::string reason;
  bool ok = true;
  if (c.verb == "on" || c.verb == "off") {
    ok = SwitchChannel(*lib, *channel, c.verb == "on", &reason);
  } else if (c.verb == "toggle") {
    ok = SwitchChannel(*lib, *channel, !IsOnState(channel->state), &reason);
  } else {  // cycle
    ok = SwitchChannel(*lib, *channel, false, &reason);
    if (ok) {
      if (s.sleep) s.sleep(c.seconds * kMillisecondsPerSecond);
      ok = SwitchChannel(*lib, *channel, true, &reason);
    }
  }
  if (!ok) {
    err << "toggra-ctl: " << channel->id << ": " << reason << "\n";
    return kCtlExitDevice;
  }
  return kCtlExitDone;
}

}  // namespace toggra
