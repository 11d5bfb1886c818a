#include "WizSettings.h"

#include <QSettings>
#include <QString>
#include <filesystem>
#include <memory>

#include "trox/PasswordCrypto.h"
#include "trox/PathRules.h"

namespace {

std::unique_ptr<QSettings> OpenWizardKey() {
  auto settings = std::make_unique<QSettings>(QStringLiteral("Varnook"), QStringLiteral("TROX"));
  settings->beginGroup(QStringLiteral("Wizard"));
  return settings;
}

std::string ReadString(QSettings& settings, const QString& name) {
  QVariant value = settings.value(name);
  if (!value.isValid() || !value.canConvert<QString>()) return {};
  return value.toString().toStdString();
}

// A number that is missing or is not a number leaves `field` as it was.
void ReadNumber(QSettings& settings, const QString& name, int& field) {
  QVariant value = settings.value(name);
  if (!value.isValid()) return;
  bool ok = false;
  int number = value.toInt(&ok);
  if (ok) field = number;
}

QString FileMruName(int index) {
  return QStringLiteral("MRU%1").arg(index);
}
QString ServerMruGroup(int index) {
  return QStringLiteral("SMRU%1").arg(index);
}

FileMruList ReadFileMruList() {
  FileMruList list;
  for (int i = 0; i < kMruSize; ++i) list[i] = ReadFileMru(i);
  return list;
}

void WriteFileMruList(const FileMruList& list) {
  auto key = OpenWizardKey();
  for (int i = 0; i < kMruSize; ++i) key->setValue(FileMruName(i), QString::fromStdString(list[i]));
}

std::string Stored(std::string text) {
  if (!text.empty()) EncryptPassword(text);
  return text;
}

std::string Plain(std::string text) {
  if (!text.empty()) DecryptPassword(text);
  return text;
}

void WriteServerMruList(const ServerMruList& list) {
  auto key = OpenWizardKey();
  for (int i = 0; i < kMruSize; ++i) {
    key->beginGroup(ServerMruGroup(i));
    key->setValue(QStringLiteral("Default"), QString::fromStdString(list[i].server));
    key->setValue(QStringLiteral("User"), QString::fromStdString(Stored(list[i].user)));
    key->setValue(QStringLiteral("Pass"), QString::fromStdString(Stored(list[i].password)));
    key->endGroup();
  }
}

}  // namespace

CWizSettings::CWizSettings() {
  Load();
}

void CWizSettings::Load() {
  auto key = OpenWizardKey();
  ReadNumber(*key, QStringLiteral("SMru"), m_serverMruEnabled);
  int dontWarn = m_cryptoWarnEnabled != 1 ? 1 : 0;
  ReadNumber(*key, QStringLiteral("orCryptoWarn"), dontWarn);
  m_cryptoWarnEnabled = dontWarn != 1 ? 1 : 0;
}

void CWizSettings::Save() const {
  auto key = OpenWizardKey();
  key->setValue(QStringLiteral("SMru"), m_serverMruEnabled);
  key->setValue(QStringLiteral("orCryptoWarn"), m_cryptoWarnEnabled != 1 ? 1 : 0);
}

std::string ReadFileMru(int index) {
  if (index < 0 || index >= kMruSize) return {};
  auto key = OpenWizardKey();
  return ReadString(*key, FileMruName(index));
}

void AddFileMru(const std::string& path) {
  // A relative path would name another file once the wizard starts in another folder.
  FileMruList list = ReadFileMruList();
  if (MruAddFile(list, NormalizeLocalPath(path))) WriteFileMruList(list);
}

void RemoveFileMru(const std::string& path) {
  FileMruList list = ReadFileMruList();
  if (MruRemoveFile(list, path)) WriteFileMruList(list);
}

void PurgeFileMru() {
  for (int i = kMruSize - 1; i >= 0; --i) {
    std::string path = ReadFileMru(i);
    std::error_code error;
    if (!path.empty() && !std::filesystem::exists(path, error)) RemoveFileMru(path);
  }
}

void ReadServerMru(int index, std::string& server, std::string& user, std::string& password) {
  server.clear();
  user.clear();
  password.clear();
  if (index < 0 || index >= kMruSize) return;
  auto key = OpenWizardKey();
  if (!key->childGroups().contains(ServerMruGroup(index))) return;
  key->beginGroup(ServerMruGroup(index));
  server = ReadString(*key, QStringLiteral("Default"));
  user = Plain(ReadString(*key, QStringLiteral("User")));
  password = Plain(ReadString(*key, QStringLiteral("Pass")));
}

void AddServerMru(const std::string& server, const std::string& user, const std::string& password) {
  ServerMruList list;
  for (int i = 0; i < kMruSize; ++i)
    ReadServerMru(i, list[i].server, list[i].user, list[i].password);
  if (MruAddServer(list, {server, user, password})) WriteServerMruList(list);
}

void ClearServerMru() {
  WriteServerMruList(ServerMruList{});
}
