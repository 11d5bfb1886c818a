// FTP over TLS against real servers that require it for log-in and data (vsftpd also insists
// that data connections resume the control connection's session): a round trip of files in
// every mode, and every refusal ending the connection before the user name is sent.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "FtpServers.h"
#include "Processes.h"
#include "TempDir.h"
#include "trox/Internet.h"

namespace {

struct TlsServerSetup {
  ServerKind kind;
  ServerTls tls;
  std::string certificate = "good";
};

// One server per kind of TLS and certificate, kept for the process.
FtpTestServer& TlsServer(const TlsServerSetup& setup) {
  static std::map<std::tuple<ServerKind, ServerTls, std::string>, std::unique_ptr<FtpTestServer>>
      servers;
  auto& slot = servers[{setup.kind, setup.tls, setup.certificate}];
  if (!slot) {
    FtpTestServerOptions options;
    options.tls = setup.tls;
    options.certificate = setup.certificate;
    slot = std::make_unique<FtpTestServer>(setup.kind, options);
  }
  return *slot;
}

class TlsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The test authority stands in for the system's trust store.
    setenv("TROX_CA_FILE", (TestCertificateDir() + "/ca.pem").c_str(), 1);
  }
  CInternetSession session_{"Varnook FTP", 1, 0, "", "", 0};
};

// server, security mode, passive, pinned (else verified by the authority)
using RoundTripCase = std::tuple<TlsServerSetup, int, bool, bool>;

class TlsRoundTripTest : public TlsTest, public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(TlsRoundTripTest, SendsListsAndFetchesFilesOverProtectedConnections) {
  const auto& [setup, mode, passive, pinned] = GetParam();
  FtpTestServer& server = TlsServer(setup);
  server.ClearRoot();
  server.MarkLog();
  FtpSecurity security{mode, pinned ? TestCertificatePin("good") : ""};
  const std::string local = MakeTempDir();
  std::string binary(300 * 1000 + 7, '\0');
  for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 7 + i / 251);
  WriteFileBytes(local + "/data.bin", binary);
  WriteFileBytes(local + "/notes.txt", "one\ntwo\n");

  auto c = session_.GetFtpConnection(server.Host(), server.User(), server.Password(), server.Port(),
                                     passive, security);
  ASSERT_TRUE(c->CreateDirectory("tree"));
  ASSERT_TRUE(c->SetCurrentDirectory("tree"));
  ASSERT_TRUE(c->PutFile(local + "/data.bin", "data.bin", FTP_TRANSFER_TYPE_BINARY))
      << GetLastErrorDetail();
  ASSERT_TRUE(c->PutFile(local + "/notes.txt", "notes.txt", FTP_TRANSFER_TYPE_ASCII))
      << GetLastErrorDetail();
  c->Close();

  // A second connection comes from the pool while a scope is open: it must still be secure.
  CFtpConnectionPoolScope pool;
  for (int round = 0; round < 2; ++round) {
    c = session_.GetFtpConnection(server.Host(), server.User(), server.Password(), server.Port(),
                                  passive, security);
    ASSERT_TRUE(c->SetCurrentDirectory("/tree"));
    CFtpFileFind find(c.get());
    ASSERT_TRUE(find.FindFile("*")) << GetLastErrorDetail();
    int files = 0;
    while (find.FindNextFile()) files += find.IsDots() ? 0 : 1;
    EXPECT_EQ(files, 2);
    find.Close();
    ASSERT_TRUE(c->GetFile("data.bin", local + "/back.bin", false, FTP_TRANSFER_TYPE_BINARY))
        << GetLastErrorDetail();
    ASSERT_TRUE(c->GetFile("notes.txt", local + "/back.txt", false, FTP_TRANSFER_TYPE_ASCII))
        << GetLastErrorDetail();
    std::unique_ptr<CInternetFile> listing;
    ASSERT_TRUE(c->Command("NLST", true, FTP_TRANSFER_TYPE_ASCII, &listing));
    char buffer[256];
    std::string names;
    for (uint32_t n; (n = listing->Read(buffer, sizeof buffer)) > 0;) names.append(buffer, n);
    listing->Close();
    EXPECT_NE(names.find("notes.txt"), std::string::npos);
    c->Close();
  }
  EXPECT_EQ(ReadFileBytes(local + "/back.bin"), binary);
  EXPECT_EQ(ReadFileBytes(local + "/back.txt"), "one\ntwo\n");
  EXPECT_EQ(ReadFileBytes(server.Root() + "/tree/notes.txt"), "one\ntwo\n");

  const std::string log = server.CommandLog();
  const size_t user = log.find("USER " + server.User());
  ASSERT_NE(user, std::string::npos);
  if (mode == 1) {
    EXPECT_LT(log.find("AUTH TLS"), user) << log;
  }
  EXPECT_NE(log.find("PROT P"), std::string::npos);
}

const TlsServerSetup kVsftpdExplicit{ServerKind::Vsftpd, ServerTls::Explicit};
const TlsServerSetup kVsftpdImplicit{ServerKind::Vsftpd, ServerTls::Implicit};
const TlsServerSetup kPyftpdlibExplicit{ServerKind::Pyftpdlib, ServerTls::Explicit};

