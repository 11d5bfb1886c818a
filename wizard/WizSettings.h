// The wizard's per-user settings and its two recently-used lists, kept with QSettings under
// Varnook/TROX, group "Wizard". Failures to read or write are silent: a value keeps its default,
// an entry reads as empty.
#pragma once

#include <string>

#include "MruLists.h"

class CWizSettings {
 public:
  // Defaults, then whatever is stored.
  CWizSettings();

  void Load();
  void Save() const;

  int GetServerMruEnabled() const { return m_serverMruEnabled; }
  void SetServerMruEnabled(int enabled) { m_serverMruEnabled = enabled; }
  int GetCryptoWarnEnabled() const { return m_cryptoWarnEnabled; }
  void SetCryptoWarnEnabled(int enabled) { m_cryptoWarnEnabled = enabled; }

 private:
  int m_serverMruEnabled = 0;
  int m_cryptoWarnEnabled = 1;
};

// Transfer-file list ("MRU0".."MRU3"), full paths, most recent first.
std::string ReadFileMru(int index);
void AddFileMru(const std::string& path);
void RemoveFileMru(const std::string& path);
// Drops every entry whose file or folder no longer exists.
void PurgeFileMru();

// Server list ("SMRU0".."SMRU3"); user and password are stored encrypted when encryption works.
void ReadServerMru(int index, std::string& server, std::string& user, std::string& password);
void AddServerMru(const std::string& server, const std::string& user, const std::string& password);
// Empties all four entries (used by the settings dialog).
void ClearServerMru();
