#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "core/pulse_files.h"

namespace tarvo {

class FrmSetPulses;

// The window's files: templates (.set), game files (.gam) and BIX files, chosen through the
// shared dialog module.
class PulseFiles {
  public:
    explicit PulseFiles(FrmSetPulses& f);

    // Prepares the shared dialog module for this window and shows the dialog the title asks
    // for. Returns the path to use (with the name rules of the window's dialogs applied), or
    // "" when nothing was chosen.
    QString subOpenFile();

    void CmdSave_Click();
    void CmdLoad_Click();
    void CmdSaveGame_Click(int Index);
    void CmdLoadGame_Click(int Index);
    void CmdCreateBix_Click();

  private:
    // Sets the filter, then the title, and asks for the file.
    QString choose(const PulseDialog& dialog);
    struct Loaded {
        QString path;
        PulseFileLoad load;
    };
    using Reader = PulseFileLoad (*)(const QByteArray&);
    // Asks for a file and reads it whole with `read`; nothing (after saying why, where there
    // is something to say) unless it holds exactly `games` games.
    std::optional<Loaded> chooseAndLoad(const PulseDialog& dialog, qsizetype limit, Reader read,
                                        size_t games);
    // Replaces the file at `path` as a whole, or says why it could not and leaves it as it was.
    void writeFile(const QString& path, const QByteArray& bytes);
    // At most `limit` + 1 bytes of the file, or nothing after saying why it cannot be read.
    std::optional<QByteArray> readFile(const QString& path, qsizetype limit);

    FrmSetPulses& f_;
};

}  // namespace tarvo
