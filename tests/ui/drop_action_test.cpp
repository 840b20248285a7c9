// A drop on the list is taken as a copy or a link, never as a move.
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <gtest/gtest.h>

#include "ui/list_box.h"

namespace {

struct DropCase {
  Qt::DropActions offered;
  Qt::DropAction proposed;
  bool accepted;
  Qt::DropAction taken;
};

TEST(DropAction, NeverAMove) {
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile("/tmp/a.jpg")});
  const DropCase cases[] = {
      {Qt::CopyAction | Qt::MoveAction, Qt::MoveAction, true, Qt::CopyAction},
      {Qt::MoveAction | Qt::LinkAction, Qt::MoveAction, true, Qt::LinkAction},
      {Qt::CopyAction, Qt::CopyAction, true, Qt::CopyAction},
      {Qt::MoveAction, Qt::MoveAction, false, Qt::MoveAction},
  };
  for (const DropCase& c : cases) {
    QDropEvent event(QPointF(1, 1), c.offered, &files, Qt::NoButton, Qt::NoModifier);
    event.setDropAction(c.proposed);
    EXPECT_EQ(ui::AcceptDropAsCopy(&event), c.accepted) << int(c.offered);
    EXPECT_EQ(event.isAccepted(), c.accepted) << int(c.offered);
    EXPECT_EQ(event.dropAction(), c.taken) << int(c.offered);
  }
  QMimeData text;
  text.setText("not a path");
  QDropEvent event(QPointF(1, 1), Qt::CopyAction, &text, Qt::NoButton, Qt::NoModifier);
  EXPECT_FALSE(ui::AcceptDropAsCopy(&event));
}

}  // namespace
