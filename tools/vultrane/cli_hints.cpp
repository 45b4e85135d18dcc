// A mistyped command named with the nearest one ("vultrane chek": did you mean check?).
#include <string>
#include <vector>

#include "tools/vultrane/check_util.h"
#include "tools/vultrane/commands.h"

namespace vultrane {

std::string SubcommandHint(const CLI::App& app, int argc, const char* const* argv) {
    const CLI::App* at = &app;
    std::string path = "vultrane";
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.empty() || word[0] == '-') continue;
        std::vector<std::string> names;
        const CLI::App* next = nullptr;
        for (const CLI::App* sub : at->get_subcommands([](const CLI::App*) { return true; })) {
            names.push_back(sub->get_name());
            if (sub->get_name() == word) next = sub;
        }
        // Past the commands, words are the command's own arguments.
        if (names.empty()) return {};
        if (next) {
            at = next;
            path += " " + word;
            continue;
        }
        std::string list;
        for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
        const std::string near = NearMatch(word, names);
        return "'" + word + "' is not a command of " + path +
               (near.empty() ? " (commands: " + list + ")" : "; did you mean " + near + "?");
    }
    return {};
}

}  // namespace vultrane
