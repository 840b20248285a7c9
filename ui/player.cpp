#include "ui/player.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "avi_view/playback_state.h"

namespace ui {

Trackbar::Trackbar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setTickPosition(QSlider::NoTicks);
  setFocusPolicy(Qt::StrongFocus);
  connect(this, &QSlider::actionTriggered, this, [this](int action) {
    switch (action) {
      case SliderSingleStepSub: emit hScroll(avi_view::TB_LINEUP, 0); break;
      case SliderSingleStepAdd: emit hScroll(avi_view::TB_LINEDOWN, 0); break;
      case SliderPageStepSub: emit hScroll(avi_view::TB_PAGEUP, 0); break;
      case SliderPageStepAdd: emit hScroll(avi_view::TB_PAGEDOWN, 0); break;
      case SliderToMinimum: emit hScroll(avi_view::TB_TOP, 0); break;
      case SliderToMaximum: emit hScroll(avi_view::TB_BOTTOM, 0); break;
      case SliderMove: emit hScroll(avi_view::TB_THUMBTRACK, sliderPosition()); break;
      default: break;
    }
  });
  connect(this, &QSlider::sliderReleased, this, [this] {
    emit hScroll(avi_view::TB_THUMBPOSITION, sliderPosition());
    emit hScroll(avi_view::TB_ENDTRACK, sliderPosition());
  });
}

void Trackbar::keyPressEvent(QKeyEvent* event) {
  SliderAction action = SliderNoAction;
  switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Left: action = SliderSingleStepSub; break;
    case Qt::Key_Down:
    case Qt::Key_Right: action = SliderSingleStepAdd; break;
    case Qt::Key_PageUp: action = SliderPageStepSub; break;
    case Qt::Key_PageDown: action = SliderPageStepAdd; break;
    case Qt::Key_Home: action = SliderToMinimum; break;
    case Qt::Key_End: action = SliderToMaximum; break;
    default: QSlider::keyPressEvent(event); return;
  }
  triggerAction(action);
  event->accept();
}

Player::Player(avi_view::PlaybackState& state, const Controls& controls, std::function<void(std::uint64_t)> run,
               QObject* parent)
    : QObject(parent), m_state(state), m_controls(controls), m_run(std::move(run)) {
  connect(&m_workers, &WorkerSet::WorkerEnded, this, [this] {
    if (m_pendingView && m_workers.Running() == 0) {
      m_pendingView = false;
      Start();
    }
  });
}

void Player::ViewAvi() {
  if (m_state.Values().m_playing != 0 || m_workers.Running() > 0) {
    avi_view::StopPlayback(m_state);
    m_pendingView = true;
    return;
  }
  Start();
}

void Player::Start() {
  const std::uint64_t generation = m_state.NewPlayback();
  m_workers.Start([this, generation] { m_run(generation); });
}

void Player::Stop() {
  m_pendingView = false;
  avi_view::CloseView(m_state);
  m_state.NewPlayback();
}

void Player::PlayPause() { avi_view::PlayPause(m_state); }

void Player::Direction() {
  m_controls.viewButton->setText(QString::fromStdString(avi_view::Direction(m_state)));
}

void Player::Step() { avi_view::Step(m_state); }

void Player::CloseView() { avi_view::CloseView(m_state); }

void Player::FpsChange() { avi_view::FpsChange(m_state, m_controls.fpsEdit->text().toStdString()); }

void Player::WriteFiles() { avi_view::WriteFiles(m_state, m_controls.writeFiles->isChecked()); }

bool Player::Key(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Space: PlayPause(); return true;
    case Qt::Key_Period: avi_view::FrameStep(m_state, 1); return true;
    case Qt::Key_Comma: avi_view::FrameStep(m_state, -1); return true;
    default: return false;
  }
}

void Player::HScroll(int code, int position) {
  if (m_inHScroll) return;  // our own position updates are not the user's scrolling
  m_inHScroll = true;
  for (std::int32_t sent : avi_view::HScroll(m_state, code, position)) m_controls.slider->setSliderPosition(sent);
  m_inHScroll = false;
}

}  // namespace ui
