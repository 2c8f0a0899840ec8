#include "platform/port_map.h"

#include <QRegularExpression>

namespace tarvo {

PortMap::PortMap(std::shared_ptr<const SettingsStore> store) : store_(std::move(store)) {}

QString PortMap::defaultPath(int port) {
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

QString PortMap::devicePath(int port) const {
    if (auto it = overrides_.find(port); it != overrides_.end()) {
        return it->second;
    }
    if (store_) {
        if (auto stored = store_->value(QStringLiteral("Ports"), QStringLiteral("Com%1").arg(port));
            stored && !stored->trimmed().isEmpty()) {
            return stored->trimmed();
        }
    }
    return defaultPath(port);
}

std::optional<PortMap::Override> PortMap::parseOverride(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^com([0-9]{1,2})=(.+)$"),
                                       QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(text);
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    const int port = m.captured(1).toInt();
    const QString path = m.captured(2).trimmed();
    if (port < kFirstPort || port > kLastPort || path.isEmpty()) {
        return std::nullopt;
    }
    return Override{port, path};
}

}  // namespace tarvo
