// The conventions every executor follows: reading the parameters, reporting
// argument and object errors through the host variable LastError, writing the
// result variable, and answering 1 or 0.
//
//     int32_t ExecPlayerStop(ActionParams params) {
//         ActionCall call(aiPlayerStop, params);
//         int32_t id = 0;
//         if (call.ReadInteger(0, id) && !FindPlayer(id))
//             call.FailNoObject(id);
//         if (call.Ok())
//             ...the action's own work, which may call call.Fail(text)...
//         return call.Finish();
//     }
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/Dispatch.h"

inline constexpr const char* kTrueText = "True";
inline constexpr const char* kFalseText = "False";
inline constexpr const char* kLastErrorVariable = "LastError";

// Reads a parameter as a 32-bit integer, the way the runtime's string to
// integer conversion does: leading blanks, an optional sign, then decimal
// digits or '$' and hexadecimal digits, and nothing after (trailing blanks
// included). Empty text, a missing digit and a decimal value outside 32 bits
// fail; hexadecimal takes up to 32 bits ("$FFFFFFFF" is -1).
std::optional<int32_t> ParseActionInteger(std::string_view text);

// "Invalid \"<action name>\" action arguments"
std::string InvalidArgumentsText(int32_t actionId);
// "Invalid object instance by ID \"<id>\""
std::string InvalidObjectText(int32_t objectId);

// Index of the action's result variable: its last parameter when that is a
// variable (type code 6), except for the two device listings, whose variables
// are both list variables. None for actions without parameters.
std::optional<std::size_t> ResultParamIndex(int32_t actionId);

// One run of an executor. The result starts true; the first failure writes
// LastError (once) and turns it false; Finish writes the result variable and
// answers 1 or 0.
class ActionCall {
public:
    ActionCall(int32_t actionId, ActionParams params);

    int32_t ActionId() const { return actionId_; }
    std::size_t ParamCount() const { return texts_.size(); }
    // A copy of parameter `index` (a null parameter reads as empty text).
    const std::string& Text(std::size_t index) const;

    // Reads parameter `index` as an integer. Does nothing and answers false
    // once the call has failed; otherwise a text that is no integer fails the
    // call with the invalid-arguments text naming this action.
    bool ReadInteger(std::size_t index, int32_t& value);

    bool Ok() const { return ok_; }
    // Fails the call with a LastError text (written only for the first failure).
    void Fail(std::string_view lastError);
    // Fails the call without a LastError text.
    void FailQuietly();
    // Fails the call with the object text for `objectId`.
    void FailNoObject(int32_t objectId);

    // Writes "True" or "False" into the result variable (nothing when the
    // action has none or its name is blank) and returns 1 or 0.
    int32_t Finish();
    // Writes `value` into the result variable and returns `result` (the create
    // actions answer the new object's number this way).
    int32_t FinishWith(std::string_view value, int32_t result);

private:
    int32_t actionId_;
    std::vector<std::string> texts_;
    bool ok_ = true;
};
