// One transfer job: its settings, rule lists, output wiring and, while Run lasts, its session and
// connection. Both programs build one, fill it and run it; the wizard also copies and compares
// jobs to know whether the user changed anything.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CInternetSession;
class CFtpConnection;

struct tagTROX_SEL {
  std::string extension;  // exactly as added, matched case-insensitively by the walks
  bool operator==(const tagTROX_SEL&) const = default;
};

struct tagTROX_CHMOD {
  std::string extension;
  int32_t mode = 0;  // the decimal reading of the mode text: "755" is held as 755
  bool operator==(const tagTROX_CHMOD&) const = default;
};

struct tagTROX_SCRIPT {
  std::string type;  // "Conn", "Tran" or "Disc"
  std::string command;
  uint32_t expectResponse = 0;
  int32_t sequence = 0;
  bool operator==(const tagTROX_SCRIPT&) const = default;
};

// Byte counts are 64-bit: a tree above 4 GiB must not wrap.
struct TransferProgress {
  uint64_t bytesToTransfer = 0;
  int64_t bytesDone = 0;
  volatile uint32_t cancel = 0;  // the one field another thread writes during a run
  uint32_t lastError = 0;
  std::string currentFile;
  std::string lastResponse;
};

using ConsoleOutputFn = void (*)(const char* text, int endOfLine, std::string logFile);
using HostOutputFn = int (*)(const char* text, int endOfLine, TransferProgress* progress,
                             uintptr_t userData);
using ProgressFn = int (*)(TransferProgress* progress, uintptr_t userData);

// The job's settings as one value: what the user chose and a transfer file stores, named by its
// keys where there is one. Copied, reset and compared whole, so a new setting is one line here
// (and one row in the transfer file's table when files store it).
struct TransferSettings {
  uint32_t m_sessionContext = 1;
  uint32_t m_accessType = 0;  // the system's own internet settings; SetProxy makes it 3
  std::string m_proxy;
  std::string m_proxyBypass;
  uint32_t m_sessionFlags = 0;
  std::string m_server;
  std::string m_givenServerPath;  // as it was set; the writer stores it
  std::string m_givenLocalPath;   // absolute, trailing separator kept; the writer stores it
  std::string m_user;
  std::string m_password;
  std::string m_fileMask = "*.*";
  std::string m_jobFile;
  std::string m_logFile;
  uint16_t m_port = 21;
  uint32_t m_passive = 0;
  uint32_t m_get = 0;
  uint32_t m_ignore = 0;
  uint32_t m_verbose = 0;
  uint32_t m_archive = 0;
  uint32_t m_upgrade = 0;
  uint32_t m_single = 0;
  uint32_t m_transferType = 0;  // 0 by content or name, 1 always binary, 2 always ASCII
  int32_t m_selectMode = 0;     // 0 all files, 1 only the listed extensions, 2 all but them
  uint32_t m_autoTransfer = 0;
  uint32_t m_passPrompt = 0;
  // The sequence number the next script of each kind receives.
  int32_t m_nextConn = 1;
  int32_t m_nextTran = 1;
  int32_t m_nextDisc = 1;
  uint32_t m_progressMode = 0;  // 1: files move block by block with a report after each
  uint32_t m_security = 0;      // 0 clear text, 1 TLS after AUTH TLS, 2 TLS from the first byte
  std::string m_certSha256;     // pinned SHA-256 fingerprint of the server's certificate, or ""

  bool operator==(const TransferSettings&) const = default;
};

// The rule lists, in the order they were added. Hosts read and rebuild them directly.
struct TransferRules {
  std::vector<tagTROX_CHMOD> m_chmodList;
  std::vector<tagTROX_SEL> m_selectList;
  std::vector<tagTROX_SCRIPT> m_connScripts;
  std::vector<tagTROX_SCRIPT> m_tranScripts;
  std::vector<tagTROX_SCRIPT> m_discScripts;

  bool operator==(const TransferRules&) const = default;
};

// The settings and lists are bases so that walks and pages name their fields directly
// (job.m_server); Settings() and Rules() hand them over as values.
class CTransferJob : public TransferSettings, public TransferRules {
 public:
  CTransferJob();
  ~CTransferJob();
  CTransferJob(const CTransferJob& other);
  CTransferJob& operator=(const CTransferJob& other);

  void Reset();
  void ResetProgress();

  void SetServer(const std::string& text);
  void SetServerPath(const std::string& text);
  void SetLocalPath(const std::string& text);
  void SetUser(const std::string& text);
  void SetPassword(const std::string& text);
  void SetJobFile(const std::string& text);
  void SetLogFile(const std::string& text);
  void SetPort(uint16_t port);
  void SetProxy(const std::string& text);
  // 0 clear text, 1 TLS after AUTH TLS, 2 TLS from the first byte; false for another number.
  bool SetSecurity(uint32_t mode);
  void SetCertSha256(const std::string& text) { m_certSha256 = text; }
  void SetGet() { m_get = 1; }
  void ClearGet() { m_get = 0; }
  void SetIgnore() { m_ignore = 1; }
  void ClearIgnore() { m_ignore = 0; }
  void SetVerbose() { m_verbose = 1; }
  void ClearVerbose() { m_verbose = 0; }
  void SetArchive() { m_archive = 1; }
  void ClearArchive() { m_archive = 0; }
  void SetUpgrade() { m_upgrade = 1; }
  void ClearUpgrade() { m_upgrade = 0; }
  void SetSingle() { m_single = 1; }
  void ClearSingle() { m_single = 0; }
  void SetPassive() { m_passive = 1; }
  void ClearPassive() { m_passive = 0; }
  void SetAutoTransfer() { m_autoTransfer = 1; }
  void ClearAutoTransfer() { m_autoTransfer = 0; }
  void SetPassPrompt() { m_passPrompt = 1; }
  void ClearPassPrompt() { m_passPrompt = 0; }
  void SetTransferType(uint32_t mode) { m_transferType = mode; }
  void SetSelectMode(int32_t mode) { m_selectMode = mode; }
  void SetProgressMode(uint32_t mode) { m_progressMode = mode; }

