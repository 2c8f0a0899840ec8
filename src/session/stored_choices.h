#pragma once

#include <QString>
#include <array>

#include "platform/settings_store.h"

namespace tarvo {

// The pause after a multi-drop address byte is the delay's own number of ticks of the delay's
// length, delay x delay milliseconds: 31 is the largest delay whose pause stays within one
// second (961 ms). A larger stored delay is taken as 31.
inline constexpr int kLargestAddressBitDelay = 31;

// The user's choices kept between runs, section "Options". A stored value that cannot be
// converted, or names a position outside its list, counts as absent.
struct StoredChoices {
    int interfacePosition = 0;  // "Com1"
    std::array<QString, 4> locationInfo;
    std::array<QString, 8> lawInfo;
    // Connected to Brisko, Tarvo Board System, Tarvo Board Kit, Multi Drop.
    std::array<bool, 4> targets{true, false, false, false};
    int addressBitDelay = 5;  // milliseconds, 0..kLargestAddressBitDelay
    int multiDropPosition = 1;
};

StoredChoices readStoredChoices(const SettingsStore& store);
// Writes every key but the address-bit delay, which is only ever set by editing the store.
// Why the store could not be written (its path and the reason); empty when it was.
QString writeStoredChoices(SettingsStore& store, const StoredChoices& choices);

}  // namespace tarvo
