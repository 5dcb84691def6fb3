// The pool of buffer headers of a device object: each header, its own
// sample buffer and who holds it (the engine, or the device), plus the spare
// buffer that takes the place of recorded bytes set aside.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "wave/WaveCore.h"
#include "wave/WaveIO.h"

using wavecore::HeldByDevice;
using wavecore::SlotOf;
using wavecore::THeaderSlot;

// --- headers -------------------------------------------------------------------------

DWORD TWaveAudioIO::CalcBufferSize() const {
    const std::int32_t bytes = BufferBytesForTime(&WaveFormat, bufferLength_);
    return bytes > 0 ? static_cast<DWORD>(bytes) : 0;
}

bool TWaveAudioIO::ReallocateHeader(WAVEHDR*& header, DWORD size, void* buffer) {
    const auto self = reinterpret_cast<DWORD_PTR>(this);
    if (size == 0) {
        if (header != nullptr) {
            std::erase(headers_, header);
            if (header->dwUser == self)
                GlobalFree(header->lpData);
            GlobalFree(header);
            header = nullptr;
        }
        return true;
    }
    if (header == nullptr) {
        auto* slot = static_cast<THeaderSlot*>(GlobalAlloc(GPTR, sizeof(THeaderSlot)));
        if (slot != nullptr) {
            try {
                headers_.push_back(&slot->header);
            } catch (const std::bad_alloc&) {
                GlobalFree(slot);
                slot = nullptr;
            }
        }
        if (slot == nullptr) {
            CheckResult(MMSYSERR_NOMEM);
            return false;
        }
        header = &slot->header;
    }
    THeaderSlot* slot = SlotOf(header);
    if (header->dwUser != self) {
        header->lpData = nullptr; // someone else's buffer
        slot->capacity = 0;
    }
    void* data = header->lpData;
    if (buffer == nullptr) {
        if (slot->capacity < size) {
            GlobalFree(data);
            header->lpData = nullptr;
            slot->capacity = 0;
            data = GlobalAlloc(GMEM_FIXED, size);
            if (data == nullptr) {
                ReallocateHeader(header, 0, nullptr);
                CheckResult(MMSYSERR_NOMEM);
                return false;
            }
            slot->capacity = size;
        }
    } else {
        if (header->dwUser == self)
            GlobalFree(data);
        slot->capacity = 0;
        data = buffer;
    }
    std::memset(header, 0, sizeof(WAVEHDR));
    header->dwUser = buffer == nullptr ? self : 0;
    header->lpData = static_cast<LPSTR>(data);
    header->dwBufferLength = size;
    slot->queued = false;
    return true;
}

bool TWaveAudioIO::RefillHeader(WAVEHDR*& header) {
    const DWORD size = CalcBufferSize();
    if (size == 0) {
        ReallocateHeader(header, 0, nullptr);
        return false;
    }
    const auto self = reinterpret_cast<DWORD_PTR>(this);
    if (header != nullptr && header->dwUser != self && spare_.data != nullptr &&
        spare_.capacity >= size) {
        // The spare buffer becomes the header's own.
        header->dwUser = self;
        header->lpData = static_cast<LPSTR>(spare_.data);
        SlotOf(header)->capacity = spare_.capacity;
        spare_ = {};
    }
    return ReallocateHeader(header, size, nullptr);
}

void TWaveAudioIO::MarkQueued(WAVEHDR* header) {
    SlotOf(header)->queued = true;
    SlotOf(header)->sequence = ++queueCount_;
}

TWaveBlock TWaveAudioIO::DetachBuffer(WAVEHDR* header, DWORD bytes) {
    if (header->dwUser != reinterpret_cast<DWORD_PTR>(this))
        return {};
    TWaveBlock block{header->lpData, std::min(bytes, header->dwBufferLength),
                     SlotOf(header)->capacity};
    header->dwUser = 0; // the header no longer owns it
    return block;
}

void TWaveAudioIO::RecycleBlock(TWaveBlock& block) {
    if (block.data == nullptr)
        return;
    if (spare_.data == nullptr) {
        spare_ = block;
        spare_.bytes = 0;
    } else {
        GlobalFree(block.data);
    }
    block = {};
}

std::vector<WAVEHDR*> TWaveAudioIO::QueuedHeaders() const {
    std::vector<WAVEHDR*> queued;
    std::copy_if(headers_.begin(), headers_.end(), std::back_inserter(queued),
                 [](WAVEHDR* header) { return SlotOf(header)->queued; });
    std::sort(queued.begin(), queued.end(),
              [](WAVEHDR* a, WAVEHDR* b) { return SlotOf(a)->sequence < SlotOf(b)->sequence; });
    return queued;
}

std::vector<TWaveHeaderState> TWaveAudioIO::HeaderStates() const {
    std::vector<TWaveHeaderState> states;
    for (WAVEHDR* header : headers_) {
        if (!SlotOf(header)->queued)
            states.push_back(TWaveHeaderState::Free);
        else if ((header->dwFlags & WHDR_DONE) != 0)
            states.push_back(TWaveHeaderState::Done);
        else
            states.push_back(TWaveHeaderState::Queued);
    }
    return states;
}

// A header the device hands back: it must be one of ours that the device
// holds (a stale or foreign pointer is ignored); from now on it is the engine's.
bool TWaveAudioIO::TakeHeader(WAVEHDR* header) {
    if (header == nullptr)
        return true;
    if (std::find(headers_.begin(), headers_.end(), header) == headers_.end() ||
        !SlotOf(header)->queued)
        return false;
    SlotOf(header)->queued = false;
    return true;
}

void TWaveAudioIO::ReleaseAllHeaders() {
    for (std::size_t i = headers_.size(); i-- > 0;) {
        WAVEHDR* header = headers_[i];
        if (!HeldByDevice(header))
            ReallocateHeader(header, 0, nullptr);
    }
    GlobalFree(spare_.data);
    spare_ = {};
}
