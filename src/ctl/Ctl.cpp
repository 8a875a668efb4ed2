#include "ctl/Ctl.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <ostream>

#include "app/Format.h"
#include "app/Ids.h"
#include "app/StartProblem.h"
#include "app/StartUpSteps.h"
#include "bridge/HomeAssistant.h"
#include "bridge/BrokerAnswers.h"
#include "bridge/MqttConfig.h"
#include "bridge/Topics.h"
#include "config/Config.h"
#include "ctl/CtlChannels.h"
#include "device/BackendModule.h"
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
  bool system = false;
  std::string text;  // of `name`
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
    } else if (a == "--system") {
      c->system = true;
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
  if (c->system && c->verb != "name") {
    *problem = "--system is not an option of " + c->verb;
    return false;
  }
  if (c->verb == "config") {
    if (words.size() != 1 || c->all || c->json) {
      *problem = "config takes no argument";
      return false;
    }
    return true;
  }
  if (c->verb == "name") {
    if (words.size() != 3 || c->all || c->json) {
      *problem = "name takes ID TEXT (TEXT '' removes the caption)";
      return false;
    }
    c->id = words[1];
    c->text = words[2];
    return true;
  }
  if (c->verb == "forget") {
    if (words.size() != 2 || c->all || c->json) {
      *problem = "forget takes one ID";
      return false;
    }
    c->id = words[1];
    return true;
  }
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

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
  std::string text;
  for (const std::string& p : parts) text += (text.empty() ? "" : separator) + p;
  return text;
}

// The device entries with their source, as ConfiguredDeviceEntries finds them.
config::ConfValue DeviceEntriesSource(const config::CConfig& conf, const CtlServices& s) {
  auto env = [&](const char* name) -> const char* {
    const char* v = s.getenv ? s.getenv(name) : std::getenv(name);
    return v && *v ? v : nullptr;
  };
  if (!env("TOGGRA_DEVICES"))
    if (const char* bench = env("TOGGRA_BENCH"))
      return {std::string("bench:") + bench, "environment TOGGRA_BENCH"};
  if (auto v = config::Resolve(*config::FindSetting(config::kSectionDevices, "entries"), conf,
                               s.registry, s.getenv))
    return *v;
  return {Joined(s.backends->DefaultEntries(), "; "), "default"};
}

void PrintSetting(std::ostream& out, const std::string& key, const std::string& value,
                  const std::string& source) {
  out << key << " = " << value << "\t# " << source << "\n";
}

int PrintConfig(const CtlServices& s) {
  std::ostream& out = *s.out;
  const config::CConfig conf = config::LoadConfig(s.getenv);
  auto describe = [](const std::string& path, const char* role) {
    std::error_code ec;
    const bool exists = !path.empty() && std::filesystem::exists(path, ec);
    return std::string("# ") + role + " file: " + (path.empty() ? "(none: no HOME)" : path) +
           (exists ? "" : " (absent)") + "\n";
  };
  out << describe(conf.Paths().machine, "machine") << describe(conf.Paths().user, "user");
  const config::ConfValue entries = DeviceEntriesSource(conf, s);
  out << "\n[" << config::kSectionDevices << "]\n";
  PrintSetting(out, "entries", entries.value, entries.source);
  out << "\n[" << config::kSectionMqtt << "]\n";
  for (const config::Setting& setting : config::KnownSettings()) {
    if (std::string(setting.section) != config::kSectionMqtt) continue;
    if (auto v = config::Resolve(setting, conf, s.registry, s.getenv)) {
      PrintSetting(out, setting.key, v->value, v->source);
    } else if (std::string(setting.key) == "prefix") {
      PrintSetting(out, setting.key, DefaultTopicPrefix(), "default");
    } else if (std::string(setting.key) == "discovery-prefix") {
      PrintSetting(out, setting.key, MqttConfig().discoveryPrefix, "default");
    } else {
      PrintSetting(out, setting.key, "", "not set");
    }
  }
  out << "\n[" << config::kSectionCaption << "]\n";
  for (const auto& [id, value] : conf.Captions()) PrintSetting(out, id, value.value, value.source);
  return kCtlExitDone;
}

int SetName(const Command& c, const CtlServices& s) {
  const config::ConfPaths paths = config::DefaultConfPaths(s.getenv);
  const std::string& path = c.system ? paths.machine : paths.user;
  if (path.empty()) {
    *s.err << "toggra-ctl: no user configuration file (neither XDG_CONFIG_HOME nor HOME is set)\n";
    return kCtlExitUsage;
  }
  std::string reason;
  if (!config::WriteCaption(path, c.id, c.text, &reason)) {
    *s.err << "toggra-ctl: " << reason << "\n";
    return kCtlExitDevice;
  }
  *s.out << (c.text.empty() ? "removed the caption of " + c.id : c.id + " = " + c.text) << " in "
         << path << "\n";
  return kCtlExitDone;
}

// Captions from toggra.conf for the channels that have neither a candidate's
// name nor a "devID" value.
void AddFileCaptions(std::vector<CtlChannel>& channels, CDeviceSettings* settings,
                     const CtlServices& s) {
  const config::CConfig conf = config::LoadConfig(s.getenv);
  for (CtlChannel& c : channels) {
    std::string stored;
    if (settings && !c.prefix.empty() &&
        (settings->ReadString(c.prefix + "-" + kEntryCandidate, &stored) ||
         settings->ReadString(c.prefix + "-" + kEntryDevId, &stored)))
      continue;
    if (auto caption = conf.Caption(c.id)) c.caption = caption->value;
  }
}