INSTANTIATE_TEST_SUITE_P(Servers, TlsRoundTripTest,
                         ::testing::Values(RoundTripCase{kVsftpdExplicit, 1, true, true},
                                           RoundTripCase{kVsftpdExplicit, 1, false, false},
                                           RoundTripCase{kVsftpdImplicit, 2, true, false},
                                           RoundTripCase{kVsftpdImplicit, 2, false, true},
                                           RoundTripCase{kPyftpdlibExplicit, 1, true, false},
                                           RoundTripCase{kPyftpdlibExplicit, 1, false, true}));

struct Refusal {
  const char* name;
  TlsServerSetup server;
  int mode;
  std::string pin;  // a certificate's name, or ""
  uint32_t error;
  const char* detail;  // what the error's detail must say
};

class TlsRefusalTest : public TlsTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(TlsRefusalTest, EndsTheConnectionBeforeTheUserNameIsSent) {
  const Refusal& r = GetParam();
  FtpTestServer& server = r.server.tls == ServerTls::None && r.server.kind == ServerKind::Vsftpd
                              ? SharedFtpServer(ServerKind::Vsftpd)
                              : TlsServer(r.server);
  server.MarkLog();
  FtpSecurity security{r.mode, r.pin.empty() ? "" : TestCertificatePin(r.pin)};
  SetLastError(0);
  try {
    session_.GetFtpConnection(server.Host(), server.User(), server.Password(), server.Port(), true,
                              security);
    FAIL() << "the connection was made";
  } catch (const CInternetException& e) {
    EXPECT_EQ(e.m_dwError, r.error) << e.m_text;
  }
  EXPECT_EQ(GetLastError(), r.error);
  EXPECT_NE(GetLastErrorDetail().find(r.detail), std::string::npos) << GetLastErrorDetail();
  EXPECT_EQ(server.CommandLog().find(server.User()), std::string::npos) << server.CommandLog();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TlsRefusalTest,
    ::testing::Values(Refusal{"ServerWithoutTls",
                              {ServerKind::Vsftpd, ServerTls::None},
                              1,
                              "",
                              ERROR_INTERNET_SECURITY_CHANNEL_ERROR,
                              "refused AUTH TLS"},
                      Refusal{"ClearPortTakenForImplicit",
                              {ServerKind::Vsftpd, ServerTls::Explicit},
                              2,
                              "",
                              ERROR_INTERNET_SECURITY_CHANNEL_ERROR,
                              "could not be set up"},
                      Refusal{"WrongHostName",
                              {ServerKind::Vsftpd, ServerTls::Explicit, "otherhost"},
                              1,
                              "",
                              ERROR_INTERNET_SEC_CERT_CN_INVALID,
                              "subject CN=trox test otherhost"},
                      Refusal{"Expired",
                              {ServerKind::Pyftpdlib, ServerTls::Explicit, "expired"},
                              1,
                              "",
                              ERROR_INTERNET_SEC_CERT_DATE_INVALID,
                              "valid until"},
                      Refusal{"WrongPin",
                              {ServerKind::Vsftpd, ServerTls::Implicit},
                              2,
                              "otherhost",
                              ERROR_INTERNET_SEC_INVALID_CERT,
                              "not the pinned one: SHA-256 "}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace

namespace {

// The upgrade check's address over TLS: read through the same layer, refused the same way.
struct HttpsCase {
  const char* certificate;
  uint32_t error;  // 0: the body is read
};

class HttpsTest : public TlsTest, public ::testing::WithParamInterface<HttpsCase> {};

TEST_P(HttpsTest, ReadsTheBodyOnlyFromAServerWithAValidCertificate) {
  const std::string certificate = TestCertificateDir() + "/" + GetParam().certificate;
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const int pid =
      SpawnChild({"/usr/bin/python3", std::string(TROX_TEST_SUPPORT_DIR) + "/https_server.py",
                  certificate + ".pem", certificate + ".key"},
                 out[1], -1, -1);
  close(out[1]);
  std::string port;
  pollfd p{out[0], POLLIN, 0};
  char ch;
  while (poll(&p, 1, 20000) == 1 && read(out[0], &ch, 1) == 1 && ch != '\n') port += ch;
  close(out[0]);
  try {
    std::unique_ptr<CInternetFile> body = session_.OpenURL("https://127.0.0.1:" + port + "/q");
    char buffer[64] = {};
    body->Read(buffer, sizeof buffer - 1);
    EXPECT_EQ(GetParam().error, 0u);
    EXPECT_STREQ(buffer, "upgrade available");
  } catch (const CInternetException& e) {
    EXPECT_EQ(e.m_dwError, GetParam().error) << e.m_text;
  }
  StopChild(pid);
}

INSTANTIATE_TEST_SUITE_P(Certificates, HttpsTest,
                         ::testing::Values(HttpsCase{"good", 0},
                                           HttpsCase{"otherhost",
                                                     ERROR_INTERNET_SEC_CERT_CN_INVALID}));

}  // namespace
