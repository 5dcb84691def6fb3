#include "Host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/Cp1251.h"
#include "platform/Platform.h"

namespace nbhost {
namespace {

Host* theHost = nullptr;

constexpr int kMaxDepth = 200; // GoSubs inside GoSubs before the script is stopped

// The callbacks cross the plug-in's frames: nothing may be thrown through them.
template <class F>
void Guarded(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "nbhost: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "nbhost: unexpected failure in a callback\n");
    }
}

// The callbacks take the host's calling convention (Exports.h), which on
// Windows is not the C one.
void TV_HOSTCALL OnAddAction(int32_t id, const char* name, const char* hint, int32_t count,
                             int32_t lastIndex, const uint8_t* codes) {
    Guarded([&] { theHost->AddAction(id, name, hint, codes, lastIndex, count); });
}

void TV_HOSTCALL OnSetVariable(const char* name, const char* value) {
    Guarded([&] { theHost->SetVariable(name, value); });
}

void TV_HOSTCALL OnScriptCommand(const char* line) {
    Guarded([&] { theHost->ProcessScriptCommand(line); });
}

bool TV_HOSTCALL OnInterfaceAccess(int32_t request, char** slot) {
    Guarded([&] { theHost->InterfaceAccess(request, slot); });
    return true;
}

// The index of an open array's last element, as the host hands it.
int32_t LastIndex(const std::vector<char*>& texts) {
    return static_cast<int32_t>(texts.size()) - 1;
}

// A fixed global-memory copy of a text, as the host hands texts over.
char* GlobalCopy(const std::string& text) {
    auto* block = static_cast<char*>(GlobalAlloc(GMEM_FIXED, text.size() + 1));
    if (block == nullptr)
        throw std::bad_alloc();
    std::memcpy(block, text.c_str(), text.size() + 1);
    return block;
}

// Takes a text out of a slot the plug-in filled, releasing its block.
std::string TakeText(char*& slot) {
    std::string text = slot != nullptr ? slot : "";
    if (slot != nullptr)
        GlobalFree(slot);
    slot = nullptr;
    return text;
}

template <class F>
F ProcAs(HMODULE module, const char* name) {
    const FARPROC proc = GetProcAddress(module, name);
    // Through the generic function pointer type, which may stand for any.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
}

std::string StripBrackets(const std::string& name) {
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
        return name.substr(1, name.size() - 2);
    return name;
}

// A whole text read as a number, for comparisons: an optional sign, digits and
// an optional fraction. Nothing else counts ("nan", "inf", "0x10", blanks), so
// that such texts compare as texts, the same on every C runtime.
bool AsNumber(const std::string& text, double& value) {
    std::size_t pos = text.empty() || (text[0] != '-' && text[0] != '+') ? 0 : 1;
    std::size_t digits = 0;
    bool point = false;
    for (; pos < text.size(); ++pos) {
        if (text[pos] >= '0' && text[pos] <= '9')
            ++digits;
        else if (text[pos] == '.' && !point)
            point = true;
        else
            return false;
    }
    if (digits == 0)
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

bool ParseMilliseconds(const std::string& text, std::uint32_t& value) {
    if (text.empty() || text.size() > 9)
        return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return true;
}

std::string Quoted(const std::vector<std::string>& params) {
    std::string out;
    for (const std::string& p : params)
        out += " \"" + p + "\"";
    return out;
}

} // namespace

Host::Host(Options options) : options_(std::move(options)) {
    theHost = this;
}

Host::~Host() {
    // Unloading frees every player and recorder the scripts left behind.
    if (library_ != nullptr)
        FreeLibrary(library_);
    theHost = nullptr;
}

bool Host::Load() {
    library_ = LoadLibraryA(options_.pluginPath.c_str());
    if (library_ == nullptr) {
        std::fprintf(stderr, "nbhost: cannot load the plug-in %s\n",
                     cp1251::ToUtf8(options_.pluginPath).c_str());
        return false;
    }
    const auto init = ProcAs<decltype(&nbInitPlugIn)>(library_, "nbInitPlugIn");
    const auto registerPlugIn = ProcAs<decltype(&nbRegisterPlugIn)>(library_, "nbRegisterPlugIn");
    const auto registerScript =
        ProcAs<decltype(&nbRegisterScriptProcessor)>(library_, "nbRegisterScriptProcessor");
    const auto registerInterface =
        ProcAs<decltype(&nbRegisterInterfaceAccess)>(library_, "nbRegisterInterfaceAccess");
    exec_ = ProcAs<decltype(&nbExecAction)>(library_, "nbExecAction");
    edit_ = ProcAs<decltype(&nbEditAction)>(library_, "nbEditAction");
    about_ = ProcAs<decltype(&nbAbout)>(library_, "nbAbout");
    if (init == nullptr || registerPlugIn == nullptr || registerScript == nullptr ||
        registerInterface == nullptr || exec_ == nullptr || edit_ == nullptr || about_ == nullptr) {
        std::fprintf(stderr, "nbhost: %s lacks the plug-in entry points\n",
                     cp1251::ToUtf8(options_.pluginPath).c_str());
        return false;
    }
    char* title = nullptr;
    char* author = nullptr;
    char* description = nullptr;
    init(nullptr, &title, &author, &description);
    title_ = TakeText(title);
    author_ = TakeText(author);
    description_ = TakeText(description);
    registerPlugIn(OnAddAction, nullptr, nullptr, OnSetVariable);
    registerScript(OnScriptCommand);
    registerInterface(OnInterfaceAccess);
    return true;
}

void Host::PrintCatalogue() const {
    Print("title: " + title_);
    Print("author: " + author_);
    Print("description: " + description_);
    for (const Action& a : catalogue_) {
        std::string codes = "(";
        for (std::int32_t i = 0; i < a.count; ++i) {
            if (i > 0)
                codes += ',';
            codes += std::to_string(a.Code(static_cast<std::size_t>(i)));
        }
        codes += ')';
        char row[160];
        std::snprintf(row, sizeof row, "%2d  %-24s %-13s ", a.id, a.name.c_str(), codes.c_str());
        // Category rows (ID 0) carry a title only.
        std::string line = a.id == 0 ? " 0  " + a.name : row + a.hint;
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        Print(line);
    }
}

void Host::AddAction(std::int32_t id, const char* name, const char* hint, const std::uint8_t* codes,
                     std::int32_t lastIndex, std::int32_t count) {
    Action a;
    a.id = id;
    a.name = name != nullptr ? name : "";
    a.hint = hint != nullptr ? hint : "";
    if (codes != nullptr && lastIndex >= 0 && lastIndex < 64)
        a.codes.assign(codes, codes + lastIndex + 1);
    a.count = count < 0 ? 0 : count;
    const std::int32_t expectedLast = a.count > 0 ? a.count - 1 : 0;
    if (lastIndex != expectedLast || a.count > 32)
        std::fprintf(stderr, "nbhost: %s registered with last index %d and count %d\n",
                     cp1251::ToUtf8(a.name).c_str(), lastIndex, count);
    if (id != 0) {
        const std::string folded = Fold(a.name);
        if (IsBuiltIn(folded) || actionIndex_.count(folded) != 0)
            std::fprintf(stderr, "nbhost: the action name %s is taken already\n",
                         cp1251::ToUtf8(a.name).c_str());
        else
            actionIndex_[folded] = catalogue_.size();
    }
    catalogue_.push_back(std::move(a));
}

void Host::SetVariable(const char* name, const char* value) {
    if (name == nullptr)
        return;
    const std::string text = value != nullptr ? value : "";
    if (options_.trace)
        Print(std::string("set ") + name + " = " + text);
    SetVar(name, text);
}

void Host::ProcessScriptCommand(const char* line) {
    if (line == nullptr || stop_)
        return;
    Statement st;
    bool blank = false;
    std::string error;
    if (!ParseLine(line, 0, st, blank, error)) {
        Fail(st, error + ": " + line);
        return;
    }
    if (blank)
        return;
    const std::string folded = Fold(st.name);
    if (st.kind == Statement::Kind::Label || folded == "if" || folded == "else" ||
        folded == "endif" || folded == "while" || folded == "endwhile" || folded == "return") {
        Fail(st, "the plug-in may not send " + std::string(line));
        return;
    }
    if (options_.trace) {
        if (folded == "gosub" && st.params.size() == 1)
            Print("gosub " + st.params[0]);
        else if (folded == "clearvariables" && st.params.size() == 1)
            Print("clear " + StripBrackets(st.params[0]));
        else
            Print(std::string("command ") + line);
    }
    struct Counted {
        int& count;
        explicit Counted(int& c) : count(c) { ++count; }
        ~Counted() { --count; }
        Counted(const Counted&) = delete;
        Counted& operator=(const Counted&) = delete;
    } counted(pluginCalls_);
    Execute(st);
}

void Host::InterfaceAccess(std::int32_t request, char** slot) {
    if (slot == nullptr)
        return;
    switch (static_cast<HostRequest>(request)) {
    case HostRequest::SubroutineList: {
        std::string list;
        for (const std::string& label : script_.labels)
            list += (list.empty() ? "" : "\r\n") + label;
        *slot = GlobalCopy(list);
        break;
    }
    case HostRequest::Version:
        *slot = GlobalCopy(options_.versionText);
        break;
    case HostRequest::Message:
        Print(std::string("message: ") + (*slot != nullptr ? *slot : ""));
        break;
    default:
        // The pickers: nobody picks here, so the text stays as it is.
        break;
    }
}

int Host::RunFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "nbhost: cannot read %s\n", path.c_str());
        return 2;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);
    scriptPath_ = path;
    std::vector<ScriptError> errors;
    script_ = ParseScript(cp1251::FromUtf8(text), errors);
    for (const Statement& st : script_.statements) {
        if (st.kind != Statement::Kind::Command || IsBuiltIn(Fold(st.name)))
            continue;
        const auto it = actionIndex_.find(Fold(st.name));
        if (it == actionIndex_.end()) {
            errors.push_back({st.line, "unknown command \"" + st.name + "\""});
        } else if (const Action& a = catalogue_[it->second];
                   st.params.size() != static_cast<std::size_t>(a.count)) {
            errors.push_back({st.line, a.name + " takes " + std::to_string(a.count) +
                                           " parameters, not " + std::to_string(st.params.size())});
        }
    }
    if (!errors.empty()) {
        std::stable_sort(
            errors.begin(), errors.end(),
            [](const ScriptError& a, const ScriptError& b) { return a.line < b.line; });
        for (const ScriptError& e : errors)
            std::fprintf(stderr, "%s:%d: %s\n", path.c_str(), e.line,
                         cp1251::ToUtf8(e.message).c_str());
        return 1;
    }
    RunFrom(0, false);
    return failed_ ? 1 : 0;
}

