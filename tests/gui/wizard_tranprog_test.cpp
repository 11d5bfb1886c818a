// The progress dialog running real transfers against a local FTP server, offscreen: what the log
// box holds, cancelling between files, the error box and the transfer status after failures, and
// a run with nothing to send.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include "FtpServers.h"
#include "TROXWizardDlg.h"
#include "TempDir.h"
#include "TranProg.h"
#include "TranProgText.h"
#include "WizardTestSupport.h"
#include "trox/Internet.h"
#include "trox/Messages.h"
#include "trox/TransferJob.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// What a run left behind, read before the dialog goes.
struct RunSeen {
  int status = -1;
  std::string bytes;
  std::string logBox;
  bool barShown = false;
  bool barHidden = true;
  std::string title;
  std::string mainTitle;
};

class TranProgTest : public WizardTest {
 protected:
  static FtpTestServer& Server() { return SharedFtpServer(ServerKind::Pyftpdlib); }

  static CTransferJob Job(const std::string& local, const std::string& remote) {
    CTransferJob job;
    job.SetProgressMode(1);
    job.SetServer(Server().Host());
    job.SetPort(Server().Port());
    job.SetUser(Server().User());
    job.SetPassword(Server().Password());
    job.SetLocalPath(local);
    job.SetServerPath(remote);
    return job;
  }

  // Runs the job under the dialog; `during` is offered the dialog and the main window every 10 ms
  // while it runs.
  static RunSeen Run(CTransferJob& job,
                     std::function<void(CTranProg&, CTROXWizardDlg&)> during = {}) {
    CTROXWizardDlg main;
    CTranProg dialog(&job, &main);
    QTimer poll;
    if (during) {
      QObject::connect(&poll, &QTimer::timeout, [&] { during(dialog, main); });
      poll.start(10);
    }
    EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
    poll.stop();
    RunSeen seen;
    seen.status = main.m_transferStatus;
    seen.bytes = dialog.BytesLabel()->text().toStdString();
    seen.logBox = dialog.LogBox()->toPlainText().toStdString();
    seen.barShown = dialog.ProgressShown();
    seen.barHidden = dialog.ProgressBar()->isHidden();
    seen.title = dialog.windowTitle().toStdString();
    seen.mainTitle = main.windowTitle().toStdString();
    EXPECT_FALSE(dialog.isVisible());
    return seen;
  }
};

}  // namespace

TEST_F(TranProgTest, LogBoxHoldsEveryLineAndTheLogFileHasBanners) {
  std::string local = MakeTempDir();
  WriteFileBytes(local + "/a.txt", "line one\nline two\n");
  WriteFileBytes(local + "/b.bin", PatternBytes(300000));
  fs::create_directories(local + "/sub");
  WriteFileBytes(local + "/sub/c.dat", PatternBytes(70000, 7));
  std::string log = MakeTempDir() + "/run.log";
  CTransferJob job = Job(local, "/logrun");
  job.SetVerbose();
  job.SetLogFile(log);

  RunSeen seen = Run(job);
  EXPECT_EQ(seen.status, kTransferCompleted);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(ReadFileBytes(Server().Root() + "/logrun/b.bin"), PatternBytes(300000));
  EXPECT_EQ(ReadFileBytes(Server().Root() + "/logrun/sub/c.dat"), PatternBytes(70000, 7));

  // The log file: a blank line and the opening banner, the engine's lines, the closing banner
  // and a blank line, each after a time stamp "YYYY-MM-DD hh:mm:ss: ".
  std::vector<std::string> file = Lines(ReadFileBytes(log));
  ASSERT_GE(file.size(), 5u);
  for (std::string& line : file) {
    ASSERT_GE(line.size(), 21u) << line;
    line = line.substr(21);
  }
  EXPECT_EQ(file[0], "");
  EXPECT_EQ(file[1], " ***** Varnook FTP Transfer Begins *****");
  EXPECT_EQ(file[file.size() - 2], " ***** Varnook FTP Transfer Ends *****");
  EXPECT_EQ(file.back(), "");
  std::vector<std::string> engineLines(file.begin() + 2, file.end() - 2);
  EXPECT_EQ(Lines(seen.logBox), engineLines);
  EXPECT_GE(Count(seen.logBox, "Sending "), 3u);

  uint64_t total = 18 + 300000 + 70000;
  EXPECT_EQ(seen.bytes.rfind("Sent " + FormatSize(total) + " of " + FormatSize(total) + " ", 0), 0u)
      << seen.bytes;
  EXPECT_TRUE(seen.barShown);
  EXPECT_EQ(seen.mainTitle, "Varnook FTP Wizard");
}

