#include "DialogHost.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

void CModalDialog::InitOnce() {
  if (m_initialised) return;
  m_initialised = true;
  OnInitDialog();
}

void CModalDialog::accept() {
  if (OnOK()) QDialog::accept();
}

CDialogHost& CDialogHost::Get() {
  static CDialogHost host;
  return host;
}

void CDialogHost::BeginScript() {
  m_scripted = true;
  m_answers.clear();
  m_requests.clear();
}

void CDialogHost::EndScript() {
  m_scripted = false;
  m_answers.clear();
}

namespace {

DialogRequest MakeRequest(DialogRequest::Kind kind, const std::string& text,
                          const std::string& caption = {}) {
  DialogRequest request;
  request.kind = kind;
  request.text = text;
  request.caption = caption;
  return request;
}

}  // namespace

std::optional<DialogAnswer> CDialogHost::NextAnswer() {
  if (m_answers.empty()) return std::nullopt;
  DialogAnswer answer = std::move(m_answers.front());
  m_answers.pop_front();
  return answer;
}

QMessageBox* CDialogHost::BuildMessageBox(QWidget* parent, const std::string& text,
                                          const std::string& caption, MsgIcon icon,
                                          MsgButtons buttons) {
  auto* box = new QMessageBox(parent);
  box->setWindowTitle(QString::fromStdString(caption));
  // The texts carry Windows line ends; a lone "\r" would show as a box.
  box->setText(QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  box->setTextFormat(Qt::PlainText);
  switch (icon) {
    case MsgIcon::Error:
      box->setIcon(QMessageBox::Critical);
      break;
    case MsgIcon::Warning:
      box->setIcon(QMessageBox::Warning);
      break;
    case MsgIcon::Question:
      box->setIcon(QMessageBox::Question);
      break;
    case MsgIcon::Information:
      box->setIcon(QMessageBox::Information);
      break;
    case MsgIcon::None:
      break;
  }
  if (buttons == MsgButtons::YesNo) {
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(QMessageBox::Yes);
  } else {
    box->setStandardButtons(QMessageBox::Ok);
  }
  return box;
}

DialogResult CDialogHost::MessageBox(QWidget* parent, const std::string& text,
                                     const std::string& caption, MsgIcon icon, MsgButtons buttons) {
  DialogResult fallback = buttons == MsgButtons::YesNo ? DialogResult::No : DialogResult::Ok;
  if (m_scripted) {
    DialogRequest request = MakeRequest(DialogRequest::Message, text, caption);
    request.icon = icon;
    request.buttons = buttons;
    request.result = fallback;
    if (auto answer = NextAnswer())
      request.result = answer->result;
    else
      request.unanswered = true;
    m_requests.push_back(request);
    return request.result;
  }
  QMessageBox* box = BuildMessageBox(parent, text, caption, icon, buttons);
  int pressed = box->exec();
  delete box;
  if (buttons == MsgButtons::YesNo)
    return pressed == QMessageBox::Yes ? DialogResult::Yes : DialogResult::No;
  return DialogResult::Ok;
}

DialogResult CDialogHost::RunModal(CModalDialog& dialog) {
  dialog.InitOnce();
  if (!m_scripted) {
    dialog.setModal(true);
    return dialog.exec() == QDialog::Accepted ? DialogResult::Ok : DialogResult::Cancel;
  }
  size_t index = m_requests.size();
  m_requests.push_back(MakeRequest(DialogRequest::Modal, dialog.windowTitle().toStdString()));
  // Each answer is one press of a button; an OK that the dialog refuses takes the next answer,
  // as a person would correct the field and press OK again.
  for (;;) {
    std::optional<DialogAnswer> answer = NextAnswer();
    if (!answer) {
      m_requests[index].unanswered = true;
      m_requests[index].result = DialogResult::Cancel;
      dialog.reject();
      return DialogResult::Cancel;
    }
    DialogResult result = answer->result;
    if (answer->action) {
      result = answer->action(dialog);
    } else if (result == DialogResult::Ok || result == DialogResult::Yes) {
      if (!answer->text.empty()) dialog.TypeText(QString::fromStdString(answer->text));
      result = dialog.OnOK() ? DialogResult::Ok : DialogResult::Cancel;
      if (result == DialogResult::Cancel) continue;
    } else {
      result = DialogResult::Cancel;
    }
    if (result == DialogResult::Ok)
      dialog.setResult(QDialog::Accepted);
    else
      dialog.setResult(QDialog::Rejected);
    m_requests[index].result = result;
    return result;
  }
}

QString CDialogHost::QtFilter(const std::string& filter) {
  QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    // "*.*" means every file on the original platform; here it would skip names without a dot.
    if (patterns == QStringLiteral("*.*")) patterns = QStringLiteral("*");
    // The name already shows the patterns; Qt wants them once, in brackets at the end.
    QString name = parts[i];
    qsizetype bracket = name.lastIndexOf(QLatin1Char('('));
    if (bracket > 0) name = name.left(bracket).trimmed();
    filters << QStringLiteral("%1 (%2)").arg(name, patterns);
  }
  return filters.join(QStringLiteral(";;"));
}

