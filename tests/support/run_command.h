#pragma once

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vantel::testing {

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string shellQuote(const std::string& s) {
    std::string quoted = "'";
    for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs `program` with `args` in folder `cwd`, capturing both output streams.
inline CommandResult runIn(const std::filesystem::path& cwd, const std::string& program,
                           const std::vector<std::string>& args) {
    std::string command = "cd " + shellQuote(cwd.string()) + " && " + shellQuote(program);
    for (const auto& a : args) command += " " + shellQuote(a);
    const auto outPath = cwd / ".stdout";
    const auto errPath = cwd / ".stderr";
    command += " >" + shellQuote(outPath.string()) + " 2>" + shellQuote(errPath.string()) + " </dev/null";
    const int status = std::system(command.c_str());
    CommandResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return result;
}

// The names in a folder, sorted, for checking that nothing was left behind.
inline std::vector<std::string> listFolder(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace vantel::testing