TEST_F(TranProgTest, CancelStopsAtTheNextFileBoundary) {
  // The server's copies are pipes: the first file's upload waits until the test reads, so Cancel
  // surely arrives while that file is on its way.
  std::string local = MakeTempDir();
  // A folder of its own each time, so the test can run again in the same process.
  std::string folder = "/cancel-" + fs::path(MakeTempDir()).filename().string();
  std::string remote = Server().Root() + folder;
  fs::create_directories(remote);
  std::vector<std::string> names = {"f1.bin", "f2.bin", "f3.bin", "f4.bin", "f5.bin"};
  for (const std::string& name : names) {
    WriteFileBytes(local + "/" + name, PatternBytes(5000));
    ASSERT_EQ(mkfifo((remote + "/" + name).c_str(), 0666), 0);
  }
  Server().ChownRoot();
  CTransferJob job = Job(local, folder);
  Server().MarkLog();

  std::atomic<bool> stop{false};
  std::thread drain;
  bool pressed = false;
  bool stayedOpen = false;
  std::string title, mainTitle, bytes, timeLeft;
  RunSeen seen = Run(job, [&](CTranProg& dialog, CTROXWizardDlg& main) {
    // Wait until the first file is on its way and the display has caught up with it.
    if (pressed || TakeSnapshot(dialog.State()).log.find("Sending ") == std::string::npos ||
        !dialog.windowTitle().endsWith(QLatin1Char('%')))
      return;
    pressed = true;
    title = dialog.windowTitle().toStdString();
    mainTitle = main.windowTitle().toStdString();
    bytes = dialog.BytesLabel()->text().toStdString();
    timeLeft = dialog.TimeLeftLabel()->text().toStdString();
    dialog.CancelButton()->click();
    // Closing the window while the run goes on only asks again; the dialog stays.
    dialog.close();
    stayedOpen = dialog.isVisible() && !dialog.CancelButton()->isEnabled();
    drain = std::thread([&] {
      std::vector<int> fds;
      for (const std::string& name : names)
        fds.push_back(open((remote + "/" + name).c_str(), O_RDONLY | O_NONBLOCK));
      char buffer[65536];
      while (!stop) {
        bool any = false;
        for (int fd : fds)
          if (fd >= 0 && read(fd, buffer, sizeof buffer) > 0) any = true;
        if (!any) usleep(2000);
      }
      for (int fd : fds)
        if (fd >= 0) close(fd);
    });
  });
  stop = true;
  if (drain.joinable()) drain.join();

  ASSERT_TRUE(pressed);
  EXPECT_TRUE(stayedOpen);
  // No byte had moved yet: the bar and percentage show, the speed is 0 and there is no estimate.
  EXPECT_EQ(title, "Varnook FTP - Transfer Progress 0%");
  EXPECT_EQ(mainTitle, "TROX: 0%");
  EXPECT_EQ(bytes, "Sent 0 Bytes of 24.41 KB  (0.00 KB/Sec)");
  EXPECT_EQ(timeLeft, "");
  EXPECT_EQ(seen.status, kTransferCancelled);
  EXPECT_TRUE(Messages().empty());
  // The file on its way is finished, at most one more is started, the rest are skipped.
  size_t sent = Count(seen.logBox, "Sending ");
  EXPECT_GE(sent, 1u);
  EXPECT_LE(sent, 2u) << seen.logBox;
  EXPECT_EQ(Count(Server().CommandLog(), "<- STOR "), sent) << Server().CommandLog();
}

