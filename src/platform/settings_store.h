#pragma once

#include <QString>
#include <optional>

namespace tarvo {

// Per-user store of text values, by section and key.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    virtual std::optional<QString> value(const QString& section, const QString& key) const = 0;
    virtual void setValue(const QString& section, const QString& key, const QString& value) = 0;
    // Writes what was set to the backing store.
    virtual void sync() = 0;
    // Why the last sync could not write the store, naming where it is; empty when it could.
    virtual QString syncError() const { return {}; }
};

}  // namespace tarvo
