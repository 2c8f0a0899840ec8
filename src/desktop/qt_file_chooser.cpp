#include "desktop/qt_file_chooser.h"

#include <QFileDialog>

namespace tarvo {

std::optional<FileChoice> QtFileChooser::choose(const FileRequest& request) {
    QFileDialog dialog(request.owner, request.title);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save || !request.mustExist ? QFileDialog::AnyFile
                                                          : QFileDialog::ExistingFile);
    dialog.setNameFilters(request.nameFilters);
    if (!request.initialName.isEmpty()) {
        dialog.selectFile(request.initialName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    FileChoice choice;
    choice.path = dialog.selectedFiles().constFirst();
    return choice;
}

}  // namespace tarvo
