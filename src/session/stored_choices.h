#pragma once

#include <QString>
#include <array>

#include "platform/settings_store.h"

namespace tarvo {

// The user's choices kept between runs, section "Options". A stored value that cannot be
// converted, or names a position outside its list, counts as absent.
struct StoredChoices {
    int interfacePosition = 0;  // "Com1"
    std::array<QString, 4> locationInfo;
    std::array<QString, 8> lawInfo;
    // Connected to Brisko, Tarvo Board System, Tarvo Board Kit, Multi Drop.
    std::array<bool, 4> targets{true, false, false, false};
    int addressBitDelay = 5;  // milliseconds
    int multiDropPosition = 1;
};

StoredChoices readStoredChoices(const SettingsStore& store);
// Writes every key but the address-bit delay, which is only ever set by editing the store.
// Why the store could not be written (its path and the reason); empty when it was.
QString writeStoredChoices(SettingsStore& store, const StoredChoices& choices);

}  // namespace tarvo
