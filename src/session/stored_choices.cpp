#include "session/stored_choices.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace tarvo {

namespace {

const QString kSection = QStringLiteral("Options");
const char* const kTargetKeys[4] = {"TargetBrisko", "TargetTarvoBoardSystem", "TargetTarvoBoardKit",
                                    "Cashless"};

std::optional<int> storedInt(const SettingsStore& store, const char* key, int min, int max) {
    const auto text = store.value(kSection, QString::fromLatin1(key));
    if (!text) {
        return std::nullopt;
    }
    bool ok = false;
    const int value = text->trimmed().toInt(&ok);
    if (!ok || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<bool> storedBool(const SettingsStore& store, const char* key) {
    const auto text = store.value(kSection, QString::fromLatin1(key));
    if (!text) {
        return std::nullopt;
    }
    const QString word = text->trimmed();
    if (word.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (word.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
        return false;
    }
    bool ok = false;
    const int number = word.toInt(&ok);
    return ok ? std::optional<bool>(number != 0) : std::nullopt;
}

QString word(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

}  // namespace

StoredChoices readStoredChoices(const SettingsStore& store) {
    StoredChoices c;
    c.interfacePosition = storedInt(store, "Interface", 0, 32).value_or(c.interfacePosition);
    for (int i = 0; i < 4; ++i) {
        c.locationInfo[i] =
            store.value(kSection, QStringLiteral("LocationInfo%1").arg(i + 1)).value_or(QString());
    }
    for (int i = 0; i < 8; ++i) {
        c.lawInfo[i] =
            store.value(kSection, QStringLiteral("LawInfo%1").arg(i + 1)).value_or(QString());
    }
    for (int i = 0; i < 4; ++i) {
        c.targets[i] = storedBool(store, kTargetKeys[i]).value_or(c.targets[i]);
    }
    // The pause is delay x delay milliseconds; any larger stored delay is taken as the largest
    // whose pause stays within a second, so no frame holds the line (or a stop) longer.
    c.addressBitDelay =
        std::min(storedInt(store, "RTAddressBitDelay", 0, std::numeric_limits<int>::max())
                     .value_or(c.addressBitDelay),
                 kLargestAddressBitDelay);
    c.multiDropPosition = storedInt(store, "MultiDropAddress", 0, 33).value_or(c.multiDropPosition);
    return c;
}

QString writeStoredChoices(SettingsStore& store, const StoredChoices& c) {
    store.setValue(kSection, QStringLiteral("Interface"), QString::number(c.interfacePosition));
    for (int i = 0; i < 4; ++i) {
        store.setValue(kSection, QStringLiteral("LocationInfo%1").arg(i + 1), c.locationInfo[i]);
    }
    for (int i = 0; i < 8; ++i) {
        store.setValue(kSection, QStringLiteral("LawInfo%1").arg(i + 1), c.lawInfo[i]);
    }
    for (int i = 0; i < 4; ++i) {
        store.setValue(kSection, QString::fromLatin1(kTargetKeys[i]), word(c.targets[i]));
    }
    store.setValue(kSection, QStringLiteral("MultiDropAddress"),
                   QString::number(c.multiDropPosition));
    store.sync();
    return store.syncError();
}

}  // namespace tarvo
