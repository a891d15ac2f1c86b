#include "ui/play_and_wait.h"

#include <QEventLoop>
#include <QFile>
#include <string>
#include <thread>

#include "sound/player.h"

namespace vantel::ui {

QString playAndWait(const QString& path) {
    const std::string fileName = QFile::encodeName(path).toStdString();
    std::string outcome;
    QEventLoop waiting;
    std::thread worker([&] {
        outcome = sound::playWavFile(fileName);
        // Queued, so it is seen even if the worker ends before exec() starts.
        QMetaObject::invokeMethod(&waiting, &QEventLoop::quit, Qt::QueuedConnection);
    });
    waiting.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    return QString::fromStdString(outcome);
}

}  // namespace vantel::ui
