#include "core/pulse_files.h"

#include <QList>

#include "core/codepage.h"
#include "core/numeric.h"
#include "core/pulse_text.h"

namespace tarvo {

namespace {

// The nine lines of a game in a template or game file.
constexpr PulseField kFileOrder[] = {
    PulseField::Pulse1On,  PulseField::Pulse1Off, PulseField::HopperOn,
    PulseField::HopperOff, PulseField::Offset,    PulseField::Offset2,
    PulseField::Pulse2On,  PulseField::Pulse2Off, PulseField::Hopper,
};

// The blocks of a BIX file.
constexpr PulseField kBixOrder[] = {
    PulseField::Pulse1On,  PulseField::HopperOn,  PulseField::Pulse2On,
    PulseField::Pulse1Off, PulseField::HopperOff, PulseField::Pulse2Off,
    PulseField::Offset,    PulseField::Offset2,   PulseField::Hopper,
};

const QByteArray kCrLf("\r\n");

void appendGame(QByteArray& out, const GamePulseSetting& game) {
    for (PulseField field : kFileOrder) {
        if (field == PulseField::Hopper) {
            // A number prints with a blank for its sign and one after it.
            const int position = game.CmbHopper;
            out += (position < 0 ? QByteArray() : QByteArray(" ")) + QByteArray::number(position) +
                   ' ';
        } else {
            QByteArray text = toBoardBytes(game.text(field));
            // A line break inside a box would move every later value up one line.
            text.replace('\r', ' ').replace('\n', ' ');
            out += text;
        }
        out += kCrLf;
    }
}

bool isBinaryByte(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 && b != '\t' && b != '\r' && b != '\n';
}

PulseFileLoad loadError(const QString& text) {
    PulseFileLoad load;
    load.error = text;
    return load;
}

PulseFileLoad readGames(const QByteArray& bytes, int gameCount, qsizetype maxBytes) {
    if (bytes.size() > maxBytes) {
        return loadError(
            QStringLiteral("The file is larger than %1 bytes: not a pulse settings file.")
                .arg(maxBytes));
    }
    for (char c : bytes) {
        if (isBinaryByte(c)) {
            return loadError(QStringLiteral("The file is not a text file of pulse settings."));
        }
    }
    // One value per line, CR LF, LF or CR ending it; a comma ends the value and the rest of the
    // line goes, so one odd box never moves the values after it.
    QList<QByteArray> values;
    qsizetype at = 0;
    while (at < bytes.size()) {
        qsizetype end = at;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') {
            ++end;
        }
        QByteArray line = bytes.mid(at, end - at);
        if (const qsizetype comma = line.indexOf(','); comma >= 0) {
            line.truncate(comma);
        }
        values.push_back(line);
        at = end;
        if (at < bytes.size() && bytes[at] == '\r') {
            ++at;
        }
        if (at < bytes.size() && bytes[at] == '\n' && (at == end || bytes[at - 1] == '\r')) {
            ++at;
        }
    }
    const qsizetype needed = qsizetype{gameCount} * kPulseFields;
    if (values.size() < needed) {
        return loadError(QStringLiteral("The file holds %1 of the %2 values it needs; "
                                        "nothing was loaded.")
                             .arg(values.size())
                             .arg(needed));
    }
    PulseFileLoad load;
    for (int n = 0; n < gameCount; ++n) {
        PulseGameRead game;
        for (int i = 0; i < kPulseFields; ++i) {
            const QString text = fromBoardBytes(values[n * kPulseFields + i]);
            const std::optional<QString> plain = plainDecimal(text);
            const PulseField field = kFileOrder[i];
            if (field != PulseField::Hopper) {
                game.values.text(field) = plain ? *plain : text;
                continue;
            }
            // -1 clears the choice; anything but -1, 0 and 1 names no list position.
            game.hopperGiven =
                plain && (*plain == QLatin1String("-1") || *plain == QLatin1String("0") ||
                          *plain == QLatin1String("1"));
            game.values.CmbHopper = game.hopperGiven ? plain->toInt() : kHopperNone;
        }
        load.games.push_back(std::move(game));
    }
    return load;
}

PulseDialog dialog(const char* title, const char* filter, bool open) {
    return PulseDialog{QString::fromLatin1(title), QString::fromLatin1(filter), open};
}

const QString kBixPrefix = QStringLiteral("K7731_");
const QString kBixExtension = QStringLiteral(".bix");

}  // namespace

QByteArray templateFileBytes(const PulseGames& games) {
    QByteArray out;
    for (const GamePulseSetting& game : games) {
        appendGame(out, game);
    }
    return out;
}

