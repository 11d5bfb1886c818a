// The local and remote pages: a folder or a single file on one side of the transfer. The page of
// the side files come from (the source: local when sending, remote when getting) offers both and
// counts in the background how many bytes the transfer would move; the other page (the
// destination) follows the source's choice and shows no size. What differs between the two sides
// (texts, where a path is checked and stored, how a size is counted, the "..." buttons) is left to
// CWizLocal and CWizRemote.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "WizPage.h"
#include "WorkerThread.h"
#include "trox/Walks.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// A finished count, tagged with the request it answers.
struct SizeReply {
  uint32_t request = 0;
  uint64_t total = 0;
};

class CWizPathPage : public CWizPage {
  Q_OBJECT
 public:
  // The two captions of the page in one role.
  struct Captions {
    const char* folder;
    const char* file;
  };

  CWizPathPage(std::string helpTopic, CWizContext& context, const QString& title,
               const QString& intro);
  // A running count is given up, never waited for: it works on copies and posts nothing then.
  ~CWizPathPage() override = default;

  void OnInitPage() override;
  void OnSetActive() override;
  bool OnWizardNext() override;
  bool OnWizardBack() override;

  // Whether this page is the side files come from, by the working job's GET.
  virtual bool SourceRole() const = 0;

  QRadioButton* FolderRadio() const { return m_folderRadio; }
  QRadioButton* FileRadio() const { return m_fileRadio; }
  QLabel* FolderCaption() const { return m_folderCaption; }
  QLabel* FileCaption() const { return m_fileCaption; }
  QLineEdit* FolderEdit() const { return m_folderEdit; }
  QLineEdit* FileEdit() const { return m_fileEdit; }
  QPushButton* FolderButton() const { return m_folderButton; }
  QPushButton* FileButton() const { return m_fileButton; }
  QLabel* SizeText() const { return m_sizeText; }
  uint64_t TotalBytes() const { return m_total; }
  // A count is under way; its total is not in yet.
  bool Counting() const { return m_count.Running(); }

 public slots:
  void SelectFolder();
  void SelectFile();
  virtual void OnBrowseFolder() = 0;
  virtual void OnBrowseFile() = 0;

 protected:
  using Count =
      std::function<SizeCount(CTransferJob job, const std::atomic<bool>& stop, uint64_t* total)>;

  virtual Captions RoleCaptions(bool source) const = 0;
  // The path the working job holds for this side.
  virtual std::string GivenPath() const = 0;
  // The job's path as the folder edit shows it, and the folder edit's text as the job keeps it.
  virtual std::string ShownFolder(const std::string& path) const { return path; }
  virtual std::string StoredFolder(const std::string& text) const { return text; }
  // The source role's check before storing; false (after telling the user) keeps the page.
  virtual bool SourceAccepted(bool single, const std::string& path) = 0;
  virtual void StorePath(const std::string& path) = 0;
  virtual void FolderChanged() = 0;
  virtual void FileChanged() = 0;

  std::string FolderText() const;
  std::string FileText() const;
  // Sets an edit's text without it counting as a change; the caller runs the change it means.
  static void SetText(QLineEdit* edit, const std::string& text);

  // A new size request: the running count is given up and count starts on a copy of the working
  // job, taken now, while "Calculating transfer size ..." shows.
  void StartCount(Count count);
  // A size known at once: the running count is given up and total shown.
  void ShowSize(uint64_t total);

 private:
  void SetFolderMode(bool folder);
  void ShowSizeText();
  void Store();

  uint64_t m_total = 0;
  // Counts size requests; a count's reply is taken only when it answers the latest one.
  uint32_t m_request = 0;
  CWorkerThread<SizeReply> m_count;

  QRadioButton* m_folderRadio;
  QLabel* m_folderCaption;
  QLineEdit* m_folderEdit;
  QPushButton* m_folderButton;
  QRadioButton* m_fileRadio;
  QLabel* m_fileCaption;
  QLineEdit* m_fileEdit;
  QPushButton* m_fileButton;
  QLabel* m_sizeText;
};
