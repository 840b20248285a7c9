// The compressor chooser: the offered compressors, and "Configure…" for the
// selected one's quality and key-frame interval where it has them, and
// whether the job checks its file after writing it (for every compressor). It opens
// on the last choice and its settings for as long as the program runs;
// nothing is stored on disk. UI thread only.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "platform/vfw.h"

class QCheckBox;
class QDialogButtonBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace ui {

class CCompressorDlg final : public QDialog {
 public:
  CCompressorDlg(QWidget* owner, const std::string& title, std::vector<CompressorChoice> offered);

  // After accept(): the chosen entry and its settings.
  int chosen() const { return m_chosen; }
  CompressorSettings settings() const;

  void accept() override;

 private:
  void OnSelect(int row);
  void OnConfigure(bool shown);

  std::vector<CompressorChoice> m_offered;
  QListWidget* m_list = nullptr;
  QLabel* m_declined = nullptr;
  QPushButton* m_configure = nullptr;
  QGroupBox* m_settings = nullptr;
  QSpinBox* m_quality = nullptr;
  QSpinBox* m_keyInterval = nullptr;
  QCheckBox* m_verify = nullptr;
  QDialogButtonBox* m_buttons = nullptr;
  int m_chosen = -1;
  int m_row = -1;  // the entry whose settings the boxes show
};

// Forgets the remembered choice and settings (for tests).
void ForgetCompressorChoice();

}  // namespace ui
