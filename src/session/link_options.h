#pragma once

#include <QString>

namespace tarvo {

// The system the board is reached through; the order of the four target choices.
enum class Target { Brisko, System, Kit, MultiDrop };

// How the next connect and every frame reach the board: the interface list position
// ("Com1".."Com32", then "USB"), the target, and the multi-drop address as the list shows it.
struct LinkOptions {
    static constexpr int kUsbPosition = 32;

    int interfacePosition = 0;
    Target target = Target::Brisko;
    QString multiDropAddress;

    bool usb() const { return interfacePosition >= kUsbPosition; }
    bool multiDrop() const { return target == Target::MultiDrop; }
    // The list item's text: "Com<n>" or "USB".
    QString interfaceName() const {
        return usb() ? QStringLiteral("USB") : QStringLiteral("Com%1").arg(interfacePosition + 1);
    }
};

}  // namespace tarvo
