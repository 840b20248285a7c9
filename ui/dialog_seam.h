// Every question the program asks the user (message boxes, file dialogs, the
// compressor chooser) goes through one seam. The GUI answers with real Qt
// dialogs; tests install a script. Seam calls happen on the UI thread; the
// *FromAnyThread helpers carry a worker's question there and wait.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/vfw.h"

class QFileDialog;
class QMessageBox;
class QWidget;

namespace ui {

// Message box types and answers, with their Windows values.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_TYPEMASK = 0xF;
constexpr unsigned MB_DEFBUTTON2 = 0x100;  // with MB_YESNO: No is the default button
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

struct FileDialogRequest {
  bool save = false;            // save dialog, else open dialog
  std::string defaultExt;       // appended when the name has no extension
  std::string initialName;      // e.g. "Save.avi"
  std::string filter;           // "Text|pattern||" as the Windows dialogs take it
  bool overwritePrompt = false; // save: confirm replacing an existing file
};

class DialogSeam {
 public:
  virtual ~DialogSeam() = default;
  // Shows text under caption with OK (MB_OK) or Yes/No (MB_YESNO, with
  // MB_DEFBUTTON2 No as the default) and returns the button pressed (IDOK,
  // IDYES, IDNO).
  virtual int messageBox(QWidget* owner, const std::string& text, const std::string& caption,
                         unsigned type) = 0;
  // The chosen file's full path (8-bit, as the file system spells it), or
  // nothing when cancelled.
  virtual std::optional<std::string> fileDialog(QWidget* owner, const FileDialogRequest& request) = 0;
  // Index into offered, or -1 when cancelled; the chosen compressor's
  // settings are left in `settings`.
  virtual int chooseCompressor(QWidget* owner, const std::string& title, const std::vector<CompressorChoice>& offered,
                               CompressorSettings& settings) = 0;
};

// The seam in force: the installed one, else the Qt dialogs.
DialogSeam& Dialogs();
// Installs a seam (tests); null restores the Qt dialogs. Not owned.
void SetDialogs(DialogSeam* seam);

// The Qt message box that answers messageBox, set up but not shown. UI thread.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                                            unsigned type);
// The Qt file dialog that answers request, set up but not shown. UI thread.
std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* owner, const FileDialogRequest& request);

// From any thread: the question asked on the UI thread.
int MessageBoxFromAnyThread(QWidget* owner, const std::string& text, const std::string& caption,
                            unsigned type = MB_OK);
// A file dialog; after OK the process's current folder is the chosen file's
// folder, as the Windows dialogs leave it.
std::optional<std::string> FileDialogFromAnyThread(QWidget* owner, const FileDialogRequest& request);

}  // namespace ui
