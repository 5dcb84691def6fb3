#include "Script.h"

#include <array>
#include <string_view>

namespace nbhost {
namespace {

struct BuiltIn {
    std::string_view name; // folded
    std::size_t params;
};

constexpr std::array<BuiltIn, 12> kBuiltIns = {{
    {"setvar", 2},
    {"if", 3},
    {"else", 0},
    {"endif", 0},
    {"while", 3},
    {"endwhile", 0},
    {"gosub", 1},
    {"return", 0},
    {"clearvariables", 1},
    {"alertbox", 2},
    {"delay", 1},
    {"exit", 0},
}};

const BuiltIn* FindBuiltIn(const std::string& folded) {
    for (const BuiltIn& b : kBuiltIns)
        if (b.name == folded)
            return &b;
    return nullptr;
}

// Blanks and control characters, as the plug-in trims them from names.
bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

} // namespace

std::string TrimName(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string Fold(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 'A' && b <= 'Z')
            c = static_cast<char>(b + 32);
        else if (b >= 0xC0 && b <= 0xDF) // А..Я
            c = static_cast<char>(b + 32);
        else if (b == 0xA8) // Ё
            c = static_cast<char>(0xB8);
    }
    return out;
}

bool IsBuiltIn(const std::string& foldedName) {
    return FindBuiltIn(foldedName) != nullptr;
}

bool ParseLine(const std::string& text, int line, Statement& out, bool& blank, std::string& error) {
    out = Statement{};
    out.line = line;
    blank = false;
    const std::string trimmed = TrimName(text);
    if (trimmed.empty() || trimmed[0] == '.') {
        blank = true;
        return true;
    }
    if (trimmed[0] == ':') {
        out.kind = Statement::Kind::Label;
        out.name = TrimName(trimmed.substr(1));
        if (out.name.empty()) {
            error = "a label needs a name";
            return false;
        }
        return true;
    }
    std::size_t pos = 0;
    while (pos < trimmed.size() && !IsBlank(trimmed[pos]) && trimmed[pos] != '"')
        ++pos;
    out.name = trimmed.substr(0, pos);
    for (;;) {
        while (pos < trimmed.size() && IsBlank(trimmed[pos]))
            ++pos;
        if (pos == trimmed.size())
            return true;
        if (trimmed[pos] != '"') {
            error = "parameters must be written in double quotes";
            return false;
        }
        const std::size_t close = trimmed.find('"', pos + 1);
        if (close == std::string::npos) {
            error = "a parameter lacks its closing double quote";
            return false;
        }
        out.params.push_back(trimmed.substr(pos + 1, close - pos - 1));
        pos = close + 1;
        if (pos < trimmed.size() && !IsBlank(trimmed[pos])) {
            error = "parameters must be separated by blanks";
            return false;
        }
    }
}

std::string NameKey(const std::string& name) {
    return Fold(TrimName(name));
}

const Statement* Script::FindLabel(const std::string& name) const {
    const auto it = labelIndex.find(NameKey(name));
    return it == labelIndex.end() ? nullptr : &statements[it->second];
}

Script ParseScript(const std::string& text, std::vector<ScriptError>& errors) {
    Script script;
    // The If and While blocks still open, innermost last.
    struct OpenBlock {
        bool isWhile;
        std::size_t start;                         // the If or While
        std::size_t otherwise = std::string::npos; // the If's Else
    };
    std::vector<OpenBlock> open;
    int line = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        ++line;
        Statement st;
        bool blank = false;
        std::string error;
        if (!ParseLine(text.substr(start, end - start), line, st, blank, error)) {
            errors.push_back({line, error});
        } else if (!blank) {
            const std::size_t index = script.statements.size();
            const std::string folded = Fold(st.name);
            if (st.kind == Statement::Kind::Label) {
                if (!script.labelIndex.emplace(NameKey(st.name), index).second)
                    errors.push_back({line, "label \"" + st.name + "\" is defined twice"});
                else
                    script.labels.push_back(st.name);
            } else if (const BuiltIn* b = FindBuiltIn(folded)) {
                if (st.params.size() != b->params)
                    errors.push_back({line, st.name + " takes " + std::to_string(b->params) +
                                                " parameters, not " +
                                                std::to_string(st.params.size())});
                const bool inIf = !open.empty() && !open.back().isWhile;
                const bool inWhile = !open.empty() && open.back().isWhile;
                if (folded == "if" || folded == "while") {
                    open.push_back({folded == "while", index});
                } else if (folded == "else") {
                    if (!inIf)
                        errors.push_back({line, "Else without If"});
                    else if (open.back().otherwise != std::string::npos)
                        errors.push_back({line, "a second Else for one If"});
                    else
                        open.back().otherwise = index;
                } else if (folded == "endif") {
                    if (!inIf) {
                        errors.push_back({line, "EndIf without If"});
                    } else {
                        Statement& opening = script.statements[open.back().start];
                        if (open.back().otherwise != std::string::npos) {
                            opening.jump = open.back().otherwise;
                            script.statements[open.back().otherwise].jump = index;
                        } else {
                            opening.jump = index;
                        }
                        open.pop_back();
                    }
                } else if (folded == "endwhile") {
                    if (!inWhile) {
                        errors.push_back({line, "EndWhile without While"});
                    } else {
                        script.statements[open.back().start].jump = index;
                        st.jump = open.back().start;
                        open.pop_back();
                    }
                }
            }
            script.statements.push_back(std::move(st));
        }
        if (end == text.size())
            break;
        start = end + 1;
    }
    for (const OpenBlock& block : open)
        errors.push_back({script.statements[block.start].line,
                          block.isWhile ? "While without EndWhile" : "If without EndIf"});
    // A GoSub whose target is written out must find it.
    for (const Statement& st : script.statements)
        if (st.kind == Statement::Kind::Command && Fold(st.name) == "gosub" &&
            st.params.size() == 1 && st.params[0].find('[') == std::string::npos &&
            script.FindLabel(st.params[0]) == nullptr)
            errors.push_back({st.line, "no label \"" + st.params[0] + "\""});
    return script;
}

} // namespace nbhost
