#include "platform/qsettings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/app_identity.h"

namespace tarvo {

namespace {

// IniFormat with UserScope would name the file ".ini"; the per-user file keeps the ".conf"
// name that Linux desktop programs use, in the same INI format.
QString storeFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/%1/%2.conf")
               .arg(QString::fromLatin1(kOrganizationName), QString::fromLatin1(kApplicationTitle));
}

}  // namespace

QSettingsStore::QSettingsStore() : QSettingsStore(storeFile()) {}

QSettingsStore::QSettingsStore(const QString& file) : settings_(file, QSettings::IniFormat) {}

QString QSettingsStore::path(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}

std::optional<QString> QSettingsStore::value(const QString& section, const QString& key) const {
    const QVariant v = settings_.value(path(section, key));
    if (!v.isValid()) {
        return std::nullopt;
    }
    // A hand-edited value with unquoted commas reads back as a list; keep it as text.
    if (v.typeId() == QMetaType::QStringList) {
        return v.toStringList().join(QStringLiteral(", "));
    }
    return v.toString();
}

void QSettingsStore::sync() {
    settings_.sync();
    syncError_.clear();
    if (settings_.status() == QSettings::NoError) {
        return;
    }
    // QSettings only says that it failed; trying the file the same way finds the reason.
    const QString file = settings_.fileName();
    QString reason = QStringLiteral("the file could not be written");
    if (settings_.status() == QSettings::FormatError) {
        reason = QStringLiteral("the file is not in INI format");
    } else if (const QString folder = QFileInfo(file).absolutePath(); !QDir().mkpath(folder)) {
        reason =
            QStringLiteral("the folder %1 cannot be made").arg(QDir::toNativeSeparators(folder));
    } else if (QFile probe(file); !probe.open(QIODevice::Append)) {
        reason = probe.errorString();
    }
    syncError_ = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file), reason);
}

void QSettingsStore::setValue(const QString& section, const QString& key, const QString& value) {
    settings_.setValue(path(section, key), value);
}

}  // namespace tarvo
