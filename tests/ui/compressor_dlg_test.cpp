// The compressor chooser's own behaviour, without showing it modally.
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <gtest/gtest.h>

#include "platform/codec/compressor_choice.h"
#include "ui/compressor_dlg.h"

namespace {

std::vector<CompressorChoice> Offered(int width, int height) {
  const BITMAPINFOHEADER frame{40, width, height, 1, 24, 0, 0, 0, 0, 0, 0};
  return codec::OfferedCompressors(&frame);
}

template <typename T>
T* Child(QWidget& dlg, const char* name) {
  return dlg.findChild<T*>(QString::fromLatin1(name));
}

class CompressorDlgTest : public testing::Test {
 protected:
  void SetUp() override { ui::ForgetCompressorChoice(); }
  void TearDown() override { ui::ForgetCompressorChoice(); }
};

struct RowCase {
  const char* fcc;
  bool configurable, quality, keyInterval, ok;
};

// At 641 x 480 H.264 declines: it says why and cannot be taken. Every entry
// that takes the frame can be configured (the verify setting at least).
TEST_F(CompressorDlgTest, EachEntryEnablesWhatItTakes) {
  const RowCase cases[] = {{"none", true, false, false, true}, {"MJPG", true, true, false, true},
                           {"H264", false, true, true, false},  {"FFV1", true, false, false, true},
                           {"MSVC", false, false, true, false}, {"cvid", true, true, true, true}};
  const auto offered = Offered(641, 480);
  ui::CCompressorDlg dlg(nullptr, "Select Compressor to use", offered);
  for (const RowCase& c : cases) {
    FOURCC fcc = 0;
    ASSERT_TRUE(codec::ParseCompressorName(c.fcc, &fcc));
    Child<QListWidget>(dlg, "IDC_COMPRESSOR_LIST")->setCurrentRow(int(codec::FindChoice(offered, fcc) - offered.data()));
    EXPECT_EQ(Child<QPushButton>(dlg, "IDC_CONFIGURE")->isEnabled(), c.configurable) << c.fcc;
    EXPECT_EQ(Child<QSpinBox>(dlg, "IDC_QUALITY")->isEnabled(), c.quality) << c.fcc;
    EXPECT_EQ(Child<QSpinBox>(dlg, "IDC_KEY_INTERVAL")->isEnabled(), c.keyInterval) << c.fcc;
    EXPECT_EQ(dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->isEnabled(), c.ok) << c.fcc;
    EXPECT_EQ(Child<QLabel>(dlg, "IDC_DECLINED")->text().isEmpty(), c.ok) << c.fcc;
  }
}

TEST_F(CompressorDlgTest, OpensOnTheLastChoiceAndItsSettings) {
  const auto offered = Offered(640, 480);
  {
    ui::CCompressorDlg first(nullptr, "t", offered);
    EXPECT_EQ(Child<QListWidget>(first, "IDC_COMPRESSOR_LIST")->currentRow(), 0);
    EXPECT_EQ(Child<QSpinBox>(first, "IDC_QUALITY")->value(), 85);
    EXPECT_FALSE(first.settings().verify);
    Child<QListWidget>(first, "IDC_COMPRESSOR_LIST")->setCurrentRow(2);  // H.264
    Child<QPushButton>(first, "IDC_CONFIGURE")->click();
    EXPECT_TRUE(Child<QWidget>(first, "IDC_SETTINGS")->isVisibleTo(&first));
    Child<QSpinBox>(first, "IDC_QUALITY")->setValue(40);
    Child<QSpinBox>(first, "IDC_KEY_INTERVAL")->setValue(3);
    Child<QCheckBox>(first, "IDC_VERIFY")->setChecked(true);
    first.accept();
    EXPECT_EQ(first.chosen(), 2);
  }
  ui::CCompressorDlg again(nullptr, "t", offered);
  EXPECT_EQ(Child<QListWidget>(again, "IDC_COMPRESSOR_LIST")->currentRow(), 2);
  EXPECT_EQ(again.settings().quality, 40);
  EXPECT_EQ(again.settings().keyInterval, 3);
  // Another compressor keeps its own settings; verifying is one for all.
  Child<QListWidget>(again, "IDC_COMPRESSOR_LIST")->setCurrentRow(1);
  EXPECT_EQ(again.settings().quality, 85);
  EXPECT_TRUE(again.settings().verify);
}

}  // namespace
