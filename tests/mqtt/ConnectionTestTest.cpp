// The dialog's "Verbindung prüfen" against a real broker on loopback: an
// accepted connection, and a broker that refuses anonymous logins.
#include <gtest/gtest.h>

#include "config/DeviceSetup.h"
#include "mqtt/BrokerSupport.h"

namespace toggra::mqtt_test {
namespace {

TEST(ConnectionTest, SaysWhetherTheBrokerAcceptedTheLogin) {
  e2e::TempDir dir;
  CBroker open(dir.Path().string());
  config::SetupMqtt mqtt;
  mqtt.url = open.Url();
  std::string result;
  EXPECT_TRUE(config::TryMqttConnection(mqtt, 5s, &result)) << result;
  EXPECT_EQ(result, "connected to 127.0.0.1:" + std::to_string(open.Port()));

  e2e::TempDir closedDir;
  CBroker closed(closedDir.Path().string(), "allow_anonymous false\n");
  mqtt.url = closed.Url("anna");
  EXPECT_FALSE(config::TryMqttConnection(mqtt, 5s, &result));
  EXPECT_NE(result.find("refused the login of user \"anna\""), std::string::npos) << result;
}

}  // namespace
}  // namespace toggra::mqtt_test
