#include "support/FakeHost.h"

#include <cstring>

#include <gtest/gtest.h>

#include "host/Catalogue.h"
#include "host/HostBindings.h"
#include "platform/Platform.h"

FakeHost* FakeHost::current_ = nullptr;

char* HostBlock(const std::string& text) {
    auto* block = static_cast<char*>(GlobalAlloc(GMEM_FIXED, text.size() + 1));
    std::memcpy(block, text.c_str(), text.size() + 1);
    return block;
}

FakeHost::FakeHost(Bind bind) {
    current_ = this;
    HostWindow = nullptr;
    HostAddAction = nullptr;
    HostSetVariable = bind == Bind::Nothing ? nullptr : &FakeHost::SetVariable;
    HostScriptProcessor = (bind == Bind::Nothing || bind == Bind::WithoutScriptProcessor)
                              ? nullptr
                              : &FakeHost::ScriptProcessor;
    HostInterfaceAccess = (bind == Bind::Nothing || bind == Bind::WithoutInterfaceAccess)
                              ? nullptr
                              : &FakeHost::InterfaceAccess;
}

FakeHost::~FakeHost() {
    HostAddAction = nullptr;
    HostSetVariable = nullptr;
    HostScriptProcessor = nullptr;
    HostInterfaceAccess = nullptr;
    current_ = nullptr;
}

void FakeHost::RegisterPlugIn() {
    nbRegisterPlugIn(&FakeHost::AddAction, nullptr, nullptr, &FakeHost::SetVariable);
}

std::optional<std::string> FakeHost::Variable(const std::string& name) const {
    for (auto it = variableWrites.rbegin(); it != variableWrites.rend(); ++it)
        if (it->first == name)
            return it->second;
    return std::nullopt;
}

void TV_HOSTCALL FakeHost::AddAction(int32_t id, const char* name, const char* hint, int32_t count,
                                     int32_t lastIndex, const uint8_t* typeCodes) {
    current_->actions.push_back({id, name, hint,
                                 std::vector<uint8_t>(typeCodes, typeCodes + lastIndex + 1),
                                 lastIndex, count});
}

void TV_HOSTCALL FakeHost::SetVariable(const char* name, const char* value) {
    current_->variableWrites.emplace_back(name, value);
    current_->log.push_back(std::string("set ") + name + "=" + value);
}

void TV_HOSTCALL FakeHost::ScriptProcessor(const char* commandLine) {
    current_->commands.emplace_back(commandLine);
    current_->log.emplace_back(commandLine);
    if (current_->onGoSub && std::strncmp(commandLine, "GoSub ", 6) == 0) {
        const auto handler = current_->onGoSub; // it may replace itself
        handler(commandLine);
    }
}

bool TV_HOSTCALL FakeHost::InterfaceAccess(int32_t code, char** slot) {
    FakeHost& host = *current_;
    host.requests.push_back(
        {code, *slot != nullptr ? std::optional<std::string>(*slot) : std::nullopt});
    std::optional<std::string> answer;
    switch (static_cast<HostRequest>(code)) {
    case HostRequest::SubroutineList:
        answer = host.subroutineList;
        break;
    case HostRequest::Version:
        answer = host.versionText;
        break;
    case HostRequest::Message:
        host.messages.emplace_back(*slot != nullptr ? *slot : "");
        break;
    case HostRequest::PickObjectA:
    case HostRequest::PickObjectB:
    case HostRequest::PickVariable:
        // A host that answers a pick points the slot at a text of its own,
        // which stays the host's.
        if (host.pickAnswer) {
            host.pickedText_ = *host.pickAnswer;
            *slot = host.pickedText_.data();
        }
        break;
    default:
        break;
    }
    if (answer)
        *slot = HostBlock(*answer);
    return true;
}

int32_t ExecAction(int32_t id, const std::vector<std::string>& params) {
    EXPECT_EQ(params.size(), static_cast<std::size_t>(ActionParamCount(id))) << ActionName(id);
    HostParams slots(params);
    return nbExecAction(id, slots.Slots(), slots.LastIndex());
}

HostParams::HostParams(std::initializer_list<const char*> texts) {
    for (const char* text : texts)
        slots_.push_back(text != nullptr ? HostBlock(text) : nullptr);
}

HostParams::HostParams(const std::vector<std::string>& texts) {
    for (const std::string& text : texts)
        slots_.push_back(HostBlock(text));
}

HostParams::~HostParams() {
    for (char* slot : slots_)
        GlobalFree(slot);
}
