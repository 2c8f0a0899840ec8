#include "pulse_editor/pulse_files.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "core/pulse_files.h"
#include "pulse_editor/frm_set_pulses.h"
#include "shell/cd_file.h"
#include "shell/main_window.h"

namespace tarvo {

PulseFiles::PulseFiles(FrmSetPulses& f) : f_(f) {}

QString PulseFiles::subOpenFile() {
    CD_File& dialog = f_.main().cdFile();
    dialog.OwnerWindow = &f_;
    dialog.CancelError = true;
    dialog.Flags = CD_File::kFileMustExist | CD_File::kHideReadOnly;
    dialog.FileName = pulseDialogInitialName(dialog.DialogTitle);
    const bool open = pulseDialogIsOpen(dialog.DialogTitle);
    if ((open ? dialog.ShowOpen() : dialog.ShowSave()) != 0) {
        return {};
    }
    const QString path = pulseChosenFileName(dialog.DialogTitle, dialog.FileName);
    // The dialog asked before replacing the name it was given; a name completed here
    // (".gam", "K7731_") may be another existing file, so that one is asked about too.
    if (!open && path != dialog.FileName && QFileInfo::exists(path)) {
        const MsgAnswer answer = f_.main().platform().prompts->message(
            QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(path),
            MsgButtons::YesNo, MsgIcon::Exclamation, dialog.DialogTitle);
        if (answer != MsgAnswer::Yes) {
            return {};
        }
    }
    dialog.FileName = path;
    return path;
}

QString PulseFiles::choose(const PulseDialog& dialog) {
    CD_File& module = f_.main().cdFile();
    module.Filter = dialog.filter;
    module.DialogTitle = dialog.title;
    return subOpenFile();
}

void PulseFiles::CmdSave_Click() {
    const QString path = choose(saveTemplateDialog());
    if (!path.isEmpty()) {
        writeFile(path, templateFileBytes(f_.games()));
    }
}

void PulseFiles::CmdSaveGame_Click(int Index) {
    const QString path = choose(saveGameDialog());
    if (!path.isEmpty()) {
        writeFile(path, gameFileBytes(f_.game(Index)));
    }
}

std::optional<PulseFiles::Loaded> PulseFiles::chooseAndLoad(const PulseDialog& dialog,
                                                            qsizetype limit, Reader read,
                                                            size_t games) {
    const QString path = choose(dialog);
    if (path.isEmpty()) {
        return std::nullopt;
    }
    const auto bytes = readFile(path, limit);
    if (!bytes) {
        return std::nullopt;
    }
    // The whole file is read and checked before any box changes.
    PulseFileLoad load = read(*bytes);
    if (!load.ok() || load.games.size() != games) {
        f_.showRefusal(pulseLoadRefusal(load.error));
        return std::nullopt;
    }
    return Loaded{path, std::move(load)};
}

void PulseFiles::CmdLoad_Click() {
    const auto loaded = chooseAndLoad(loadTemplateDialog(), kTemplateFileMaxBytes, readTemplateFile,
                                      size_t{FrmSetPulses::kGames});
    if (!loaded) {
        return;
    }
    for (int n = 0; n < FrmSetPulses::kGames; ++n) {
        f_.fillGame(n, loaded->load.games[static_cast<size_t>(n)]);
        f_.setFrameCaption(n, pulseLoadedCaption(n, loaded->path));
    }
    f_.CmdRedraw_Click();
}

void PulseFiles::CmdLoadGame_Click(int Index) {
    const auto loaded = chooseAndLoad(loadGameDialog(), kGameFileMaxBytes, readGameFile, 1);
    if (!loaded) {
        return;
    }
    f_.fillGame(Index, loaded->load.games.front());
    f_.setFrameCaption(Index, pulseLoadedCaption(Index, loaded->path));
    f_.CmdRedraw_Click();
}

void PulseFiles::CmdCreateBix_Click() {
    // Checked before the dialog, so a name is not asked for a file that cannot be made.
    const PulseBix bix = bixFileBytes(f_.games());
    if (bix.refusal) {
        f_.showRefusal(*bix.refusal);
        return;
    }
    const QString path = choose(createBixDialog());
    if (!path.isEmpty()) {
        writeFile(path, bix.bytes);
    }
}

void PulseFiles::writeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) {
        return;
    }
    f_.main().platform().prompts->message(
        QStringLiteral("The file %1 could not be saved: %2").arg(path, file.errorString()),
        MsgButtons::Ok, MsgIcon::Critical, QStringLiteral("ERROR ON SAVING"));
}

std::optional<QByteArray> PulseFiles::readFile(const QString& path, qsizetype limit) {
    QFile file(path);
    QString reason;
    // Only a plain file: a device or a pipe could block the window or never end.
    if (!QFileInfo(path).isFile()) {
        reason = QFileInfo::exists(path) ? QStringLiteral("it is not a plain file")
                                         : QStringLiteral("it does not exist");
    } else if (!file.open(QIODevice::ReadOnly)) {
        reason = file.errorString();
    } else {
        QByteArray bytes = file.read(limit + 1);
        if (file.error() == QFileDevice::NoError) {
            return bytes;
        }
        reason = file.errorString();
    }
    f_.showRefusal(
        pulseLoadRefusal(QStringLiteral("The file %1 could not be read: %2").arg(path, reason)));
    return std::nullopt;
}

}  // namespace tarvo
