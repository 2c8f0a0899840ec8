#include <gtest/gtest.h>

#include "support/board_harness.h"

// View Info, the parameter write and the coin in, against the simulated board.
namespace tarvo::test {
namespace {

TEST(EndToEndAccounting, ViewInfoFillsEveryDisplayWithTheBoardsValues) {
    BoardHarness h;
    auto& t = h.board().state().terminals;
    t[2].received = 1234;
    t[2].coin1 = 77;
    t[4].active = false;
    h.w().Option1->setChecked(true);
    ASSERT_TRUE(h.connect());
    h.w().cmdViewOnly->click();
    auto& w = h.w();
    EXPECT_TRUE(w.cmdViewOnly->isEnabled());
    EXPECT_EQ(w.TarvoBoardSerialNumber->text(), QString::fromLatin1(h.board().state().serial));
    EXPECT_EQ(w.FirmwareVersion->text(), QString::fromLatin1(h.board().state().firmware));
    EXPECT_EQ(w.PrinterFirmware->text(), QString::fromLatin1(h.board().state().printerFirmware));
    EXPECT_EQ(w.PrinterStatus->text(), QStringLiteral("No Errors"));
    EXPECT_EQ(w.SystemMessage->text(), QStringLiteral("Printer OK"));
    for (int n = 0; n < 6; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(w.PulseInPerPoint[n]->text(), QString::fromLatin1(t[n].pulseValueText()));
        EXPECT_EQ(w.PulseInMultiplier[n]->text(), QString::fromLatin1(t[n].multiplierText()));
        EXPECT_EQ(w.ValueIn[n]->text(), QString::fromLatin1(t[n].valueInText()));
        EXPECT_EQ(w.PrintMoneyOrPoints[n]->text(), QString::fromLatin1(t[n].printUnit));
        EXPECT_EQ(w.Status[n]->text(), n == 4 ? QStringLiteral("OFF") : QStringLiteral("ON"));
        EXPECT_EQ(w.TxtCoinInMultiA[n]->text().toInt(), t[n].coinMultA);
        EXPECT_EQ(w.TxtCoinInMultiB[n]->text().toInt(), t[n].coinMultB);
        EXPECT_EQ(w.Received[n]->text().trimmed().toLongLong(), t[n].received);
        EXPECT_EQ(w.CoinInA[n]->text().trimmed().toLongLong(), t[n].coin1);
        EXPECT_EQ(w.CoinInB[n]->text().trimmed().toLongLong(), t[n].coin2);
        EXPECT_EQ(w.Returned[n]->text().trimmed().toLongLong(), t[n].returned);
        EXPECT_EQ(w.PaidOut[n]->text().trimmed().toLongLong(), t[n].paidOut);
        // The editors open over the filled boxes with the matching items chosen.
        EXPECT_TRUE(w.cmbPulseValue[n]->isVisible());
        EXPECT_EQ(w.cmbPulseValue[n]->currentText(), w.PulseInPerPoint[n]->text());
        EXPECT_GE(w.cmbPulseValue[n]->listIndex(), 0);
        EXPECT_TRUE(w.cmdWriteToTarvo[n]->isVisible());
    }
    EXPECT_TRUE(h.board().protocolErrors().isEmpty())
        << h.board().protocolErrors().join('\n').toStdString();
}

TEST(EndToEndAccounting, AKitReportFillsTheFirstPanelOnly) {
    sim::BoardConfig config;
    config.kit = true;
    BoardHarness h(config);
    h.board().state().terminals[0].received = 4321;
    h.w().Option3->setChecked(true);
    ASSERT_TRUE(h.connect());
    auto& w = h.w();
    w.cmdViewOnly->click();
    EXPECT_EQ(w.Received[0]->text().trimmed().toLongLong(), 4321);
    EXPECT_EQ(w.PulseInPerPoint[0]->text(),
              QString::fromLatin1(h.board().state().terminals[0].pulseValueText()));
    EXPECT_EQ(w.ValueIn[0]->text(),
              QString::fromLatin1(h.board().state().terminals[0].valueInText()));
    for (int n = 1; n < 6; ++n) {
        EXPECT_TRUE(w.Received[n]->text().isEmpty()) << n;
        EXPECT_TRUE(w.PulseInPerPoint[n]->text().isEmpty()) << n;
        // Both multiplier lines still carry six values.
        EXPECT_FALSE(w.TxtCoinInMultiA[n]->text().isEmpty()) << n;
    }
}

TEST(EndToEndAccounting, AParameterWriteComesBackFromTheBoard) {
    BoardHarness h;
    h.w().Option1->setChecked(true);
    ASSERT_TRUE(h.connect());
    auto& w = h.w();
    w.cmdViewOnly->click();
    ASSERT_TRUE(w.cmdWriteToTarvo[3]->isVisible());
    w.cmbPulseValue[3]->setListIndex(8);       // "25"
    w.cmbPulseMultiplier[3]->setListIndex(9);  // "100"
    w.cmbValueIn[3]->setListIndex(1);          // "CENTS"
    w.cmdWriteToTarvo[3]->click();
    const auto& t = h.board().state().terminals[3];
    EXPECT_EQ(t.pulseValueText(), QByteArray("25"));
    EXPECT_EQ(t.multiplierText(), QByteArray("100"));
    EXPECT_TRUE(t.cents);
    // The automatic reconnect read the report again.
    EXPECT_EQ(w.Connect->text(), QStringLiteral("Disconnect"));
    EXPECT_EQ(w.PulseInPerPoint[3]->text(), QStringLiteral("25"));
    EXPECT_EQ(w.PulseInMultiplier[3]->text(), QStringLiteral("100"));
    EXPECT_EQ(w.ValueIn[3]->text(), QStringLiteral("CENTS"));
    EXPECT_TRUE(h.trace().contains(QStringLiteral("1D 54 4F 03 A5 28 21 00")));
    EXPECT_TRUE(h.board().protocolErrors().isEmpty())
        << h.board().protocolErrors().join('\n').toStdString();
}

TEST(EndToEndAccounting, ACoinInMovesTheReceivedMeterOfTheNextReport) {
    BoardHarness h;
    h.w().Option3->setChecked(true);
    ASSERT_TRUE(h.connect());
    auto& w = h.w();
    w.cmdViewOnly->click();
    const qint64 before = w.Received[0]->text().trimmed().toLongLong();
    const qint64 coinsBefore = w.CoinInA[0]->text().trimmed().toLongLong();
    w.PutCoinIn[0]->click();
    h.settle(300);
    w.cmdViewOnly->click();
    EXPECT_EQ(w.Received[0]->text().trimmed().toLongLong(),
              before + h.board().state().terminals[0].pulsesPerCoin);
    EXPECT_EQ(w.CoinInA[0]->text().trimmed().toLongLong(), coinsBefore + 1);
}

TEST(EndToEndAccounting, ClearMemoryZeroesTheMeters) {
    BoardHarness h;
    h.board().state().terminals[1].received = 500;
    h.w().Option3->setChecked(true);
    h.w().Option1->setChecked(true);
    ASSERT_TRUE(h.connect());
    h.w().ClearMemory->click();
    ASSERT_TRUE(h.waitFor([&] { return h.board().state().terminals[1].received == 0; }));
    EXPECT_EQ(h.w().SystemMessage->text(),
              QStringLiteral("Clearing memory, please wait 30 seconds..."));
}

}  // namespace
}  // namespace tarvo::test