std::optional<std::string> CDialogHost::ScriptedFileName(DialogRequest request) {
  std::optional<DialogAnswer> answer = NextAnswer();
  std::optional<std::string> chosen;
  if (!answer) {
    request.unanswered = true;
    request.result = DialogResult::Cancel;
  } else if (answer->result == DialogResult::Ok && !answer->text.empty()) {
    request.result = DialogResult::Ok;
    chosen = answer->text;
  } else {
    request.result = DialogResult::Cancel;
  }
  m_requests.push_back(request);
  return chosen;
}

namespace {

std::optional<std::string> RunFileDialog(QFileDialog& dialog, const std::string& initial,
                                         const std::string& defaultExtension) {
  dialog.setDefaultSuffix(QString::fromStdString(defaultExtension).toLower());
  if (!initial.empty()) {
    QFileInfo info(QString::fromStdString(initial));
    if (info.isDir()) {
      dialog.setDirectory(info.absoluteFilePath());
    } else {
      if (info.absoluteDir().exists()) dialog.setDirectory(info.absolutePath());
      dialog.selectFile(info.fileName());
    }
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

}  // namespace

std::optional<std::string> CDialogHost::OpenFileName(QWidget* parent, const std::string& initial,
                                                     const std::string& filter,
                                                     const std::string& defaultExtension) {
  if (m_scripted) {
    DialogRequest request = MakeRequest(DialogRequest::OpenFile, initial, "Open");
    request.filter = filter;
    return ScriptedFileName(request);
  }
  QFileDialog dialog(parent, QStringLiteral("Open"), QString(), QtFilter(filter));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  return RunFileDialog(dialog, initial, defaultExtension);
}

std::optional<std::string> CDialogHost::SaveFileName(QWidget* parent, const std::string& initial,
                                                     const std::string& filter,
                                                     const std::string& defaultExtension,
                                                     bool askOverwrite) {
  if (m_scripted) {
    DialogRequest request = MakeRequest(DialogRequest::SaveFile, initial, "Save As");
    request.filter = filter;
    return ScriptedFileName(request);
  }
  QFileDialog dialog(parent, QStringLiteral("Save As"), QString(), QtFilter(filter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (!askOverwrite) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  return RunFileDialog(dialog, initial, defaultExtension);
}

std::optional<std::string> CDialogHost::ChooseFolder(QWidget* parent, const std::string& title,
                                                     const std::string& initial) {
  if (m_scripted) return ScriptedFileName(MakeRequest(DialogRequest::ChooseFolder, initial, title));
  QString start = QString::fromStdString(initial);
  if (!start.isEmpty() && !QFileInfo(start).isDir()) start.clear();
  QString chosen = QFileDialog::getExistingDirectory(parent, QString::fromStdString(title), start,
                                                     QFileDialog::ShowDirsOnly);
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.toStdString();
}

void CDialogHost::OpenUrl(const std::string& fileOrAddress) {
  if (m_scripted) {
    m_requests.push_back(MakeRequest(DialogRequest::OpenUrl, fileOrAddress));
    return;
  }
  QString text = QString::fromStdString(fileOrAddress);
  QUrl url = text.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(text) : QUrl(text);
  QDesktopServices::openUrl(url);
}
