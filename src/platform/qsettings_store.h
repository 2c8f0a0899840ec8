#pragma once

#include <QSettings>

#include "platform/settings_store.h"

namespace tarvo {

// The per-user store as an INI file: $XDG_CONFIG_HOME (default ~/.config)
// /Tarvo/Tarvo Board Configuration Utility.conf, one group per section, text values.
class QSettingsStore : public SettingsStore {
  public:
    QSettingsStore();
    // The store in the given file instead of the user's own.
    explicit QSettingsStore(const QString& file);

    std::optional<QString> value(const QString& section, const QString& key) const override;
    void setValue(const QString& section, const QString& key, const QString& value) override;
    void sync() override;
    QString syncError() const override { return syncError_; }

    QString fileName() const { return settings_.fileName(); }

  private:
    static QString path(const QString& section, const QString& key);
    mutable QSettings settings_;
    QString syncError_;
};

}  // namespace tarvo
