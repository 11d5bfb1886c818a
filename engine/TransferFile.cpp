// Transfer files: one job as INI sections TROX, TROXWIZ, SELECT, CHMOD and SCRIPT.
//
// The reader only sets and appends, so options given before a file keep what the file does not
// say. The writer rewrites the three list sections whole and leaves every key and section it does
// not know as it found them. Both walk the same tables of keys, so a setting a file stores is one
// row, read and written alike.
#include "trox/TransferFile.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "ini/IniFile.h"
#include "trox/InternetError.h"
#include "trox/PasswordCrypto.h"
#include "trox/TransferJob.h"

namespace {

constexpr char kTrox[] = "TROX";
constexpr char kTroxWiz[] = "TROXWIZ";
constexpr char kSelect[] = "SELECT";
constexpr char kChmod[] = "CHMOD";
constexpr char kScript[] = "SCRIPT";
constexpr char kEncryptedPassword[] = "ENCPASS";

using Job = CTransferJob;
using Setter = void (CTransferJob::*)(const std::string&);

// How a key of TROX or TROXWIZ holds its setting.
enum class Form {
  Text,      // the string as it stands; a read one is cleaned and goes through the setter
  Password,  // PASS, or ENCPASS in encrypted form; nothing under a password prompt
  Port,      // decimal digits
  Flag,      // "1" when the setting holds the key's value, else "0"; a non-zero read sets it
  Security,  // 0, 1 or 2; another number refuses the file rather than run the job in clear
};

struct Field {
  Form form;
  std::string TransferSettings::*text = nullptr;
  Setter apply = nullptr;
  uint32_t TransferSettings::*flag = nullptr;
  uint32_t value = 1;  // FORCEBIN and FORCEASCII are two values of one setting
};

constexpr Field Text(std::string TransferSettings::*text, Setter apply) {
  return {Form::Text, text, apply};
}
constexpr Field Flag(uint32_t TransferSettings::*flag, uint32_t value = 1) {
  return {Form::Flag, nullptr, nullptr, flag, value};
}

struct SettingKey {
  const char* section;
  const char* key;
  Field field;
  bool namesJob = false;  // a file must give a server or ask for an upgrade check
  // Written only when the setting is not its default or the file has the key already, so that
  // files of jobs without it stay as they were.
  bool onlyWhenSet = false;
};
constexpr bool kNamesJob = true;
constexpr bool kOnlyWhenSet = true;

// Every setting a file stores, one row per key, in the order of reading and writing; FORCEASCII
// comes after FORCEBIN so that it wins when a file sets both.
constexpr SettingKey kSettingKeys[] = {
    {kTrox, "SERVER", Text(&Job::m_server, &Job::SetServer), kNamesJob},
    {kTrox, "SERVERPATH", Text(&Job::m_givenServerPath, &Job::SetServerPath)},
    {kTrox, "LOCALPATH", Text(&Job::m_givenLocalPath, &Job::SetLocalPath)},
    {kTrox, "USER", Text(&Job::m_user, &Job::SetUser)},
    {kTrox, "PASS", {Form::Password, &Job::m_password, &Job::SetPassword}},
    {kTrox, "LOG", Text(&Job::m_logFile, &Job::SetLogFile)},
    {kTrox, "PORT", {Form::Port}},
    {kTrox, "PROXY", Text(&Job::m_proxy, &Job::SetProxy)},
    {kTrox, "GET", Flag(&Job::m_get)},
    {kTrox, "IGNORE", Flag(&Job::m_ignore)},
    {kTrox, "VERBOSE", Flag(&Job::m_verbose)},
    {kTrox, "ARCHIVE", Flag(&Job::m_archive)},
    {kTrox, "UPGRADE", Flag(&Job::m_upgrade), kNamesJob},
    {kTrox, "SINGLE", Flag(&Job::m_single)},
    {kTrox, "PASSIVE", Flag(&Job::m_passive)},
    {kTrox, "FORCEBIN", Flag(&Job::m_transferType, 1)},
    {kTrox, "FORCEASCII", Flag(&Job::m_transferType, 2)},
    {kTrox, "PASSPROMPT", Flag(&Job::m_passPrompt)},
    {kTrox, "SECURITY", {Form::Security}, false, kOnlyWhenSet},
    {kTrox, "CERTSHA256", Text(&Job::m_certSha256, &Job::SetCertSha256), false, kOnlyWhenSet},
    {kTroxWiz, "AUTOXFER", Flag(&Job::m_autoTransfer)},
};

// The selection list's key names its mode: INCLUDE(n) for 1, EXCLUDE(n) for 2.
constexpr const char* kSelectKeys[] = {nullptr, "INCLUDE", "EXCLUDE"};

struct ScriptKey {
  const char* key;
  std::vector<tagTROX_SCRIPT> TransferRules::*list;
  Setter add;
};
constexpr ScriptKey kScriptKeys[] = {
    {"CONN", &Job::m_connScripts, &Job::AddConnScript},
    {"TRAN", &Job::m_tranScripts, &Job::AddTranScript},
    {"DISC", &Job::m_discScripts, &Job::AddDiscScript},
};

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

// Applies one setting key; true when it named the job (a server, an upgrade check). A port
// that does not fit would wrap to another one, and the job would talk to whatever listens there:
// badPort then refuses the file instead (0 means the default port); so does an unknown security.
bool ReadSetting(const CIniFile& ini, const SettingKey& k, CTransferJob& job, bool& badPort) {
  const Field& f = k.field;
  switch (f.form) {
    case Form::Text:
      if (std::string v = ini.GetString(k.section, k.key); !v.empty()) {
        (job.*f.apply)(StripComment(v));
        return k.namesJob;
      }
      return false;
    case Form::Password:
      if (std::string v = ini.GetString(k.section, kEncryptedPassword); !v.empty()) {
        std::string password = StripComment(v);
        DecryptPassword(password);
        (job.*f.apply)(password);
      } else if (std::string p = ini.GetString(k.section, k.key); !p.empty()) {
        (job.*f.apply)(StripComment(p));
      }
      return false;
    case Form::Port:
      if (std::string v = ini.GetString(k.section, k.key); !v.empty()) {
        const int port = ToInt(StripComment(v));
        badPort = port < 0 || port > 65535;
        if (!badPort) job.SetPort(static_cast<uint16_t>(port));
      }
      return false;
    case Form::Flag:
      if (ini.GetInt(k.section, k.key) == 0) return false;
      job.*f.flag = f.value;
      return k.namesJob;
    case Form::Security:
      if (std::string v = ini.GetString(k.section, k.key); !v.empty()) {
        const int mode = ToInt(StripComment(v));
        if (mode < 0 || !job.SetSecurity(static_cast<uint32_t>(mode))) badPort = true;
      }
      return false;
  }
  return false;
}

// Writes one setting key; false when a write failed.
bool WriteSetting(CIniFile& ini, const SettingKey& k, const CTransferJob& job) {
  const Field& f = k.field;
  switch (f.form) {
    case Form::Text:
      return ini.SetString(k.section, k.key, job.*f.text);
    case Form::Password:
      if (job.m_passPrompt == 1) {
        return ini.SetString(k.section, k.key, "") &&
               ini.SetString(k.section, kEncryptedPassword, "");
      }
      if (const std::string& plain = job.*f.text; !plain.empty()) {
        std::string stored = plain;
        // A password that could not be encrypted is never stored under ENCPASS in plain text.
        return EncryptPassword(stored) && ini.SetString(k.section, k.key, "") &&
               ini.SetString(k.section, kEncryptedPassword, stored);
      }
      return true;  // keeps what the file holds
    case Form::Port:
      return ini.SetString(k.section, k.key, std::to_string(job.m_port));
    case Form::Flag:
      return ini.SetString(k.section, k.key, job.*f.flag == f.value ? "1" : "0");
    case Form::Security:
      return ini.SetString(k.section, k.key, std::to_string(job.m_security));
  }
  return false;
}

bool IsDefault(const SettingKey& k, const CTransferJob& job) {
  if (k.field.form == Form::Security) return job.m_security == 0;
  if (k.field.form == Form::Text) return (job.*k.field.text).empty();
  return false;
}

}  // namespace

