// Fifth page when getting, sixth when sending: the folder or file on the server, browsed with the
// dialogs of TROX Tools. An empty remote folder is the one the server opens after log-in, shown
// as "[login folder]".
#pragma once

#include "WizPathPage.h"

// What the folder edit shows for the log-in folder.
extern const char* const kLoginFolderText;

class CWizRemote : public CWizPathPage {
  Q_OBJECT
 public:
  explicit CWizRemote(CWizContext& context);

  bool SourceRole() const override;

 public slots:
  void OnBrowseFolder() override;
  void OnBrowseFile() override;

 protected:
  Captions RoleCaptions(bool source) const override;
  std::string GivenPath() const override;
  std::string ShownFolder(const std::string& path) const override;
  std::string StoredFolder(const std::string& text) const override;
  bool SourceAccepted(bool single, const std::string& path) override;
  void StorePath(const std::string& path) override;
  void FolderChanged() override;
  void FileChanged() override;

 private:
  // Hands the job's security to TROX Tools before a browsing call.
  void SetBrowseSecurity();
};
