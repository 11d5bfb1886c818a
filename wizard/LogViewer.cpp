#include "LogViewer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>

#include "trox/LocalFile.h"

namespace {

// A log grows with every run; its end holds the latest one.
constexpr off_t kShownBytes = 4 * 1024 * 1024;

struct LogText {
  bool ok = false;
  QString text;
  std::string reason;
};

LogText ReadLog(const std::string& path) {
  LogText log;
  // Not blocking on open: a named pipe in the log's place must not hang the wizard.
  CLocalFile file = CLocalFile::Open(path, O_RDONLY | O_NONBLOCK);
  if (!file.IsOpen()) {
    log.reason = std::strerror(errno);
    return log;
  }
  struct stat st;
  if (!file.Status(&st)) {
    log.reason = std::strerror(errno);
    return log;
  }
  if (!S_ISREG(st.st_mode)) {
    log.reason = "It is not a regular file.";
    return log;
  }
  off_t start = st.st_size > kShownBytes ? st.st_size - kShownBytes : 0;
  if (start > 0 && lseek(file.Fd(), start, SEEK_SET) < 0) {
    log.reason = std::strerror(errno);
    return log;
  }
  std::string data;
  char buffer[65536];
  for (;;) {
    ssize_t n = file.Read(buffer, sizeof buffer);
    if (n < 0) {
      log.reason = std::strerror(errno);
      return log;
    }
    if (n == 0 || data.size() >= static_cast<size_t>(kShownBytes)) break;
    data.append(buffer, static_cast<size_t>(n));
  }
  log.ok = true;
  log.text = QString::fromUtf8(data);
  log.text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return log;
}

}  // namespace

CLogViewer::CLogViewer(const std::string& path, const QString& text, QWidget* parent)
    : CModalDialog(parent) {
  setWindowTitle(QStringLiteral("Varnook FTP - %1").arg(QString::fromStdString(path)));
  auto* layout = new QVBoxLayout(this);
  m_text = new QPlainTextEdit(this);
  m_text->setReadOnly(true);
  m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  m_text->setPlainText(text);
  m_text->moveCursor(QTextCursor::End);
  layout->addWidget(m_text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CLogViewer::accept);
  layout->addWidget(buttons);
  resize(720, 440);
}

void ShowLogFile(QWidget* parent, const std::string& path) {
  LogText log = ReadLog(path);
  if (!log.ok) {
    CDialogHost::Get().MessageBox(parent, "Unable to open log file " + path + "\n\n" + log.reason,
                                  "Varnook FTP", MsgIcon::Error);
    return;
  }
  CLogViewer viewer(path, log.text, parent);
  CDialogHost::Get().RunModal(viewer);
}
