// A broker that lets in only clients with a certificate of its CA: the
// bridge logs in with TOGGRA_MQTT_CERT_FILE and TOGGRA_MQTT_KEY_FILE, and
// without them ends like any other TLS failure.
#include <sys/stat.h>
#include <sys/wait.h>

#include "mqtt/BrokerSupport.h"

namespace toggra::mqtt_test {
namespace {

class ClientCertificate : public e2e::E2ETest {
 protected:
  std::string tls = dir.File("tls");

  // A throwaway CA, the broker's certificate for 127.0.0.1 and a client's,
  // both signed by the CA.
  void MakeCertificates() {
    ::mkdir(tls.c_str(), 0700);
    const std::string t = tls + "/";
    const std::string script =
        "set -e; cd " + tls + "; exec 2>openssl.err; "
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Test-CA -keyout ca.key -out ca.pem; "
        "for who in server client; do "
        "  cn=$([ $who = server ] && echo 127.0.0.1 || echo toggra-test); "
        "  openssl req -newkey rsa:2048 -nodes -subj /CN=$cn -keyout $who.key -out $who.csr; "
        "  printf 'subjectAltName=IP:127.0.0.1\\n' > $who.ext; "
        "  openssl x509 -req -in $who.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 "
        "    -extfile $who.ext -out $who.pem; "
        "done; chmod 600 *.key";
    ASSERT_EQ(::system(("sh -c '" + Quote(script) + "'").c_str()), 0) << e2e::TempDir::Read(t + "openssl.err");
  }
  static std::string Quote(const std::string& s) {
    std::string out;
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out;
  }
  MqttConfig Tls(int port, bool withCertificate) const {
    MqttConfig config;
    config.host = "127.0.0.1";
    config.port = port;
    config.tls = true;
    config.caFile = tls + "/ca.pem";
    if (withCertificate) {
      config.certFile = tls + "/client.pem";
      config.keyFile = tls + "/client.key";
    }
    return config;
  }
};

TEST_F(ClientCertificate, OnlyTheBridgeWithItsCertificateGetsIn) {
  MakeCertificates();
  const std::string t = tls + "/";
  CBroker broker(tls, "allow_anonymous true\ncafile " + t + "ca.pem\ncertfile " + t + "server.pem\nkeyfile " + t +
                         "server.key\nrequire_certificate true\n");
  CWatcher watch(Tls(broker.Port(), true), "cert-watcher");
  std::ofstream(bench) << e2e::BenchText({{8, 1, 1, 0, 0, 0, {0}}});
  std::map<std::string, std::string> env{{"TOGGRA_MQTT", "mqtts://127.0.0.1:" + std::to_string(broker.Port())},
                                         {"TOGGRA_MQTT_CA_FILE", t + "ca.pem"},
                                         {"TOGGRA_MQTT_PREFIX", "toggra/cert"},
                                         {"TOGGRA_MACHINE_ID", "machine-cert"}};

  // Without a certificate the broker ends the handshake: named, and 78.
  ChildProcess& refused = Start({"--headless"}, "nocert", env);
  const std::optional<int> status = refused.WaitExit(15s);
  ASSERT_TRUE(status && WIFEXITED(*status)) << e2e::DescribeStatus(status) << Stderr("nocert");
  EXPECT_EQ(WEXITSTATUS(*status), 78) << Stderr("nocert");
  EXPECT_NE(Stderr("nocert").find("TLS with MQTT broker 127.0.0.1:"), std::string::npos) << Stderr("nocert");
  EXPECT_NE(Stderr("nocert").find("TOGGRA_MQTT_CERT_FILE"), std::string::npos) << Stderr("nocert");
  EXPECT_FALSE(watch.Last("toggra/cert/status"));

  env["TOGGRA_MQTT_CERT_FILE"] = t + "client.pem";
  env["TOGGRA_MQTT_KEY_FILE"] = t + "client.key";
  ChildProcess& p = Start({"--headless"}, "cert", env);
  ASSERT_TRUE(watch.WaitFor("toggra/cert/bench:0:1/state", "OFF", 10s)) << Stderr("cert");
  watch.Publish("toggra/cert/bench:0:1/set", "ON");
  EXPECT_TRUE(watch.WaitFor("toggra/cert/bench:0:1/state", "ON"));
  EXPECT_EQ(Bench()->devices[0].state, std::vector<int>{1});
  EXPECT_TRUE(p.Running());
}

}  // namespace
}  // namespace toggra::mqtt_test
