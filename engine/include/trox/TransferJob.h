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
};

struct tagTROX_CHMOD {
  std::string extension;
  int32_t mode = 0;  // the decimal reading of the mode text: "755" is held as 755
};

struct tagTROX_SCRIPT {
  std::string type;  // "Conn", "Tran" or "Disc"
  std::string command;
  uint32_t expectResponse = 0;
  int32_t sequence = 0;
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

class CTransferJob {
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

  int IsSameAs(const CTransferJob& other) const;

  // Settings (fields named by their transfer-file keys where they have one).
  uint32_t m_sessionContext = 1;
  uint32_t m_accessType = 0;
  std::string m_proxy;
  std::string m_proxyBypass;
  uint32_t m_sessionFlags = 0;
  int64_t m_bytesToSend = 0;
  int64_t m_bytesToGet = 0;
  std::vector<tagTROX_CHMOD> m_chmodList;
  std::vector<tagTROX_SEL> m_selectList;
  std::vector<tagTROX_SCRIPT> m_connScripts;
  std::vector<tagTROX_SCRIPT> m_tranScripts;
  std::vector<tagTROX_SCRIPT> m_discScripts;
  std::unique_ptr<CInternetSession> m_session;
  std::unique_ptr<CFtpConnection> m_connection;
  ConsoleOutputFn m_consoleOutput = nullptr;
  HostOutputFn m_hostOutput = nullptr;
  ProgressFn m_progressCallback = nullptr;
  uintptr_t m_userData = 0;
  int32_t m_outputMode = 0;
  std::string m_server;
  std::string m_remoteFolder;
  std::string m_localFolder;
  std::string m_givenServerPath;
  std::string m_givenLocalPath;
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
  uint32_t m_transferType = 0;
  int32_t m_selectMode = 0;
  TransferProgress m_progress;
  uint32_t m_autoTransfer = 0;
  uint32_t m_passPrompt = 0;
  uint32_t m_upgradeAvailable = 0;
  int32_t m_nextConn = 1;
  int32_t m_nextTran = 1;
  int32_t m_nextDisc = 1;
  uint32_t m_progressMode = 0;

  // Set during Run when any file, folder, permissions or script command failed, so that a run
  // with failures never ends as a success (Run then returns 5). Not compared, not copied.
  uint32_t m_transferFailed = 0;
  // Fresh log-ins of the main connection during this run (EnsureConnection).
  int m_reconnects = 0;
  // The folder the receive walk started in, as the server reported it after entering the remote
  // folder; received files keep their paths below it. Not compared, not copied.
  std::string m_receiveRoot;
};
