#include "core/pulse_settings.h"

#include <algorithm>
#include <limits>

#include "core/frames.h"
#include "core/numeric.h"
#include "core/pulse_text.h"

namespace tarvo {

namespace {

constexpr int kReplyBlockStride = 26;
constexpr int kReplyItemStride = 4;
constexpr int kReplyItemLength = 3;

// Far enough outside any box that nothing visible changes when a coordinate is held there;
// every line is horizontal or vertical, so holding x keeps its visible part.
constexpr int64_t kPlotFarX = 1'000'000;

int plotX(int64_t x) {
    return static_cast<int>(std::clamp(x, -kPlotFarX, kPlotFarX));
}

const QString kWriteTitle = QStringLiteral("ERROR ON WRITING");

PulseRefusal writeRefusal(const QString& text, int game, PulseField field) {
    return PulseRefusal{text, kWriteTitle, true, game + 1, field};
}

bool gamePlotDrawn(const GamePulseSetting& game) {
    for (int k = 0; k < kPulseTextFields; ++k) {
        const auto field = static_cast<PulseField>(k);
        if (field != PulseField::Offset2 && game.text(field).isEmpty()) {
            return false;
        }
    }
    return true;
}

}  // namespace

QString pulseFieldLabel(PulseField field) {
    switch (field) {
        case PulseField::Pulse1On:
            return QStringLiteral("Mech Pulse #1 ON");
        case PulseField::Pulse1Off:
            return QStringLiteral("Mech Pulse #1 OFF");
        case PulseField::HopperOn:
            return QStringLiteral("Hopper /Cashout ON");
        case PulseField::HopperOff:
            return QStringLiteral("Hopper /Cashout OFF");
        case PulseField::Pulse2On:
            return QStringLiteral("Mech Pulse #2 ON");
        case PulseField::Pulse2Off:
            return QStringLiteral("Mech Pulse #2 OFF");
        case PulseField::Offset:
            return QStringLiteral("Mech Pulse #2 OFFSET");
        case PulseField::Offset2:
            return QStringLiteral("Mech Pulse #2 OFFSET 2");
        case PulseField::Hopper:
            break;
    }
    return QStringLiteral("Hopper /Cashout");
}

QString& GamePulseSetting::text(PulseField field) {
    return const_cast<QString&>(std::as_const(*this).text(field));
}

const QString& GamePulseSetting::text(PulseField field) const {
    switch (field) {
        case PulseField::Pulse1On:
            return TxtPulse1On;
        case PulseField::Pulse1Off:
            return TxtPulse1OFF;
        case PulseField::HopperOn:
            return txtHopperOn;
        case PulseField::HopperOff:
            return TxtHopperOff;
        case PulseField::Pulse2On:
            return TxtPulse2On;
        case PulseField::Pulse2Off:
            return TxtPulse2Off;
        case PulseField::Offset:
            return TxtOffset;
        case PulseField::Offset2:
        case PulseField::Hopper:
            break;
    }
    // The hopper has no text; asking for it is a caller's slip, answered with a harmless box.
    return TxtOffset2;
}

void PulseGameRead::applyTo(GamePulseSetting& game) const {
    const int keep = game.CmbHopper;
    game = values;
    if (!hopperGiven) {
        game.CmbHopper = keep;
    }
}

int32_t pulseWholeNumber(QStringView text) {
    const int64_t whole = roundHalfEven(leadingNumber(text));
    return static_cast<int32_t>(std::clamp<int64_t>(whole, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// ---------------------------------------------------------------------------------------------
// Plot

std::vector<PlotSegment> plotSegments(int32_t offset, int32_t valueOn, int32_t valueOff) {
    std::vector<PlotSegment> lines;
    int64_t x = int64_t{offset} + kPlotMargin;
    int64_t curX = 0;
    int curY = kPlotIdleY;
    auto lineTo = [&](int64_t toX, int toY) {
        lines.push_back({plotX(curX), curY, plotX(toX), toY});
        curX = toX;
        curY = toY;
    };
    lineTo(x, kPlotIdleY);
    if (valueOn <= 0 || valueOff <= 0) {
        return lines;
    }
    const int64_t period = int64_t{valueOn} + valueOff;
    if (x + period < 0) {
        // Whole periods left of the box are invisible; stepping over them in one line keeps a
        // very negative offset from drawing millions of them.
        const int64_t skipped = (-x - 1) / period;
        x += skipped * period;
        lineTo(x, kPlotIdleY);
    }
    while (x < kPlotEndX) {
        lineTo(x, kPlotActiveY);
        x += valueOn;
        lineTo(x, kPlotActiveY);
        lineTo(x, kPlotIdleY);
        x += valueOff;
        lineTo(x, kPlotIdleY);
    }
    lineTo(x, kPlotActiveY);
    return lines;
}

std::optional<GamePlot> gamePlot(const GamePulseSetting& game) {
    if (!gamePlotDrawn(game)) {
        return std::nullopt;
    }
    auto whole = [](const QString& text) { return pulseWholeNumber(text); };
    GamePlot plot;
    plot.mechPulse1 = plotSegments(0, whole(game.TxtPulse1On), whole(game.TxtPulse1OFF));
    plot.mechPulse2 =
        plotSegments(whole(game.TxtOffset), whole(game.TxtPulse2On), whole(game.TxtPulse2Off));
    plot.hopper = plotSegments(0, whole(game.txtHopperOn), whole(game.TxtHopperOff));
    return plot;
}

// ---------------------------------------------------------------------------------------------
// Board read

std::optional<std::array<PulseGameRead, kPulseGames>> readPulseReply(QStringView reply) {
    if (reply.size() < kPulseReplyMinimum) {
        return std::nullopt;
    }
    auto item = [&](int block, int game) {
        const qsizetype at = qsizetype{kReplyBlockStride} * block + kReplyItemStride * game;
        if (at >= reply.size()) {
            return QString();
        }
        return reply.sliced(at, std::min<qsizetype>(kReplyItemLength, reply.size() - at))
            .toString();
    };
    std::array<PulseGameRead, kPulseGames> games;
    for (int n = 0; n < kPulseGames; ++n) {
        for (int k = 0; k < kPulseTextFields; ++k) {
            games[n].values.text(static_cast<PulseField>(k)) = item(k, n);
        }
        // Only a whole item naming a list position selects; a cut-off or strange item must not
        // quietly choose "Cashout".
        const QString hopper = item(static_cast<int>(PulseField::Hopper), n);
        const std::optional<QString> plain = plainDecimal(hopper);
        const bool named = hopper.size() == kReplyItemLength && plain &&
                           (*plain == QLatin1String("0") || *plain == QLatin1String("1"));
        games[n].hopperGiven = named;
        games[n].values.CmbHopper = named ? plain->toInt() : kHopperNone;
    }
    return games;
}

// ---------------------------------------------------------------------------------------------
// Board write

PulseWrite pulseWriteItems(const PulseGames& games) {
    constexpr double kLimit = 502.0;
    constexpr int64_t kItemLimit = 1000;  // four digits would shift every later item
    auto refused = [](PulseRefusal r) {
        PulseWrite w;
        w.refusal = std::move(r);
        return w;
    };
    auto textFields = [](auto&& visit) {
        for (int k = 0; k < kPulseTextFields; ++k) {
            visit(static_cast<PulseField>(k));
        }
    };

    // The board reads fixed four-character items, so every check runs over all games before
    // anything is sent, and missing boxes outrank every other fault.
    std::optional<PulseRefusal> found;
    for (int n = 0; n < kPulseGames && !found; ++n) {
        textFields([&](PulseField f) {
            if (!found && games[n].text(f).isEmpty()) {
                found = writeRefusal(QStringLiteral("ERROR MISSING INFORMATION"), n, f);
            }
        });
    }
    for (int n = 0; n < kPulseGames && !found; ++n) {
        const QString game = QStringLiteral("GAME #%1 ").arg(n + 1);
        textFields([&](PulseField f) {
            const QString& text = games[n].text(f);
            if (found) {
                return;
            }
            if (!plainDecimal(text)) {
                found = writeRefusal(game + pulseFieldLabel(f) +
                                         QStringLiteral(": \"%1\" IS NOT A NUMBER").arg(text),
                                     n, f);
            } else if (leadingNumber(text) < 0) {
                found = writeRefusal(
                    game + pulseFieldLabel(f) + QStringLiteral(": VALUES CANNOT BE NEGATIVE"), n,
                    f);
            }
        });
        const int hopper = games[n].CmbHopper;
        if (!found && hopper != kHopperCashout && hopper != kHopperHopper) {
            found = writeRefusal(game + pulseFieldLabel(PulseField::Hopper) +
                                     QStringLiteral(": SELECT Cashout OR Hopper"),
                                 n, PulseField::Hopper);
        }
    }
    for (int n = 0; n < kPulseGames && !found; ++n) {
        textFields([&](PulseField f) {
            if (!found && f != PulseField::Offset2 && leadingNumber(games[n].text(f)) > kLimit) {
                found =
                    writeRefusal(QStringLiteral("ONE OR SOME VALUES ARE EXCEEDING 255 ms"), n, f);
            }
        });
    }
    for (int n = 0; n < kPulseGames && !found; ++n) {
        if (roundHalfAway(leadingNumber(games[n].TxtOffset2)) >= kItemLimit) {
            found = writeRefusal(QStringLiteral("GAME #%1 ").arg(n + 1) +
                                     pulseFieldLabel(PulseField::Offset2) +
                                     QStringLiteral(": VALUE MUST BE BELOW 1000"),
                                 n, PulseField::Offset2);
        }
    }
    if (found) {
        return refused(std::move(*found));
    }

    PulseWrite write;
    write.items.reserve(kPulseFields * kPulseGames);
    for (int k = 0; k < kPulseFields; ++k) {
        const auto field = static_cast<PulseField>(k);
        for (const GamePulseSetting& game : games) {
            const double value = field == PulseField::Hopper ? double(game.CmbHopper)
                                                             : leadingNumber(game.text(field));
            write.items.push_back(frames::pulseWriteItem(value));
        }
    }
    return write;
}

}  // namespace tarvo
