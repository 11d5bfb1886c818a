#include "WizRemote.h"

#include <QLineEdit>

#include "DialogHost.h"
#include "WaitCursor.h"
#include "trox-tools/TroxTools.h"
#include "trox/PathRules.h"
#include "trox/TransferJob.h"

const char* const kLoginFolderText = "[login folder]";

CWizRemote::CWizRemote(CWizContext& context)
    : CWizPathPage("remote.htm", context, QStringLiteral("Remote Files"),
                   QStringLiteral("Pick the remote folder or file")) {}

bool CWizRemote::SourceRole() const {
  return m_working->m_get == 1;
}

CWizPathPage::Captions CWizRemote::RoleCaptions(bool source) const {
  if (source)
    return {"Pick a folder to recieve (including all sub-folders).", "Pick a file to recieve."};
  return {"Pick the destination folder.", "Pick the destination file."};
}

std::string CWizRemote::GivenPath() const {
  return m_working->GetServerPath();
}

std::string CWizRemote::ShownFolder(const std::string& path) const {
  return path.empty() ? kLoginFolderText : path;
}

std::string CWizRemote::StoredFolder(const std::string& text) const {
  return text == kLoginFolderText ? std::string() : text;
}

bool CWizRemote::SourceAccepted(bool single, const std::string& path) {
  // A remote folder is not checked: an empty one is the log-in folder.
  if (!single || !path.empty()) return true;
  CDialogHost::Get().MessageBox(this, "File does not exist.", "Varnook FTP", MsgIcon::Error);
  return false;
}

void CWizRemote::StorePath(const std::string& path) {
  m_working->SetServerPath(path);
}

void CWizRemote::FolderChanged() {
  if (!SourceRole()) return;
  std::string folder = StoredFolder(FolderText());
  StartCount([folder](CTransferJob job, const std::atomic<bool>& stop, uint64_t* total) {
    return CountReceiveSize(std::move(job), folder, &stop, total);
  });
}

void CWizRemote::FileChanged() {
  if (!SourceRole()) return;
  std::string file = FileText();
  StartCount([file](CTransferJob job, const std::atomic<bool>& stop, uint64_t* total) {
    return CountRemoteFileSize(std::move(job), file, &stop, total);
  });
}

void CWizRemote::SetBrowseSecurity() {
  // The library keeps the last setting for the whole process: a TLS job must not browse in clear.
  vTROX_TOOLS_SetSecurity(static_cast<int>(m_working->m_security), m_working->m_certSha256.c_str());
}

void CWizRemote::OnBrowseFolder() {
  std::string folder = FolderText();
  int result;
  {
    CWaitCursor wait;
    SetBrowseSecurity();
    result = bTROX_TOOLS_FOLDER_BrowseForFolder(
        m_working->GetServer(), m_working->GetUser(), m_working->GetPassword(),
        m_working->GetProxy(), m_working->m_port, static_cast<int>(m_working->m_passive), &folder);
  }
  if (result != kTroxToolsOk) return;
  SetText(FolderEdit(), ShownFolder(folder));
  FolderChanged();
}

void CWizRemote::OnBrowseFile() {
  std::string file = FileText();
  if (file.empty()) file = NameOf(m_working->GetLocalPath());
  int result;
  {
    CWaitCursor wait;
    SetBrowseSecurity();
    result = bTROX_TOOLS_FOLDER_FtpFileDialog(m_working->m_get == 1 ? 1 : 0, m_working->GetServer(),
                                              m_working->GetUser(), m_working->GetPassword(),
                                              m_working->GetProxy(), m_working->m_port,
                                              static_cast<int>(m_working->m_passive), &file);
  }
  if (result != kTroxToolsOk) return;
  SetText(FileEdit(), file);
  FileChanged();
}
