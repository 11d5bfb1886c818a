// Transfer files: one job as INI sections TROX, TROXWIZ, SELECT, CHMOD and SCRIPT.
//
// The reader only sets and appends, so options given before a file keep what the file does not
// say. The writer rewrites the three list sections whole and leaves every key and section it does
// not know as it found them.
#include "trox/TransferFile.h"

#include <climits>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "ini/IniFile.h"
#include "trox/PasswordCrypto.h"
#include "trox/TransferJob.h"

namespace {

constexpr char kTrox[] = "TROX";
constexpr char kTroxWiz[] = "TROXWIZ";
constexpr char kSelect[] = "SELECT";
constexpr char kChmod[] = "CHMOD";
constexpr char kScript[] = "SCRIPT";

// The absolute form against the current directory, folded lexically (no links resolved).
std::string AbsolutePath(const std::string& name) {
  if (name.empty()) return {};
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(name, error);
  if (error) return {};
  return absolute.lexically_normal().string();
}

// A value may carry a remark: it ends at the first tab or semicolon, less trailing spaces.
std::string StripComment(std::string value) {
  if (size_t cut = value.find_first_of("\t;"); cut != std::string::npos) value.resize(cut);
  while (!value.empty() && value.back() == ' ') value.pop_back();
  return value;
}

// atoi without its undefined overflow: out-of-range numbers saturate.
int ToInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t number = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    number = number * 10 + (text[i] - '0');
    if (number > static_cast<int64_t>(INT_MAX) + 1) number = static_cast<int64_t>(INT_MAX) + 1;
  }
  if (negative) number = -number;
  if (number > INT_MAX) number = INT_MAX;
  return static_cast<int>(number);
}

std::string Numbered(const char* key, size_t n) {
  return std::string(key) + "(" + std::to_string(n) + ")";
}

// Reads KEY(1), KEY(2), ... until one is missing or empty; a gap ends the list.
template <typename Apply>
size_t ReadList(const CIniFile& ini, const char* section, const char* key, Apply apply) {
  size_t n = 1;
  for (;; ++n) {
    std::string value = ini.GetString(section, Numbered(key, n));
    if (value.empty()) break;
    apply(std::move(value));
  }
  return n - 1;
}

}  // namespace

int ReadTransferFile(const std::string& fileName, CTransferJob& job) {
  std::string path = AbsolutePath(fileName);
  CIniFile ini;
  // An unreadable file reads like a missing one: every key missing.
  if (!path.empty()) ini.Load(path);

  int result = 2;
  auto readTrox = [&](const char* key) { return ini.GetString(kTrox, key); };

  if (std::string v = readTrox("SERVER"); !v.empty()) {
    result = 0;
    job.SetServer(StripComment(v));
  }
  if (std::string v = readTrox("SERVERPATH"); !v.empty()) job.SetServerPath(StripComment(v));
  if (std::string v = readTrox("LOCALPATH"); !v.empty()) job.SetLocalPath(StripComment(v));
  if (std::string v = readTrox("USER"); !v.empty()) job.SetUser(StripComment(v));
  if (std::string v = readTrox("ENCPASS"); !v.empty()) {
    std::string password = StripComment(v);
    DecryptPassword(password);
    job.SetPassword(password);
  } else if (std::string p = readTrox("PASS"); !p.empty()) {
    job.SetPassword(StripComment(p));
  }
  if (std::string v = readTrox("LOG"); !v.empty()) job.SetLogFile(StripComment(v));
  // A port that does not fit would wrap to another one, and the job would talk to whatever
  // listens there: the file is refused instead (0 means the default port).
  bool badPort = false;
  if (std::string v = readTrox("PORT"); !v.empty()) {
    const int port = ToInt(StripComment(v));
    badPort = port < 0 || port > 65535;
    if (!badPort) job.SetPort(static_cast<uint16_t>(port));
  }
  if (std::string v = readTrox("PROXY"); !v.empty()) job.SetProxy(StripComment(v));

  auto flag = [&](const char* section, const char* key) { return ini.GetInt(section, key) != 0; };
  if (flag(kTrox, "GET")) job.SetGet();
  if (flag(kTrox, "IGNORE")) job.SetIgnore();
  if (flag(kTrox, "VERBOSE")) job.SetVerbose();
  if (flag(kTrox, "ARCHIVE")) job.SetArchive();
  if (flag(kTrox, "UPGRADE")) {
    job.SetUpgrade();
    result = 0;
  }
  if (flag(kTrox, "SINGLE")) job.SetSingle();
  if (flag(kTrox, "PASSIVE")) job.SetPassive();
  if (flag(kTrox, "FORCEBIN")) job.SetTransferType(1);
  if (flag(kTrox, "FORCEASCII")) job.SetTransferType(2);
  if (flag(kTrox, "PASSPROMPT")) job.SetPassPrompt();
  if (flag(kTroxWiz, "AUTOXFER")) job.SetAutoTransfer();

  size_t included = ReadList(ini, kSelect, "INCLUDE", [&](std::string v) {
    job.AddSelect(StripComment(std::move(v)));
    job.SetSelectMode(1);
  });
  size_t excluded = ReadList(ini, kSelect, "EXCLUDE", [&](std::string v) {
    job.AddSelect(StripComment(std::move(v)));
    job.SetSelectMode(2);
  });
  // One job has one selection mode; a file that asks for both is rejected.
  if ((included > 0 && excluded > 0) || badPort) result = 2;

  for (size_t n = 1;; ++n) {
    std::string extension = ini.GetString(kChmod, Numbered("CHMODEXT", n));
    std::string mode = ini.GetString(kChmod, Numbered("CHMODACT", n));
    if (extension.empty() || mode.empty()) break;
    job.AddChmod(StripComment(extension), StripComment(mode));
  }

  // Script commands may hold semicolons and tabs: they are taken as they stand.
  ReadList(ini, kScript, "CONN", [&](std::string v) { job.AddConnScript(v); });
  ReadList(ini, kScript, "TRAN", [&](std::string v) { job.AddTranScript(v); });
  ReadList(ini, kScript, "DISC", [&](std::string v) { job.AddDiscScript(v); });
  return result;
}

