#include "ui/data_exchange.h"

#include <QCheckBox>
#include <QLineEdit>
#include <cctype>
#include <limits>

#include "avi_build/frame_rate.h"
#include "ui/dialog_seam.h"
#include "ui/dialog_template.h"

namespace ui {
namespace {

// Reads a number the way scanf's "%d" / "%u" does: blanks skipped, a sign,
// then digits up to the first other character; at least one digit. Numbers
// the member cannot hold, and negative ones for unsigned members, fail.
bool ScanNumber(const QString& text, bool isSigned, std::int64_t* value) {
  const QByteArray bytes = text.toLatin1();
  const char* p = bytes.constData();
  while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  const std::int64_t limit =
      isSigned ? std::int64_t(std::numeric_limits<std::int32_t>::max()) + (negative ? 1 : 0)
               : std::int64_t(std::numeric_limits<std::uint32_t>::max());
  std::int64_t magnitude = 0;
  for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
    magnitude = magnitude * 10 + (*p - '0');
    if (magnitude > limit) return false;
  }
  if (negative && !isSigned && magnitude != 0) return false;
  *value = negative ? -magnitude : magnitude;
  return true;
}

template <typename T>
void ExchangeNumber(DataExchange& dx, QLineEdit* box, T& value, bool isSigned, const char* message) {
  if (!dx.ok()) return;
  if (!dx.saving()) {
    const QString text = QString::number(value);
    if (box->text() != text) box->setText(text);
    return;
  }
  std::int64_t read = 0;
  if (!ScanNumber(box->text(), isSigned, &read)) {
    dx.Fail(box, message);
    return;
  }
  value = static_cast<T>(read);
}

}  // namespace

void DataExchange::Fail(QLineEdit* box, const char* message) {
  Dialogs().messageBox(m_owner, message, kMainDialog.caption, MB_OK);
  box->setFocus();
  box->selectAll();
  m_ok = false;
}

void DDX_Text(DataExchange& dx, QLineEdit* box, std::int32_t& value) {
  ExchangeNumber(dx, box, value, true, "Please enter an integer.");
}

void DDX_Text(DataExchange& dx, QLineEdit* box, std::uint32_t& value) {
  ExchangeNumber(dx, box, value, false, "Please enter a positive integer.");
}

void DDX_Rate(DataExchange& dx, QLineEdit* box, std::uint32_t& rate, std::uint32_t& scale) {
  if (!dx.ok()) return;
  if (!dx.saving()) {
    const QString text = QString::fromStdString(avi_build::FrameRateText(rate, scale));
    if (box->text() != text) box->setText(text);
    return;
  }
  avi_build::FrameRate read;
  if (!avi_build::ParseFrameRate(box->text().toStdString(), &read, true)) {
    dx.Fail(box, "Please enter a positive number.");
    return;
  }
  rate = read.rate, scale = read.scale;
}

void DDX_Check(DataExchange& dx, QCheckBox* box, std::int32_t& value) {
  if (!dx.ok()) return;
  if (dx.saving())
    value = box->isChecked() ? 1 : 0;
  else
    box->setChecked(value != 0);
}

}  // namespace ui
