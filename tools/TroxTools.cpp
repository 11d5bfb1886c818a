// The library's exported entry points: each builds its dialog, runs it modally on the caller's
// thread and hands the choice back only on OK.
#include "trox-tools/TroxTools.h"

#include <QApplication>
#include <mutex>

#include "BrowseDlg.h"
#include "FtpFileDlg.h"

namespace {

// Set by vTROX_TOOLS_SetSecurity; the browsing calls of the process after it use it.
struct {
  std::mutex lock;
  int mode = 0;
  std::string sha256Pin;
} g_security;

BrowseAccount Account(std::string server, std::string user, std::string password, std::string proxy,
                      int port, int passive) {
  BrowseAccount account;
  account.server = std::move(server);
  account.user = std::move(user);
  account.password = std::move(password);
  account.proxy = std::move(proxy);
  account.port = port;
  account.passive = passive;
  std::lock_guard<std::mutex> guard(g_security.lock);
  account.security = g_security.mode;
  account.certSha256 = g_security.sha256Pin;
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

void vTROX_TOOLS_SetSecurity(int mode, const char* sha256Pin) {
  std::lock_guard<std::mutex> guard(g_security.lock);
  g_security.mode = mode;
  g_security.sha256Pin = sha256Pin ? sha256Pin : "";
}

const char* pszTROX_TOOLS_GetVersion() {
  return TROX_TOOLS_VERSION;
}
}
