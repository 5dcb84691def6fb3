#include "host/Dispatch.h"

#include <algorithm>
#include <exception>
#include <string>

#include "host/Execution.h"
#include "host/HostServices.h"

namespace {

std::string UnexpectedErrorText(int32_t actionId) {
    return std::string("Unexpected error in \"") + ActionName(actionId) + "\" action";
}

std::string MessageOf(const std::exception& error, int32_t actionId) {
    const char* what = error.what();
    return what != nullptr && *what != '\0' ? std::string(what) : UnexpectedErrorText(actionId);
}

// Reports a failure that escaped an executor the way executors report theirs.
void ReportEscapedFailure(int32_t actionId, ActionParams params, const std::string& text) noexcept {
    try {
        SetVariable(kLastErrorVariable, text);
        const std::optional<std::size_t> result = ResultParamIndex(actionId);
        if (result && *result < params.size() && params[*result] != nullptr)
            SetVariable(params[*result], kFalseText);
    } catch (...) {
        // Nothing more can be told to the host; the 0 answer still says it failed.
    }
}

void ShowFailure(const std::string& text) noexcept {
    try {
        ShowHostMessage(text);
    } catch (...) {
    }
}

int32_t GuardedEdit(ActionEditor editor, int32_t id, std::span<char*> slots) {
    try {
        return editor(slots);
    } catch (const std::exception& error) {
        ShowFailure(MessageOf(error, id));
    } catch (...) {
        ShowFailure(UnexpectedErrorText(id));
    }
    return 0;
}

} // namespace

std::span<char*> HostArray(char** first, int32_t lastIndex) {
    if (first == nullptr || lastIndex < 0)
        return {};
    return {first, static_cast<std::size_t>(lastIndex) + 1};
}

int32_t ExecuteAction(const ActionExecutorTable& executors, int32_t id,
                      std::span<char* const> handed) {
    const CatalogueRow* row = FindAction(id);
    if (row == nullptr)
        return 0;
    const ActionExecutor executor = executors[static_cast<std::size_t>(id)];
    if (executor == nullptr)
        return 0;
    const auto count = static_cast<std::size_t>(row->paramCount);
    // Fewer texts than parameters: the missing ones read as empty.
    std::array<char*, kMaxActionParams> padded{};
    ActionParams view(padded.data(), count);
    if (handed.size() >= count)
        view = handed.first(count);
    else
        std::copy(handed.begin(), handed.end(), padded.begin());
    try {
        return executor(view);
    } catch (const std::exception& error) {
        ReportEscapedFailure(id, view, MessageOf(error, id));
    } catch (...) {
        ReportEscapedFailure(id, view, UnexpectedErrorText(id));
    }
    return 0;
}

int32_t EditAction(const ActionEditorTable& editors, int32_t id, std::span<char*> handed) {
    const CatalogueRow* row = FindAction(id);
    if (row == nullptr || row->paramCount == 0)
        return 0;
    const ActionEditor editor = editors[static_cast<std::size_t>(id)];
    if (editor == nullptr)
        return 0;
    const auto count = static_cast<std::size_t>(row->paramCount);
    if (handed.size() >= count)
        return GuardedEdit(editor, id, handed.first(count));
    // Fewer slots than parameters: the dialog edits a full set, the host
    // gets back what fits in its own.
    std::array<char*, kMaxActionParams> slots{};
    std::copy(handed.begin(), handed.end(), slots.begin());
    const int32_t result = GuardedEdit(editor, id, std::span<char*>(slots.data(), count));
    std::copy_n(slots.begin(), handed.size(), handed.begin());
    for (std::size_t i = handed.size(); i < count; ++i)
        FreeHostString(&slots[i]);
    return result;
}

void ShowAboutBox(AboutBoxProc aboutBox) {
    if (aboutBox == nullptr)
        return;
    try {
        aboutBox();
    } catch (const std::exception& error) {
        const char* what = error.what();
        ShowFailure(what != nullptr && *what != '\0' ? what : "Unexpected error in the about box");
    } catch (...) {
        ShowFailure("Unexpected error in the about box");
    }
}