Host::Flow Host::RunFrom(std::size_t index, bool inSubroutine) {
    while (index < script_.statements.size()) {
        // A subroutine the plug-in runs from inside one of its calls runs to
        // its end first: only Delay lets other messages in there.
        if (pluginCalls_ == 0)
            PumpMessages();
        if (stop_)
            return Flow::Stop;
        const Statement& st = script_.statements[index];
        if (st.kind == Statement::Kind::Label) {
            ++index;
            continue;
        }
        const std::string folded = Fold(st.name);
        if (folded == "if" || folded == "while") {
            bool result = false;
            if (!Compare(st, result))
                return Flow::Stop;
            index = result ? index + 1 : st.jump + 1;
        } else if (folded == "endwhile") {
            index = st.jump; // the While asks again
        } else if (folded == "else") {
            index = st.jump + 1; // the If's own branch is done
        } else if (folded == "return") {
            return inSubroutine ? Flow::Return : Flow::Stop;
        } else {
            if (Execute(st) == Flow::Stop || stop_)
                return Flow::Stop;
            ++index;
        }
    }
    return Flow::Next;
}

Host::Flow Host::Execute(const Statement& st) {
    const std::string folded = Fold(st.name);
    if (folded == "endif")
        return Flow::Next;
    if (folded == "setvar") {
        SetVar(StripBrackets(st.params[0]), Expand(st.params[1]));
    } else if (folded == "clearvariables") {
        SetVar(StripBrackets(st.params[0]), "");
    } else if (folded == "alertbox") {
        Print("alert [" + Expand(st.params[0]) + "] " + Expand(st.params[1]));
    } else if (folded == "delay") {
        std::uint32_t ms = 0;
        if (!ParseMilliseconds(Expand(st.params[0]), ms)) {
            Fail(st, "Delay needs a number of milliseconds, not \"" + st.params[0] + "\"");
            return Flow::Stop;
        }
        Delay(ms);
    } else if (folded == "exit") {
        stop_ = true;
        return Flow::Stop;
    } else if (folded == "gosub") {
        return GoSub(st, Expand(st.params[0]));
    } else if (const auto it = actionIndex_.find(folded); it != actionIndex_.end()) {
        const Action& action = catalogue_[it->second];
        if (st.params.size() != static_cast<std::size_t>(action.count)) {
            Fail(st, action.name + " takes " + std::to_string(action.count) + " parameters, not " +
                         std::to_string(st.params.size()));
            return Flow::Stop;
        }
        return CallAction(st, action);
    } else {
        Fail(st, "unknown command \"" + st.name + "\"");
        return Flow::Stop;
    }
    return Flow::Next;
}

