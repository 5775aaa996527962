// kova-make-release: the publisher's gate. It signs a release folder only
// when the launcher would accept it, and judges a folder exactly as the
// launcher does.
//
//   kova-make-release sign --key KEY.pem --version VERSION FOLDER
//   kova-make-release public-key --key KEY.pem
//   kova-make-release verify --public-key PUBLIC.pem [--version VERSION] FOLDER
#include <algorithm>
#include <array>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "make-release/commands.h"
#include "make-release/platform.h"

namespace kova::tool {
namespace {

constexpr std::string_view kUsage =
    "Usage: kova-make-release sign --key KEY.pem --version VERSION [PASS] FOLDER\n"
    "       kova-make-release public-key --key KEY.pem [PASS]\n"
    "       kova-make-release verify --public-key PUBLIC.pem [--version VERSION] FOLDER\n"
    "       kova-make-release --help\n"
    "\n"
    "  sign        writes FOLDER/manifest.txt, the signed release record, when the folder\n"
    "              would pass the launcher's checks with the public half of KEY.pem;\n"
    "              otherwise reports every problem and writes nothing\n"
    "  public-key  prints the text to build into kova-mcp as KOVA_RELEASE_PUBLIC_KEY\n"
    "  verify      judges FOLDER exactly as the launcher would with PUBLIC.pem; the\n"
    "              version is the folder's name unless given\n"
    "\n"
    "  PASS, for a key encrypted with a pass phrase (never given on the command line):\n"
    "    --pass-env NAME   the pass phrase is the value of environment variable NAME\n"
    "    --pass-file FILE  the pass phrase is the first line of FILE\n";

constexpr int kUsageError = 2;
constexpr int kRefused = 1;

struct Command {
    std::string_view name;
    std::vector<std::string_view> options;  // each takes one value
    std::size_t folders;                    // how many FOLDER arguments
};

const std::array<Command, 3> kCommands{{
    {"sign", {"--key", "--version", "--pass-env", "--pass-file"}, 1},
    {"public-key", {"--key", "--pass-env", "--pass-file"}, 0},
    {"verify", {"--public-key", "--version"}, 1},
}};

struct Parsed {
    const Command* command = nullptr;
    std::map<std::string, std::string, std::less<>> options;
    std::vector<std::string> folders;
};

int usage_error() {
    std::cerr << kUsage;
    return kUsageError;
}

std::optional<Parsed> parse(const std::vector<std::string>& words) {
    if (words.empty()) return std::nullopt;
    Parsed parsed;
    for (const Command& command : kCommands) {
        if (command.name == words.front()) parsed.command = &command;
    }
    if (parsed.command == nullptr) return std::nullopt;
    bool options_ended = false;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (!options_ended && word == "--") {
            options_ended = true;
        } else if (!options_ended && word.starts_with("-")) {
            const auto& known = parsed.command->options;
            if (std::find(known.begin(), known.end(), word) == known.end() || i + 1 == words.size() ||
                parsed.options.contains(word)) {
                return std::nullopt;
            }
            parsed.options[word] = words[++i];
        } else {
            parsed.folders.push_back(word);
        }
    }
    const bool both_pass_phrases = parsed.options.contains("--pass-env") && parsed.options.contains("--pass-file");
    if (parsed.folders.size() != parsed.command->folders || both_pass_phrases) return std::nullopt;
    return parsed;
}

std::optional<std::string> option(const Parsed& parsed, std::string_view name) {
    const auto it = parsed.options.find(name);
    if (it == parsed.options.end()) return std::nullopt;
    return it->second;
}

struct Outcome {
    int status;
    std::string_view command;
};

// What a run loses when standard output cannot be written.
std::string lost_output_line(const Outcome& outcome) {
    if (outcome.command == "sign" && outcome.status == kDone) {
        return "the folder is signed and its manifest.txt is in place, but standard output cannot be written, so the "
               "line saying what it lists is lost";
    }
    return "standard output cannot be written, so what the command printed is lost";
}

Outcome run_command(const Arguments& arguments) {
    std::vector<std::string> words;
    for (const std::optional<std::string>& argument : arguments) {
        if (!argument) {
            complain("an argument is not Unicode text");
            return {kUsageError, ""};
        }
        words.push_back(*argument);
    }
    if (words.size() == 1 && (words[0] == "--help" || words[0] == "-h" || words[0] == "help")) {
        std::cout << kUsage;
        return {kDone, "help"};
    }
    const std::optional<Parsed> parsed = parse(words);
    if (!parsed) return {usage_error(), ""};
    const KeyFile key{option(*parsed, "--key").value_or(""), option(*parsed, "--pass-env"), option(*parsed, "--pass-file")};
    const std::string_view command = parsed->command->name;
    if (command == "public-key") {
        if (key.path.empty()) return {usage_error(), command};
        return {print_public_key(key), command};
    }
    if (command == "sign") {
        const std::optional<std::string> version = option(*parsed, "--version");
        if (key.path.empty() || !version) return {usage_error(), command};
        return {sign_folder(key, *version, parsed->folders.front()), command};
    }
    const std::optional<std::string> public_key = option(*parsed, "--public-key");
    if (!public_key) return {usage_error(), command};
    return {verify_folder(*public_key, option(*parsed, "--version"), parsed->folders.front()), command};
}

}  // namespace

// Output that cannot be written, to a full disk or a closed pipe, is a
// failure like any other.
int run(const Arguments& arguments) {
    const Outcome outcome = run_command(arguments);
    std::cout.flush();
    if (!std::cout) {
        complain(lost_output_line(outcome));
        return kRefused;
    }
    return outcome.status;
}

}  // namespace kova::tool
