#pragma once

#include <QString>
#include <deque>
#include <optional>
#include <vector>

#include "platform/file_chooser.h"

namespace tarvo::test {

// Open and save dialogs that answer from a script and remember every request.
class FakeFileChooser : public FileChooser {
  public:
    std::vector<FileRequest> requests;
    // Answers in order; an empty path (or an empty script) is a cancelled dialog.
    std::deque<FileChoice> answers;

    void answer(const QString& path) { answers.push_back(FileChoice{path}); }
    void cancel() { answers.push_back(FileChoice{}); }

    std::optional<FileChoice> choose(const FileRequest& request) override {
        requests.push_back(request);
        if (answers.empty()) {
            return std::nullopt;
        }
        FileChoice next = answers.front();
        answers.pop_front();
        if (next.path.isEmpty()) {
            return std::nullopt;
        }
        return next;
    }
};

}  // namespace tarvo::test
