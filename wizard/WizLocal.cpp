#include "WizLocal.h"

#include <QLineEdit>
#include <filesystem>
#include <system_error>

#include "DialogHost.h"
#include "trox/LocalFiles.h"
#include "trox/PathRules.h"
#include "trox/TransferJob.h"

namespace {

const char* const kAllFiles = "All Files (*.*)|*.*||";

enum class PathKind { Missing, Folder, Other };

PathKind KindOf(const std::string& path) {
  std::error_code error;
  std::filesystem::file_status status = std::filesystem::status(path, error);
  if (path.empty() || error || !std::filesystem::exists(status)) return PathKind::Missing;
  return std::filesystem::is_directory(status) ? PathKind::Folder : PathKind::Other;
}

}  // namespace

CWizLocal::CWizLocal(CWizContext& context)
    : CWizPathPage("local.htm", context, QStringLiteral("Local Files"),
                   QStringLiteral("Pick the local folder or file")) {}

bool CWizLocal::SourceRole() const {
  return m_working->m_get == 0;
}

void CWizLocal::OnInitPage() {
  CWizPathPage::OnInitPage();
  ShowSize(0);
}

CWizPathPage::Captions CWizLocal::RoleCaptions(bool source) const {
  if (source) return {"Pick a folder to send (including all sub-folders).", "Pick a file to send."};
  return {"Pick the local folder.", "Pick the local file."};
}

std::string CWizLocal::GivenPath() const {
  return m_working->GetLocalPath();
}

bool CWizLocal::SourceAccepted(bool single, const std::string& path) {
  PathKind kind = KindOf(path);
  if (single ? kind != PathKind::Missing : kind == PathKind::Folder) return true;
  CDialogHost::Get().MessageBox(this, single ? "File does not exist." : "Folder does not exist.",
                                "Varnook FTP", MsgIcon::Error);
  return false;
}

void CWizLocal::StorePath(const std::string& path) {
  m_working->SetLocalPath(path);
}

void CWizLocal::FolderChanged() {
  if (!SourceRole()) return;
  std::string folder = FolderText();
  switch (KindOf(folder)) {
    case PathKind::Missing:
      ShowSize(0);
      return;
    case PathKind::Other:
      // A file's name typed into the folder box counts nothing; no earlier count stays behind it.
      ShowSize(TotalBytes());
      return;
    case PathKind::Folder:
      break;
  }
  StartCount([folder](CTransferJob job, const std::atomic<bool>& stop, uint64_t* total) {
    return CountSendSize(std::move(job), folder, &stop, total);
  });
}

void CWizLocal::FileChanged() {
  if (!SourceRole()) return;
  std::string file = FileText();
  // One file's length is a single look at the disk: no need to leave the screen thread.
  ShowSize(m_working->IsSelectedForSend(file) != 0 ? LocalFileSize(file) : 0);
}

void CWizLocal::OnBrowseFolder() {
  std::optional<std::string> folder =
      CDialogHost::Get().ChooseFolder(this, "Select the local folder", FolderText());
  if (!folder) return;
  SetText(FolderEdit(), *folder);
  FolderChanged();
}

void CWizLocal::OnBrowseFile() {
  if (m_working->m_get == 0) {
    std::optional<std::string> file =
        CDialogHost::Get().OpenFileName(this, FileText(), kAllFiles, "");
    if (!file) return;
    SetText(FileEdit(), *file);
    FileChanged();
    return;
  }
  // Getting one file: the save dialog starts from the remote file's name, and Cancel leaves the
  // text as it was.
  std::string initial = FileText();
  if (initial.empty()) initial = NameOf(m_working->GetServerPath());
  std::optional<std::string> file =
      CDialogHost::Get().SaveFileName(this, initial, kAllFiles, "", true);
  if (file) SetText(FileEdit(), *file);
}