TEST_F(TranProgTest, RefusedUploadWithIgnoreOffShowsTheServersReply) {
  std::string local = MakeTempDir();
  WriteFileBytes(local + "/clash", "data");
  // A folder where the file should go: the server refuses the upload.
  fs::create_directories(Server().Root() + "/failrun/clash");
  Server().ChownRoot();
  CTransferJob job = Job(local, "/failrun");
  Host().Queue(DialogAnswer::Ok());

  RunSeen seen = Run(job);
  EXPECT_EQ(seen.status, kTransferIncomplete);
  ASSERT_EQ(Messages().size(), 1u);
  const DialogRequest& box = Host().Requests()[0];
  EXPECT_EQ(box.caption, "Varnook FTP");
  EXPECT_EQ(box.icon, MsgIcon::Error);
  const std::string head = "An error has occurred during transfer : Error 12003\n\n550";
  EXPECT_EQ(box.text.rfind(head, 0), 0u) << box.text;
  // The reply once, then the file it refused.
  EXPECT_EQ(Count(box.text, "550"), 1u) << box.text;
  EXPECT_EQ(box.text.substr(box.text.rfind("\n\n") + 2), local + "/clash");
  EXPECT_EQ(seen.mainTitle, "Varnook FTP Wizard");
}

TEST_F(TranProgTest, RefusedUploadWithIgnoreOnShowsNoBoxAndFails) {
  std::string local = MakeTempDir();
  WriteFileBytes(local + "/clash", "data");
  WriteFileBytes(local + "/fine.txt", "fine\n");
  fs::create_directories(Server().Root() + "/ignorerun/clash");
  Server().ChownRoot();
  CTransferJob job = Job(local, "/ignorerun");
  job.SetIgnore();

  RunSeen seen = Run(job);
  EXPECT_TRUE(Messages().empty());
  // A run that lost a file is not a completed one.
  EXPECT_EQ(seen.status, kTransferFailed);
  EXPECT_NE(seen.logBox.find("ERROR 12003"), std::string::npos) << seen.logBox;
  EXPECT_EQ(ReadFileBytes(Server().Root() + "/ignorerun/fine.txt"), "fine\n");
}

TEST_F(TranProgTest, ServerThatCannotBeReachedIsReported) {
  CTransferJob job = Job(MakeTempDir(), "/");
  job.SetPort(UnusedLoopbackPort());
  std::string log = MakeTempDir() + "/run.log";
  job.SetLogFile(log);
  Host().Queue(DialogAnswer::Ok());

  RunSeen seen = Run(job);
  EXPECT_EQ(seen.status, kTransferIncomplete);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind("An error has occurred during transfer : Error 12029\n\n" +
                                    InternetErrorText(12029) + "\n\n",
                                0),
            0u)
      << Messages()[0];
  // The run ended by an exception: no closing banner.
  std::string written = ReadFileBytes(log);
  EXPECT_NE(written.find("Transfer Begins"), std::string::npos);
  EXPECT_EQ(written.find("Transfer Ends"), std::string::npos);

  // IGNORE passes over failed files, not a run that never began.
  Host().ClearRequests();
  job.SetIgnore();
  Host().Queue(DialogAnswer::Ok());
  EXPECT_EQ(Run(job).status, kTransferIncomplete);
  EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(TranProgTest, NothingToSendNeverShowsTheBar) {
  CTransferJob job = Job(MakeTempDir(), "/emptyrun");
  RunSeen seen = Run(job);
  EXPECT_EQ(seen.status, kTransferCompleted);
  EXPECT_EQ(seen.bytes, "Sent 0 Bytes of 0 Bytes ");
  EXPECT_FALSE(seen.barShown);
  EXPECT_TRUE(seen.barHidden);
  EXPECT_EQ(seen.title, "Varnook FTP - Transfer Progress");
  EXPECT_EQ(seen.mainTitle, "Varnook FTP Wizard");
  EXPECT_TRUE(Messages().empty());
}

