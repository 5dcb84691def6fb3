// A stand-in for the HTML Help viewer (hhctrl.ocx), found beside the test
// programs: it records each call and answers with a window of its own.
#include <cstdint>
#include <string>

namespace {
struct Call {
    const void* caller = nullptr;
    std::string file;
    unsigned command = 0xFFFFFFFFu;
    std::uintptr_t data = 0;
    int count = 0;
};
Call last;
int window;
} // namespace

extern "C" __attribute__((visibility("default"))) void*
HtmlHelpA(void* caller, const char* file, unsigned command, std::uintptr_t data) {
    last.caller = caller;
    last.file = file != nullptr ? file : "<null>";
    last.command = command;
    last.data = data;
    ++last.count;
    return &window;
}

// The last call: how many calls there were, and their file text and command.
extern "C" __attribute__((visibility("default"))) int FakeHtmlHelpLastCall(const char** file,
                                                                           unsigned* command) {
    *file = last.file.c_str();
    *command = last.command;
    return last.count;
}
