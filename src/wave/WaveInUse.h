// Objects that may be destroyed while they are in use further up the stack:
// an event handler or an action that runs host code may destroy the very
// object it serves. Whoever uses such an object holds a TInUse::TFrame on it;
// EndWhenUnused() ends the object at once when no frame is open, otherwise
// when the outermost frame closes. The device objects (WaveIO.h) and the
// player and recorder objects of the scripts (UWaveDeviceModule.h) both live
// by it.
#pragma once

#include <atomic>

class TInUse {
public:
    class TFrame {
    public:
        explicit TFrame(TInUse* object) : object_(object) {
            if (object_ != nullptr)
                ++object_->frames_;
        }
        ~TFrame() {
            if (object_ != nullptr)
                object_->Leave();
        }
        TFrame(const TFrame&) = delete;
        TFrame& operator=(const TFrame&) = delete;

    private:
        TInUse* object_;
    };

    TInUse(const TInUse&) = delete;
    TInUse& operator=(const TInUse&) = delete;

protected:
    TInUse() = default;
    virtual ~TInUse() = default;

    // The object is to end: now, or when the last frame closes. Code after
    // this call (or after the closing frame) must not touch the object.
    void EndWhenUnused() {
        endPending_ = true;
        if (frames_ == 0)
            EndOnce();
    }
    bool EndPending() const { return endPending_; }
    int Frames() const { return frames_; }
    // Ends the object (typically deleting it); called once.
    virtual void End() = 0;

private:
    void Leave() {
        if (frames_.fetch_sub(1) == 1 && endPending_)
            EndOnce();
    }
    void EndOnce() {
        if (!ended_.exchange(true))
            End();
    }

    std::atomic<int> frames_{0};
    std::atomic<bool> endPending_{false};
    std::atomic<bool> ended_{false};
};
