// The sound server killed while Play waits for the end of the sound. Runs
// beside a private daemon started by scripts/with-pulseaudio.sh, which this
// test kills: Play must come back promptly with a red line, and the window
// must carry on.
#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QtTest>
#include <optional>

#include "fault_support.h"
#include "ui/test_palettes.h"
#include "ui/window_driver.h"

using vantel::testing::InFolder;
using vantel::testing::TempDir;
using vantel::testing::WindowDriver;

namespace {

const QColor kRed = vantel::testing::kRedOnLightFace;  // red, darkened to read on the light face
const QColor kBlue{0, 0, 255};

// The daemon is the process whose command line loads the native protocol on
// the socket PULSE_SERVER names.
std::optional<pid_t> soundServerPid() {
    const QString server = qEnvironmentVariable("PULSE_SERVER");
    if (!server.startsWith("unix:")) return std::nullopt;
    const QByteArray wanted = "socket=" + server.mid(5).toLocal8Bit();
    const QStringList entries = QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const pid_t pid = entry.toInt(&numeric);
        if (!numeric || pid == ::getpid()) continue;
        QFile cmdline("/proc/" + entry + "/cmdline");
        if (!cmdline.open(QIODevice::ReadOnly)) continue;
        const QByteArray args = cmdline.readAll();
        if (args.startsWith("pulseaudio") && args.contains(wanted)) return pid;
    }
    return std::nullopt;
}

}  // namespace

class PlayFaultsTest : public QObject {
    Q_OBJECT
private slots:
    void soundServerKilledDuringPlay();
};

void PlayFaultsTest::soundServerKilledDuringPlay() {
    const std::optional<pid_t> server = soundServerPid();
    if (!server) QSKIP("no private sound server: run this test through scripts/with-pulseaudio.sh");
    TempDir work;
    InFolder here(work.path());
    WindowDriver w;
    w.click("ToneOnly");
    w.type("WPMtext", "6");  // six seconds of tone
    w.generate();
    QVERIFY(w.shown("Play"));
    const auto generated = vantel::testing::readBytes("CWTemp.wav");

    QElapsedTimer sinceKill;
    QTimer::singleShot(700, [&] {
        QCOMPARE(::kill(*server, SIGKILL), 0);
        sinceKill.start();
    });
    QElapsedTimer played;
    played.start();
    w.click("Play");
    QVERIFY2(sinceKill.isValid(), "Play returned before the server was killed");
    QVERIFY2(sinceKill.elapsed() < 3000, qPrintable(QString("Play took %1 ms after the kill").arg(sinceKill.elapsed())));
    QCOMPARE(w.textColour("InfoText"), kRed);
    QVERIFY(!w.text("InfoText").isEmpty());
    QVERIFY(!w.text("InfoText").contains('\n'));
    QVERIFY(vantel::testing::readBytes("CWTemp.wav") == generated);

    // With no server at all, Play says so at once; the window goes on working.
    played.restart();
    w.click("Play");
    QVERIFY(played.elapsed() < 3000);
    QCOMPARE(w.textColour("InfoText"), kRed);
    w.type("WPMtext", "1");
    QVERIFY(w.shown("GenWav") && !w.shown("Play"));
    w.generate();
    QCOMPARE(w.textColour("InfoText"), kBlue);
    QVERIFY(w.shown("Play") && w.shown("SaveWav"));
}

QTEST_MAIN(PlayFaultsTest)
#include "play_faults_test.moc"
