#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace tarvo {

// One request for the desktop's open or save dialog.
struct FileRequest {
    QWidget* owner = nullptr;
    QString title;
    // Qt name filters, e.g. "Location files (*.loc)", in the order offered.
    QStringList nameFilters;
    // The text the file-name field starts with.
    QString initialName;
    bool save = false;
    // Open dialogs only offer files that exist.
    bool mustExist = false;
};

struct FileChoice {
    QString path;
};

// The modal open and save dialogs. Nothing when the user cancels or the dialog fails.
class FileChooser {
  public:
    virtual ~FileChooser() = default;
    virtual std::optional<FileChoice> choose(const FileRequest& request) = 0;
};

}  // namespace tarvo
