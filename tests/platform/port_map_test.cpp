#include <gtest/gtest.h>

#include "platform/port_map.h"
#include "support/memory_settings_store.h"

namespace tarvo {
namespace {

struct OverrideCase {
    QString text;
    std::optional<PortMap::Override> expected;
};

TEST(PortMap, ParsesPortArgumentText) {
    const std::vector<OverrideCase> cases = {
        {"Com1=/dev/ttyUSB0", PortMap::Override{1, "/dev/ttyUSB0"}},
        {"com32=/tmp/tarvo-com32", PortMap::Override{32, "/tmp/tarvo-com32"}},
        {"COM7=/dev/pts/3", PortMap::Override{7, "/dev/pts/3"}},
        {"Com2=/path with blank", PortMap::Override{2, "/path with blank"}},
        {"Com3=/a=b", PortMap::Override{3, "/a=b"}},
        {"Com0=/dev/ttyS0", std::nullopt},
        {"Com33=/dev/ttyS0", std::nullopt},
        {"Com1=", std::nullopt},
        {"Com1=  ", std::nullopt},
        {"Com1", std::nullopt},
        {"Port1=/dev/ttyS0", std::nullopt},
        {"Com=/dev/ttyS0", std::nullopt},
        {"Com-1=/dev/ttyS0", std::nullopt},
        {"Com123=/dev/ttyS0", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PortMap::parseOverride(c.text), c.expected) << c.text.toStdString();
    }
}

TEST(PortMap, OverrideBeatsStoreBeatsDefault) {
    auto store = std::make_shared<test::MemorySettingsStore>();
    store->preset("Ports", "Com1", "/dev/ttyUSB0");
    store->preset("Ports", "Com2", "/dev/ttyUSB1");
    store->preset("Ports", "Com4", "");
    store->preset("Options", "Com5", "/dev/wrong-section");
    PortMap map(store);
    EXPECT_TRUE(map.addOverride("Com2=/tmp/over"));
    EXPECT_FALSE(map.addOverride("Com3"));

    const std::vector<std::pair<int, QString>> expected = {
        {1, "/dev/ttyUSB0"}, {2, "/tmp/over"},  {3, "/dev/ttyS2"},
        {4, "/dev/ttyS3"},   {5, "/dev/ttyS4"}, {32, "/dev/ttyS31"},
    };
    for (const auto& [port, path] : expected) {
        EXPECT_EQ(map.devicePath(port), path) << "Com" << port;
    }
    EXPECT_EQ(PortMap().devicePath(1), "/dev/ttyS0");
}

}  // namespace
}  // namespace tarvo