  TransferSettings& Settings() { return *this; }
  const TransferSettings& Settings() const { return *this; }
  TransferRules& Rules() { return *this; }
  const TransferRules& Rules() const { return *this; }

  void AddSelect(const std::string& extension);
  void AddChmod(const std::string& extension, const std::string& modeText);
  void AddConnScript(const std::string& text);
  void AddTranScript(const std::string& text);
  void AddDiscScript(const std::string& text);

  std::string GetServer() const { return m_server; }
  std::string GetUser() const { return m_user; }
  std::string GetPassword() const { return m_password; }
  std::string GetLogFile() const { return m_logFile; }
  std::string GetServerPath() const { return m_givenServerPath; }
  std::string GetLocalPath() const { return m_givenLocalPath; }
  std::string GetProxy() const { return m_proxy; }

  // Output wiring. The engine reports every message through Output / OutputVerbose.
  void SetConsoleOutput(ConsoleOutputFn callback);
  void SetHostOutput(HostOutputFn callback, uintptr_t userData);
  void SetProgressCallback(ProgressFn callback, uintptr_t userData);
  int Output(const std::string& text, int endOfLine);
  int OutputVerbose(const std::string& text, int endOfLine);
  void ReportProgress();

  // One transfer; returns the result (see TransferRun.cpp). Internet exceptions leave it.
  int Run();
  // Records the error in the progress record and reports it as text.
  void ReportError(uint32_t errorNumber);
  // Before each file: when the main connection was dropped or timed out, logs in again (a few
  // times per run, with a short pause) so that one drop does not fail every remaining file.
  // False when there is no usable connection.
  bool EnsureConnection();
  void CheckUpgrade();

  // Script commands: 1 go on / 0 stop.
  int SendCommand(const std::string& command, int expectResponse);
  int RunConnScripts();
  int RunTranScripts(const std::string& name);
  int RunDiscScripts();

  // The walks (upload and download); they return 0 and record failures in m_transferFailed.
  int SendFiles();
  int ReceiveFiles();

  // Upload walk pieces (UploadWalk.cpp). 1 go on / 0 stop where an int is returned.
  int SendOneFile(const std::string& localPath);
  int IsSelectedForSend(const std::string& localPath);
  void ClearArchiveAttribute(const std::string& localPath);
  int CreateRemoteFolder(const std::string& localFolderPath);
  int SendFileInBlocks(const std::string& localPath, const std::string& remoteName, uint32_t type);

  // Download walk pieces (DownloadWalk.cpp).
  int ReceiveOneFile(const std::string& remotePath);
  // listedSize: the file's size in its listing (0: none given); a binary copy must match it.
  int ReceiveOneFile(const std::string& remotePath, uint64_t listedSize);
  int IsSelectedForReceive(const std::string& remotePath);
  int ReceiveFileInBlocks(const std::string& remotePath, const std::string& localPath,
                          uint32_t type);
  uint64_t RemoteFileSize(const std::string& remotePath);
  // The local path a listed remote file is received to: its path below the receive root (else
  // the remote folder), under the local folder; "" when it lies outside either.
  std::string LocalPathForRemote(const std::string& remotePath) const;

  // Transfer type choice (TransferType.cpp): 1 ASCII, 2 binary.
  uint32_t ScanTransferType(const std::string& localPath) const;
  uint32_t TransferTypeByExtension(const std::string& name) const;

  // Permission rules after a file was sent (Permissions.cpp): 1 all accepted, 0 one failed.
  int ApplyPermissions(const std::string& remoteName);

  // 1 when the settings, the remote folder, the output mode and the upgrade finding are equal.
  // The lists are left out; script edits show through the sequence numbers.
  int IsSameAs(const CTransferJob& other) const;

  // Working forms of the two paths: forward slashes and no trailing one for the remote folder (a
  // SINGLE run cuts it to the folder that holds the file); absolute, without a trailing separator,
  // for the local one.
  std::string m_remoteFolder;
  std::string m_localFolder;

  // Output wiring: mode 0 nowhere, 1 the console callback, 2 the host callback.
  ConsoleOutputFn m_consoleOutput = nullptr;
  HostOutputFn m_hostOutput = nullptr;
  ProgressFn m_progressCallback = nullptr;
  uintptr_t m_userData = 0;
  int32_t m_outputMode = 0;

  // What runs count and find; copied with the job, cleared by Reset.
  int64_t m_bytesToSend = 0;
  int64_t m_bytesToGet = 0;
  TransferProgress m_progress;
  uint32_t m_upgradeAvailable = 0;

  // Exist only while Run lasts; a copy starts without them.
  std::unique_ptr<CInternetSession> m_session;
  std::unique_ptr<CFtpConnection> m_connection;

  // Set during Run when any file, folder, permissions or script command failed, so that a run
  // with failures never ends as a success (Run then returns 5). Not compared, not copied.
  uint32_t m_transferFailed = 0;
  // Fresh log-ins of the main connection during this run (EnsureConnection).
  int m_reconnects = 0;
  // The folder the receive walk started in, as the server reported it after entering the remote
  // folder; received files keep their paths below it. Not compared, not copied.
  std::string m_receiveRoot;
};
