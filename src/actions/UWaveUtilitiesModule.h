// The device and format listing service: lists the output and input devices
// and holds the wave storage of the file actions. One instance,
// UtilitiesModule, lives from the loading to the unloading of the library.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "wave/WavePlayers.h"
#include "wave/WaveRecorders.h"
#include "wave/WaveStorage.h"
#include "wave/WaveUtils.h"

class TWaveUtilitiesModule {
public:
    TWaveUtilitiesModule();
    virtual ~TWaveUtilitiesModule();
    TWaveUtilitiesModule(const TWaveUtilitiesModule&) = delete;
    TWaveUtilitiesModule& operator=(const TWaveUtilitiesModule&) = delete;

    // The storage the file actions load their source into, edit and save.
    TWaveStorage& SharedStorage() { return *storage_; }

    // Replaces `info` with the five information lines of a WAVE file: format
    // description, duration in ms, kbit/s, data bytes and peak percent (-1
    // when it cannot be computed). A missing file leaves the list empty; a
    // file that is no valid wave gives "", "0", "0", "0", "-1". Loads the file
    // into the shared storage and empties it again.
    // `refusal` receives why a file that exists is no valid wave (empty for
    // a valid one).
    void GetWaveInfo(const std::string& fileName, std::vector<std::string>& info,
                     std::string* refusal = nullptr);

    // The PCM format named by one of the sixteen descriptions of the 8000 to
    // 44100 Hz formats ("PCM: 44,100 kHz, 16 Bit, Stereo"), compared exactly;
    // any other text names 16-bit stereo at 48000 Hz.
    static TPCMFormat PCMFormatFromText(const std::string& text);

    // The names of the output and input devices: entry 0 is the system's
    // default device, entry k device k - 1. Each list is gathered on its
    // first use and kept until the library is unloaded, so devices that come
    // or go later are not seen. A device whose capabilities cannot be read
    // has an empty name, so that positions keep matching device numbers.
    const std::vector<std::string>& OutputDeviceNames();
    const std::vector<std::string>& InputDeviceNames();

private:
    std::unique_ptr<TWaveStorage> storage_;
    // Never opened: they only read the devices' capabilities.
    TWaveDevicePtr<TStockAudioPlayer> player_;
    TWaveDevicePtr<TStockAudioRecorder> recorder_;
    std::vector<std::string> inputNames_;
    std::vector<std::string> outputNames_;
};

// Empties a wave when the scope ends, whether the work on it succeeded, failed
// or raised an error: nothing of a file is kept in the shared storage between
// actions.
class TWaveClearGuard {
public:
    explicit TWaveClearGuard(TWave& wave) : wave_(wave) {}
    TWaveClearGuard(const TWaveClearGuard&) = delete;
    TWaveClearGuard& operator=(const TWaveClearGuard&) = delete;
    ~TWaveClearGuard() { wave_.Clear(); }

private:
    TWave& wave_;
};

// Null before the library's start-up and after its shut-down.
extern TWaveUtilitiesModule* UtilitiesModule;

// The running service; std::logic_error when the library is not started.
TWaveUtilitiesModule& RunningUtilitiesModule();