Host::Flow Host::GoSub(const Statement& st, const std::string& label) {
    const auto it = script_.labelIndex.find(NameKey(label));
    if (it == script_.labelIndex.end()) {
        Fail(st, "no label \"" + label + "\"");
        return Flow::Stop;
    }
    if (depth_ >= kMaxDepth) {
        Fail(st, "GoSub \"" + label + "\" nests too deeply");
        return Flow::Stop;
    }
    ++depth_;
    const Flow flow = RunFrom(it->second + 1, true);
    --depth_;
    return flow == Flow::Stop ? Flow::Stop : Flow::Next;
}

Host::Flow Host::CallAction(const Statement& st, const Action& action) {
    // Parameter texts are handed over in global-memory blocks, as the host's
    // are; variable parameters carry the variable's name.
    std::vector<char*> params;
    std::vector<std::string> shown;
    try {
        for (std::size_t i = 0; i < st.params.size(); ++i) {
            const std::string text = action.Code(i) == kParamVariable ? StripBrackets(st.params[i])
                                                                      : Expand(st.params[i]);
            shown.push_back(text);
            params.push_back(GlobalCopy(text));
        }
    } catch (...) {
        for (char* p : params)
            GlobalFree(p);
        throw;
    }
    const std::int32_t result = exec_(action.id, params.data(), LastIndex(params));
    for (char* p : params)
        GlobalFree(p);
    if (options_.trace)
        Print("exec " + action.name + Quoted(shown) + " -> " + std::to_string(result));
    return Flow::Next;
}

