// Settings, rule lists, output wiring, copying and comparing of a transfer job. Run, the walks and
// error reporting live in their own files.
#include "trox/TransferJob.h"

#include <cstdlib>

#include "trox/DisplayText.h"
#include "trox/Internet.h"
#include "trox/PathRules.h"

CTransferJob::CTransferJob() {
  Reset();
}

CTransferJob::~CTransferJob() = default;

CTransferJob::CTransferJob(const CTransferJob& other) {
  *this = other;
}

// Copies everything but what belongs to one run of one job: its session, connection and
// failure record.
CTransferJob& CTransferJob::operator=(const CTransferJob& other) {
  if (this == &other) return *this;
  Settings() = other.Settings();
  Rules() = other.Rules();
  m_remoteFolder = other.m_remoteFolder;
  m_localFolder = other.m_localFolder;
  m_consoleOutput = other.m_consoleOutput;
  m_hostOutput = other.m_hostOutput;
  m_progressCallback = other.m_progressCallback;
  m_userData = other.m_userData;
  m_outputMode = other.m_outputMode;
  m_bytesToSend = other.m_bytesToSend;
  m_bytesToGet = other.m_bytesToGet;
  m_progress = other.m_progress;
  m_upgradeAvailable = other.m_upgradeAvailable;
  m_connection.reset();
  m_session.reset();
  return *this;
}

void CTransferJob::Reset() {
  Settings() = TransferSettings();
  Rules() = TransferRules();
  m_remoteFolder.clear();
  m_localFolder = LocalFolderForm(CurrentDirectory());
  m_consoleOutput = nullptr;
  m_hostOutput = nullptr;
  m_progressCallback = nullptr;
  m_userData = 0;
  m_outputMode = 0;
  ResetProgress();
  m_upgradeAvailable = 0;
  m_connection.reset();
  m_session.reset();
  m_transferFailed = 0;
}

void CTransferJob::ResetProgress() {
  m_bytesToSend = 0;
  m_bytesToGet = 0;
  m_progress.bytesToTransfer = 0;
  m_progress.bytesDone = 0;
  m_progress.cancel = 0;
  m_progress.lastError = 0;
  m_progress.currentFile.clear();
  m_progress.lastResponse.clear();
}

void CTransferJob::SetServer(const std::string& text) {
  m_server = text;
}

void CTransferJob::SetServerPath(const std::string& text) {
  m_givenServerPath = text;
  m_remoteFolder = ServerPathFolder(text);
}

void CTransferJob::SetLocalPath(const std::string& text) {
  m_givenLocalPath = AbsoluteLocalPath(text);
  m_localFolder = LocalFolderForm(m_givenLocalPath);
}

void CTransferJob::SetUser(const std::string& text) {
  m_user = text;
}

void CTransferJob::SetPassword(const std::string& text) {
  m_password = text;
}

void CTransferJob::SetJobFile(const std::string& text) {
  m_jobFile = text;
}

void CTransferJob::SetLogFile(const std::string& text) {
  m_logFile = text;
}

void CTransferJob::SetPort(uint16_t port) {
  m_port = port;
}

void CTransferJob::SetProxy(const std::string& text) {
  m_proxy = text;
  m_accessType = text.empty() ? INTERNET_OPEN_TYPE_PRECONFIG : INTERNET_OPEN_TYPE_PROXY;
}

bool CTransferJob::SetSecurity(uint32_t mode) {
  if (mode > 2) return false;
  m_security = mode;
  return true;
}

void CTransferJob::AddSelect(const std::string& extension) {
  m_selectList.push_back(tagTROX_SEL{extension});
}

void CTransferJob::AddChmod(const std::string& extension, const std::string& modeText) {
  tagTROX_CHMOD entry;
  entry.extension = extension;
  entry.mode = static_cast<int32_t>(atol(modeText.c_str()));
  m_chmodList.push_back(std::move(entry));
}

namespace {

// "command,Y" asks for the command's data connection to be read; anything after the first comma
// is only that marker, so a command itself cannot hold a comma.
tagTROX_SCRIPT MakeScript(const char* type, const std::string& text, int32_t& next) {
  tagTROX_SCRIPT entry;
  entry.type = type;
  size_t comma = text.find(',');
  if (comma == std::string::npos) {
    entry.command = text;
    entry.expectResponse = 0;
  } else {
    entry.command = text.substr(0, comma);
    entry.expectResponse = 1;
  }
  entry.sequence = next++;
  return entry;
}

}  // namespace

void CTransferJob::AddConnScript(const std::string& text) {
  m_connScripts.push_back(MakeScript("Conn", text, m_nextConn));
}

void CTransferJob::AddTranScript(const std::string& text) {
  m_tranScripts.push_back(MakeScript("Tran", text, m_nextTran));
}

void CTransferJob::AddDiscScript(const std::string& text) {
  m_discScripts.push_back(MakeScript("Disc", text, m_nextDisc));
}

void CTransferJob::SetConsoleOutput(ConsoleOutputFn callback) {
  m_consoleOutput = callback;
  m_outputMode = 1;
}

void CTransferJob::SetHostOutput(HostOutputFn callback, uintptr_t userData) {
  m_hostOutput = callback;
  m_userData = userData;
  m_outputMode = 2;
}

void CTransferJob::SetProgressCallback(ProgressFn callback, uintptr_t userData) {
  m_progressCallback = callback;
  m_userData = userData;
}

// Messages quote names and replies that the server chose; every host and the log get them in
// the form that cannot act on a terminal (DisplayText).
int CTransferJob::Output(const std::string& text, int endOfLine) {
  if (m_outputMode == 1 && m_consoleOutput != nullptr) {
    m_consoleOutput(DisplayText(text).c_str(), endOfLine, m_logFile);
    return 0;
  }
  if (m_outputMode == 2 && m_hostOutput != nullptr) {
    return m_hostOutput(DisplayText(text).c_str(), endOfLine, &m_progress, m_userData);
  }
  return 0;
}

int CTransferJob::OutputVerbose(const std::string& text, int endOfLine) {
  if (m_verbose != 1) return 0;
  return Output(text, endOfLine);
}

void CTransferJob::ReportProgress() {
  if (m_progressCallback != nullptr) m_progressCallback(&m_progress, m_userData);
}

int CTransferJob::IsSameAs(const CTransferJob& other) const {
  const bool same = Settings() == other.Settings() && m_remoteFolder == other.m_remoteFolder &&
                    m_outputMode == other.m_outputMode &&
                    m_upgradeAvailable == other.m_upgradeAvailable;
  return same ? 1 : 0;
}
