// Moving values between the dialog's controls and its members, as the
// dialog framework's data exchange does: towards the controls, or from them
// with validation that stops at the first box holding no readable number.
// UI thread only.
#pragma once

#include <cstdint>

class QCheckBox;
class QLineEdit;
class QWidget;

namespace ui {

class DataExchange {
 public:
  // owner: the dialog whose message a bad box shows.
  DataExchange(QWidget* owner, bool saveAndValidate) : m_owner(owner), m_saving(saveAndValidate) {}
  bool saving() const { return m_saving; }
  // False once a box has failed; the exchanges after it do nothing.
  bool ok() const { return m_ok; }
  // Tells the user, puts the focus on the box with its text selected and
  // stops the exchange.
  void Fail(QLineEdit* box, const char* message);

 private:
  QWidget* m_owner;
  bool m_saving;
  bool m_ok = true;
};

// A number box: "%d" for signed members ("Please enter an integer."), "%u"
// for unsigned ones ("Please enter a positive integer."). Towards the box,
// the text is written only when it differs; from it, leading blanks, a sign
// and digits up to the first other character are read, and what the member
// cannot hold fails.
void DDX_Text(DataExchange& dx, QLineEdit* box, std::int32_t& value);
void DDX_Text(DataExchange& dx, QLineEdit* box, std::uint32_t& value);
// The FPS box: a rate as ParseFrameRate reads its start ("29.97",
// "30000/1001", "2.5"), shown as FrameRateText writes it; anything else
// fails with "Please enter a positive number.".
void DDX_Rate(DataExchange& dx, QLineEdit* box, std::uint32_t& rate, std::uint32_t& scale);
// A check box: 0 or 1.
void DDX_Check(DataExchange& dx, QCheckBox* box, std::int32_t& value);

}  // namespace ui
