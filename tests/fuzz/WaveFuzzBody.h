// One round of the wave fuzzer, shared by the libFuzzer target and the corpus
// replay test: the bytes are loaded as a RIFF WAVE file into a TWave and into
// an adapter over a plain (non-memory) stream, every detail is read, and a
// few edits chosen by the input's last bytes run on both. After each step the
// body checks what must hold for any input: the details agree with each
// other, the two waves stay byte for byte equal, a refused edit changes
// nothing, and an edit that acts leaves exactly the data it promises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The first broken rule, with the step that broke it; empty when all held.
std::string RunWaveFuzzBody(const std::uint8_t* data, std::size_t size);
