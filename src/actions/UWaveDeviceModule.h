// What the player and recorder objects of host scripts have in common: the
// number a script addresses them by, the bindings of their seven events to
// host subroutines, the firing of a binding, and a lifetime that survives
// their destruction from inside their own events and actions. The registry
// (TWaveDeviceModules) hands out the numbers and owns the objects.
//
// Re-entry: a binding runs a host subroutine, which may call any action, on
// the same object too, destroying it included. The registry then forgets the
// object at once (its number is never found again, nor handed out again), the
// object fires no further binding, and it is freed, with its device, when the
// outermost event handler or action that uses it (a TUse, WaveInUse.h) has
// returned.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "wave/WaveIO.h"
#include "wave/WaveInUse.h"

// One event's binding: the subroutine to run and the variables it finds
// filled in while it runs. Texts are kept exactly as the author gave them;
// an empty subroutine leaves the event unbound.
struct TEventBinding {
    std::string Subroutine;
    std::string IDVariable;
    // The variables that receive the event's values, in the order they are
    // set and cleared; only the player's activate binding uses the second.
    std::array<std::string, 2> ValueVariables;
};

class TWaveDeviceModule : public TInUse {
public:
    // Keeps an object (which may be null) alive while an action or event
    // handler uses it: should the object be destroyed meanwhile, it is freed
    // when the last TUse ends.
    using TUse = TInUse::TFrame;

    // The number under which the registry knows the object; 0 until it is set.
    std::int32_t ID = 0;
    TEventBinding Error;
    TEventBinding Level;
    TEventBinding Pause;
    TEventBinding Resume;
    TEventBinding Position;
    TEventBinding Activate;
    TEventBinding Deactivate;

    // The device object the module drives.
    virtual TWaveAudioIO& Device() = 0;

    // The registry has let go of the object: it fires no binding any more.
    bool Forgotten() const { return forgotten_; }
    // For the registry: forgets the object and frees it now, or when the
    // last TUse ends. May be called from an event.
    void Forget();

protected:
    TWaveDeviceModule() = default;
    ~TWaveDeviceModule() override = default;
    void End() override { delete this; }

    // Assigns the device's six events to the handlers that fire the bindings:
    // error, level (then position), pause, resume, activate, deactivate.
    void AttachEvents(TWaveAudioIO& device);
    // The values of the activate binding: the device's name.
    virtual std::vector<std::string> ActivateValues();

    // Sets the device's DeviceID from a name in a device list of the listing
    // service (entry 0 the default device, entry k device k - 1), compared
    // without regard to letter case. A blank name keeps the device; a name
    // not listed selects the default device.
    void SelectDevice(const std::vector<std::string>& deviceNames, const std::string& name);

    // Fires a binding: nothing for a forgotten object, an empty subroutine or
    // one the host does not list; otherwise sets the ID variable and the
    // value variables (the values come from `values()`, asked only then),
    // runs the subroutine and clears the variables again, in that order. The
    // binding's texts are taken before the subroutine runs, which may change
    // them.
    template <class Values>
    void Fire(const TEventBinding& binding, const Values& values) {
        if (forgotten_)
            return;
        const TEventBinding taken = binding;
        if (Runs(taken))
            Run(taken, values());
    }

private:
    void DeviceError();
    void DeviceLevel(std::int32_t level);
    // Fires a binding whose one value is the device's name.
    void FireWithDeviceName(const TEventBinding& binding);

    static bool Runs(const TEventBinding& binding);
    void Run(const TEventBinding& binding, const std::vector<std::string>& values) const;

    bool forgotten_ = false;
};

// The registry of one kind of object. Numbers start at 1 and are never reused,
// not even after every object has been destroyed.
class TWaveDeviceModules {
public:
    TWaveDeviceModules() = default;
    // Frees every object still registered (their devices are ended without
    // running any binding).
    virtual ~TWaveDeviceModules();
    TWaveDeviceModules(const TWaveDeviceModules&) = delete;
    TWaveDeviceModules& operator=(const TWaveDeviceModules&) = delete;

    // Makes a new object and returns its number.
    std::int32_t CreateModule();
    // The object registered under `id`, or null.
    TWaveDeviceModule* FindModule(std::int32_t id) const;
    // Forgets the object registered under `id` (freeing it as TWaveDeviceModule
    // says); false when there is none. May be called from an event.
    bool DestroyModule(std::int32_t id);
    // Forgets every object, from the last to the first. May be called from an
    // event.
    void DestroyAll();

    std::int32_t LastID() const { return lastID_; }
    std::size_t Count() const { return items_.size(); }

protected:
    // A new object of the registry's kind.
    virtual TWaveDeviceModule* NewModule() = 0;

private:
    struct TForget {
        void operator()(TWaveDeviceModule* module) const { module->Forget(); }
    };
    using TOwned = std::unique_ptr<TWaveDeviceModule, TForget>;
    std::vector<TOwned> items_;
    std::int32_t lastID_ = 0;
};
