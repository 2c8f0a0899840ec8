#include "core/pulse_files.h"
#include "core/pulse_settings.h"

#include <gtest/gtest.h>
#include <QStringList>

namespace tarvo {
namespace {

std::vector<int> risingEdges(const std::vector<PlotSegment>& lines) {
    std::vector<int> xs;
    for (const PlotSegment& s : lines) {
        if (s.x1 == s.x2 && s.y1 == kPlotIdleY && s.y2 == kPlotActiveY && s.x1 >= 0) {
            xs.push_back(s.x1);
        }
    }
    return xs;
}

std::vector<int> every(int from, int to, int step) {
    std::vector<int> xs;
    for (int x = from; x <= to; x += step) {
        xs.push_back(x);
    }
    return xs;
}

TEST(PulsePlot, Segments) {
    struct Case {
        const char* name;
        int32_t offset, on, off;
        int baselineEnd;
        std::vector<int> edges;  // rising edges at x >= 0, the final one included
        size_t lines;
    };
    const std::vector<Case> cases = {
        {"10/40", 0, 10, 40, 20, every(20, 620, 50), 50},
        {"offset 30", 30, 10, 40, 50, every(50, 600, 50), 2 + 4 * 11},
        {"on time 0", 0, 0, 40, 20, {}, 1},
        {"negative off time", 0, 10, -1, 20, {}, 1},
        {"offset 580", 580, 10, 40, 600, {600}, 2},
        {"offset 579", 579, 10, 40, 599, {599, 649}, 6},
        {"most negative offset", INT32_MIN, 1, 1, -1'000'000, every(0, 600, 2), 2 + 4 * 301 + 1},
        {"largest offset", INT32_MAX, 1, 1, 1'000'000, {1'000'000}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<PlotSegment> lines = plotSegments(c.offset, c.on, c.off);
        ASSERT_EQ(lines.size(), c.lines);
        EXPECT_EQ(lines[0], (PlotSegment{0, 5, c.baselineEnd, 5}));
        EXPECT_EQ(risingEdges(lines), c.edges);
        for (size_t i = 1; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].x1, lines[i - 1].x2) << i;
            EXPECT_EQ(lines[i].y1, lines[i - 1].y2) << i;
        }
        if (!c.edges.empty()) {
            EXPECT_EQ(lines.back(), (PlotSegment{c.edges.back(), 5, c.edges.back(), 25}));
        }
    }
    // One full period of the 10/40 train, as drawn.
    const std::vector<PlotSegment> lines = plotSegments(0, 10, 40);
    const std::vector<PlotSegment> first = {
        {0, 5, 20, 5}, {20, 5, 20, 25}, {20, 25, 30, 25}, {30, 25, 30, 5}, {30, 5, 70, 5}};
    EXPECT_EQ(std::vector<PlotSegment>(lines.begin(), lines.begin() + 5), first);
}

GamePulseSetting game(const QString& on, const QString& off, const QString& offset) {
    GamePulseSetting g;
    g.TxtPulse1On = g.TxtPulse2On = g.txtHopperOn = on;
    g.TxtPulse1OFF = g.TxtPulse2Off = g.TxtHopperOff = off;
    g.TxtOffset = offset;
    return g;
}

TEST(PulsePlot, GameRowsAndRequiredBoxes) {
    // Halves go to the even neighbour: 7.5 draws 8 wide, 6.5 draws 6.
    const std::vector<std::pair<QString, int>> widths = {{"7.5", 8}, {"6.5", 6}, {"12abc", 12}};
    for (const auto& [on, width] : widths) {
        const std::optional<GamePlot> plot = gamePlot(game(on, "40", "30"));
        ASSERT_TRUE(plot);
        EXPECT_EQ(plot->mechPulse1[2].x2 - plot->mechPulse1[2].x1, width) << on.toStdString();
        EXPECT_EQ(plot->mechPulse2[0].x2, 50);
        EXPECT_EQ(plot->hopper[0].x2, 20);
    }
    // Each of the seven boxes is needed; TxtOffset2 is not.
    for (int k = 0; k < kPulseTextFields; ++k) {
        GamePulseSetting g = game("10", "40", "0");
        g.TxtOffset2 = "1";
        g.text(static_cast<PulseField>(k)).clear();
        EXPECT_EQ(gamePlot(g).has_value(), static_cast<PulseField>(k) == PulseField::Offset2) << k;
    }
}

// A reply as the response box holds it: items "ddd" and a blank, a line end after each block.
QString reply(const QStringList& hopperItems) {
    QString text;
    for (int k = 0; k < 8; ++k) {
        for (int n = 0; n < 6; ++n) {
            text += QStringLiteral("%1 ").arg(k * 50 + n, 3, 10, QChar(u'0'));
        }
        text += "\r\n";
    }
    return text + hopperItems.join(u' ');
}

TEST(PulseReply, ItemsAndLengths) {
    const QString full = reply({"000", "001", "002", " 1x", "001", "000"});
    ASSERT_EQ(full.size(), kPulseReplyFull);
    const auto games = readPulseReply(full);
    ASSERT_TRUE(games);
    EXPECT_EQ((*games)[0].values.TxtPulse1On, "000");
    EXPECT_EQ((*games)[1].values.TxtPulse1OFF, "051");
    EXPECT_EQ((*games)[5].values.TxtOffset2, "355");
    const std::vector<int> hopper = {0, 1, -1, -1, 1, 0};
    for (int n = 0; n < kPulseGames; ++n) {
        EXPECT_EQ((*games)[n].hopperGiven, hopper[n] >= 0) << n;
        EXPECT_EQ((*games)[n].values.CmbHopper, hopper[n]) << n;
    }

    for (const int length : {206, 207, 210, 211, 230}) {
        const auto part = readPulseReply(QStringView(full).first(length));
        ASSERT_EQ(part.has_value(), length >= 207) << length;
        if (part) {
            EXPECT_EQ((*part)[5].values.TxtOffset2, "355") << length;
            // A cut-off hopper item selects nothing; game 0's item is whole from 211 on.
            EXPECT_EQ((*part)[0].hopperGiven, length >= 211) << length;
            EXPECT_FALSE((*part)[5].hopperGiven) << length;
        }
    }
}

PulseGames validGames() {
    PulseGames games;
    for (int n = 0; n < kPulseGames; ++n) {
        for (int k = 0; k < kPulseTextFields; ++k) {
            games[n].text(static_cast<PulseField>(k)) = QString::number(k * 60 + n);
        }
        games[n].CmbHopper = n % 2;
    }
    return games;
}

// Every item being three digits and a blank is the fuzz target's check.
TEST(PulseWrite, ItemsInBlockOrder) {
    PulseGames games = validGames();
    games[0].TxtPulse1On = "12.5";
    games[1].TxtPulse1On = " 502 ";
    games[2].TxtOffset2 = "999";
    games[3].TxtPulse2Off = "-0";
    const PulseWrite w = pulseWriteItems(games);
    ASSERT_TRUE(w.accepted());
    ASSERT_EQ(w.items.size(), 54u);
    EXPECT_EQ(w.items[0], "013 ");
    EXPECT_EQ(w.items[1], "502 ");
    EXPECT_EQ(w.items[6 + 4], "064 ");      // TxtPulse1OFF of game 4
    EXPECT_EQ(w.items[7 * 6 + 2], "999 ");  // TxtOffset2 of game 2
    EXPECT_EQ(w.items[5 * 6 + 3], "000 ");  // "-0"
    EXPECT_EQ(w.items[8 * 6 + 5], "001 ");  // hopper of game 5
}

// Game (counted from 1), box and new text; the hopper box stands for an empty hopper choice.
using Change = std::tuple<int, PulseField, QString>;
using P = PulseField;

PulseGames changed(PulseGames games, const std::vector<Change>& changes) {
    for (const auto& [game, field, text] : changes) {
        if (field == P::Hopper) {
            games[game - 1].CmbHopper = -1;
        } else {
            games[game - 1].text(field) = text;
        }
    }
    return games;
}

// Each refusal names the box of the last change.
TEST(PulseWrite, Refusals) {
    const QString exceeding = "ONE OR SOME VALUES ARE EXCEEDING 255 ms";
    const QString below1000 = "GAME #2 Mech Pulse #2 OFFSET 2: VALUE MUST BE BELOW 1000";
    const std::vector<std::pair<std::vector<Change>, QString>> cases = {
        // Missing information outranks the faults of earlier games.
        {{{1, P::Pulse1On, "503"}, {1, P::Hopper, ""}, {5, P::Offset2, ""}},
         "ERROR MISSING INFORMATION"},
        {{{4, P::Pulse1On, "503"}}, exceeding},
        {{{1, P::Offset, "502.4"}}, exceeding},
        // Trailing characters outrank a value over the limit.
        {{{1, P::Pulse1On, "503"}, {2, P::Pulse2Off, "12abc"}},
         "GAME #2 Mech Pulse #2 OFF: \"12abc\" IS NOT A NUMBER"},
        {{{3, P::HopperOn, "1 2"}}, "GAME #3 Hopper /Cashout ON: \"1 2\" IS NOT A NUMBER"},
        {{{3, P::HopperOff, "-0.4"}}, "GAME #3 Hopper /Cashout OFF: VALUES CANNOT BE NEGATIVE"},
        {{{6, P::Hopper, ""}}, "GAME #6 Hopper /Cashout: SELECT Cashout OR Hopper"},
        {{{2, P::Offset2, "1000"}}, below1000},
        {{{2, P::Offset2, "999.5"}}, below1000},
    };
    for (const auto& [changes, text] : cases) {
        SCOPED_TRACE(text.toStdString() + " " + std::get<2>(changes.back()).toStdString());
        const PulseWrite w = pulseWriteItems(changed(validGames(), changes));
        ASSERT_FALSE(w.accepted());
        EXPECT_TRUE(w.items.empty());
        EXPECT_EQ(w.refusal->text, text);
        EXPECT_EQ(w.refusal->title, "ERROR ON WRITING");
        EXPECT_EQ(w.refusal->game, std::get<0>(changes.back()));
        EXPECT_EQ(w.refusal->field, std::get<1>(changes.back()));
    }
}

// Numbers come back from a game file in plain form, other text as it was.
TEST(PulseFiles, TemplateAndGameBytesAndTheGameReadBack) {
    EXPECT_EQ(templateFileBytes(PulseGames{}),
              QByteArray("\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n-1 \r\n").repeated(6));
    GamePulseSetting g;
    g.TxtPulse1On = "005";
    g.TxtPulse1OFF = "7.50";
    g.txtHopperOn = "abc";
    g.TxtHopperOff = "";
    g.TxtOffset = " 30";
    g.TxtOffset2 = "12 x";
    g.TxtPulse2On = "-0";
    g.TxtPulse2Off = "caf\u00e9";
    g.CmbHopper = kHopperHopper;
    EXPECT_EQ(gameFileBytes(g),
              "005\r\n7.50\r\nabc\r\n\r\n 30\r\n12 x\r\n-0\r\ncaf\xE9\r\n 1 \r\n");
    const PulseFileLoad load = readGameFile(gameFileBytes(g));
    ASSERT_TRUE(load.ok()) << load.error.toStdString();
    ASSERT_EQ(load.games.size(), 1u);
    GamePulseSetting loaded;
    load.games[0].applyTo(loaded);
    g.TxtPulse1On = "5";
    g.TxtPulse1OFF = "7.5";
    g.TxtOffset = "30";
    g.TxtPulse2On = "0";
    EXPECT_EQ(loaded, g);

    GamePulseSetting cashout;
    cashout.TxtOffset2 = "a\r\nb";  // a line break must not move the values after it
    cashout.CmbHopper = kHopperCashout;
    EXPECT_EQ(gameFileBytes(cashout), "\r\n\r\n\r\n\r\n\r\na  b\r\n\r\n\r\n 0 \r\n");
}

TEST(PulseFiles, Reading) {
    const QByteArray nine = "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n 1 \r\n";
    struct Case {
        const char* name;
        QByteArray bytes;
        bool ok;
        QString pulse1On, offset2;  // game 0
        int hopper;                 // -2: not given
    };
    const std::vector<Case> cases = {
        {"plain", nine, true, "1", "6", 1},
        {"commas end values, nothing shifts", "12,5\r\n2\r\n3\r\n4\r\n5\r\n,6\r\n7\r\n8\r\n0,1\r\n",
         true, "12", "", 0},
        {"LF only, no final end", QByteArray(nine).replace("\r", "").chopped(1), true, "1", "6", 1},
        {"hopper 2 names nothing", QByteArray(nine).replace(" 1 ", "2"), true, "1", "6", -2},
        {"empty hopper names nothing", QByteArray(nine).replace(" 1 ", ""), true, "1", "6", -2},
        {"hopper -1", QByteArray(nine).replace(" 1 ", "-1 "), true, "1", "6", -1},
        {"short file", nine.chopped(7), false, {}, {}, 0},
        {"empty file", "", false, {}, {}, 0},
        {"binary", QByteArray("\x0C\x0D\x0E\x00\x01\x02", 6) + nine, false, {}, {}, 0},
        {"oversized", nine + QByteArray(kGameFileMaxBytes, 'x'), false, {}, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PulseFileLoad load = readGameFile(c.bytes);
        ASSERT_EQ(load.ok(), c.ok) << load.error.toStdString();
        if (!c.ok) {
            EXPECT_TRUE(load.games.empty());
            EXPECT_FALSE(load.error.isEmpty());
            continue;
        }
        EXPECT_EQ(load.games[0].values.TxtPulse1On, c.pulse1On);
        EXPECT_EQ(load.games[0].values.TxtOffset2, c.offset2);
        EXPECT_EQ(load.games[0].hopperGiven ? load.games[0].values.CmbHopper : -2, c.hopper);
    }
    // A template needs all six games; a game loader takes the first game of one.
    const QByteArray six = nine.repeated(6);
    EXPECT_EQ(readTemplateFile(six).games.size(), 6u);
    EXPECT_FALSE(readTemplateFile(nine.repeated(5)).ok());
    EXPECT_TRUE(readGameFile(six).ok());
}

TEST(PulseFiles, Bix) {
    PulseGames games;
    for (int n = 0; n < kPulseGames; ++n) {
        games[n].TxtPulse1On = QString::number(25 + n);
        games[n].txtHopperOn = "510";
        games[n].TxtPulse2On = n == 0 ? "" : "abc";
        games[n].TxtPulse1OFF = "4";
        games[n].TxtHopperOff = "5";
        games[n].TxtPulse2Off = "7";
        games[n].TxtOffset = "502";
        games[n].TxtOffset2 = "3.5";
        games[n].CmbHopper = n % 2;
    }
    const PulseBix bix = bixFileBytes(games);
    ASSERT_TRUE(bix.accepted());
    const QByteArray expected = QByteArray::fromHex(
        "0C0D0E0E0E0F FFFFFFFFFFFF 000000000000 020202020202 020202020202"
        "040404040404 FBFBFBFBFBFB 020202020202 000100010001");
    EXPECT_EQ(bix.bytes.toHex(' '), expected.toHex(' '));

    const std::pair<Change, QString> refusals[] = {
        {{2, P::Offset2, "510.5"},
         "GAME #2 Mech Pulse #2 OFFSET 2: A BIX FILE HOLDS AT MOST 510 ms"},
        {{6, P::Pulse2Off, "-2"}, "GAME #6 Mech Pulse #2 OFF: VALUES CANNOT BE NEGATIVE"},
        {{1, P::Hopper, ""}, "GAME #1 Hopper /Cashout: SELECT Cashout OR Hopper"},
    };
    for (const auto& [change, text] : refusals) {
        const PulseBix refused = bixFileBytes(changed(games, {change}));
        ASSERT_FALSE(refused.accepted()) << text.toStdString();
        EXPECT_TRUE(refused.bytes.isEmpty());
        EXPECT_EQ(refused.refusal->text, text);
        EXPECT_EQ(refused.refusal->game, std::get<0>(change));
    }
}

TEST(PulseFiles, ChosenNames) {
    const std::vector<std::tuple<QString, QString, QString>> cases = {
        {"Save Game File", "/d/pulse", "/d/pulse.gam"},
        {"Save Game File", "/d/pulse.gam", "/d/pulse.gam"},
        {"Save Game File", "/d/pulse.GAM", "/d/pulse.GAM.gam"},
        {"Save Template File", "/d/std", "/d/std.set"},
        {"Save Template File", "/d/std.set", "/d/std.set"},
        {"Open Game File", "/d/std", "/d/std"},
        {"Create Bix File", "/F/tank", "/F/K7731_tank.bix"},
        {"Create Bix File", "/F/tank.bix", "/F/K7731_tank.bix"},
        {"Create Bix File", "/F/K7731_tank", "/F/K7731_tank.bix"},
        {"Create Bix File", "/F/tank.BIX", "/F/K7731_tank.BIX.bix"},
        {"Create Bix File", "tank", "K7731_tank.bix"},
        {"Create Bix File", "", ""},
    };
    for (const auto& [title, path, expected] : cases) {
        EXPECT_EQ(pulseChosenFileName(title, path), expected) << path.toStdString();
    }
}

}  // namespace
}  // namespace tarvo