int WriteTransferFile(const std::string& fileName, const CTransferJob& job) {
  std::string path = AbsolutePath(fileName);
  if (path.empty()) return 6;
  CIniFile ini;
  // A file that exists but cannot be read must not be replaced by one that lost its contents.
  if (!ini.Load(path)) return 6;

  // Writes in order and stops at the first that fails; what was written before it is saved.
  auto finish = [&](int result) { return ini.Save(path) ? result : 6; };
  auto put = [&](const char* section, const std::string& key, const std::string& value) {
    return ini.SetString(section, key, value);
  };
  auto putFlag = [&](const char* section, const char* key, bool set) {
    return put(section, key, set ? "1" : "0");
  };

  if (!put(kTrox, "SERVER", job.m_server) || !put(kTrox, "SERVERPATH", job.m_givenServerPath) ||
      !put(kTrox, "LOCALPATH", job.m_givenLocalPath) || !put(kTrox, "USER", job.m_user)) {
    return finish(6);
  }
  if (job.m_passPrompt == 1) {
    if (!put(kTrox, "PASS", "") || !put(kTrox, "ENCPASS", "")) return finish(6);
  } else if (!job.m_password.empty()) {
    std::string stored = job.m_password;
    // A password that could not be encrypted is never stored under ENCPASS in plain text.
    if (!EncryptPassword(stored) || !put(kTrox, "PASS", "") || !put(kTrox, "ENCPASS", stored)) {
      return finish(6);
    }
  }
  if (!put(kTrox, "LOG", job.m_logFile) || !put(kTrox, "PORT", std::to_string(job.m_port)) ||
      !put(kTrox, "PROXY", job.m_proxy)) {
    return finish(6);
  }
  if (!putFlag(kTrox, "GET", job.m_get == 1) || !putFlag(kTrox, "IGNORE", job.m_ignore == 1) ||
      !putFlag(kTrox, "VERBOSE", job.m_verbose == 1) ||
      !putFlag(kTrox, "ARCHIVE", job.m_archive == 1) ||
      !putFlag(kTrox, "UPGRADE", job.m_upgrade == 1) ||
      !putFlag(kTrox, "SINGLE", job.m_single == 1) ||
      !putFlag(kTrox, "PASSIVE", job.m_passive == 1) ||
      !putFlag(kTrox, "FORCEBIN", job.m_transferType == 1) ||
      !putFlag(kTrox, "FORCEASCII", job.m_transferType == 2) ||
      !putFlag(kTrox, "PASSPROMPT", job.m_passPrompt == 1) ||
      !putFlag(kTroxWiz, "AUTOXFER", job.m_autoTransfer == 1)) {
    return finish(6);
  }

  ini.DeleteSection(kSelect);
  if (job.m_selectMode == 1 || job.m_selectMode == 2) {
    const char* key = job.m_selectMode == 1 ? "INCLUDE" : "EXCLUDE";
    for (size_t i = 0; i < job.m_selectList.size(); ++i) {
      if (!put(kSelect, Numbered(key, i + 1), job.m_selectList[i].extension)) return finish(6);
    }
  }

  ini.DeleteSection(kChmod);
  for (size_t i = 0; i < job.m_chmodList.size(); ++i) {
    const tagTROX_CHMOD& rule = job.m_chmodList[i];
    if (!put(kChmod, Numbered("CHMODEXT", i + 1), rule.extension) ||
        !put(kChmod, Numbered("CHMODACT", i + 1), std::to_string(rule.mode))) {
      return finish(6);
    }
  }

  ini.DeleteSection(kScript);
  auto putScripts = [&](const char* key, const std::vector<tagTROX_SCRIPT>& list) {
    for (size_t i = 0; i < list.size(); ++i) {
      std::string value = list[i].command + (list[i].expectResponse == 1 ? ",Y" : "");
      if (!put(kScript, Numbered(key, i + 1), value)) return false;
    }
    return true;
  };
  if (!putScripts("CONN", job.m_connScripts) || !putScripts("TRAN", job.m_tranScripts) ||
      !putScripts("DISC", job.m_discScripts)) {
    return finish(6);
  }
  return finish(0);
}
