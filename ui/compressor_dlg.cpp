#include "ui/compressor_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <map>

namespace ui {
namespace {

// The last choice and every compressor's settings, for the program's run.
struct Remembered {
  bool any = false;
  DWORD fccHandler = 0;
  std::map<DWORD, CompressorSettings> settings;
  bool verify = false;  // one setting for every compressor
};
Remembered& Memory() {
  static Remembered memory;
  return memory;
}

QString FromLocal8Bit(const std::string& text) { return QString::fromLocal8Bit(text.data(), qsizetype(text.size())); }

}  // namespace

void ForgetCompressorChoice() { Memory() = Remembered{}; }

CCompressorDlg::CCompressorDlg(QWidget* owner, const std::string& title, std::vector<CompressorChoice> offered)
    : QDialog(owner), m_offered(std::move(offered)) {
  setObjectName(QStringLiteral("CompressorChooser"));
  setWindowTitle(FromLocal8Bit(title));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Compressor:"), this));
  m_list = new QListWidget(this);
  m_list->setObjectName(QStringLiteral("IDC_COMPRESSOR_LIST"));
  for (const CompressorChoice& choice : m_offered) m_list->addItem(FromLocal8Bit(choice.name));
  layout->addWidget(m_list);
  m_declined = new QLabel(this);
  m_declined->setObjectName(QStringLiteral("IDC_DECLINED"));
  m_declined->setWordWrap(true);
  layout->addWidget(m_declined);

  m_settings = new QGroupBox(QStringLiteral("Settings"), this);
  m_settings->setObjectName(QStringLiteral("IDC_SETTINGS"));
  auto* form = new QFormLayout(m_settings);
  m_quality = new QSpinBox(m_settings);
  m_quality->setObjectName(QStringLiteral("IDC_QUALITY"));
  m_quality->setRange(0, 100);
  form->addRow(QStringLiteral("Quality:"), m_quality);
  m_keyInterval = new QSpinBox(m_settings);
  m_keyInterval->setObjectName(QStringLiteral("IDC_KEY_INTERVAL"));
  m_keyInterval->setRange(0, 100000);
  m_keyInterval->setSpecialValueText(QStringLiteral("one a second"));
  m_keyInterval->setSuffix(QStringLiteral(" frames"));
  form->addRow(QStringLiteral("Key frame every:"), m_keyInterval);
  m_verify = new QCheckBox(QStringLiteral("Verify the file after writing"), m_settings);
  m_verify->setObjectName(QStringLiteral("IDC_VERIFY"));
  m_verify->setChecked(Memory().verify);
  form->addRow(m_verify);
  m_settings->hide();
  layout->addWidget(m_settings);

  m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  m_configure = m_buttons->addButton(QStringLiteral("Configure…"), QDialogButtonBox::ActionRole);
  m_configure->setObjectName(QStringLiteral("IDC_CONFIGURE"));
  m_configure->setCheckable(true);
  layout->addWidget(m_buttons);
  connect(m_buttons, &QDialogButtonBox::accepted, this, &CCompressorDlg::accept);
  connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(m_configure, &QPushButton::toggled, this, &CCompressorDlg::OnConfigure);
  connect(m_list, &QListWidget::currentRowChanged, this, &CCompressorDlg::OnSelect);
  connect(m_list, &QListWidget::itemDoubleClicked, this, &CCompressorDlg::accept);

  int start = 0;
  for (std::size_t i = 0; i < m_offered.size(); ++i)
    if (Memory().any && m_offered[i].fccHandler == Memory().fccHandler) start = int(i);
  m_list->setCurrentRow(start);
}

CompressorSettings CCompressorDlg::settings() const {
  CompressorSettings settings;
  if (m_row >= 0 && m_row < int(m_offered.size())) {
    settings = Memory().settings[m_offered[std::size_t(m_row)].fccHandler];  // keeps what the boxes do not show
    settings.quality = m_quality->value();
    settings.keyInterval = m_keyInterval->value();
  }
  settings.verify = m_verify->isChecked();
  return settings;
}

void CCompressorDlg::OnSelect(int row) {
  // The settings typed for the entry left are kept for this run.
  if (m_row >= 0 && m_row < int(m_offered.size())) Memory().settings[m_offered[std::size_t(m_row)].fccHandler] = settings();
  m_row = row;
  const bool valid = row >= 0 && row < int(m_offered.size());
  const CompressorChoice* choice = valid ? &m_offered[std::size_t(row)] : nullptr;
  const CompressorSettings shown = choice ? Memory().settings[choice->fccHandler] : CompressorSettings{};
  m_quality->setValue(shown.quality);
  m_keyInterval->setValue(shown.keyInterval);
  m_quality->setEnabled(choice && choice->hasQuality);
  m_keyInterval->setEnabled(choice && choice->hasKeyInterval);
  // Every compressor that takes the frame has the verify setting at least.
  const bool configurable = choice && choice->declined.empty();
  m_configure->setEnabled(configurable);
  if (!configurable) m_configure->setChecked(false);
  m_declined->setText(choice ? FromLocal8Bit(choice->declined) : QString());
  m_declined->setVisible(choice && !choice->declined.empty());
  m_buttons->button(QDialogButtonBox::Ok)->setEnabled(choice && choice->declined.empty());
}

void CCompressorDlg::OnConfigure(bool shown) { m_settings->setVisible(shown); }

void CCompressorDlg::accept() {
  const int row = m_list->currentRow();
  if (row < 0 || row >= int(m_offered.size()) || !m_offered[std::size_t(row)].declined.empty()) return;
  m_chosen = row;
  Memory().any = true;
  Memory().fccHandler = m_offered[std::size_t(row)].fccHandler;
  Memory().settings[Memory().fccHandler] = settings();
  Memory().verify = m_verify->isChecked();
  QDialog::accept();
}

}  // namespace ui
