#include <gtest/gtest.h>

#include "platform/port_map.h"
#include "support/memory_settings_store.h"

namespace tarvo {
namespace {

TEST(PortMap, ParsesPortArgumentText) {
    const std::vector<std::pair<QString, PortMap::Override>> valid = {
        {"Com1=/dev/ttyUSB0", {1, "/dev/ttyUSB0"}},
        {"com32=/tmp/tarvo-com32", {32, "/tmp/tarvo-com32"}},
        {"COM7=/dev/pts/3", {7, "/dev/pts/3"}},
        {"Com2=/path with blank", {2, "/path with blank"}},
        {"Com3=/a=b", {3, "/a=b"}},
    };
    for (const auto& [text, expected] : valid) {
        EXPECT_EQ(PortMap::parseOverride(text), expected) << text.toStdString();
    }
    for (const char* text :
         {"Com0=/dev/ttyS0", "Com33=/dev/ttyS0", "Com1=", "Com1=  ", "Com1", "Port1=/dev/ttyS0",
          "Com=/dev/ttyS0", "Com-1=/dev/ttyS0", "Com123=/dev/ttyS0", ""}) {
        EXPECT_EQ(PortMap::parseOverride(text), std::nullopt) << text;
    }
}

TEST(PortMap, OverrideBeatsStoreBeatsDefault) {
    auto store = std::make_shared<test::MemorySettingsStore>();
    store->preset("Ports", "Com1", "/dev/ttyUSB0");
    store->preset("Ports", "Com2", "/dev/ttyUSB1");
    store->preset("Ports", "Com4", "");
    store->preset("Options", "Com5", "/dev/wrong-section");
    PortMap map(store);
    map.setOverride(2, "/tmp/over");
    const std::pair<int, QString> expected[] = {
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
