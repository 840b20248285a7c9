// A dialog seam for tests: records every question and answers from a script.
#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/dialog_seam.h"

namespace testsupport {

class ScriptedDialogs : public ui::DialogSeam {
 public:
  struct Question {
    std::string kind;  // "message", "file", "compressor"
    std::string text;
    std::string caption;
    unsigned type = 0;
    ui::FileDialogRequest file;
    std::vector<CompressorChoice> offered;
  };

  ScriptedDialogs() { ui::SetDialogs(this); }
  ~ScriptedDialogs() override { ui::SetDialogs(nullptr); }

  // Answers, used in order; when a queue runs dry: IDOK / IDNO for message
  // boxes, cancel for file dialogs and the chooser.
  void answerMessage(int answer) { locked([&] { m_messageAnswers.push_back(answer); }); }
  void answerFile(std::optional<std::string> path) { locked([&] { m_fileAnswers.push_back(std::move(path)); }); }
  void answerCompressor(int index, CompressorSettings settings = {}) {
    locked([&] { m_compressorAnswers.push_back({index, settings}); });
  }

  std::vector<Question> questions() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_questions;
  }
  std::vector<Question> messages() const {
    std::vector<Question> out;
    for (const Question& q : questions())
      if (q.kind == "message") out.push_back(q);
    return out;
  }

  int messageBox(QWidget*, const std::string& text, const std::string& caption, unsigned type) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_questions.push_back({"message", text, caption, type, {}, {}});
    const int fallback = (type & ui::MB_TYPEMASK) == ui::MB_YESNO ? ui::IDNO : ui::IDOK;
    return pop(m_messageAnswers, fallback);
  }
  std::optional<std::string> fileDialog(QWidget*, const ui::FileDialogRequest& request) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_questions.push_back({"file", "", "", 0, request, {}});
    return pop(m_fileAnswers, std::optional<std::string>());
  }
  int chooseCompressor(QWidget*, const std::string& title, const std::vector<CompressorChoice>& offered,
                       CompressorSettings& settings) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_questions.push_back({"compressor", "", title, 0, {}, offered});
    const auto [index, chosen] = pop(m_compressorAnswers, std::pair<int, CompressorSettings>{-1, {}});
    settings = chosen;
    return index;
  }

 private:
  template <typename F>
  void locked(F f) {
    std::lock_guard<std::mutex> lock(m_mutex);
    f();
  }
  template <typename T>
  static T pop(std::deque<T>& queue, T fallback) {
    if (queue.empty()) return fallback;
    T value = std::move(queue.front());
    queue.pop_front();
    return value;
  }

  mutable std::mutex m_mutex;
  std::vector<Question> m_questions;
  std::deque<int> m_messageAnswers;
  std::deque<std::optional<std::string>> m_fileAnswers;
  std::deque<std::pair<int, CompressorSettings>> m_compressorAnswers;
};

}  // namespace testsupport
