// The device and format listing service: lists the output and input devices
// and holds the wave storage of the file actions. One instance,
// UtilitiesModule, lives from the loading to the unloading of the library.
#pragma once

class TWaveUtilitiesModule {
public:
    TWaveUtilitiesModule();
    virtual ~TWaveUtilitiesModule();
    TWaveUtilitiesModule(const TWaveUtilitiesModule&) = delete;
    TWaveUtilitiesModule& operator=(const TWaveUtilitiesModule&) = delete;
};

// Null before the library's start-up and after its shut-down.
extern TWaveUtilitiesModule* UtilitiesModule;
