// The rows of the running Make-AVI jobs, shown below the list (not a
// template control): each "MakeAviJob" row holds the file's name, a progress
// bar and a Cancel button. UI thread only, except where a member says.
#pragma once

#include <QWidget>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QProgressBar;
class QPushButton;

namespace ui {

class JobRows : public QWidget {
  Q_OBJECT

 public:
  // rowHeight and gap in pixels; names elided to nameWidth.
  JobRows(QWidget* parent, int rowHeight, int gap, int nameWidth);

  // A job is about to start: its number, and the flag its thread reads to
  // stop after the frame it is writing.
  struct NewJob {
    int job;
    std::shared_ptr<std::atomic<bool>> cancelled;
  };
  NewJob Add();
  // The job has named its file: its row appears.
  void Started(int job, const std::string& aviName);
  // Entry n of count done; count 0: the job has ended and its row goes.
  void SetProgress(int job, int n, int count);
  // The file is written and is being read back: the bar turns busy and
  // says so, and Cancel has nothing left to stop.
  void Verifying(int job);
  // The row's Cancel: the job stops after its frame and finishes its file.
  void Cancel(int job);

  // The names of the jobs that have rows, in the order they started.
  std::vector<std::string> Names() const;
  // The height the shown rows take, gaps included; 0 without rows.
  int HeightWanted() const;
  // Puts the rows right under the list's rectangle, as wide as it.
  void PlaceUnder(const QRect& list);

 signals:
  // A row came or went: the owner lays the rows out again.
  void RowsChanged();

 private:
  struct Row {
    std::shared_ptr<std::atomic<bool>> cancelled;  // read by the job's thread
    std::string name;
    QWidget* row = nullptr;  // null until the job has named its file
    QProgressBar* bar = nullptr;
    QPushButton* cancel = nullptr;
  };
  std::map<int, Row> m_jobs;
  int m_nextJob = 0;
  const int m_rowHeight;
  const int m_gap;
  const int m_nameWidth;
};

}  // namespace ui