int ReadTransferFile(const std::string& fileName, CTransferJob& job) {
  std::string path = AbsolutePath(fileName);
  CIniFile ini;
  // An unreadable file reads like a missing one: every key missing.
  if (!path.empty()) ini.Load(path);

  bool named = false;
  bool badPort = false;
  for (const SettingKey& k : kSettingKeys) named |= ReadSetting(ini, k, job, badPort);

  size_t found[3] = {};
  for (int32_t mode : {1, 2}) {
    found[mode] = ReadList(ini, kSelect, kSelectKeys[mode], [&](std::string v) {
      job.AddSelect(StripComment(std::move(v)));
      job.SetSelectMode(mode);
    });
  }

  for (size_t n = 1;; ++n) {
    std::string extension = ini.GetString(kChmod, Numbered("CHMODEXT", n));
    std::string mode = ini.GetString(kChmod, Numbered("CHMODACT", n));
    if (extension.empty() || mode.empty()) break;
    job.AddChmod(StripComment(extension), StripComment(mode));
  }

  // Script commands may hold semicolons and tabs: they are taken as they stand.
  for (const ScriptKey& s : kScriptKeys) {
    ReadList(ini, kScript, s.key, [&](std::string v) { (job.*s.add)(v); });
  }

  // One job has one selection mode; a file that asks for both is rejected.
  const bool bothModes = found[1] > 0 && found[2] > 0;
  return named && !bothModes && !badPort ? 0 : 2;
}

