#include "location_law_clock/location_law_clock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "core/text_lines_file.h"
#include "session/board_operations.h"
#include "shell/cd_file.h"
#include "shell/main_window.h"

namespace tarvo {

namespace {

QStringList textsOf(std::span<QLineEdit* const> boxes) {
    QStringList out;
    for (const QLineEdit* box : boxes) {
        out << box->text();
    }
    return out;
}

}  // namespace

LocationLawClock::LocationLawClock(RetreiveAccountingApp& w) : w_(w) {}

bool LocationLawClock::refuses(const std::optional<board::TextRefusal>& refusal) {
    if (!refusal) {
        return false;
    }
    w_.platform().prompts->message(refusal->text, MsgButtons::Ok, MsgIcon::Exclamation,
                                   refusal->title);
    return true;
}

void LocationLawClock::ButtonSendLocationInfo_Click() {
    auto op = w_.beginOperation();
    if (!op) {
        return;
    }
    BoardSession& s = w_.session();
    s.clearText();
    w_.SystemMessage->clear();
    const QStringList lines = textsOf(w_.txtLocationInfo);
    if (refuses(board::locationRefusal(s, lines))) {
        return;
    }
    send(std::move(op), board::sendLocation(s, lines), QStringLiteral("Location Information Sent"));
}

QCoro::Task<> LocationLawClock::send([[maybe_unused]] BoardSession::Operation op,
                                     QCoro::Task<bool> sending, QString sent, bool clearAfter) {
    // A refusal of the transport, or a stop, stays on the status line as it left it.
    const bool wentOut = co_await sending;
    if (wentOut && !w_.closing()) {
        if (clearAfter) {
            w_.session().clearText();
        }
        w_.SystemMessage->setText(sent);
    }
}

void LocationLawClock::ButtonSendLawInfo_Click() {
    auto op = w_.beginOperation();
    if (!op) {
        return;
    }
    BoardSession& s = w_.session();
    w_.SystemMessage->clear();
    const QStringList lines = textsOf(w_.TxtLawInfo);
    if (refuses(board::lawRefusal(s, lines))) {
        return;
    }
    send(std::move(op), board::sendLaw(s, lines), QStringLiteral("Law Information Sent"), true);
}

void LocationLawClock::ButtonSendTimeAndDate_Click() {
    auto op = w_.beginOperation();
    if (!op) {
        return;
    }
    BoardSession& s = w_.session();
    s.clearText();
    w_.SystemMessage->clear();
    send(std::move(op), board::sendTimeAndDate(s, w_.platform().clock()),
         QStringLiteral("Time and Date Sent"));
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
