#pragma once

#include <QDateTime>
#include <functional>
#include <memory>

#include "platform/file_chooser.h"
#include "platform/prompts.h"
#include "platform/serial_line.h"
#include "platform/settings_store.h"
#include "platform/usb_library.h"

namespace tarvo {

// Everything the windows need from the outside world, given to them at construction so
// tests can put doubles in its place.
struct Platform {
    std::shared_ptr<SerialLine> serial;
    // Null when the USB layer could not start; the title then ends without its version.
    std::shared_ptr<UsbLibrary> usb;
    std::shared_ptr<SettingsStore> settings;
    std::shared_ptr<Prompts> prompts;
    // The open and save dialogs behind CD_File.
    std::shared_ptr<FileChooser> files;
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };
    // Period of the two coarse timers; tests shorten it.
    int tickIntervalMs = 1000;
    // The meter history file; empty means the default place in the user's data folder.
    QString historyPath;
};

}  // namespace tarvo
