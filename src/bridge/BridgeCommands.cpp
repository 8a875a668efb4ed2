// Commands from the broker, carried out on the event thread through the same
// routing as the window's buttons (OnCommand with the button ids), so that
// exclusive switching, the timed switch-on and protocol lines behave as there.
#include "app/ToggraDlg.h"
#include "bridge/MqttBridge.h"

namespace toggra {

namespace {

bool Running(const SwitchRecord& r) {
  return static_cast<int64_t>(r.m_countdownT) + r.m_countdown + r.m_countdown2 > 0;
}

// The button whose click takes plain record j to `wanted` (kStateOn or
// kStateOff), or 0 when it is there already.
int SwitchButtonFor(const CToggraDlg& d, int j, int wanted) {
  const SwitchRecord& r = d.m_records[j];
  const bool there = r.m_state >= 0 && (r.m_state > 0) == (wanted == kStateOn);
  if (d.m_groupMode) {
    // A block's button toggles that channel of every block, as in the window.
    if (there) return 0;
    for (int g = 0; g < d.m_groupCount; ++g) {
      const int upper = d.m_groupStride * d.m_groupSize * g;
      const int lower = (d.m_groupStride * g + 1) * d.m_groupSize;
      if (j >= upper && j < upper + d.m_groupSize) return kIdUpperButton + (j - upper);
      if (j >= lower && j < lower + d.m_groupSize) return kIdLowerButton + (j - lower);
    }
    return 0;
  }
  // An unreadable channel still gets the click: the routing then asks, as
  // it does for the window's buttons.
  if (there) return 0;
  // The one button of one-line display toggles the raw value.
  if (d.m_oneLine) return kIdUpperButton + j;
  // On an inverted channel the upper button sets the raw value 1.
  const bool inverted = r.m_inverted && !d.m_simulation;
  const bool upper = (wanted == kStateOn) == inverted;
  return (upper ? kIdUpperButton : kIdLowerButton) + j;
}

int ColourButtonFor(const CToggraDlg& d, int i, MqttCommand command) {
  switch (command) {
    case MqttCommand::kRed:
      // In one-line display the upper button toggles a red light to green.
      if (d.m_oneLine && d.m_records[i].m_state == kStateOff) return 0;
      return kIdUpperButton + i;
    case MqttCommand::kGreen:
      return kIdLowerButton + i;
    case MqttCommand::kYellow:
      return kIdThirdButton + i;
    case MqttCommand::kDark:
      return kCmdDark + i;
    default:
      return 0;
  }
}

}  // namespace

void CMqttBridge::HandleCommand(const std::string& id, const std::string& leaf,
                                const MqttMessage& message) {
  if (leaf != kTopicSet && leaf != kTopicRun) return;  // our own countdown, kind
  const std::string where = message.topic;
  if (message.payload.size() > kMaxCommandPayload) {
    Log("ignored " + where + ": message of " + std::to_string(message.payload.size()) +
        " bytes is too long");
    return;
  }
  if (message.payload.empty()) return;  // an emptied retained command
  if (message.retained) {
    // Kept from before this run: carrying it out on every connect would
    // repeat an old command. It is emptied instead.
    Log("ignored " + where + ": a retained command from before; it is removed");
    if (Owns())
      Publish(where, "", true);
    else
      m_retainedCommands.insert(where);
    return;
  }
  if (!Owns()) return;
  const auto it = m_byId.find(id);
  if (it == m_byId.end() || !m_dlg || m_dlg->Ended()) {
    Log("ignored " + where + ": no such channel");
    return;
  }
  const int i = static_cast<int>(it->second);
  MqttCommand command;
  const bool ok = leaf == kTopicSet ? ParseSetCommand(message.payload, m_channels[it->second].trafficLight, &command)
                                    : ParseRunCommand(message.payload, &command);
  if (!ok) {
    std::string shown = message.payload;
    for (char& c : shown)
      if (static_cast<unsigned char>(c) < ' ') c = '?';
    Log("ignored " + where + ": unknown command \"" + shown + "\"");
    return;
  }
  if (m_dlg->m_pushButton) {
    Log("ignored " + where + ": the program runs in push-button mode");
    return;
  }
  if (leaf == kTopicSet)
    RunSetCommand(i, command);
  else
    RunStartStop(i, command);
  // A live subscriber cannot tell whether a command was published with the
  // retain flag; an empty retained message makes sure it does not stay.
  Publish(where, "", true);
}

void CMqttBridge::RunSetCommand(int i, MqttCommand command) {
  CToggraDlg& d = *m_dlg;
  int button = 0;
  if (d.m_trafficLight) {
    button = ColourButtonFor(d, i, command);
  } else {
    int wanted = command == MqttCommand::kOn ? kStateOn : kStateOff;
    if (command == MqttCommand::kToggle) wanted = d.m_records[i].m_state > 0 ? kStateOff : kStateOn;
    button = SwitchButtonFor(d, i, wanted);
  }
  if (button) d.OnCommand(button);
  // Nothing changed (already there): the state on the broker is still right,
  // but a read-back costs little and heals a stale one.
  if (!button) PublishState(static_cast<size_t>(i));
}

void CMqttBridge::RunStartStop(int i, MqttCommand command) {
  CToggraDlg& d = *m_dlg;
  const bool running = Running(d.m_records[i]);
  if ((command == MqttCommand::kStart && running) || (command == MqttCommand::kStop && !running))
    return;
  d.OnCommand(kIdStartButton + i);
}

}  // namespace toggra
