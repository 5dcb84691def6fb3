#include "host/Execution.h"

#include "host/HostServices.h"

namespace {

// The two device listings end in list variables, not in a result variable.
constexpr int32_t kOutputDevicesId = aiOutputDevices;
constexpr int32_t kInputDevicesId = aiInputDevices;

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<int32_t> ParseActionInteger(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const bool hex = pos < text.size() && text[pos] == '$';
    if (hex)
        ++pos;
    if (pos == text.size())
        return std::nullopt;

    const uint64_t limit = hex ? 0xFFFFFFFFu : (negative ? 2147483648u : 2147483647u);
    const int base = hex ? 16 : 10;
    uint64_t value = 0;
    for (; pos < text.size(); ++pos) {
        const int digit = HexDigitValue(text[pos]);
        if (digit < 0 || digit >= base)
            return std::nullopt;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value > limit)
            return std::nullopt;
    }
    // Two's complement arithmetic on 32 bits: "$FFFFFFFF" is -1, "-$1" is -1.
    auto bits = static_cast<uint32_t>(value);
    if (negative)
        bits = 0u - bits;
    return static_cast<int32_t>(bits);
}

std::string InvalidArgumentsText(int32_t actionId) {
    return std::string("Invalid \"") + ActionName(actionId) + "\" action arguments";
}

std::string InvalidObjectText(int32_t objectId) {
    return "Invalid object instance by ID \"" + std::to_string(objectId) + "\"";
}

std::optional<std::size_t> ResultParamIndex(int32_t actionId) {
    if (actionId == kOutputDevicesId || actionId == kInputDevicesId)
        return std::nullopt;
    const std::span<const uint8_t> codes = ActionTypeCodes(actionId);
    if (codes.empty() || codes.back() != kParamVariable)
        return std::nullopt;
    return codes.size() - 1;
}

ActionCall::ActionCall(int32_t actionId, ActionParams params) : actionId_(actionId) {
    texts_.reserve(params.size());
    for (const char* param : params)
        texts_.emplace_back(param != nullptr ? param : "");
}

const std::string& ActionCall::Text(std::size_t index) const {
    return texts_.at(index);
}

bool ActionCall::ReadInteger(std::size_t index, int32_t& value) {
    if (!ok_)
        return false;
    const std::optional<int32_t> parsed = ParseActionInteger(Text(index));
    if (!parsed) {
        Fail(InvalidArgumentsText(actionId_));
        return false;
    }
    value = *parsed;
    return true;
}

void ActionCall::Fail(std::string_view lastError) {
    if (!ok_)
        return;
    ok_ = false;
    SetVariable(kLastErrorVariable, lastError);
}

void ActionCall::FailQuietly() {
    ok_ = false;
}

void ActionCall::FailNoObject(int32_t objectId) {
    Fail(InvalidObjectText(objectId));
}

int32_t ActionCall::Finish() {
    return FinishWith(ok_ ? kTrueText : kFalseText, ok_ ? 1 : 0);
}

int32_t ActionCall::FinishWith(std::string_view value, int32_t result) {
    const std::optional<std::size_t> index = ResultParamIndex(actionId_);
    if (index && *index < texts_.size())
        SetVariable(texts_[*index], value);
    return result;
}