TEST_F(TranProgTest, LogBoxFoldsAndUnfolds) {
  CTransferJob job = Job(MakeTempDir(), "/foldrun");
  CTROXWizardDlg main;
  CTranProg dialog(&job, &main);
  bool checked = false;
  QTimer::singleShot(0, &dialog, [&] {
    // Opens folded: the log box lies below the window's edge.
    EXPECT_FALSE(dialog.Expanded());
    EXPECT_EQ(dialog.ToggleButton()->text(), ">>>");
    int folded = dialog.height();
    EXPECT_LE(folded, dialog.LogBox()->geometry().top());
    dialog.ToggleButton()->click();
    EXPECT_TRUE(dialog.Expanded());
    EXPECT_EQ(dialog.ToggleButton()->text(), "<<<");
    EXPECT_GE(dialog.height(), dialog.LogBox()->geometry().bottom());
    dialog.ToggleButton()->click();
    EXPECT_EQ(dialog.height(), folded);
    checked = true;
  });
  dialog.DoModal();
  EXPECT_TRUE(checked);
  EXPECT_EQ(main.m_transferStatus, kTransferCompleted);
}

TEST_F(TranProgTest, GetRunCountsReceivedBytes) {
  fs::create_directories(Server().Root() + "/getsrc/deeper");
  WriteFileBytes(Server().Root() + "/getsrc/one.bin", PatternBytes(40000, 5));
  WriteFileBytes(Server().Root() + "/getsrc/deeper/two.bin", PatternBytes(3000, 6));
  Server().ChownRoot();
  std::string local = MakeTempDir();
  CTransferJob job = Job(local, "/getsrc");
  job.SetGet();

  RunSeen seen = Run(job);
  EXPECT_EQ(seen.status, kTransferCompleted);
  EXPECT_EQ(ReadFileBytes(local + "/deeper/two.bin"), PatternBytes(3000, 6));
  std::string total = FormatSize(43000);
  EXPECT_EQ(seen.bytes.rfind("Recieved " + total + " of " + total + " ", 0), 0u) << seen.bytes;
}

TEST_F(TranProgTest, RefusedCertificateIsPinnedOnYesAndTheNextRunUsesIt) {
  unsetenv("TROX_CA_FILE");  // the test authority is unknown: the certificate is untrusted
  FtpTestServerOptions options;
  options.tls = ServerTls::Explicit;
  FtpTestServer server(ServerKind::Vsftpd, options);
  fs::create_directories(server.Root() + "/pinrun");
  WriteFileBytes(server.Root() + "/pinrun/secret.txt", "secret\n");
  server.ChownRoot();
  const std::string local = MakeTempDir();
  CTransferJob job = Job(local, "/pinrun");
  job.SetPort(server.Port());
  job.SetUser(server.User());
  job.SetPassword(server.Password());
  job.SetSecurity(1);
  job.SetGet();
  // No keeps the job as it was, Yes pins the certificate, and the third run needs no box.
  for (int answer : {2, 1, 0}) {
    Host().ClearRequests();
    if (answer) Host().Queue(DialogAnswer::Ok());
    if (answer) Host().Queue(answer == 1 ? DialogAnswer::Yes() : DialogAnswer::No());
    RunSeen seen = Run(job);
    EXPECT_EQ(seen.status, answer ? kTransferIncomplete : kTransferCompleted) << seen.logBox;
    ASSERT_EQ(Messages().size(), answer ? 2u : 0u);
    if (answer) {
      EXPECT_NE(Messages()[1].find("\nValid until: "), std::string::npos) << Messages()[1];
    }
    EXPECT_EQ(IsCertificateFingerprint(job.m_certSha256), answer != 2);
  }
  EXPECT_EQ(ReadFileBytes(local + "/secret.txt"), "secret\n");
}
