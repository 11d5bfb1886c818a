#include "WizPage.h"

#include <QComboBox>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "Artwork.h"
#include "DialogHost.h"
#include "HelpTopics.h"
#include "WizardRules.h"
#include "WizardSheet.h"

CWizPage::CWizPage(std::string helpTopic, CWizContext& context)
    : m_context(context),
      m_working(context.working),
      m_saved(context.saved),
      m_helpTopic(std::move(helpTopic)) {}

void CWizPage::InitOnce() {
  if (m_initialised) return;
  m_initialised = true;
  OnInitPage();
}

CWizardSheet* CWizPage::Sheet() const {
  for (QWidget* w = parentWidget(); w; w = w->parentWidget())
    if (auto* sheet = qobject_cast<CWizardSheet*>(w)) return sheet;
  return nullptr;
}

bool CWizPage::OnQueryCancel() {
  if (!m_working || !m_saved || !AskBeforeCancel(IsFinalPage(), *m_working, *m_saved)) return true;
  return CDialogHost::Get().MessageBox(
             this, "Some settings have been changed. Are you sure that you want to exit?",
             "Varnook FTP", MsgIcon::Question, MsgButtons::YesNo) == DialogResult::Yes;
}

void CWizPage::OnHelp() {
  OpenHelpTopic(m_helpTopic);
}

void CWizPage::SetWizardButtons(int flags) {
  if (CWizardSheet* sheet = Sheet()) sheet->SetWizardButtons(flags);
}

QLabel* CWizPage::MakeTitle(const QString& text, bool large) {
  auto* title = new QLabel(text, this);
  title->setObjectName(QStringLiteral("title"));
  QFont font = title->font();
  font.setBold(true);
  if (large) font.setPointSizeF(font.pointSizeF() * 1.5);
  title->setFont(font);
  title->setWordWrap(true);
  return title;
}

QLabel* CWizPage::MakeText(const QString& text) {
  auto* label = new QLabel(text);
  label->setWordWrap(true);
  return label;
}

void CWizPage::KeepTypedText(QComboBox* combo) {
  // The box's own completer fills in the rest of a listed entry as one types (192.168.1.2 would
  // become 192.168.1.20, "job" would load "job.trx"), and on Enter it swaps a text that matches
  // an entry but for case for that entry.
  combo->setCompleter(nullptr);
}

namespace {

// Bitmap 133: fills the page's height whatever the sheet's size.
class CBanner : public QWidget {
 public:
  explicit CBanner(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("banner"));
    setFixedWidth(164);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.drawPixmap(0, 0, BannerPixmap(width(), height()));
  }
};

}  // namespace

QVBoxLayout* CWizExteriorPage::ContentLayout() {
  if (m_content) return m_content;
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  row->addWidget(new CBanner(this));
  m_content = new QVBoxLayout;
  m_content->setContentsMargins(18, 14, 14, 10);
  row->addLayout(m_content, 1);
  setAutoFillBackground(true);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  return m_content;
}
