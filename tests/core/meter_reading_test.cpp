#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "core/meter_reading.h"

namespace tarvo {
namespace {

MeterReading sample() {
    MeterReport report;
    report.serialNumber = QStringLiteral("TB104217");
    report.printerStatus = QStringLiteral("No Errors");
    report.received[0] = QStringLiteral("000001001");
    report.status[0] = QStringLiteral("IDLE, \"odd\"");
    MeterReading r = readingFromReport(report, true);
    r.time = QDateTime(QDate(2026, 3, 7), QTime(9, 5, 0));
    r.port = QStringLiteral("Com1");
    r.address = 5;
    r.terminals[0].wentBackwards = {QStringLiteral("received")};
    return r;
}

TEST(MeterReading, FormatsHoldTheDisplayedValues) {
    const MeterReading r = sample();
    ASSERT_EQ(r.terminals.size(), 1u);  // a kit has one terminal
    EXPECT_EQ(readingFromReport(MeterReport{}, false).terminals.size(), 6u);

    const QJsonObject o =
        QJsonDocument::fromJson(formatReadings({r}, RecordFormat::Json, true).toUtf8())
            .array()[0]
            .toObject();
    EXPECT_EQ(o["address"].toInt(), 5);
    EXPECT_TRUE(o["error"].isNull());
    EXPECT_EQ(o["serialNumber"].toString(), "TB104217");
    EXPECT_EQ(o[u"terminals"][0][u"wentBackwards"][0].toString(), "received");

    const QStringList csv = formatReadings({r}, RecordFormat::Csv, false).split("\r\n");
    ASSERT_EQ(csv.size(), 3);  // header, one terminal, the empty rest after the last CR LF
    EXPECT_FALSE(csv[0].contains("wentBackwards"));
    EXPECT_EQ(csv[1],
              "2026-03-07T09:05:00,Com1,5,TB104217,,,No Errors,,1,\"IDLE, \"\"odd\"\"\",,,,,"
              "000001001,,,,,,");

    MeterReading silent;
    silent.port = QStringLiteral("Com1");
    silent.error = QStringLiteral("no answer");
    const QStringList rows = formatReadings({silent}, RecordFormat::Csv, false).split("\r\n");
    EXPECT_TRUE(rows[1].contains("no answer"));
    EXPECT_TRUE(formatReadings({silent}, RecordFormat::Text, false).contains("ERROR: no answer"));
    EXPECT_FALSE(recordFormat("xml"));
}

// Each report value lands in its own record field, and the record forms name and place it
// as before: a field swapped or dropped in the field table shows here.
TEST(MeterReading, EveryReportValueKeepsItsNameAndPlace) {
    MeterReport report;
    for (size_t n = 0; n < 6; ++n) {
        const QString t = QString::number(n + 1);
        report.status[n] = "st" + t;
        report.pulseInPerPoint[n] = "pv" + t;
        report.pulseInMultiplier[n] = "mu" + t;
        report.valueIn[n] = "vi" + t;
        report.printMoneyOrPoints[n] = "pu" + t;
        report.received[n] = "rc" + t;
        report.returned[n] = "rt" + t;
        report.paidOut[n] = "po" + t;
        report.coinInA[n] = "ca" + t;
        report.coinInB[n] = "cb" + t;
        report.coinInMultiA[n] = "ma" + t;
        report.coinInMultiB[n] = "mb" + t;
    }
    MeterReading r = readingFromReport(report, false);
    r.time = QDateTime(QDate(2026, 3, 7), QTime(9, 5, 0));
    r.port = QStringLiteral("Com2");

    const QJsonObject t3 =
        QJsonDocument::fromJson(formatReadings({r}, RecordFormat::Json, false).toUtf8())
            .array()[0][u"terminals"][2]
            .toObject();
    const std::pair<const char*, const char*> json[] = {
        {"status", "st3"},   {"pulseValue", "pv3"},        {"multiplier", "mu3"},
        {"valueIn", "vi3"},  {"printUnit", "pu3"},         {"received", "rc3"},
        {"returned", "rt3"}, {"paidOut", "po3"},           {"coinInA", "ca3"},
        {"coinInB", "cb3"},  {"coinInMultiplierA", "ma3"}, {"coinInMultiplierB", "mb3"}};
    for (const auto& [key, value] : json) {
        EXPECT_EQ(t3[key].toString(), value) << key;
    }

    const QStringList csv = formatReadings({r}, RecordFormat::Csv, true).split("\r\n");
    EXPECT_EQ(csv[0],
              "time,port,address,serialNumber,firmwareVersion,printerFirmware,printerStatus,error,"
              "terminal,status,pulseValue,multiplier,valueIn,printUnit,received,returned,paidOut,"
              "coinInA,coinInB,coinInMultiplierA,coinInMultiplierB,wentBackwards");
    EXPECT_EQ(csv[6],
              "2026-03-07T09:05:00,Com2,,,,,,,6,st6,pv6,mu6,vi6,pu6,rc6,rt6,po6,ca6,cb6,"
              "ma6,mb6,");

    const QStringList text = formatReadings({r}, RecordFormat::Text, false).split('\n');
    EXPECT_EQ(text[4], "  Terminal 2  st2  pulse pv2 x mu2 vi2 print pu2  in mult A ma2 B mb2");
    EXPECT_EQ(text[5], "    received rc2  returned rt2  paid out po2  coin A ca2  coin B cb2");
}

}  // namespace
}  // namespace tarvo
