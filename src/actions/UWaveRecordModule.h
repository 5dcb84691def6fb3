// A recorder object of host scripts: one TStockAudioRecorder, which records
// into files, and the bindings of its events. Built as the player object
// (UWavePlayerModule.h), except that its activate binding has no duration.
#pragma once

#include <string>
#include <vector>

#include "actions/UWaveDeviceModule.h"
#include "wave/WaveRecorders.h"

// The recorder of a recorder object: a stock recorder whose stop tells
// whether the device took it.
class TModuleRecorder final : public TStockAudioRecorder {
public:
    // Starts closing an active recorder (the deactivate event follows from
    // the close notification); false when the device refused the reset or the
    // close, or a stop is under way already. May be called from an event.
    bool Stop() {
        TBusyFrame frame(*this);
        return InternalClose();
    }

protected:
    ~TModuleRecorder() override = default;
};

class TWaveRecordModule : public TWaveDeviceModule {
public:
    TWaveRecordModule();

    TModuleRecorder& Recorder() { return *recorder_; }
    TWaveAudioIO& Device() override { return *recorder_; }

    // The recorder's input device by name, as SelectOutputDevice of the
    // player object, from the listing service's input device list.
    void SelectInputDevice(const std::string& deviceName);
    // The descriptions ("PCM: 8,000 kHz, 16 Bit, Mono") of the PCM formats
    // the selected device records, in the order of TPCMFormat.
    std::vector<std::string> ListFormats();
    // Selects the supported format whose description is exactly `text`
    // (letter case and blanks included); any other text keeps the format.
    void SelectFormat(const std::string& text);

protected:
    ~TWaveRecordModule() override = default;

private:
    TWaveDevicePtr<TModuleRecorder> recorder_;
};
