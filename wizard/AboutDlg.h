// The about box: the product line and notice, the maker's web site, and a list of the versions
// of the suite's programs and of the libraries loaded in this process, shown or hidden by ">>>".
#pragma once

#include <string>

#include "DialogHost.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

class CAbout : public CModalDialog {
  Q_OBJECT
 public:
  explicit CAbout(QWidget* parent = nullptr);

  void OnInitDialog() override;
  void OnToggle();

  QLabel* ProductLabel() const { return m_productLabel; }
  QLabel* NoticeLabel() const { return m_noticeLabel; }
  QLabel* WebLink() const { return m_webLink; }
  QPushButton* ToggleButton() const { return m_toggle; }
  QPlainTextEdit* VersionList() const { return m_versionBox; }
  bool Expanded() const { return m_expanded != 0; }

 private:
  QPushButton* m_toggle;
  QLabel* m_webLink;
  QLabel* m_productLabel;
  QLabel* m_noticeLabel;
  QPlainTextEdit* m_versionBox;

  std::string m_notice;
  std::string m_versionList;
  std::string m_product;
  int m_expanded = 0;
};

// The version list's lines: "name (version)" for each part found, then "OS: ..." without a line
// end. The wizard's own program, the browsing library and, when it is in reach, trox; then the
// libraries this process has loaded.
std::string AboutVersionList();
