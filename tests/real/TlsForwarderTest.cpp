// The advice for HTTPS-only providers, tried out: examples/https-forwarder.conf
// runs in nginx on loopback and carries the service's plain update request
// over TLS to a "provider" (another nginx with a certificate made here).
#include <signal.h>

#include <gtest/gtest.h>

#include <string>

#include "real/RealServers.h"
#include "support/Harness.h"

using namespace std::chrono_literals;

namespace {

// Makes a self-signed certificate for "localhost" as <dir>/<name>.pem and
// <name>.key; false when openssl is missing or fails.
bool MakeCertificate(const TempDir& dir, const std::string& name) {
  if (FindProgram("openssl").empty()) return false;
  ProgramResult r =
      RunProgram({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                  "/CN=localhost", "-addext", "subjectAltName=DNS:localhost", "-keyout",
                  dir.File(name + ".key"), "-out", dir.File(name + ".pem")},
                 dir.Path(), {}, dir.File("openssl.out"), 60s);
  return r.Code == 0;
}

// The provider: answers every update "good <address>" over TLS and logs the
// credentials, the Host header and the request line.
std::string ProviderConf(const TempDir& dir) {
  return NginxConf(dir.Path(),
                   "  log_format p '$remote_user\\t$host\\t$request';\n"
                   "  server {\n    listen 127.0.0.1:@PORT@ ssl;\n"
                   "    ssl_certificate " +
                       dir.File("provider.pem") + ";\n    ssl_certificate_key " +
                       dir.File("provider.key") + ";\n    access_log " +
                       dir.File("logs/access.log") +
                       " p;\n"
                       "    location = /nic/update { default_type text/plain; "
                       "return 200 \"good $arg_myip\"; }\n  }");
}

// The shipped forwarder, pointed at the provider and trusting `trusted`.
std::string ForwarderConf(const TempDir& dir, int providerPort, const std::string& trusted) {
  std::string example = ReadFileOrEmpty(ZELVO_SOURCE_DIR "/examples/https-forwarder.conf");
  example = ReplaceAll(example, "listen 127.0.0.1:8245;", "listen 127.0.0.1:@PORT@;");
  example = ReplaceAll(example, "proxy_pass https://dyn.dns.he.net;",
                       "proxy_pass https://localhost:" + std::to_string(providerPort) + ";");
  example = ReplaceAll(example, "dyn.dns.he.net", "localhost");
  example = ReplaceAll(example, "/etc/ssl/certs/ca-certificates.crt", trusted);
  return NginxConf(dir.Path(), example);
}

}  // namespace

TEST(TlsForwarder, CarriesUpdatesOverVerifiedTls) {
  struct Row {
    std::string Name;
    std::string TrustedCert;  // which certificate the forwarder trusts
    bool Reaches;             // whether the update reaches the provider
  };
  const std::vector<Row> rows = {
      {"provider's certificate trusted", "provider.pem", true},
      {"unknown certificate refused", "stranger.pem", false},
  };
  TempDir certs;
  if (!MakeCertificate(certs, "provider") || !MakeCertificate(certs, "stranger"))
    GTEST_SKIP() << "openssl is missing or could not make a certificate";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    TempDir providerDir, forwarderDir;
    for (const char* file : {"provider.pem", "provider.key"})
      WriteFileOrDie(providerDir.File(file), ReadFileOrEmpty(certs.File(file)));
    Daemon provider, forwarder;
    int providerPort = 0, forwarderPort = 0;
    std::string why;
    if (!LaunchNginx(provider, providerDir, ProviderConf(providerDir), providerPort, why))
      GTEST_SKIP() << why;
    std::string conf = ForwarderConf(forwarderDir, providerPort, certs.File(row.TrustedCert));
    ASSERT_TRUE(LaunchNginx(forwarder, forwarderDir, conf, forwarderPort, why)) << why;

    ServiceRun run;
    run.WriteIni(
        "[Source]\nInterval=1\nLog=4\n[Status]\nLastIP=203.0.113.7\nChanged=" + StampFromNow(-60) +
        "\n[Srv1]\nURL=http://127.0.0.1:" + std::to_string(forwarderPort) +
        "/nic/update?hostname=myhost.example.org&myip=%s\nUser=myhost.example.org\n"
        "Pass=ddns-key\nStatusOK=good\nMinInterval=3600\n");
    run.Start();
    ASSERT_TRUE(run.WaitForLog(row.Reaches ? "Updated [Srv1]" : "Unsuccessful UPDATE [Srv1]", 30s))
        << run.Log() << ReadFileOrEmpty(forwarderDir.File("logs/error.log"));
    run.Signal(SIGTERM);
    run.Wait(15s);

    std::string seen = ReadFileOrEmpty(providerDir.File("logs/access.log"));
    if (row.Reaches) {
      EXPECT_EQ(seen,
                "myhost.example.org\tlocalhost\tGET "
                "/nic/update?hostname=myhost.example.org&myip=203.0.113.7 HTTP/1.0\n");
    } else {
      EXPECT_EQ(seen, "");
      EXPECT_NE(ReadFileOrEmpty(forwarderDir.File("logs/error.log")).find("certificate"),
                std::string::npos);
    }
  }
}
