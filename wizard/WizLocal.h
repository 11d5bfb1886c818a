// Fifth page when sending, sixth when getting: the folder or file on this computer.
#pragma once

#include "WizPathPage.h"

class CWizLocal : public CWizPathPage {
  Q_OBJECT
 public:
  explicit CWizLocal(CWizContext& context);

  void OnInitPage() override;
  bool SourceRole() const override;

 public slots:
  void OnBrowseFolder() override;
  void OnBrowseFile() override;

 protected:
  Captions RoleCaptions(bool source) const override;
  std::string GivenPath() const override;
  bool SourceAccepted(bool single, const std::string& path) override;
  void StorePath(const std::string& path) override;
  void FolderChanged() override;
  void FileChanged() override;
};
