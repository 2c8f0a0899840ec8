#pragma once
#include <optional>
#include <QStringList>
#include "platform/platform.h"
namespace tarvo {
struct RealSetup { Platform platform; };
std::optional<RealSetup> makeRealPlatform(const QStringList& args);
}
