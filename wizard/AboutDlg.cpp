#include "AboutDlg.h"

#include <dlfcn.h>
#include <gnu/libc-version.h>
#include <sys/utsname.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>

#include "Artwork.h"
#include "DialogUnits.h"
#include "Hyperlink.h"
#include "WebAddresses.h"
#include "trox-tools/TroxTools.h"

namespace {

constexpr int kWidthDlu = 258;
constexpr int kCollapsedHeightDlu = 42;
constexpr int kExpandedHeightDlu = 118;

constexpr const char* kNotice = "Files to and from FTP servers, step by step.";

// trox is listed when it is there to be run: beside this program (as installed and as built) or
// on the search path. Its version is the one this suite was built with; nothing is started.
bool TroxInReach() {
  QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("trox"));
  QFileInfo info(beside);
  if (info.isFile() && info.isExecutable()) return true;
  return !QStandardPaths::findExecutable(QStringLiteral("trox")).isEmpty();
}

// A library's version function when the library is loaded in this process, whoever loaded it.
template <typename Fn>
Fn LoadedFunction(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_DEFAULT, name));
}

void AddLine(std::string& list, const std::string& name, const std::string& version) {
  list += name + " (" + version + ")\n";
}

}  // namespace

std::string AboutVersionList() {
  std::string list;
  AddLine(list, "trox-wizard", TROX_WIZARD_VERSION);
  AddLine(list, "libtrox-tools.so", pszTROX_TOOLS_GetVersion());
  if (TroxInReach()) AddLine(list, "trox", TROX_VERSION);
  AddLine(list, "Qt", qVersion());
  using VersionPart = int (*)();
  auto nettleMajor = LoadedFunction<VersionPart>("nettle_version_major");
  auto nettleMinor = LoadedFunction<VersionPart>("nettle_version_minor");
  if (nettleMajor && nettleMinor)
    AddLine(list, "Nettle", std::to_string(nettleMajor()) + "." + std::to_string(nettleMinor()));
  auto gnutlsVersion = LoadedFunction<const char* (*)(const char*)>("gnutls_check_version");
  if (gnutlsVersion) {
    const char* version = gnutlsVersion(nullptr);
    if (version) AddLine(list, "GnuTLS", version);
  }
  AddLine(list, "GNU C Library", gnu_get_libc_version());
  struct utsname system;
  if (uname(&system) == 0)
    list +=
        std::string("OS: ") + system.sysname + " (" + system.release + " " + system.version + ")";
  return list;
}

CAbout::CAbout(QWidget* parent) : CModalDialog(parent) {
  setWindowTitle(QStringLiteral("About Varnook FTP Wizard"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* icon = new QLabel(this);
  QRect iconRect = DialogUnitRect(*this, 7, 7, 21, 20);
  int side = std::min(iconRect.width(), iconRect.height());
  icon->setPixmap(AppIconPixmap(side));
  icon->setGeometry(iconRect);
  icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_productLabel = new QLabel(this);
  m_productLabel->setGeometry(DialogUnitRect(*this, 36, 7, 161, 10));
  m_noticeLabel = new QLabel(this);
  m_noticeLabel->setGeometry(DialogUnitRect(*this, 36, 19, 161, 10));
  m_webLink = new QLabel(QString::fromLatin1(kWebSiteAddress), this);
  m_webLink->setGeometry(DialogUnitRect(*this, 36, 31, 161, 10));
  m_webLink->adjustSize();
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setGeometry(DialogUnitRect(*this, 201, 7, 50, 14));
  ok->setDefault(true);
  m_toggle = new QPushButton(QStringLiteral(">>>"), this);
  m_toggle->setGeometry(DialogUnitRect(*this, 201, 24, 50, 14));
  m_toggle->setAutoDefault(false);
  m_versionBox = new QPlainTextEdit(this);
  // Selectable and copyable, not editable.
  m_versionBox->setReadOnly(true);
  m_versionBox->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_versionBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_versionBox->setGeometry(DialogUnitRect(*this, 7, 43, 244, 68));

  connect(ok, &QPushButton::clicked, this, &CAbout::accept);
  connect(m_toggle, &QPushButton::clicked, this, &CAbout::OnToggle);
  setFixedSize(DialogUnitRect(*this, 0, 0, kWidthDlu, kExpandedHeightDlu).size());
}

void CAbout::OnInitDialog() {
  MakeHyperlink(m_webLink);
  m_product = std::string("Varnook FTP Wizard ") + TROX_WIZARD_VERSION;
  m_notice = kNotice;
  m_versionList = AboutVersionList();
  m_expanded = 1;
  OnToggle();
  m_productLabel->setText(QString::fromStdString(m_product));
  m_noticeLabel->setText(QString::fromStdString(m_notice));
  m_versionBox->setPlainText(QString::fromStdString(m_versionList));
}

void CAbout::OnToggle() {
  int height;
  if (m_expanded == 1) {
    m_expanded = 0;
    m_toggle->setText(QStringLiteral(">>>"));
    height = kCollapsedHeightDlu;
  } else {
    m_expanded = 1;
    m_toggle->setText(QStringLiteral("<<<"));
    height = kExpandedHeightDlu;
  }
  // Qt sizes the client area; the frame comes on top by itself.
  setFixedSize(DialogUnitRect(*this, 0, 0, kWidthDlu, height).size());
}
