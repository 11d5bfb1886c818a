// Shared pieces of the wizard's tests: an empty settings store per test and the scripted dialog
// host.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QSettings>
#include <string>

#include "DialogHost.h"
#include "FtpServers.h"
#include "trox/TransferJob.h"

inline void ClearWizardSettings() {
  QSettings settings(QStringLiteral("Varnook"), QStringLiteral("TROX"));
  settings.clear();
  settings.sync();
}

// The raw stored value, as another program reading the settings would see it.
inline std::string StoredValue(const QString& name) {
  QSettings settings(QStringLiteral("Varnook"), QStringLiteral("TROX"));
  return settings.value(QStringLiteral("Wizard/") + name).toString().toStdString();
}

inline bool StoredValueExists(const QString& name) {
  QSettings settings(QStringLiteral("Varnook"), QStringLiteral("TROX"));
  return settings.contains(QStringLiteral("Wizard/") + name);
}

// Types text into a widget key by key, as a user does after clicking into it, so that whatever
// reacts to focus and keys (a completer, say) sees each one.
inline void TypeKeys(QWidget* widget, const QString& text) {
  QFocusEvent focusIn(QEvent::FocusIn, Qt::MouseFocusReason);
  QApplication::sendEvent(widget, &focusIn);
  for (QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &release);
  }
}

// A job for the test server's account, between local and remote.
inline CTransferJob JobFor(FtpTestServer& server, const std::string& local,
                           const std::string& remote = "") {
  CTransferJob job;
  job.SetServer(server.Host());
  job.SetPort(server.Port());
  job.SetUser(server.User());
  job.SetPassword(server.Password());
  job.SetLocalPath(local);
  if (!remote.empty()) job.SetServerPath(remote);
  return job;
}

// Settings emptied and the dialog host scripted for every test.
class WizardTest : public testing::Test {
 protected:
  void SetUp() override {
    ClearWizardSettings();
    Host().BeginScript();
  }
  void TearDown() override { Host().EndScript(); }

  static CDialogHost& Host() { return CDialogHost::Get(); }
  // The texts of the message boxes asked so far.
  static std::vector<std::string> Messages() {
    std::vector<std::string> texts;
    for (const DialogRequest& r : Host().Requests())
      if (r.kind == DialogRequest::Message) texts.push_back(r.text);
    return texts;
  }
};