int WriteTransferFile(const std::string& fileName, const CTransferJob& job) {
  // A failure leaves the system's reason as the thread's last error, for the host to show.
  auto failed = [](int reason) {
    SetLastError(static_cast<uint32_t>(reason != 0 ? reason : EIO));
    return 6;
  };
  std::string path = AbsolutePath(fileName);
  if (path.empty()) return failed(ENOENT);
  CIniFile ini;
  // A file that exists but cannot be read must not be replaced by one that lost its contents.
  errno = 0;
  if (!ini.Load(path)) return failed(errno);

  // Writes in order and stops at the first that fails; what was written before it is saved.
  auto finish = [&](int result) {
    errno = 0;
    if (!ini.Save(path)) return failed(errno);
    return result == 0 ? 0 : failed(EINVAL);
  };
  for (const SettingKey& k : kSettingKeys) {
    if (k.onlyWhenSet && IsDefault(k, job) && !ini.HasKey(k.section, k.key)) continue;
    if (!WriteSetting(ini, k, job)) return finish(6);
  }

  ini.DeleteSection(kSelect);
  if (job.m_selectMode == 1 || job.m_selectMode == 2) {
    const char* key = kSelectKeys[job.m_selectMode];
    for (size_t i = 0; i < job.m_selectList.size(); ++i) {
      if (!ini.SetString(kSelect, Numbered(key, i + 1), job.m_selectList[i].extension)) {
        return finish(6);
      }
    }
  }

  ini.DeleteSection(kChmod);
  for (size_t i = 0; i < job.m_chmodList.size(); ++i) {
    const tagTROX_CHMOD& rule = job.m_chmodList[i];
    if (!ini.SetString(kChmod, Numbered("CHMODEXT", i + 1), rule.extension) ||
        !ini.SetString(kChmod, Numbered("CHMODACT", i + 1), std::to_string(rule.mode))) {
      return finish(6);
    }
  }

  ini.DeleteSection(kScript);
  for (const ScriptKey& s : kScriptKeys) {
    const std::vector<tagTROX_SCRIPT>& list = job.*s.list;
    for (size_t i = 0; i < list.size(); ++i) {
      std::string value = list[i].command + (list[i].expectResponse == 1 ? ",Y" : "");
      if (!ini.SetString(kScript, Numbered(s.key, i + 1), value)) return finish(6);
    }
  }
  return finish(0);
}
