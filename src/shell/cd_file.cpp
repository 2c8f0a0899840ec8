#include "shell/cd_file.h"

#include "core/dialog_filter.h"

namespace tarvo {

int CD_File::show(bool save) {
    std::optional<FileChoice> choice;
    if (chooser_) {
        FileRequest request;
        request.owner = OwnerWindow;
        request.title = DialogTitle;
        request.nameFilters = dialogNameFilters(Filter);
        request.initialName = FileName;
        request.save = save;
        // Saving to a new file must stay possible, so "must exist" binds only the open dialog.
        request.mustExist = !save && (Flags & kFileMustExist) != 0;
        choice = chooser_->choose(request);
    }
    if (!choice || choice->path.isEmpty()) {
        return CancelError ? kCancelError : 0;
    }
    FileName = choice->path;
    return 0;
}

}  // namespace tarvo
