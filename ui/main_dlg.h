// The main dialog: frame settings, the file list, the player controls and the
// playback state. Every handler runs on the UI thread.
#pragma once

#include <QDialog>
#include <QIcon>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "avi_view/playback_state.h"
#include "ui/list_box.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSlider;

namespace ui {

class VideoSurface;

// The playback members (m_playing, m_paused, m_direction, m_frame,
// m_frameCount, m_playFps, m_writeFiles) come from PlaybackState, shared
// with the playback worker.
class CMainDlg : public QDialog, public avi_view::PlaybackState {
  Q_OBJECT

 public:
  explicit CMainDlg(QWidget* parent = nullptr);
  ~CMainDlg() override;

  // Moves values between the controls and the members: towards the members
  // (validating) when saveAndValidate, else towards the controls. Returns
  // false, after telling the user and focusing the box, when a box holds no
  // readable number.
  bool UpdateData(bool saveAndValidate = true);

  // Handlers.
  bool OnInitDialog();
  void OnSize(int cx, int cy);
  void OnOK();
  void OnCancel();
  void OnDropFiles(const std::vector<std::string>& paths);
  // Ctrl+V: adds the files on the clipboard. Always consumes the keystroke.
  void OnPaste();
  int OnVKeyToItem(int vkey, int caretIndex);
  void OnListDblClk();
  void OnClearSel();

  // Members, in declaration order.
  QIcon m_hIcon;
  CListBox m_fileList;
  std::int32_t m_rows = 1024;
  std::int32_t m_cols = 1280;
  std::string m_aviName;
  std::uint32_t m_fps = 10;
  QPushButton* m_viewButton = nullptr;
  VideoSurface* m_display = nullptr;
  QLineEdit* m_colsEdit = nullptr;
  QLineEdit* m_rowsEdit = nullptr;
  QLineEdit* m_fpsEdit = nullptr;
  QSlider* m_slider = nullptr;
  std::int32_t m_clip = 0;

  // The control with this id's objectName ("IDC_COLS"), or null.
  QWidget* control(const char* idName) const;

 protected:
  void accept() override;
  void reject() override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void DoDataExchange(bool saveAndValidate, bool* ok);
  void AddFiles(const std::vector<std::string>& paths);
  // Adds the moved entry's text at newIndex after deleting it at oldIndex.
  void MoveEntry(int oldIndex, int newIndex, bool selectAfter);
  // Ends any playback and waits for its worker, processing events.
  void StopPlayback();
  bool IsOwnWindow(QObject* object) const;

  bool m_inDataExchange = false;
  bool m_closing = false;
  std::vector<QWidget*> m_controls;  // in template order
};

}  // namespace ui
