// trox with jobs whose transfer file asks for TLS: a tree sent and fetched back, and refused
// certificates ending the run with the internet error's exit code and the certificate named.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "FtpServers.h"
#include "Processes.h"
#include "TempDir.h"

namespace {

struct TroxTlsCase {
  const char* name;
  ServerTls tls;
  int security;
  const char* pin;   // certificate whose fingerprint the job pins, or ""
  bool trustTestCa;  // TROX_CA_FILE names the test authority (else the system's store decides)
  int exitCode;
  const char* output;  // what the output must say
  bool byOptions;      // the command line's --tls options ask for it instead of the file
};

class TroxTlsTest : public ::testing::TestWithParam<TroxTlsCase> {};

TEST_P(TroxTlsTest, SendsAndFetchesATreeOrRefusesTheCertificate) {
  const TroxTlsCase& c = GetParam();
  FtpTestServerOptions options;
  options.tls = c.tls;
  FtpTestServer server(ServerKind::Vsftpd, options);
  const std::string base = MakeTempDir();
  WriteFileBytes(base + "/out/a.bin", PatternBytes(200000, 3));
  WriteFileBytes(base + "/out/sub/b.txt", "text\n");
  std::string trx = "[TROX]\r\n";
  std::vector<std::string> secure;
  if (c.byOptions) {
    secure.push_back(c.security == 2 ? "--tls-implicit" : "--tls");
    if (*c.pin) secure.push_back("--tls-pin=" + TestCertificatePin(c.pin));
  } else {
    trx += "SECURITY=" + std::to_string(c.security) + "\r\n";
    if (*c.pin) trx += "CERTSHA256=" + TestCertificatePin(c.pin) + "\r\n";
  }
  WriteFileBytes(base + "/job.trx", trx);
  std::map<std::string, std::string> env;
  if (c.trustTestCa) env["TROX_CA_FILE"] = TestCertificateDir() + "/ca.pem";
  const std::vector<std::string> account{"-s", server.Host(), "-t", std::to_string(server.Port()),
                                         "-u", server.User(), "-p", server.Password()};
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"-f", base + "/job.trx"});
    args.insert(args.end(), account.begin(), account.end());
    args.insert(args.end(), secure.begin(), secure.end());
    return RunTrox(args, "", env);
  };

  ProcessResult sent = run({"-x", "-l", base + "/out", "-r", "/t"});
  EXPECT_EQ(sent.exitCode, c.exitCode) << sent.output;
  EXPECT_NE(sent.output.find(c.output), std::string::npos) << sent.output;
  if (c.exitCode != 0) {
    EXPECT_EQ(server.CommandLog().find(server.User()), std::string::npos) << server.CommandLog();
    return;
  }
  ProcessResult got = run({"-g", "-x", "-l", base + "/in", "-r", "/t"});
  EXPECT_EQ(got.exitCode, 0) << got.output;
  EXPECT_EQ(ReadFileBytes(base + "/in/a.bin"), PatternBytes(200000, 3));
  EXPECT_EQ(ReadFileBytes(base + "/in/sub/b.txt"), "text\n");
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, TroxTlsTest,
    ::testing::Values(
        TroxTlsCase{"ExplicitPinned", ServerTls::Explicit, 1, "good", false, 0, "", false},
        TroxTlsCase{"ExplicitPinnedByOptions", ServerTls::Explicit, 1, "good", false, 0, "", true},
        TroxTlsCase{"ImplicitTrusted", ServerTls::Implicit, 2, "", true, 0, "", false},
        TroxTlsCase{"UntrustedAuthority", ServerTls::Explicit, 1, "", false, 4, "SHA-256 ", false},
        TroxTlsCase{"OtherPinByOptions", ServerTls::Implicit, 2, "otherhost", true, 4, "SHA-256 ",
                    true}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