QByteArray gameFileBytes(const GamePulseSetting& game) {
    QByteArray out;
    appendGame(out, game);
    return out;
}

PulseFileLoad readTemplateFile(const QByteArray& bytes) {
    return readGames(bytes, kPulseGames, kTemplateFileMaxBytes);
}

PulseFileLoad readGameFile(const QByteArray& bytes) {
    return readGames(bytes, 1, kGameFileMaxBytes);
}

PulseRefusal pulseLoadRefusal(const QString& error) {
    return PulseRefusal{error, QStringLiteral("ERROR ON LOADING"), true, 0, PulseField::Pulse1On};
}

PulseBix bixFileBytes(const PulseGames& games) {
    constexpr double kBixLimit = 510.0;  // 255 units of 2 ms
    const QString title = QStringLiteral("ERROR ON CREATING BIX FILE");
    auto refused = [&](int n, PulseField field, const QString& why) {
        PulseBix bix;
        bix.refusal = PulseRefusal{QStringLiteral("GAME #%1 ").arg(n + 1) + pulseFieldLabel(field) +
                                       QStringLiteral(": ") + why,
                                   title, true, n + 1, field};
        return bix;
    };
    for (int n = 0; n < kPulseGames; ++n) {
        for (PulseField field : kBixOrder) {
            if (field == PulseField::Hopper) {
                const int position = games[n].CmbHopper;
                if (position != kHopperCashout && position != kHopperHopper) {
                    return refused(n, field, QStringLiteral("SELECT Cashout OR Hopper"));
                }
                continue;
            }
            const double value = leadingNumber(games[n].text(field));
            if (value < 0) {
                return refused(n, field, QStringLiteral("VALUES CANNOT BE NEGATIVE"));
            }
            if (value > kBixLimit) {
                return refused(n, field, QStringLiteral("A BIX FILE HOLDS AT MOST 510 ms"));
            }
        }
    }
    PulseBix bix;
    bix.bytes.reserve(kBixFileBytes);
    for (PulseField field : kBixOrder) {
        for (const GamePulseSetting& game : games) {
            const int64_t byte = field == PulseField::Hopper
                                     ? game.CmbHopper
                                     : roundHalfEven(leadingNumber(game.text(field)) / 2.0);
            bix.bytes += static_cast<char>(static_cast<unsigned char>(byte));
        }
    }
    return bix;
}

PulseDialog loadTemplateDialog() {
    return dialog("Open Game File", "Game Set (*.set)|*.set|All files (*.*)|*.*", true);
}

PulseDialog saveTemplateDialog() {
    return dialog("Save Template File", "Game set (*.set)|*.set|All files (*.*)|*.*", false);
}

PulseDialog loadGameDialog() {
    return dialog("Open Game File", "Game Type (*.gam)|*.gam|All files (*.*)|*.*", true);
}

PulseDialog saveGameDialog() {
    return dialog("Save Game File", "Game Type (*.gam)|*.gam|All files (*.*)|*.*", false);
}

PulseDialog createBixDialog() {
    return dialog("Create Bix File", "Bix File (K7731_*.bix)|K7731_*.bix|All files (*.*)|*.*",
                  false);
}

QString pulseDialogInitialName(const QString& dialogTitle) {
    return dialogTitle == QLatin1String("Create Bix File") ? kBixPrefix : QString();
}

bool pulseDialogIsOpen(const QString& dialogTitle) {
    return dialogTitle == QLatin1String("Open Game File");
}

QString pulseChosenFileName(const QString& dialogTitle, const QString& path) {
    if (path.isEmpty()) {
        return path;
    }
    auto withExtension = [&](const QString& extension) {
        return path.endsWith(extension) ? path : path + extension;
    };
    if (dialogTitle == QLatin1String("Save Game File")) {
        return withExtension(QStringLiteral(".gam"));
    }
    if (dialogTitle == QLatin1String("Save Template File")) {
        return withExtension(QStringLiteral(".set"));
    }
    if (dialogTitle != QLatin1String("Create Bix File")) {
        return path;
    }
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString title = path.mid(slash + 1);
    if (title.startsWith(kBixPrefix)) {
        return withExtension(kBixExtension);
    }
    QString stem = title;
    if (stem.endsWith(kBixExtension)) {
        stem.chop(kBixExtension.size());
    }
    return path.left(slash + 1) + kBixPrefix + stem + kBixExtension;
}

QString pulseLoadedCaption(int game, const QString& path) {
    // The number prints with a blank for its sign: "GAME # 1 - ".
    return QStringLiteral("GAME # %1 - ").arg(game + 1) + path;
}

QString pulseStartCaption(int game) {
    return QStringLiteral("GAME #%1").arg(game + 1);
}

}  // namespace tarvo
