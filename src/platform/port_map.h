#pragma once

#include <QString>
#include <map>
#include <memory>
#include <optional>

#include "platform/settings_store.h"

namespace tarvo {

// Maps the port numbers of the "Com1".."Com32" list to device paths: an override given on
// the command line for this run, else the per-user store's section "Ports", key "Com<n>",
// else /dev/ttyS<n-1>.
class PortMap {
  public:
    static constexpr int kFirstPort = 1;
    static constexpr int kLastPort = 32;

    struct Override {
        int port;
        QString path;
        bool operator==(const Override&) const = default;
    };

    explicit PortMap(std::shared_ptr<const SettingsStore> store = nullptr);

    QString devicePath(int port) const;
    static QString defaultPath(int port);

    // Parses the text of a `--port` argument, "Com<n>=PATH" (n from 1 to 32, the word "Com"
    // in any case, PATH not empty). Nothing for any other text.
    static std::optional<Override> parseOverride(const QString& text);
    void setOverride(int port, const QString& path) { overrides_[port] = path; }

  private:
    std::shared_ptr<const SettingsStore> store_;
    std::map<int, QString> overrides_;
};

}  // namespace tarvo
