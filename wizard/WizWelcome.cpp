#include "WizWelcome.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "AboutDlg.h"
#include "DialogHost.h"
#include "SettingsDialog.h"
#include "WizSettings.h"
#include "WizardRules.h"
#include "trox/PasswordCrypto.h"

int (*CWizWelcome::s_cryptoAvailable)() = PasswordCryptoAvailable;

namespace {
constexpr const char* kVersion = TROX_WIZARD_VERSION;  // from the build
constexpr const char* kNotice = "- files to and from FTP servers, step by step";
}  // namespace

CWizWelcome::CWizWelcome(CWizContext& context) : CWizExteriorPage("welcome.htm", context) {
  QVBoxLayout* content = ContentLayout();
  content->addWidget(MakeTitle(QStringLiteral("Welcome to the Varnook FTP Wizard"), true));
  content->addSpacing(16);
  content->addWidget(MakeText(QStringLiteral(
      "This wizard will help you to transfer files between this computer and a remote computer "
      "(server).")));
  content->addStretch(1);
  auto* buttons = new QHBoxLayout;
  auto* about = new QPushButton(QStringLiteral("&About ..."), this);
  auto* settingsButton = new QPushButton(QStringLiteral("&Settings ..."), this);
  buttons->addWidget(about);
  buttons->addWidget(settingsButton);
  buttons->addStretch(1);
  content->addLayout(buttons);
  content->addSpacing(8);
  m_version = new QLabel(this);
  m_version->setWordWrap(true);
  content->addWidget(m_version);
  connect(about, &QPushButton::clicked, this, &CWizWelcome::OnAbout);
  connect(settingsButton, &QPushButton::clicked, this, &CWizWelcome::OnSettings);
}

void CWizWelcome::OnInitPage() {
  RunCryptoWarning();
  m_version->setText(QStringLiteral("TROX Wizard %1 %2").arg(kVersion, kNotice));
}

void CWizWelcome::OnSetActive() {
  SetWizardButtons(kWizNext);
}

void CWizWelcome::RunCryptoWarning() {
  if (!ShowCryptoWarning(m_context.settings->GetCryptoWarnEnabled(), s_cryptoAvailable())) return;
  DialogResult answer = CDialogHost::Get().MessageBox(
      this,
      "Unable to access cryptographic service provider.\r\nPasswords will be saved without "
      "encryption.\r\n\r\nDo you want to see this message each time Varnook\r\nFTP Wizard "
      "starts?",
      "Varnook FTP Wizard", MsgIcon::Warning, MsgButtons::YesNo);
  if (answer == DialogResult::No) {
    m_context.settings->SetCryptoWarnEnabled(0);
    m_context.settings->Save();
  }
}

void CWizWelcome::OnSettings() {
  CSettingsDialog dialog(this);
  dialog.m_settings = *m_context.settings;
  if (CDialogHost::Get().RunModal(dialog) != DialogResult::Ok) return;
  *m_context.settings = dialog.m_settings;
  m_context.settings->Save();
}

void CWizWelcome::OnAbout() {
  CAbout about(this);
  CDialogHost::Get().RunModal(about);
}
