#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qlx::publish {

// The publisher's command line: the options and, in order, the command and
// its arguments.
struct Options {
    std::string key;
    std::string dbms;
    std::string server;
    std::string user = "QUIL_UPT";
    // The updater's first password, unless one is given.
    std::string password = "KOLVEX4923TRA";
    std::optional<std::string> passwordOption; // --password, which others can see
    std::string passwordFile;
    std::string table = "QLX_UPT3";
    std::vector<std::string> publicKeyFiles; // --pub, any number
    std::string manifest;
    std::vector<std::string> positional;
    bool help = false;
};

// Reads `args`, the program's name first, into `options`; what is wrong with
// them, or nullopt.
std::optional<std::string> parseOptions(const std::vector<std::string>& args, Options& options);

// Writes the help text to the standard output.
void printUsage();

// `text` as a whole decimal number, a leading '+' allowed; nullopt when it is
// anything else.
[[nodiscard]] std::optional<long> wholeNumber(std::string text);

} // namespace qlx::publish
