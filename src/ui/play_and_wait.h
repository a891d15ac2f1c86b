#pragma once

#include <QString>

namespace vantel::ui {

// The Play command: plays the WAV file at `path` (relative names against the
// current directory) to its end and returns afterwards. The playback runs on
// a worker thread while a local event loop keeps the windows painting but
// holds back mouse and keyboard input until the sound has finished. Empty
// when it was played; otherwise one line saying why not, to be shown in red.
QString playAndWait(const QString& path);

}  // namespace vantel::ui