bool Host::Compare(const Statement& st, bool& result) {
    const std::string left = Expand(st.params[0]);
    const std::string op = Expand(st.params[1]);
    const std::string right = Expand(st.params[2]);
    int order = 0;
    double a = 0;
    double b = 0;
    if (AsNumber(left, a) && AsNumber(right, b))
        order = a < b ? -1 : (a > b ? 1 : 0);
    else
        order = left.compare(right) < 0 ? -1 : (left == right ? 0 : 1);
    if (op == "=")
        result = order == 0;
    else if (op == "<>")
        result = order != 0;
    else if (op == "<")
        result = order < 0;
    else if (op == ">")
        result = order > 0;
    else if (op == "<=")
        result = order <= 0;
    else if (op == ">=")
        result = order >= 0;
    else {
        Fail(st, "unknown comparison \"" + op + "\"");
        return false;
    }
    return true;
}

void Host::PumpMessages() {
    MSG msg;
    while (!stop_ && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            stop_ = true;
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void Host::Delay(std::uint32_t milliseconds) {
    // The system's clock, which the devices play and record by (natively it
    // may run fast, or stand still until every thread waits).
    const DWORD start = GetTickCount();
    for (;;) {
        PumpMessages();
        if (stop_)
            return;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    }
}

std::string Host::Expand(const std::string& text) const {
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t open = text.find('[', pos);
        if (open == std::string::npos) {
            out += text.substr(pos);
            break;
        }
        out += text.substr(pos, open - pos);
        const std::size_t close = text.find_first_of("[]", open + 1);
        if (close == std::string::npos || text[close] == '[') {
            // No variable here: the bracket stands for itself.
            out += '[';
            pos = open + 1;
            continue;
        }
        const std::string name = text.substr(open + 1, close - open - 1);
        std::uint32_t code = 0;
        if (name.size() > 1 && name[0] == '#' && ParseMilliseconds(name.substr(1), code) &&
            code <= 255)
            out += static_cast<char>(code); // [#34] is a double quote
        else
            out += GetVar(name);
        pos = close + 1;
    }
    return out;
}

std::string Host::VariableKey(const std::string& name) {
    return NameKey(StripBrackets(TrimName(name)));
}

std::string Host::GetVar(const std::string& name) const {
    const auto it = variables_.find(VariableKey(name));
    return it == variables_.end() ? std::string() : it->second;
}

void Host::SetVar(const std::string& name, const std::string& value) {
    if (value.empty())
        variables_.erase(VariableKey(name));
    else
        variables_[VariableKey(name)] = value;
}

void Host::Fail(const Statement& st, const std::string& message) {
    if (st.line > 0)
        std::fprintf(stderr, "%s:%d: %s\n", scriptPath_.c_str(), st.line,
                     cp1251::ToUtf8(message).c_str());
    else
        std::fprintf(stderr, "%s: sent by the plug-in: %s\n", scriptPath_.c_str(),
                     cp1251::ToUtf8(message).c_str());
    failed_ = true;
    stop_ = true;
}

int Host::Edit(const std::string& action, const std::vector<std::string>& params) {
    const auto it = actionIndex_.find(Fold(action));
    if (it == actionIndex_.end()) {
        std::fprintf(stderr, "nbhost: the plug-in has no action %s\n",
                     cp1251::ToUtf8(action).c_str());
        return 2;
    }
    const Action& a = catalogue_[it->second];
    if (params.size() > static_cast<std::size_t>(a.count)) {
        std::fprintf(stderr, "nbhost: %s takes %d parameters\n", a.name.c_str(), a.count);
        return 2;
    }
    std::vector<char*> slots;
    for (std::int32_t i = 0; i < a.count; ++i)
        slots.push_back(GlobalCopy(static_cast<std::size_t>(i) < params.size() ? params[i] : ""));
    const std::int32_t result = edit_(a.id, slots.data(), LastIndex(slots));
    Print("edit " + a.name + " -> " + std::to_string(result));
    for (std::size_t i = 0; i < slots.size(); ++i) {
        std::string line = "p";
        line += std::to_string(i);
        line += " = ";
        line += TakeText(slots[i]);
        Print(line);
    }
    return 0;
}

int Host::About() {
    about_();
    return 0;
}

void Host::Print(const std::string& ansiLine) const {
    const std::string line = cp1251::ToUtf8(ansiLine) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

} // namespace nbhost
