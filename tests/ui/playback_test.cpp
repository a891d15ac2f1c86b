#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "ui/play_and_wait.h"

using vantel::ui::playAndWait;

namespace {

constexpr int kRate = 8000;
constexpr double kSeconds = 1.5;
constexpr int kAmplitude = 12000;

void putLe(QByteArray& bytes, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes.append(static_cast<char>((value >> (8 * i)) & 0xff));
}

// A WAV file of an 800 Hz tone, written by hand so any kind can be made.
QString writeTone(const QString& path, int channels, int bits) {
    const int samples = static_cast<int>(kRate * kSeconds);
    const int blockAlign = channels * bits / 8;
    QByteArray data;
    for (int i = 0; i < samples; ++i) {
        const double value = kAmplitude * std::sin(2 * M_PI * 800 * i / kRate);
        for (int c = 0; c < channels; ++c) {
            if (bits == 16) putLe(data, static_cast<std::uint16_t>(static_cast<std::int16_t>(value)), 2);
            else putLe(data, static_cast<std::uint8_t>(128 + value / 256), 1);
        }
    }
    QByteArray file("RIFF");
    putLe(file, 36 + data.size(), 4);
    file.append("WAVEfmt ");
    putLe(file, 16, 4);
    putLe(file, 1, 2);
    putLe(file, channels, 2);
    putLe(file, kRate, 4);
    putLe(file, kRate * blockAlign, 4);
    putLe(file, blockAlign, 2);
    putLe(file, bits, 2);
    file.append("data");
    putLe(file, data.size(), 4);
    file.append(data);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size()) return {};
    return path;
}

// Records what the default sink plays, from its monitor, as 16-bit mono.
class MonitorRecording {
public:
    MonitorRecording() {
        recorder_.start("parec", {"--device=@DEFAULT_MONITOR@", "--raw", "--format=s16le",
                                  "--rate=" + QString::number(kRate), "--channels=1", "--latency-msec=20"});
    }
    // Whether the recorder's stream has reached the server within `ms`.
    bool waitUntilRecording(int ms) {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < ms) {
            QProcess list;
            list.start("pactl", {"list", "short", "source-outputs"});
            list.waitForFinished(5000);
            if (!list.readAllStandardOutput().trimmed().isEmpty()) return true;
            QTest::qWait(20);
        }
        return false;
    }
    QByteArray stop() {
        recorder_.terminate();
        recorder_.waitForFinished(5000);
        return recorder_.readAllStandardOutput();
    }

private:
    QProcess recorder_;
};

double loudSeconds(const QByteArray& raw) {
    int loud = 0;
    for (qsizetype i = 0; i + 1 < raw.size(); i += 2) {
        const auto sample = static_cast<std::int16_t>(static_cast<std::uint8_t>(raw[i]) |
                                                      (static_cast<std::uint8_t>(raw[i + 1]) << 8));
        if (std::abs(sample) > kAmplitude / 4) ++loud;
    }
    return static_cast<double>(loud) / kRate;
}

}  // namespace

class PlaybackTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(folder_.isValid()); }

    void playsToTheEndWhileTheWindowKeepsPainting() {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
            QSKIP("needs a sound server: run under scripts/with-pulseaudio.sh, as ctest does");
        }
        const QString tone = writeTone(folder_.filePath("tone.wav"), 1, 16);
        QVERIFY(!tone.isEmpty());
        MonitorRecording recording;
        QVERIFY2(recording.waitUntilRecording(5000), "parec did not start recording the null sink's monitor");

        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(50);
        QElapsedTimer clock;
        clock.start();
        const QString message = playAndWait(tone);
        const qint64 took = clock.elapsed();
        ticker.stop();
        QTest::qWait(300);
        const QByteArray heard = recording.stop();

        QCOMPARE(message, QString());
        QVERIFY2(took >= kSeconds * 1000, qPrintable(QString("returned after %1 ms").arg(took)));
        QVERIFY2(took <= kSeconds * 1000 + 1000, qPrintable(QString("returned after %1 ms").arg(took)));
        QVERIFY2(ticks >= 10, "the event loop did not run while the sound played");
        const double loud = loudSeconds(heard);
        QVERIFY2(loud >= 1.0, qPrintable(QString("%1 s of the tone reached the sink").arg(loud)));
    }

    void reportsAMissingServerPromptly() {
        const std::optional<QByteArray> server = qEnvironmentVariableIsSet("PULSE_SERVER")
                                                     ? std::optional(qgetenv("PULSE_SERVER"))
                                                     : std::nullopt;
        qputenv("PULSE_SERVER", "unix:" + folder_.filePath("no-server-here").toLocal8Bit());
        const QString tone = writeTone(folder_.filePath("tone.wav"), 1, 16);
        QElapsedTimer clock;
        clock.start();
        const QString message = playAndWait(tone);
        const qint64 took = clock.elapsed();
        if (server) qputenv("PULSE_SERVER", *server);
        else qunsetenv("PULSE_SERVER");

        QVERIFY2(message.startsWith("Cannot play: no sound server"), qPrintable(message));
        QVERIFY(!message.contains('\n'));
        QVERIFY2(took < 2000, qPrintable(QString("took %1 ms").arg(took)));
    }

    void refusesFilesItCannotPlay() {
        const QString missing = folder_.filePath("missing.wav");
        const QString stereo = writeTone(folder_.filePath("stereo.wav"), 2, 16);
        const QString eightBit = writeTone(folder_.filePath("eight.wav"), 1, 8);
        const QString text = folder_.filePath("text.wav");
        QFile out(text);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write("not a sound file") > 0);
        out.close();

        QVERIFY(playAndWait(missing).contains("missing.wav cannot be opened"));
        QVERIFY(playAndWait(stereo).contains("not a 16-bit mono PCM WAV file"));
        QVERIFY(playAndWait(eightBit).contains("not a 16-bit mono PCM WAV file"));
        QVERIFY(playAndWait(text).contains("is not a WAV file"));
    }

private:
    QTemporaryDir folder_;
};

QTEST_MAIN(PlaybackTest)
#include "playback_test.moc"
