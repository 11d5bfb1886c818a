// The library's exported entry points: each builds its dialog, runs it modally on the caller's
// thread and hands the choice back only on OK.
#include "trox-tools/TroxTools.h"

#include <QApplication>

#include "BrowseDlg.h"
#include "FtpFileDlg.h"

namespace {

BrowseAccount Account(std::string server, std::string user, std::string password, std::string proxy,
                      int port, int passive) {
  BrowseAccount account;
  account.server = std::move(server);
  account.user = std::move(user);
  account.password = std::move(password);
  account.proxy = std::move(proxy);
  account.port = port;
  account.passive = passive;
  return account;
}

// The window the dialog belongs to: whatever the caller has active, so it centres over it.
QWidget* CallerWindow() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

// Opening may already fail (no connection): the box was shown and the dialog is not run.
template <typename Dialog>
int RunDialog(Dialog& dialog, std::string* path) {
  dialog.InitOnce();
  if (dialog.ClosedByFailure()) return kTroxToolsClosed;
  DialogResult result = CDialogHost::Get().RunModal(dialog);
  if (dialog.ClosedByFailure()) return kTroxToolsClosed;
  if (result != DialogResult::Ok) return kTroxToolsCancel;
  *path = dialog.Path();
  return kTroxToolsOk;
}

}  // namespace

extern "C" {

int bTROX_TOOLS_FOLDER_BrowseForFolder(std::string server, std::string user, std::string password,
                                       std::string proxy, int port, int passive,
                                       std::string* path) {
  if (!path || !qApp) return kTroxToolsClosed;
  CBrowseDlg dialog(Account(std::move(server), std::move(user), std::move(password),
                            std::move(proxy), port, passive),
                    *path, CallerWindow());
  return RunDialog(dialog, path);
}

int bTROX_TOOLS_FOLDER_FtpFileDialog(int mode, std::string server, std::string user,
                                     std::string password, std::string proxy, int port, int passive,
                                     std::string* path) {
  if (!path || !qApp) return kTroxToolsClosed;
  CFtpFileDlg dialog(mode,
                     Account(std::move(server), std::move(user), std::move(password),
                             std::move(proxy), port, passive),
                     *path, CallerWindow());
  return RunDialog(dialog, path);
}

const char* pszTROX_TOOLS_GetVersion() {
  return TROX_TOOLS_VERSION;
}
}
