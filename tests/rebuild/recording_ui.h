// SPDX-License-Identifier: MIT
// A Ui that records every box and answers from a queue (default: OK / yes).
// Boxes may come from the worker thread, so it locks.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "ui/ui.h"

namespace sabrel::test {

struct Box {
    ui::BoxKind kind;
    std::string caption;
    std::string text;
};

class RecordingUi : public ui::Ui {
  public:
    ui::Answer MessageBox(ui::BoxKind kind, const std::string& caption,
                          const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.push_back(Box{kind, caption, text});
        if (kind != ui::BoxKind::Confirm) return ui::Answer::Ok;
        if (answers_.empty()) return ui::Answer::Yes;
        ui::Answer a = answers_.front();
        answers_.pop_front();
        return a;
    }
    std::vector<Box> boxes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return boxes_;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.clear();
        answers_.clear();
    }
    void Answer(ui::Answer a) {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_.push_back(a);
    }

  private:
    std::mutex mutex_;
    std::vector<Box> boxes_;
    std::deque<ui::Answer> answers_;
};

}  // namespace sabrel::test
