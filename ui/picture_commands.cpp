// The list's picture commands: frame size from a picture, capture order and
// how 16-bit grey becomes 8 bits.
#include <QActionGroup>
#include <QLineEdit>
#include <QMenu>

#include "picture/load_picture.h"
#include "platform/picture_probe.h"
#include "ui/capture_order.h"
#include "ui/dialog_seam.h"
#include "ui/main_dlg.h"
#include "ui/preview_loader.h"

namespace ui {

void CMainDlg::AddPictureCommands() {
  m_listCommands.AddMenuSeparator();
  m_listCommands.AddMenuCommand("ID_USE_ITS_SIZE", QStringLiteral("Use Its &Size"), FileListCommands::EnabledWhen::Selection,
                                [this] { UseItsSize(); });
  m_listCommands.AddMenuCommand("ID_SORT_TIME", QStringLiteral("Sort by Capture &Time"),
                                FileListCommands::EnabledWhen::TwoEntries,
                                [this] { m_listCommands.SortInBackground(CaptureOrder); });
  // How 16-bit grey pictures become 8 bits, in the preview and the jobs.
  QMenu* grey = m_listCommands.Menu()->addMenu(QStringLiteral("16-bit &Grey"));
  grey->setObjectName(QStringLiteral("ID_GREY_RANGE"));
  auto* choices = new QActionGroup(grey);
  const struct {
    const char* name;
    const char* text;
    GreyRange range;
    bool automatic;
  } ranges[] = {{"ID_GREY_10", "&10 Bits", {0, 1023}, false},
                {"ID_GREY_12", "1&2 Bits", {0, 4095}, false},
                {"ID_GREY_14", "1&4 Bits", {0, 16383}, false},
                {"ID_GREY_16", "1&6 Bits", {0, 65535}, false},
                {"ID_GREY_AUTO", "&Auto (the Whole List)", {}, true}};
  for (const auto& r : ranges) {
    QAction* action = grey->addAction(QString::fromLatin1(r.text));
    action->setObjectName(QString::fromLatin1(r.name));
    action->setCheckable(true);
    action->setChecked(!r.automatic && r.range == m_greyRange);
    choices->addAction(action);
    connect(action, &QAction::triggered, this, [this, range = r.range, automatic = r.automatic] {
      m_greyRange = range;
      m_greyAuto = automatic;
      // The preview maps grey as the jobs do; under auto, by the picture's
      // own range (the list's is read by each job).
      m_previewLoader->SetLoadFunction([range, automatic](const std::string& path) {
        return LoadPicture(path.c_str(), 0, 0, automatic ? GreyRangeOfPictures({path}) : range);
      });
    });
  }
}

void CMainDlg::UseItsSize() {
  const int index = m_fileList.GetCurSel();
  if (index < 0) return;
  const std::string path = m_fileList.GetText(index);
  PictureProbe probe;
  if (!ProbePictureFile(path.c_str(), &probe)) {
    Dialogs().messageBox(this, path, "File Failed to Open", MB_OK);
    return;
  }
  m_colsEdit->setText(QString::number(probe.UprightWidth()));
  m_rowsEdit->setText(QString::number(probe.UprightHeight()));
}

}  // namespace ui
