#include "core/pulse_files.h"

#include <gtest/gtest.h>
#include <functional>

namespace tarvo {
namespace {

GamePulseSetting sample() {
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
    return g;
}

TEST(PulseFiles, TemplateAndGameBytes) {
    EXPECT_EQ(templateFileBytes(PulseGames{}),
              QByteArray("\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n-1 \r\n").repeated(6));
    EXPECT_EQ(gameFileBytes(sample()),
              "005\r\n7.50\r\nabc\r\n\r\n 30\r\n12 x\r\n-0\r\ncaf\xE9\r\n 1 \r\n");
    GamePulseSetting cashout;
    cashout.TxtOffset2 = "a\r\nb";  // a line break must not move the values after it
    cashout.CmbHopper = kHopperCashout;
    EXPECT_EQ(gameFileBytes(cashout), "\r\n\r\n\r\n\r\n\r\na  b\r\n\r\n\r\n 0 \r\n");
}

// Numbers come back in plain form, other text as it was.
TEST(PulseFiles, GameFileRoundTrip) {
    const PulseFileLoad load = readGameFile(gameFileBytes(sample()));
    ASSERT_TRUE(load.ok()) << load.error.toStdString();
    ASSERT_EQ(load.games.size(), 1u);
    GamePulseSetting loaded;
    load.games[0].applyTo(loaded);
    GamePulseSetting expected = sample();
    expected.TxtPulse1On = "5";
    expected.TxtPulse1OFF = "7.5";
    expected.TxtOffset = "30";
    expected.TxtPulse2On = "0";
    EXPECT_EQ(loaded, expected);
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
        {"LF lines, no final line end", QByteArray(nine).replace("\r", "").chopped(1), true, "1",
         "6", 1},
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
        EXPECT_EQ(load.games[0].hopperGiven, c.hopper != -2);
        if (c.hopper != -2) {
            EXPECT_EQ(load.games[0].values.CmbHopper, c.hopper);
        }
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

    struct Case {
        const char* name;
        std::function<void(PulseGames&)> change;
        QString text;
        int game;
    };
    const std::vector<Case> cases = {
        {"511", [](PulseGames& g) { g[1].TxtOffset2 = "510.5"; },
         "GAME #2 Mech Pulse #2 OFFSET 2: A BIX FILE HOLDS AT MOST 510 ms", 2},
        {"negative", [](PulseGames& g) { g[5].TxtPulse2Off = "-2"; },
         "GAME #6 Mech Pulse #2 OFF: VALUES CANNOT BE NEGATIVE", 6},
        {"no hopper", [](PulseGames& g) { g[0].CmbHopper = -1; },
         "GAME #1 Hopper /Cashout: SELECT Cashout OR Hopper", 1},
    };
    for (const Case& c : cases) {
        PulseGames changed = games;
        c.change(changed);
        const PulseBix refused = bixFileBytes(changed);
        ASSERT_FALSE(refused.accepted()) << c.name;
        EXPECT_TRUE(refused.bytes.isEmpty());
        EXPECT_EQ(refused.refusal->text, c.text);
        EXPECT_EQ(refused.refusal->game, c.game);
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
