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

    const QJsonArray json =
        QJsonDocument::fromJson(formatReadings({r}, RecordFormat::Json, true).toUtf8()).array();
    ASSERT_EQ(json.size(), 1);
    const QJsonObject o = json[0].toObject();
    EXPECT_EQ(o["address"].toInt(), 5);
    EXPECT_TRUE(o["error"].isNull());
    EXPECT_EQ(o["serialNumber"].toString(), "TB104217");
    const QJsonObject t = o["terminals"].toArray()[0].toObject();
    EXPECT_EQ(t["received"].toString(), "000001001");
    EXPECT_EQ(t["wentBackwards"].toArray()[0].toString(), "received");

    const QStringList csv = formatReadings({r}, RecordFormat::Csv, false).split("\r\n");
    ASSERT_EQ(csv.size(), 3);  // header, one terminal, the empty rest after the last CR LF
    EXPECT_TRUE(csv[0].startsWith("time,port,address,serialNumber"));
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

}  // namespace
}  // namespace tarvo
