// vantel-gen: the Vantel generator from the command line.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "gen_options.h"
#include "gen_run.h"

namespace {

void printReport(const std::string& text) {
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find("\r\n", start);
        std::cout << text.substr(start, end - start) << '\n';
        if (end == std::string::npos) break;
        start = end + 2;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        const vantel::gen::GenOptions options = vantel::gen::parseOptions(args);
        if (options.help) {
            std::cout << vantel::gen::usageText();
            return 0;
        }
        printReport(vantel::gen::generate(options).text);
        std::cout.flush();
        return std::cout ? 0 : 1;
    } catch (const vantel::gen::UsageError& e) {
        std::cerr << "vantel-gen: " << e.what() << '\n';
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "vantel-gen: " << e.what() << '\n';
        return 1;
    }
}
