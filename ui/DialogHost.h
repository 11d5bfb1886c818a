// Every message box, modal dialog, file dialog and shell action of the wizard goes through the
// one dialog host. In the program it shows the real thing; under a script (tests) it takes the
// queued answers instead and records what was asked, so that no person is needed.
#pragma once

#include <QDialog>
#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QMessageBox;
class QWidget;

enum class MsgIcon { None, Error, Warning, Question, Information };
enum class MsgButtons { Ok, YesNo };
enum class DialogResult { Ok, Cancel, Yes, No };

// A modal dialog of the project's own: controls filled on opening, read on OK, and a way for a
// script to type into the field that takes typing.
class CModalDialog : public QDialog {
  Q_OBJECT
 public:
  explicit CModalDialog(QWidget* parent = nullptr) : QDialog(parent) {}

  // Fills the controls from the fields; runs once, before the dialog is first shown.
  virtual void OnInitDialog() {}
  // Reads the controls; false keeps the dialog open.
  virtual bool OnOK() { return true; }
  // A script's typed text (a password, say); ignored by dialogs without such a field.
  virtual void TypeText(const QString&) {}

  void InitOnce();
  void accept() override;

 private:
  bool m_initialised = false;
};

struct DialogAnswer {
  DialogResult result = DialogResult::Ok;
  std::string text;  // typed text, or the chosen file name
  // Drives the open dialog's widgets instead (the dialog is passed); its result is the answer.
  std::function<DialogResult(CModalDialog&)> action;

  static DialogAnswer Ok() { return {DialogResult::Ok, {}, {}}; }
  static DialogAnswer Cancel() { return {DialogResult::Cancel, {}, {}}; }
  static DialogAnswer Yes() { return {DialogResult::Yes, {}, {}}; }
  static DialogAnswer No() { return {DialogResult::No, {}, {}}; }
  static DialogAnswer Text(const std::string& typed) { return {DialogResult::Ok, typed, {}}; }
  static DialogAnswer Do(std::function<DialogResult(CModalDialog&)> fn) {
    return {DialogResult::Ok, {}, std::move(fn)};
  }
};

// One thing that was asked, as recorded under a script.
struct DialogRequest {
  enum Kind { Message, Modal, OpenFile, SaveFile, OpenUrl, ChooseFolder } kind = Message;
  std::string text;     // message text, dialog title, initial file or folder name, or address
  std::string caption;  // message caption or file dialog title
  MsgIcon icon = MsgIcon::None;
  MsgButtons buttons = MsgButtons::Ok;
  std::string filter;  // file dialogs
  DialogResult result = DialogResult::Ok;
  bool unanswered = false;  // the script had no answer left: the default was taken
};

class CDialogHost {
 public:
  static CDialogHost& Get();

  DialogResult MessageBox(QWidget* parent, const std::string& text, const std::string& caption,
                          MsgIcon icon, MsgButtons buttons = MsgButtons::Ok);
  // Shows the dialog modally; Ok or Cancel.
  DialogResult RunModal(CModalDialog& dialog);
  // The chosen path, or nothing on Cancel. filter: "Name (*.x)|*.x|...||" as the pages give it.
  std::optional<std::string> OpenFileName(QWidget* parent, const std::string& initial,
                                          const std::string& filter,
                                          const std::string& defaultExtension);
  std::optional<std::string> SaveFileName(QWidget* parent, const std::string& initial,
                                          const std::string& filter,
                                          const std::string& defaultExtension, bool askOverwrite);
  // A folder picked with the desktop's folder chooser (folders only, typed names allowed), or
  // nothing on Cancel.
  std::optional<std::string> ChooseFolder(QWidget* parent, const std::string& title,
                                          const std::string& initial);
  // The shell's default action for a file or address.
  void OpenUrl(const std::string& fileOrAddress);

  // Scripted answers (tests). While scripted nothing is shown and nothing is opened.
  void BeginScript();
  void EndScript();
  bool Scripted() const { return m_scripted; }
  void Queue(DialogAnswer answer) { m_answers.push_back(std::move(answer)); }
  size_t PendingAnswers() const { return m_answers.size(); }
  const std::vector<DialogRequest>& Requests() const { return m_requests; }
  void ClearRequests() { m_requests.clear(); }

  // The message box as the host shows it (also used to render screenshots).
  static QMessageBox* BuildMessageBox(QWidget* parent, const std::string& text,
                                      const std::string& caption, MsgIcon icon, MsgButtons buttons);
  // "Name (*.x)|*.x|Other (*.y)|*.y||" in Qt's filter form.
  static QString QtFilter(const std::string& filter);

 private:
  std::optional<DialogAnswer> NextAnswer();
  std::optional<std::string> ScriptedFileName(DialogRequest request);

  bool m_scripted = false;
  std::deque<DialogAnswer> m_answers;
  std::vector<DialogRequest> m_requests;
};
