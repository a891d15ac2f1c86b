// Times one Generate in the real window (offscreen), then the same texts
// through vantel-gen's engine path, and prints both in seconds:
//   window_run_bench MESSAGE_FILE [box=text ...]
// Boxes are named as in the window (Messagetext, FilterCFtext, ...).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "batch/options.h"
#include "batch/render.h"
#include "ui/main_window.h"

namespace {

std::string readFile(const char* path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

vantel::batch::FileRequest requestFor(const std::string& message, const QStringList& boxes) {
    vantel::batch::FileRequest options;
    options.typed[vantel::batch::Typed::Message] = message;
    for (const QString& pair : boxes) {
        const QString name = pair.section('=', 0, 0);
        const std::string text = pair.section('=', 1).toStdString();
        if (name == "FilterCFtext") options.typed[vantel::batch::Typed::FilterCf] = text;
        if (name == "FilterBWtext") options.typed[vantel::batch::Typed::FilterBw] = text;
        if (name == "FStext") options.typed[vantel::batch::Typed::Rate] = text;
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_run_bench MESSAGE_FILE [box=text ...]\n");
        return 2;
    }
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    const std::string message = readFile(argv[1]);
    QStringList boxes;
    for (int i = 2; i < argc; ++i) boxes << QString::fromLocal8Bit(argv[i]);

    vantel::ui::Vantel window;
    window.show();
    window.findChild<QLineEdit*>("Messagetext")->setText(QString::fromStdString(message));
    // The rate before the filter bandwidth, as vantel-gen types them.
    for (const char* name : {"FStext", "FilterCFtext", "FilterBWtext"}) {
        for (const QString& pair : boxes) {
            if (pair.section('=', 0, 0) == name) window.findChild<QLineEdit*>(name)->setText(pair.section('=', 1));
        }
    }
    QElapsedTimer timer;
    timer.start();
    window.findChild<QPushButton*>("GenWav")->click();
    const double windowSeconds = timer.nsecsElapsed() / 1e9;

    timer.restart();
    vantel::batch::writeFile(requestFor(message, boxes), "command.wav");
    const double commandSeconds = timer.nsecsElapsed() / 1e9;
    std::printf("window %.3f s, vantel-gen %.3f s, ratio %.2f\n", windowSeconds, commandSeconds,
                windowSeconds / commandSeconds);
    return 0;
}
