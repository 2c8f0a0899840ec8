#pragma once

#include "platform/file_chooser.h"

namespace tarvo {

// QFileDialog: a save dialog asks before it replaces an existing file.
class QtFileChooser : public FileChooser {
  public:
    std::optional<FileChoice> choose(const FileRequest& request) override;
};

}  // namespace tarvo