// Empties what this machine's bridge left on the broker for one channel, so
// that Home Assistant drops its entities; the channel need not be present.
int Forget(const Command& c, const CtlServices& s) {
  MqttConfig config;
  std::string reason;
  if (!LoadNeededMqttConfig(s.registry, &config, &reason, s.getenv)) {
    *s.err << "toggra-ctl: " << reason << "\n";
    return kCtlExitUsage;
  }
  std::string stable;
  const std::string id = StableIdOfTopic(c.id, &stable) ? c.id : TopicIdOf(c.id);
  // Answered by the broker after the messages before it: then they are done.
  const std::string echo = config.prefix + "/forget/" + std::to_string(::getpid());
  CBrokerAnswers answers(echo);
  // The client comes from the mqtt back-end module, loaded only now.
  std::unique_ptr<IMqttClient> client =
      CreateMqttClient(config, "toggra-ctl-" + std::to_string(::getpid()), answers, {}, {}, &reason);
  if (!client || !client->Start(&reason)) {
    *s.err << "toggra-ctl: " << reason << "\n";
    return kCtlExitDevice;
  }
  const CBrokerAnswers::Seen seen = answers.WaitFor(
      std::chrono::seconds(5), [](const CBrokerAnswers::Seen& a) { return a.connected; });
  if (!seen.connected) {
    *s.err << "toggra-ctl: " << (seen.problem.empty() ? "the broker did not answer" : seen.problem)
           << "\n";
    return kCtlExitDevice;
  }
  const auto topics = ChannelRetainedTopics(config.discoveryPrefix, config.prefix, MachineId(), id);
  // The device config goes on with the device's other channels: it is read,
  // and published again without this channel's entities. Each round ends
  // with the echo, which the broker answers after what came before it.
  const std::string device =
      DeviceConfigTopic(config.discoveryPrefix, MachineId(), config.prefix, DeviceKeyOf(id));
  answers.Keep(device);
  const auto round = [&](int n) {
    client->Publish(echo, "done", false);
    return answers.WaitFor(std::chrono::seconds(5),
                           [n](const CBrokerAnswers::Seen& a) { return a.watchedCount >= n; });
  };
  client->Subscribe(echo);
  client->Subscribe(device);
  const std::string devicePayload = round(1).kept;
  if (!devicePayload.empty()) client->Publish(device, DeviceConfigWithout(devicePayload, id), true);
  for (const std::string& topic : topics) client->Publish(topic, "", true);
  round(2);
  client->Stop({}, {});
  *s.out << "forgot " << c.id << " under " << config.prefix << " (" << topics.size()
         << " retained topics emptied)\n";
  return kCtlExitDone;
}

}  // namespace

std::string CtlUsage() {
  return "usage: toggra-ctl list [--all] [--json]\n"
         "       toggra-ctl config                (the configuration and where each value comes from)\n"
         "       toggra-ctl name ID TEXT [--system] (a caption in toggra.conf; TEXT '' removes it)\n"
         "       toggra-ctl status ID [--json]\n"
         "       toggra-ctl on|off|toggle ID\n"
         "       toggra-ctl cycle ID [SECONDS]   (off, wait, on; default 2 s)\n"
         "       toggra-ctl forget ID            (removes the channel's MQTT topics and entities)\n"
         "ID is BACKEND:DEVICE:CHANNEL (usbhub:1-1.4:2, bench:0:3) or the channel's\n"
         "settings prefix (08-1f-00001a2b). The devices are those of TOGGRA_DEVICES,\n"
         "TOGGRA_BENCH, [devices] entries of toggra.conf or the \"Devices\" setting, as for\n"
         "toggra.\n"
         "Exit status: 0 done, 1 refused, unreachable or no device found, 2 usage error\n"
         "or an unknown back-end.\n";
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

  if (c.verb == "config") return PrintConfig(s);
  if (c.verb == "name") return SetName(c, s);
  if (c.verb == "forget") return Forget(c, s);

  const std::vector<std::string> entries = ConfiguredDeviceEntries(s.registry, s.getenv);
  // An entry that no hardware can make work is a usage error.
  if (const auto unusable = UnusableDeviceEntries(*s.backends, entries); !unusable.empty()) {
    for (const std::string& message : unusable) err << "toggra-ctl: " << message << "\n";
    return kCtlExitUsage;
  }
  std::unique_ptr<CCompositePivlink> lib =
      s.backends->Open(entries, [&](const std::string& m) { err << "toggra-ctl: " << m << "\n"; });
  const int devices = lib->OpenArvendal();
  std::unique_ptr<CDeviceSettings> settings;
  DeviceSettingsRoot root;
  if (s.registry) settings = std::make_unique<CDeviceSettings>(*s.registry, root, nullptr);
  std::vector<CtlChannel> channels = ListChannels(*lib, devices, settings.get());
  AddFileCaptions(channels, settings.get(), s);

  if (c.verb == "list") {
    const Available available = c.all ? AvailableEntries(*s.backends, entries) : Available{};
    PrintChannels(out, channels, c.json, available);
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
    if (!channels.empty() || !available.empty()) return kCtlExitDone;
    const config::ConfValue searched = DeviceEntriesSource(config::LoadConfig(s.getenv), s);
    err << "toggra-ctl: no device found; searched " << Joined(entries, "; ") << " ("
        << searched.source << ").\n"
        << "A device that is attached but not found usually lacks permission (the udev rules, "
           "the group toggra); toggra-ctl list --all names what could not be opened.\n";
    return kCtlExitDevice;
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
