// nbhost: runs NeoBook-style scripts against the plug-in, the way NeoBook
// itself loads and drives it.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "Host.h"
#include "platform/Cp1251.h"
#include "platform/Platform.h"

namespace {

const char kUsage[] =
    "usage: nbhost [--plugin PATH] [--trace] [--version-text TEXT] SCRIPT\n"
    "       nbhost [--plugin PATH] --list\n"
    "       nbhost [--plugin PATH] [--version-text TEXT] --edit ACTION [PARAMETER...]\n"
    "       nbhost [--plugin PATH] --about\n"
    "  --plugin PATH        the plug-in to load (default: Tonvald.nbp beside nbhost)\n"
    "  --trace              print every variable write, GoSub, ClearVariables and\n"
    "                       action call of the plug-in, in order\n"
    "  --version-text TEXT  the host version the plug-in is told (default 5.8.0)\n"
    "  --list               print the plug-in's identity and catalogue, then exit\n"
    "  --edit ACTION ...    open the action's dialog with these parameters and print\n"
    "                       its answer and the parameters after it closed\n"
    "  --about              show the plug-in's about box\n";

// A command-line text as the plug-in's Windows-1251: Linux hands over UTF-8,
// Windows (and Wine) the ANSI code page's bytes, which are seldom valid UTF-8.
std::string ArgumentText(const char* arg) {
    const std::string_view text(arg);
    bool multibyte = false;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t start = pos;
        if (cp1251::DecodeUtf8(text, pos) == 0xFFFD)
            return std::string(text);
        multibyte = multibyte || pos - start > 1;
    }
    return multibyte ? cp1251::FromUtf8(text) : std::string(text);
}

// The folder this program was started from, with its separator.
std::string ProgramFolder() {
    char path[MAX_PATH * 4] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    const std::string full(path, n);
    const auto slash = full.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : full.substr(0, slash + 1);
}

} // namespace

int main(int argc, char** argv) {
    nbhost::Options options;
    bool list = false;
    bool about = false;
    std::string editAction;
    std::vector<std::string> editParams;
    std::string script;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--plugin" && i + 1 < argc) {
            options.pluginPath = argv[++i];
        } else if (arg == "--version-text" && i + 1 < argc) {
            options.versionText = argv[++i];
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg == "--list") {
            list = true;
        } else if (arg == "--about") {
            about = true;
        } else if (arg == "--edit" && i + 1 < argc) {
            editAction = argv[++i];
            while (++i < argc)
                editParams.push_back(ArgumentText(argv[i]));
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!arg.empty() && arg[0] != '-' && script.empty()) {
            script = arg;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (script.empty() && !list && !about && editAction.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (options.pluginPath.empty())
        options.pluginPath = ProgramFolder() + "Tonvald.nbp";

    nbhost::Host host(options);
    if (!host.Load())
        return 2;
    if (list) {
        host.PrintCatalogue();
        return 0;
    }
    if (!editAction.empty())
        return host.Edit(editAction, editParams);
    if (about)
        return host.About();
    return host.RunFile(script);
}
