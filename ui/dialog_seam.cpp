#include "ui/dialog_seam.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <atomic>

#include "ui/compressor_dlg.h"
#include "ui/ui_thread.h"

namespace ui {
namespace {

QString FromLocal8Bit(const std::string& text) { return QString::fromLocal8Bit(text.data(), qsizetype(text.size())); }

// "Text|pattern|Text|pattern||" -> Qt name filters.
QStringList NameFilters(const std::string& filter) {
  QStringList parts = FromLocal8Bit(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& text = parts[i];
    const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
    if (text.isEmpty()) break;
    filters << (text.contains(QLatin1Char('(') + patterns + QLatin1Char(')'))
                    ? text
                    : text + QStringLiteral(" (") + patterns + QLatin1Char(')'));
  }
  return filters;
}

// An Open dialog that starts on a name which need not exist (the request's
// initial name): once the user selects a file, that file is what Open opens.
// Names the filter leaves out are not listed at all.
class OpenFileDialog final : public QFileDialog {
 public:
  OpenFileDialog(QWidget* owner, const QString& initialName) : QFileDialog(owner), m_initialName(initialName) {
    connect(this, &QFileDialog::currentChanged, this, &OpenFileDialog::Follow);
  }

 protected:
  void showEvent(QShowEvent* event) override {
    // The widgets exist from here on (a native dialog has none).
    if (auto* model = findChild<QFileSystemModel*>()) model->setNameFilterDisables(false);
    QFileDialog::showEvent(event);
  }

 private:
  void Follow(const QString& path) {
    auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    // A name the user typed stays theirs; only the untouched initial name
    // gives way.
    if (name && name->text() == m_initialName && QFileInfo(path).isFile()) name->setText(QFileInfo(path).fileName());
  }

  QString m_initialName;
};

class QtDialogs final : public DialogSeam {
 public:
  int messageBox(QWidget* owner, const std::string& text, const std::string& caption, unsigned type) override {
    const std::unique_ptr<QMessageBox> box = MakeMessageBox(owner, text, caption, type);
    const int answer = box->exec();
    if ((type & MB_TYPEMASK) == MB_YESNO) return answer == QMessageBox::Yes ? IDYES : IDNO;
    return IDOK;
  }

  std::optional<std::string> fileDialog(QWidget* owner, const FileDialogRequest& request) override {
    const std::unique_ptr<QFileDialog> dialog = MakeFileDialog(owner, request);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog->selectedFiles().first()).toStdString();
  }

  int chooseCompressor(QWidget* owner, const std::string& title, const std::vector<CompressorChoice>& offered,
                       CompressorSettings& settings) override {
    CCompressorDlg dialog(owner, title, offered);
    if (dialog.exec() != QDialog::Accepted) return -1;
    settings = dialog.settings();
    return dialog.chosen();
  }
};

std::atomic<DialogSeam*> g_installed{nullptr};

}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                                            unsigned type) {
  auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, FromLocal8Bit(caption), FromLocal8Bit(text),
                                           QMessageBox::NoButton, owner);
  if ((type & MB_TYPEMASK) == MB_YESNO) {
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box->setIcon(QMessageBox::Question);
    box->setDefaultButton((type & MB_DEFBUTTON2) ? QMessageBox::No : QMessageBox::Yes);
  } else {
    box->setStandardButtons(QMessageBox::Ok);
  }
  return box;
}

std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* owner, const FileDialogRequest& request) {
  std::unique_ptr<QFileDialog> dialog;
  if (request.save)
    dialog = std::make_unique<QFileDialog>(owner);
  else
    dialog = std::make_unique<OpenFileDialog>(owner, FromLocal8Bit(request.initialName));
  dialog->setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog->setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog->setNameFilters(NameFilters(request.filter));
  dialog->setDefaultSuffix(FromLocal8Bit(request.defaultExt));
  dialog->setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
  dialog->setDirectory(QDir::current());
  if (!request.initialName.empty()) dialog->selectFile(FromLocal8Bit(request.initialName));
  return dialog;
}

DialogSeam& Dialogs() {
  static QtDialogs qtDialogs;
  DialogSeam* installed = g_installed.load();
  return installed ? *installed : qtDialogs;
}

void SetDialogs(DialogSeam* seam) { g_installed.store(seam); }

int MessageBoxFromAnyThread(QWidget* owner, const std::string& text, const std::string& caption, unsigned type) {
  return RunOnUiThread([&] { return Dialogs().messageBox(owner, text, caption, type); });
}

std::optional<std::string> FileDialogFromAnyThread(QWidget* owner, const FileDialogRequest& request) {
  return RunOnUiThread([&]() -> std::optional<std::string> {
    std::optional<std::string> path = Dialogs().fileDialog(owner, request);
    if (path) {
      QFileInfo info(QFile::decodeName(QByteArray::fromStdString(*path)));
      QDir::setCurrent(info.absolutePath());
    }
    return path;
  });
}

}  // namespace ui
