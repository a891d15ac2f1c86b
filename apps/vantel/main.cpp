// vantel: the desktop program.
#include <QApplication>
#include <iostream>
#include <optional>
#include <string_view>

#include "ui/main_window.h"
#include "vantel_version.h"

namespace {

constexpr std::string_view kUsage =
    "Usage: vantel [--version | --help] [Qt options]\n"
    "Opens the Vantel window, which makes test recordings of Morse code in\n"
    "calibrated noise (see vantel(1); vantel-gen(1) does the same from scripts).\n";

// --version and --help are answered before QApplication exists: it needs a
// display, and these must work without one (over ssh, in a package check).
std::optional<int> answerWithoutWindow(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::cout << "vantel " << vantel::kVersion << '\n';
        } else if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
        } else {
            continue;
        }
        std::cout.flush();
        return std::cout ? 0 : 1;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> status = answerWithoutWindow(argc, argv)) return *status;
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vantel");
    QGuiApplication::setDesktopFileName("vantel");
    vantel::ui::Vantel window;
    window.show();
    return QApplication::exec();
}
