#include "core/meter_reading.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tarvo {

namespace {

struct TextField {
    const char* name;
    QString MeterReading::Terminal::*field;
};

// Every text field of a terminal, in record order.
const std::vector<TextField>& terminalFields() {
    using T = MeterReading::Terminal;
    static const std::vector<TextField> fields = {
        {"status", &T::status},
        {"pulseValue", &T::pulseValue},
        {"multiplier", &T::multiplier},
        {"valueIn", &T::valueIn},
        {"printUnit", &T::printUnit},
        {"received", &T::received},
        {"returned", &T::returned},
        {"paidOut", &T::paidOut},
        {"coinInA", &T::coinInA},
        {"coinInB", &T::coinInB},
        {"coinInMultiplierA", &T::coinInMultiplierA},
        {"coinInMultiplierB", &T::coinInMultiplierB},
    };
    return fields;
}

QString timeText(const QDateTime& time) {
    return time.toString(Qt::ISODate);
}

QString addressText(const MeterReading& r) {
    return r.address ? QString::number(*r.address) : QString();
}

QString csvField(const QString& value) {
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r'))) {
        return value;
    }
    QString quoted = value;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QJsonObject toJson(const MeterReading& r, bool withFlags) {
    QJsonObject o;
    o[QStringLiteral("time")] = timeText(r.time);
    o[QStringLiteral("port")] = r.port;
    o[QStringLiteral("address")] = r.address ? QJsonValue(*r.address) : QJsonValue();
    o[QStringLiteral("serialNumber")] = r.serialNumber;
    o[QStringLiteral("firmwareVersion")] = r.firmwareVersion;
    o[QStringLiteral("printerFirmware")] = r.printerFirmware;
    o[QStringLiteral("printerStatus")] = r.printerStatus;
    o[QStringLiteral("error")] = r.error.isEmpty() ? QJsonValue() : QJsonValue(r.error);
    QJsonArray terminals;
    for (const auto& t : r.terminals) {
        QJsonObject jt;
        jt[QStringLiteral("terminal")] = t.number;
        for (const auto& f : terminalFields()) {
            jt[QLatin1String(f.name)] = t.*f.field;
        }
        if (withFlags) {
            jt[QStringLiteral("wentBackwards")] = QJsonArray::fromStringList(t.wentBackwards);
        }
        terminals.append(jt);
    }
    o[QStringLiteral("terminals")] = terminals;
    return o;
}

QString csv(const std::vector<MeterReading>& readings, bool withFlags) {
    QStringList header = {
        "time",          "port",  "address", "serialNumber", "firmwareVersion", "printerFirmware",
        "printerStatus", "error", "terminal"};
    for (const auto& f : terminalFields()) {
        header << QLatin1String(f.name);
    }
    if (withFlags) {
        header << QStringLiteral("wentBackwards");
    }
    QString out = header.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    for (const auto& r : readings) {
        const QStringList board = {
            timeText(r.time),  r.port,          addressText(r), r.serialNumber, r.firmwareVersion,
            r.printerFirmware, r.printerStatus, r.error};
        auto row = [&](const MeterReading::Terminal* t) {
            QStringList cells;
            for (const auto& c : board) {
                cells << csvField(c);
            }
            cells << (t ? QString::number(t->number) : QString());
            for (const auto& f : terminalFields()) {
                cells << (t ? csvField(t->*f.field) : QString());
            }
            if (withFlags) {
                cells << (t ? csvField(t->wentBackwards.join(QLatin1Char(' '))) : QString());
            }
            out += cells.join(QLatin1Char(',')) + QStringLiteral("\r\n");
        };
        if (r.terminals.empty()) {
            row(nullptr);  // a board that did not answer still has its row
        }
        for (const auto& t : r.terminals) {
            row(&t);
        }
    }
    return out;
}

QString text(const std::vector<MeterReading>& readings, bool withFlags) {
    QString out;
    for (const auto& r : readings) {
        out += QStringLiteral("%1  %2").arg(timeText(r.time), r.port);
        if (r.address) {
            out += QStringLiteral("  address %1").arg(*r.address);
        }
        out += QLatin1Char('\n');
        if (!r.error.isEmpty()) {
            out += QStringLiteral("  ERROR: %1\n").arg(r.error);
        }
        out += QStringLiteral("  Serial %1  Firmware %2  Printer %3 %4\n")
                   .arg(r.serialNumber, r.firmwareVersion, r.printerFirmware, r.printerStatus);
        for (const auto& t : r.terminals) {
            out +=
                QStringLiteral("  Terminal %1  %2  pulse %3 x %4 %5 print %6  in mult A %7 B %8\n")
                    .arg(t.number)
                    .arg(t.status, t.pulseValue, t.multiplier, t.valueIn, t.printUnit,
                         t.coinInMultiplierA, t.coinInMultiplierB);
            out +=
                QStringLiteral("    received %1  returned %2  paid out %3  coin A %4  coin B %5\n")
                    .arg(t.received, t.returned, t.paidOut, t.coinInA, t.coinInB);
            if (withFlags && !t.wentBackwards.isEmpty()) {
                out += QStringLiteral("    WENT BACKWARDS: %1\n")
                           .arg(t.wentBackwards.join(QStringLiteral(", ")));
            }
        }
        out += QLatin1Char('\n');
    }
    return out;
}

}  // namespace

MeterReading readingFromReport(const MeterReport& report, bool kit) {
    MeterReading r;
    r.serialNumber = report.serialNumber;
    r.firmwareVersion = report.firmwareVersion;
    r.printerFirmware = report.printerFirmware;
    r.printerStatus = report.printerStatus;
    const int count = kit ? 1 : 6;
    for (int n = 0; n < count; ++n) {
        MeterReading::Terminal t;
        t.number = n + 1;
        t.status = report.status[n];
        t.pulseValue = report.pulseInPerPoint[n];
        t.multiplier = report.pulseInMultiplier[n];
        t.valueIn = report.valueIn[n];
        t.printUnit = report.printMoneyOrPoints[n];
        t.received = report.received[n];
        t.returned = report.returned[n];
        t.paidOut = report.paidOut[n];
        t.coinInA = report.coinInA[n];
        t.coinInB = report.coinInB[n];
        t.coinInMultiplierA = report.coinInMultiA[n];
        t.coinInMultiplierB = report.coinInMultiB[n];
        r.terminals.push_back(t);
    }
    return r;
}

const std::vector<MeterField>& meterFields() {
    using T = MeterReading::Terminal;
    static const std::vector<MeterField> fields = {
        {"received", &T::received}, {"returned", &T::returned}, {"paidOut", &T::paidOut},
        {"coinInA", &T::coinInA},   {"coinInB", &T::coinInB},
    };
    return fields;
}

std::optional<RecordFormat> recordFormat(const QString& name) {
    if (name == QLatin1String("json")) {
        return RecordFormat::Json;
    }
    if (name == QLatin1String("csv")) {
        return RecordFormat::Csv;
    }
    if (name == QLatin1String("text")) {
        return RecordFormat::Text;
    }
    return std::nullopt;
}

QString formatReadings(const std::vector<MeterReading>& readings, RecordFormat format,
                       bool withFlags) {
    switch (format) {
        case RecordFormat::Json: {
            QJsonArray all;
            for (const auto& r : readings) {
                all.append(toJson(r, withFlags));
            }
            return QString::fromUtf8(QJsonDocument(all).toJson(QJsonDocument::Indented));
        }
        case RecordFormat::Csv:
            return csv(readings, withFlags);
        case RecordFormat::Text:
            return text(readings, withFlags);
    }
    return {};
}

}  // namespace tarvo
