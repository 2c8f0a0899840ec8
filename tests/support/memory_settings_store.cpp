#include "support/memory_settings_store.h"

namespace tarvo::test {

std::optional<QString> MemorySettingsStore::written(const QString& section,
                                                    const QString& key) const {
    for (auto it = writes.rbegin(); it != writes.rend(); ++it) {
        if (it->section == section && it->key == key) {
            return it->value;
        }
    }
    return std::nullopt;
}

std::optional<QString> MemorySettingsStore::value(const QString& section,
                                                  const QString& key) const {
    auto it = values.find({section, key});
    if (it == values.end()) {
        return std::nullopt;
    }
    return it->second;
}

void MemorySettingsStore::setValue(const QString& section, const QString& key,
                                   const QString& value) {
    if (beforeWrite) {
        beforeWrite();
    }
    values[{section, key}] = value;
    writes.push_back({section, key, value});
}

}  // namespace tarvo::test
