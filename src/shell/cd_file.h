#pragma once

#include <QString>
#include <cstdint>
#include <memory>

#include "platform/file_chooser.h"

class QWidget;

namespace tarvo {

// The one dialog module of the program, shared by both windows: callers set the title and
// the filter, the windows' subOpenFile set the rest and show the dialog. The properties keep
// their last values between dialogs.
class CD_File {
  public:
    static constexpr int kCancelError = 32755;  // "Cancel was selected."
    static constexpr int32_t kFileMustExist = 0x1000;
    static constexpr int32_t kHideReadOnly = 0x0004;

    explicit CD_File(std::shared_ptr<FileChooser> chooser) : chooser_(std::move(chooser)) {}

    QString DialogTitle;
    QString Filter;
    QString FileName;
    int32_t Flags = 0;
    bool CancelError = false;
    QWidget* OwnerWindow = nullptr;

    // 0 on success; otherwise the error number (kCancelError only while CancelError is set).
    int ShowOpen() { return show(false); }
    int ShowSave() { return show(true); }

  private:
    int show(bool save);
    std::shared_ptr<FileChooser> chooser_;
};

}  // namespace tarvo
