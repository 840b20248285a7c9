#include "ui/job_rows.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace ui {

JobRows::JobRows(QWidget* parent, int rowHeight, int gap, int nameWidth)
    : QWidget(parent), m_rowHeight(rowHeight), m_gap(gap), m_nameWidth(nameWidth) {
  setObjectName(QStringLiteral("MakeAviJobs"));
  auto* rows = new QVBoxLayout(this);
  rows->setContentsMargins(0, 0, 0, 0);
  rows->setSpacing(m_gap);
  hide();
}

JobRows::NewJob JobRows::Add() {
  const int job = ++m_nextJob;
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  m_jobs[job].cancelled = cancelled;
  return {job, cancelled};
}

void JobRows::Started(int job, const std::string& aviName) {
  const auto it = m_jobs.find(job);
  if (it == m_jobs.end() || it->second.row) return;
  Row& state = it->second;
  state.name = aviName;
  state.row = new QWidget(this);
  state.row->setObjectName(QStringLiteral("MakeAviJob"));
  state.row->setFixedHeight(m_rowHeight);
  auto* layout = new QHBoxLayout(state.row);
  layout->setContentsMargins(0, 0, 0, 0);
  // Names of one width, so that the bars of several jobs line up.
  const QString fullName = QString::fromStdString(aviName);
  auto* name = new QLabel(state.row);
  name->setObjectName(QStringLiteral("MakeAviName"));
  name->setFixedWidth(m_nameWidth);
  name->setText(name->fontMetrics().elidedText(fullName, Qt::ElideMiddle, m_nameWidth));
  name->setToolTip(fullName);
  state.bar = new QProgressBar(state.row);
  state.bar->setObjectName(QStringLiteral("MakeAviProgress"));
  state.bar->setFormat(QStringLiteral("%v of %m"));
  state.bar->setRange(0, 0);  // busy until the first entry
  state.cancel = new QPushButton(QStringLiteral("Cancel"), state.row);
  state.cancel->setObjectName(QStringLiteral("MakeAviCancel"));
  connect(state.cancel, &QPushButton::clicked, this, [this, job] { Cancel(job); });
  layout->addWidget(name);
  layout->addWidget(state.bar, 1);
  layout->addWidget(state.cancel);
  this->layout()->addWidget(state.row);
  emit RowsChanged();
}

void JobRows::SetProgress(int job, int n, int count) {
  const auto it = m_jobs.find(job);
  if (it == m_jobs.end()) return;
  if (count <= 0) {
    delete it->second.row;
    m_jobs.erase(it);
    emit RowsChanged();
    return;
  }
  if (!it->second.bar) return;
  it->second.bar->setRange(0, count);
  it->second.bar->setValue(n + 1);
}

void JobRows::Verifying(int job) {
  const auto it = m_jobs.find(job);
  if (it == m_jobs.end() || !it->second.bar) return;
  it->second.bar->setRange(0, 0);
  it->second.bar->setFormat(QStringLiteral("Verifying"));
  it->second.bar->setToolTip(QStringLiteral("Verifying the file"));
  it->second.cancel->setEnabled(false);
}

void JobRows::Cancel(int job) {
  const auto it = m_jobs.find(job);
  if (it == m_jobs.end()) return;
  *it->second.cancelled = true;
  if (it->second.cancel) it->second.cancel->setEnabled(false);
}

std::vector<std::string> JobRows::Names() const {
  std::vector<std::string> names;
  for (const auto& [job, row] : m_jobs)
    if (row.row) names.push_back(row.name);
  return names;
}

int JobRows::HeightWanted() const {
  const auto rows = int(Names().size());
  return rows * (m_rowHeight + m_gap);
}

void JobRows::PlaceUnder(const QRect& list) {
  setGeometry(list.x(), list.y() + list.height() + m_gap, list.width(), HeightWanted() - m_gap);
}

}  // namespace ui
