#include "platform/posix/Clock.h"

#include <atomic>
#include <vector>

#include "platform/posix/Threads.h"
#include "platform/posix/WaveConfig.h"

namespace posix {
namespace {

using Steady = std::chrono::steady_clock;

// One way of running, published whole: readers never lock.
struct Setting {
    ClockKind kind = ClockKind::Real;
    std::int64_t speed = 1;
    Nanos base = 0;              // the platform time at realBase
    Steady::time_point realBase; // for the real and fast clocks
};

struct State {
    std::atomic<const Setting*> setting;
    std::atomic<Nanos> virtualNow{0};
    // Every setting ever published stays alive: readers may still hold one.
    std::vector<const Setting*> settings;

    State() {
        auto* first = new Setting{ClockKind::Real, 1, 0, Steady::now()};
        settings.push_back(first);
        setting.store(first);
    }
};

// Never destroyed: detached threads may read the clock at exit.
State& TheState() {
    static State* state = new State;
    return *state;
}

Nanos NowOf(const Setting& s, const State& state) {
    if (s.kind == ClockKind::Virtual)
        return state.virtualNow.load(std::memory_order_acquire);
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::nanoseconds>(Steady::now() - s.realBase).count();
    return s.base + elapsed * s.speed;
}

// Publishes a setting that goes on from the time shown now.
void Publish(State& state, ClockKind kind, unsigned speed) {
    const Nanos now = NowOf(*state.setting.load(), state);
    const std::int64_t factor = kind == ClockKind::Fast && speed > 1 ? speed : 1;
    auto* next = new Setting{kind, factor, now, Steady::now()};
    if (kind == ClockKind::Virtual)
        state.virtualNow.store(now, std::memory_order_release);
    state.settings.push_back(next);
    state.setting.store(next, std::memory_order_release);
}

} // namespace

Nanos ClockNow() {
    wave::LoadConfiguration();
    const State& state = TheState();
    return NowOf(*state.setting.load(std::memory_order_acquire), state);
}

ClockKind CurrentClockKind() {
    return TheState().setting.load(std::memory_order_acquire)->kind;
}

void SetClock(ClockKind kind, unsigned speed) {
    wave::LoadConfiguration();
    {
        // Published under the lock, so that no waiter misses the change
        // between reading the clock and going to sleep.
        std::lock_guard lock(SyncMutex());
        Publish(TheState(), kind, speed);
    }
    SyncChanged();
    WakeTimedWork();
}

void StartClock(ClockKind kind, unsigned speed) {
    Publish(TheState(), kind, speed);
}

Steady::time_point RealTimeAt(Nanos time) {
    if (time == kNever)
        return Steady::time_point::max();
    const Setting& s = *TheState().setting.load(std::memory_order_acquire);
    return s.realBase + std::chrono::nanoseconds((time - s.base) / s.speed);
}

void AdvanceVirtualClock(Nanos time) {
    std::atomic<Nanos>& now = TheState().virtualNow;
    Nanos seen = now.load();
    while (seen < time && !now.compare_exchange_weak(seen, time)) {
    }
}

} // namespace posix
