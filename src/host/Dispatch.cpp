#include "host/Dispatch.h"

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

} // namespace

int32_t ExecuteAction(const ActionExecutorTable& executors, int32_t id, char** params) {
    const CatalogueRow* row = FindAction(id);
    if (row == nullptr)
        return 0;
    const ActionExecutor executor = executors[static_cast<std::size_t>(id)];
    if (executor == nullptr || (row->paramCount > 0 && params == nullptr))
        return 0;
    const ActionParams view(params, static_cast<std::size_t>(row->paramCount));
    try {
        return executor(view);
    } catch (const std::exception& error) {
        ReportEscapedFailure(id, view, MessageOf(error, id));
    } catch (...) {
        ReportEscapedFailure(id, view, UnexpectedErrorText(id));
    }
    return 0;
}

int32_t EditAction(const ActionEditorTable& editors, int32_t id, char** slots) {
    const CatalogueRow* row = FindAction(id);
    if (row == nullptr || row->paramCount == 0)
        return 0;
    const ActionEditor editor = editors[static_cast<std::size_t>(id)];
    if (editor == nullptr || slots == nullptr)
        return 0;
    try {
        return editor(std::span<char*>(slots, static_cast<std::size_t>(row->paramCount)));
    } catch (const std::exception& error) {
        ShowFailure(MessageOf(error, id));
    } catch (...) {
        ShowFailure(UnexpectedErrorText(id));
    }
    return 0;
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
