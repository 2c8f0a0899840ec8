#include "core/meter_reading.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tarvo {

namespace {

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
        for (const auto& f : kTerminalFields) {
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
    for (const auto& f : kTerminalFields) {
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
            for (const auto& f : kTerminalFields) {
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
            QStringList meters;
            for (const auto& f : meterFields()) {
                meters << QLatin1String(f.meterLabel) + QLatin1Char(' ') + t.*f.field;
            }
            out += QStringLiteral("    ") + meters.join(QStringLiteral("  ")) + QLatin1Char('\n');
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
    r.serialNumber = report.boardSerial.value_or(report.serialNumber);
    r.firmwareVersion = report.firmwareVersion;
    r.printerFirmware = report.printerFirmware;
    r.printerStatus = report.printerStatus;
    const int count = kit ? 1 : 6;
    for (int n = 0; n < count; ++n) {
        MeterReading::Terminal t;
        t.number = n + 1;
        for (const auto& f : kTerminalFields) {
            t.*f.field = (report.*f.report)[static_cast<size_t>(n)];
        }
        r.terminals.push_back(t);
    }
    return r;
}

const std::vector<TerminalField>& meterFields() {
    static const std::vector<TerminalField> meters = [] {
        std::vector<TerminalField> out;
        for (const auto& f : kTerminalFields) {
            if (f.meterLabel) {
                out.push_back(f);
            }
        }
        return out;
    }();
    return meters;
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
