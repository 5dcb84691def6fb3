#include "host/HostServices.h"

#include <cstring>
#include <new>

#include "host/HostBindings.h"
#include "platform/Cp1251.h"
#include "platform/Platform.h"

namespace {

bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

// A slot that releases whatever block it holds when it goes out of scope.
class OwnedSlot {
public:
    OwnedSlot() = default;
    OwnedSlot(const OwnedSlot&) = delete;
    OwnedSlot& operator=(const OwnedSlot&) = delete;
    ~OwnedSlot() { FreeHostString(&text_); }

    char** Address() { return &text_; }
    std::string Text() const { return text_ != nullptr ? std::string(text_) : std::string(); }

private:
    char* text_ = nullptr;
};

void SendScriptCommand(std::string_view verb, std::string_view argument) {
    if (HostScriptProcessor == nullptr)
        return;
    std::string command(verb);
    command += " \"";
    command += argument;
    command += '"';
    HostScriptProcessor(command.c_str());
}

} // namespace

void StoreHostString(char** slot, std::string_view text) {
    if (slot == nullptr)
        return;
    FreeHostString(slot);
    auto* block = static_cast<char*>(GlobalAlloc(GMEM_FIXED, text.size() + 1));
    if (block == nullptr)
        throw std::bad_alloc();
    if (!text.empty())
        std::memcpy(block, text.data(), text.size());
    block[text.size()] = '\0';
    *slot = block;
}

void FreeHostString(char** slot) {
    if (slot == nullptr || *slot == nullptr)
        return;
    GlobalFree(*slot);
    *slot = nullptr;
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    return cp1251::SameIgnoringCase(a, b);
}

std::string_view TrimHostText(std::string_view text) {
    while (!text.empty() && IsBlankOrControl(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlankOrControl(text.back()))
        text.remove_suffix(1);
    return text;
}

void SetVariable(std::string_view name, std::string_view value) {
    if (TrimHostText(name).empty() || HostSetVariable == nullptr)
        return;
    const std::string nameText(name);
    const std::string valueText(value);
    HostSetVariable(nameText.c_str(), valueText.c_str());
}

void SetArrayVariable(int32_t index, std::string_view baseName, std::string_view value) {
    if (TrimHostText(baseName).empty())
        return;
    SetVariable(std::string(baseName) + std::to_string(index), value);
}

void ClearVariable(std::string_view name) {
    if (TrimHostText(name).empty())
        return;
    SendScriptCommand("ClearVariables", name);
}

bool SubroutineExists(std::string_view name) {
    const std::string_view trimmed = TrimHostText(name);
    if (trimmed.empty())
        return false;
    std::vector<std::string> subroutines;
    GetHostList(HostListKind::Subroutines, subroutines);
    for (const std::string& listed : subroutines)
        if (SameTextIgnoringCase(listed, trimmed))
            return true;
    return false;
}

bool RunSubroutine(std::string_view name) {
    if (HostScriptProcessor == nullptr || !SubroutineExists(name))
        return false;
    SendScriptCommand("GoSub", name);
    return true;
}

void GetHostList(HostListKind kind, std::vector<std::string>& list) {
    if (HostInterfaceAccess == nullptr)
        return;
    list.clear();
    OwnedSlot answer;
    HostRequest request = HostRequest::SubroutineList;
    switch (kind) {
    case HostListKind::Subroutines:
        request = HostRequest::SubroutineList;
        break;
    }
    HostInterfaceAccess(static_cast<int32_t>(request), answer.Address());
    const std::string text = answer.Text();
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\r', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string_view piece =
            TrimHostText(std::string_view(text).substr(start, end - start));
        if (!piece.empty())
            list.emplace_back(piece);
        start = end + 1;
    }
}

std::string GetHostVersion() {
    if (HostInterfaceAccess == nullptr)
        return {};
    OwnedSlot answer;
    HostInterfaceAccess(static_cast<int32_t>(HostRequest::Version), answer.Address());
    return answer.Text();
}

bool HostIsVersion5OrLater() {
    // The whole leading number counts, so that a version 10 is not taken for a 1.
    const std::string version = GetHostVersion();
    int major = 0;
    std::size_t digits = 0;
    for (const char c : version) {
        if (c < '0' || c > '9')
            break;
        if (major < 1000)
            major = major * 10 + (c - '0');
        ++digits;
    }
    return digits > 0 && major >= 5;
}

void ShowHostMessage(std::string_view text) {
    if (HostInterfaceAccess == nullptr)
        return;
    OwnedSlot message;
    StoreHostString(message.Address(), text);
    HostInterfaceAccess(static_cast<int32_t>(HostRequest::Message), message.Address());
}

std::string PickFromHost(HostPicker kind, std::string_view current) {
    if (kind == HostPicker::Variable && !HostIsVersion5OrLater()) {
        ShowHostMessage(kNeedVersion5Text);
        return {};
    }
    if (HostInterfaceAccess == nullptr)
        return {};
    // The slot lends the host our copy of the current text; whatever the host
    // puts in its place is the host's and is only read.
    std::string currentText(current);
    char* slot = currentText.data();
    HostInterfaceAccess(static_cast<int32_t>(kind), &slot);
    return slot != nullptr ? std::string(slot) : std::string();
}

std::string EscapeQuotes(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        if (c == '"')
            escaped += kHostQuoteEscape;
        else
            escaped += c;
    }
    return escaped;
}

bool ShellOpen(std::string_view document, std::string_view parameters, int showMode) {
    const std::string documentText(document);
    const std::string parametersText(parameters);
    const HINSTANCE result =
        ShellExecuteA(GetActiveWindow(), "open", documentText.c_str(),
                      parametersText.empty() ? nullptr : parametersText.c_str(), nullptr, showMode);
    return reinterpret_cast<std::intptr_t>(result) > 32;
}
