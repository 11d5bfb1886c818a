// Asks for the name of a new remote folder; refuses an empty one.
#pragma once

#include <string>

#include "DialogHost.h"

class QLineEdit;

class CBNewFolder : public CModalDialog {
  Q_OBJECT
 public:
  explicit CBNewFolder(QWidget* parent = nullptr);

  bool OnOK() override;
  void TypeText(const QString& text) override;

  const std::string& Name() const { return m_name; }
  QLineEdit* NameEdit() const { return m_nameEdit; }

 private:
  std::string m_name;
  QLineEdit* m_nameEdit;
};
