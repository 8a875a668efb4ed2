// Topics and payloads from the broker, as anyone with access to it may send
// them: splitting a topic, the spelling of a channel id, commands, states and
// claims. Whatever the bytes, nothing crashes, and what parses is what the
// writing side would have written.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "bridge/Topics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace toggra;
  const std::string in(reinterpret_cast<const char*>(data), size);

  std::string id, leaf;
  if (SplitChannelTopic(in, "toggra/box", &id, &leaf)) {
    FUZZ_REQUIRE("toggra/box/" + id + "/" + leaf == in);
    FUZZ_REQUIRE(id.find('/') == std::string::npos && !leaf.empty());
  }
  // One spelling per stable id, both ways.
  std::string stable;
  if (StableIdOfTopic(in, &stable)) FUZZ_REQUIRE(TopicIdOf(stable) == in);
  const std::string spelled = TopicIdOf(in);
  FUZZ_REQUIRE(spelled.find_first_of("/+#") == std::string::npos);
  if (!in.empty()) {
    FUZZ_REQUIRE(StableIdOfTopic(spelled, &stable));
    FUZZ_REQUIRE(stable == in);
  }
  std::string backend, device, channel;
  if (SplitStableId(in, &backend, &device, &channel))
    FUZZ_REQUIRE(backend + ":" + device + ":" + channel == in);

  MqttCommand command;
  for (const bool light : {false, true}) {
    if (ParseSetCommand(in, light, &command)) FUZZ_REQUIRE(in.size() <= kMaxCommandPayload);
    int state = 0;
    if (ParseStateText(in, light, &state)) FUZZ_REQUIRE(StateText(state, light) == in);
  }
  (void)ParseRunCommand(in, &command);
  std::string machine, host;
  long pid = 0;
  if (ParseClaim(in, &machine, &pid, &host)) FUZZ_REQUIRE(!machine.empty());
  return 0;
}
