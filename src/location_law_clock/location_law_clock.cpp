#include "location_law_clock/location_law_clock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "core/frames.h"
#include "core/text_lines_file.h"
#include "link/board_link.h"
#include "shell/cd_file.h"
#include "shell/main_window.h"

namespace tarvo {

namespace {

// The length byte of a multi-drop frame.
constexpr qsizetype kLargestMultiDropFrame = 255;

QStringList textsOf(std::span<QLineEdit* const> boxes) {
    QStringList out;
    for (const QLineEdit* box : boxes) {
        out << box->text();
    }
    return out;
}

}  // namespace

LocationLawClock::LocationLawClock(RetreiveAccountingApp& w) : w_(w) {}

void LocationLawClock::prepare() {
    w_.RxCount = 0;
    w_.SystemMessage->clear();
    w_.ExpectReply = false;
}

bool LocationLawClock::refusesLongPortion(const frames::Command& portion, int fixedBytes,
                                          const QString& what) {
    if (!w_.Option1->isChecked() || portion.prefixCode <= frames::kLargestPrefixCode) {
        return false;
    }
    // A wrapped code would make the Brisko system cut every later command in the wrong place.
    w_.platform().prompts->message(
        QStringLiteral("%1 hold %2 characters, but a Brisko system takes at most %3. Shorten "
                       "them and send again; nothing was sent.")
            .arg(what)
            .arg(portion.prefixCode - fixedBytes)
            .arg(frames::kLargestPrefixCode - fixedBytes),
        MsgButtons::Ok, MsgIcon::Exclamation, QStringLiteral("Text too long"));
    return true;
}

bool LocationLawClock::refusesLongLine(const frames::Command& portion) {
    if (!w_.Option4->isChecked()) {
        return false;
    }
    for (const QByteArray& piece : portion.pieces) {
        // A piece the transport drops would leave the board a line short, and it would take
        // the next command for the missing line.
        if (piece.size() > kLargestMultiDropFrame) {
            w_.platform().prompts->message(
                QStringLiteral("A line holds %1 characters, but on a multi-drop line it may hold "
                               "at most %2. Shorten it and send again; nothing was sent.")
                    .arg(piece.size() - 1)
                    .arg(kLargestMultiDropFrame - 1),
                MsgButtons::Ok, MsgIcon::Exclamation, QStringLiteral("Text too long"));
            return true;
        }
    }
    return false;
}

bool LocationLawClock::SendLocationInfo() {
    prepare();
    const frames::Command command = frames::locationInfo(textsOf(w_.txtLocationInfo));
    if (refusesLongPortion(command, 7, QStringLiteral("The location lines")) ||
        refusesLongLine(command)) {
        return false;
    }
    w_.link().sendCommand(command);
    return true;
}

bool LocationLawClock::SendLawInfo() {
    prepare();
    const QStringList lines = textsOf(w_.TxtLawInfo);
    const frames::Command first = frames::lawInfoFirst(lines);
    const frames::Command second = frames::lawInfoSecond(lines);
    if (refusesLongPortion(first, 7, QStringLiteral("Law lines 1 to 4")) ||
        refusesLongPortion(second, 4, QStringLiteral("Law lines 5 to 8")) ||
        refusesLongLine(first) || refusesLongLine(second)) {
        return false;
    }
    w_.link().sendCommand(first);
    w_.link().sendCommand(second);
    return true;
}

void LocationLawClock::SendTimeAndDate() {
    prepare();
    // One reading for every field, so a send just before midnight never mixes two days.
    w_.link().sendCommand(frames::timeAndDate(w_.platform().clock()));
}

void LocationLawClock::ButtonSendLocationInfo_Click() {
    w_.ResponseWindow->clearText();
    if (SendLocationInfo() && w_.Connected == 1) {
        w_.SystemMessage->setText(QStringLiteral("Location Information Sent"));
    }
}

void LocationLawClock::ButtonSendLawInfo_Click() {
    if (!SendLawInfo()) {
        return;
    }
    w_.ResponseWindow->clearText();
    if (w_.Connected == 1) {
        w_.SystemMessage->setText(QStringLiteral("Law Information Sent"));
    }
}

void LocationLawClock::ButtonSendTimeAndDate_Click() {
    w_.ResponseWindow->clearText();
    SendTimeAndDate();
    if (w_.Connected == 1) {
        w_.SystemMessage->setText(QStringLiteral("Time and Date Sent"));
    }
}

void LocationLawClock::LoadLocationInfo_Click(int index) {
    const bool location = index < 2;
    const bool open = index % 2 == 0;
    CD_File& dialog = w_.cdFile();
    dialog.Filter = location ? QStringLiteral("Location files (*.loc)|*.loc|All files (*.*)|*.*")
                             : QStringLiteral("Law files (*.law)|*.law|All files (*.*)|*.*");
    dialog.DialogTitle = open ? QStringLiteral("Open File") : QStringLiteral("Save File");
    const std::span<QLineEdit* const> boxes = location
                                                  ? std::span<QLineEdit* const>(w_.txtLocationInfo)
                                                  : std::span<QLineEdit* const>(w_.TxtLawInfo);
    if (open) {
        openFile(boxes);
    } else {
        saveFile(boxes, location ? QStringLiteral(".Loc") : QStringLiteral(".Law"));
    }
}

void LocationLawClock::openFile(std::span<QLineEdit* const> boxes) {
    const QString path = w_.subOpenFile();
    if (path.isEmpty()) {
        return;
    }
    auto refuse = [&](const QString& reason) {
        w_.platform().prompts->message(
            QStringLiteral("Could not load %1: %2. The lines were left as they were.")
                .arg(QDir::toNativeSeparators(path), reason),
            MsgButtons::Ok, MsgIcon::Exclamation, QStringLiteral("Open File"));
    };
    // A pipe or a device could block or never end; only plain files hold saved lines.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        refuse(QStringLiteral("it is not a file"));
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        refuse(file.errorString());
        return;
    }
    const QByteArray data = file.read(textfile::kMaxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        refuse(file.errorString());
        return;
    }
    const textfile::Lines read = textfile::readLines(data, static_cast<int>(boxes.size()));
    switch (read.problem) {
        case textfile::Problem::TooLarge:
            refuse(QStringLiteral("it is larger than %1 bytes").arg(textfile::kMaxBytes));
            return;
        case textfile::Problem::Binary:
            refuse(QStringLiteral("it holds binary data, not lines of text"));
            return;
        case textfile::Problem::None:
            break;
    }
    for (size_t i = 0; i < boxes.size(); ++i) {
        boxes[i]->setText(read.lines[static_cast<qsizetype>(i)]);
    }
}

void LocationLawClock::saveFile(std::span<QLineEdit* const> boxes, const QString& extension) {
    const QString chosen = w_.subOpenFile();
    if (chosen.isEmpty()) {
        return;
    }
    const QString path = textfile::withExtension(chosen, extension);
    // The dialog asked about the name as typed; a name completed here may be another file.
    if (path != chosen && QFileInfo::exists(path)) {
        const MsgAnswer answer = w_.platform().prompts->message(
            QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(path),
            MsgButtons::YesNo, MsgIcon::Exclamation, QStringLiteral("Save File"));
        if (answer != MsgAnswer::Yes) {
            return;
        }
    }
    // Written aside and renamed over the old file only when complete.
    QSaveFile file(path);
    const bool saved = file.open(QIODevice::WriteOnly) &&
                       file.write(textfile::writeLines(textsOf(boxes))) >= 0 && file.commit();
    if (!saved) {
        w_.platform().prompts->message(QStringLiteral("Could not save %1: %2")
                                           .arg(QDir::toNativeSeparators(path), file.errorString()),
                                       MsgButtons::Ok, MsgIcon::Exclamation,
                                       QStringLiteral("Save File"));
    }
}

}  // namespace tarvo
