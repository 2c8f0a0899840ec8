#pragma once

#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "platform/settings_store.h"

namespace tarvo::test {

// The per-user store in memory. Put start-up values straight into `values`; what the
// program writes is in `values` and, in order, in `writes`.
class MemorySettingsStore : public SettingsStore {
  public:
    struct Write {
        QString section;
        QString key;
        QString value;
    };

    std::map<std::pair<QString, QString>, QString> values;
    std::vector<Write> writes;
    int syncCount = 0;
    std::function<void()> beforeWrite;

    // Convenience for setting start values.
    void preset(const QString& section, const QString& key, const QString& value) {
        values[{section, key}] = value;
    }

    std::optional<QString> value(const QString& section, const QString& key) const override {
        auto it = values.find({section, key});
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    void setValue(const QString& section, const QString& key, const QString& value) override {
        if (beforeWrite) {
            beforeWrite();
        }
        values[{section, key}] = value;
        writes.push_back({section, key, value});
    }
    void sync() override { ++syncCount; }
};

}  // namespace tarvo::test
