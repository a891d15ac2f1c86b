// File faults the user cannot prevent: the disk filling up mid-run, a
// read-only folder, a folder named "CWTemp.wav", the file removed or replaced
// while the window writes it, the save target's folder removed, and a Store
// while the file is being rewritten. Each must end with a clear message, a
// usable window, nothing half-written presented as a result, and every file
// of the user's as it was.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "fault_support.h"
#include "batch/render.h"
#include "ui/progress_box.h"
#include "ui/test_palettes.h"
#include "ui/window_driver.h"

using vantel::testing::InFolder;
using vantel::testing::isCompleteWav;
using vantel::testing::listFolder;
using vantel::testing::readBytes;
using vantel::testing::runGen;
using vantel::testing::ScratchMount;
using vantel::testing::TempDir;
using vantel::testing::WindowDriver;
using vantel::testing::writeFile;

namespace {

const QColor kRed = vantel::testing::kRedOnLightFace;  // red, darkened to read on the light face
const QColor kBlue{0, 0, 255};
const std::string kUsersFile = "a recording the user keeps";
const std::vector<std::string> kOnlyUsersFile{"keep.wav"};

// Runs `action` once, from inside the run's yield to the event loop, after
// the run has sounded its first element: the file is open and half written.
void onceSounding(WindowDriver& w, std::function<void()> action) {
    auto* poll = new QTimer(&w.window);
    poll->setInterval(1);
    QObject::connect(poll, &QTimer::timeout, [poll, &w, action] {
        const auto* bar = w.find<vantel::ui::ProgressBox>("Progress");
        // Abort shows once the bar is back at zero, before the file is made;
        // a bar past zero after that means samples are being written.
        if (!w.window.runUnderWay() || !w.shown("Abort") || bar->filled() == 0) return;
        poll->stop();
        poll->deleteLater();
        action();
    });
    poll->start();
}

int lineCount(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

// A failed run: one red line naming the cause, nothing offered, Generate back.
void verifyFailedRun(WindowDriver& w, const char* cause) {
    QVERIFY2(w.text("InfoText").contains(cause), qPrintable(w.text("InfoText")));
    QCOMPARE(w.textColour("InfoText"), kRed);
    QVERIFY(!w.shown("Play") && !w.shown("SaveWav") && !w.shown("Abort"));
    QVERIFY(w.shown("GenWav"));
    QVERIFY(!w.window.runUnderWay());
}

// The window is still usable: a short run now completes and is offered.
void verifyRunCompletes(WindowDriver& w) {
    w.type("Messagetext", "E");
    w.generate();
    QCOMPARE(w.textColour("InfoText"), kBlue);
    QVERIFY(w.shown("Play") && w.shown("SaveWav"));
    QVERIFY(isCompleteWav("CWTemp.wav"));
}

void verifyGenFailed(const vantel::testing::CommandResult& r, const char* cause) {
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.find(cause) != std::string::npos, r.err.c_str());
    QCOMPARE(lineCount(r.err), 1);
    QVERIFY(r.out.empty());
}

QWidget* saveDialog(WindowDriver& w) { return w.find<QWidget>("SaveWavFile"); }

template <typename Control>
Control* inDialog(WindowDriver& w, const char* name) {
    auto* control = saveDialog(w)->findChild<Control*>(QString::fromLatin1(name));
    if (!control) qFatal("no %s in the save dialog", name);
    return control;
}

// Types `name` into the open save dialog and clicks Store.
void storeAs(WindowDriver& w, const std::string& name) {
    auto* box = inDialog<QLineEdit>(w, "Text1");
    box->selectAll();
    QTest::keyClicks(box, QString::fromStdString(name));
    QTest::mouseClick(inDialog<QPushButton>(w, "DoTheSave"), Qt::LeftButton);
}

void verifyStoreFailed(WindowDriver& w) {
    auto* error = inDialog<QLabel>(w, "ErrorText");
    QVERIFY(saveDialog(w)->isVisible());
    QVERIFY(error->isVisibleTo(saveDialog(w)));
    QVERIFY(!error->text().isEmpty());
    QCOMPARE(error->palette().color(QPalette::WindowText), kRed);
}

}  // namespace

class FileFaultsTest : public QObject {
    Q_OBJECT
private slots:
    void diskFillsUpMidRun();
    void outputFolderIsReadOnly();
    void aFolderBearsTheFileName();
    void fileRemovedOrReplacedWhileWritten();
    void commandFileRemovedWhileWritten();
    void saveTargetFolderRemoved();
    void saveOntoAFullOrReadOnlyDisk();
    void storeWhileTheFileIsRewritten();
};

void FileFaultsTest::diskFillsUpMidRun() {
    // The start-up run writes 72,044 bytes; this disk holds 64 KiB.
    ScratchMount disk(64 * 1024);
    if (!disk.mounted()) QSKIP(disk.refusal().c_str());
    writeFile(disk / "keep.wav", kUsersFile);
    TempDir work;

    const auto full = runGen(work.path(), {"-o", (disk / "out.wav").string()});
    verifyGenFailed(full, "No space left on device");
    // The message names the file asked for, not the unfinished one it wrote to.
    QVERIFY2(full.err.find((disk / "out.wav: ").string()) != std::string::npos, full.err.c_str());
    QVERIFY2(full.err.find(".partial") == std::string::npos, full.err.c_str());
    QCOMPARE(listFolder(disk.path()), kOnlyUsersFile);
    // Asked to replace the user's file, it leaves it whole when the new one cannot be.
    verifyGenFailed(runGen(work.path(), {"-o", (disk / "keep.wav").string()}), "No space left on device");
    QCOMPARE(listFolder(disk.path()), kOnlyUsersFile);

    InFolder here(disk.path());
    WindowDriver w;
    w.generate();
    verifyFailedRun(w, "No space left on device");
    QCOMPARE(listFolder(disk.path()), kOnlyUsersFile);
    QCOMPARE(vantel::testing::slurp(disk / "keep.wav"), kUsersFile);
    verifyRunCompletes(w);
}

void FileFaultsTest::outputFolderIsReadOnly() {
    ScratchMount disk(256 * 1024);
    if (!disk.mounted()) QSKIP(disk.refusal().c_str());
    TempDir work;
    QCOMPARE(runGen(work.path(), {"-o", (disk / "CWTemp.wav").string()}).exitCode, 0);
    const auto previousRun = readBytes(disk / "CWTemp.wav");
    QVERIFY(disk.remountReadOnly());
    const std::vector<std::string> before{"CWTemp.wav"};

    const auto readOnly = runGen(work.path(), {"-o", (disk / "out.wav").string()});
    verifyGenFailed(readOnly, "Read-only file system");
    QVERIFY2(readOnly.err.find("Cannot create " + (disk / "out.wav: ").string()) != std::string::npos,
             readOnly.err.c_str());
    verifyGenFailed(runGen(work.path(), {"-o", (disk / "CWTemp.wav").string()}), "Read-only file system");
    QCOMPARE(listFolder(disk.path()), before);

    WindowDriver w;
    {
        InFolder here(disk.path());
        w.generate();
        verifyFailedRun(w, "Read-only file system");
        QCOMPARE(listFolder(disk.path()), before);
        QVERIFY(readBytes(disk / "CWTemp.wav") == previousRun);
    }
    InFolder writable(work.path());
    verifyRunCompletes(w);
}

void FileFaultsTest::aFolderBearsTheFileName() {
    TempDir work;
    std::filesystem::create_directory(work / "CWTemp.wav");
    writeFile(work / "CWTemp.wav" / "inside.txt", kUsersFile);
    const std::vector<std::string> before{"CWTemp.wav"};

    verifyGenFailed(runGen(work.path(), {}), "CWTemp.wav");
    QCOMPARE(listFolder(work.path()), before);

    InFolder here(work.path());
    WindowDriver w;
    w.generate();
    verifyFailedRun(w, "CWTemp.wav");
    QVERIFY(std::filesystem::is_directory(work / "CWTemp.wav"));
    QCOMPARE(vantel::testing::slurp(work / "CWTemp.wav" / "inside.txt"), kUsersFile);
    std::filesystem::remove_all(work / "CWTemp.wav");
    verifyRunCompletes(w);
}

void FileFaultsTest::fileRemovedOrReplacedWhileWritten() {
    TempDir work;
    InFolder here(work.path());
    WindowDriver w;
    // A tone long enough that the run yields many times while the file is open.
    w.click("ToneOnly");
    w.type("WPMtext", "60");

    bool removed = false;
    onceSounding(w, [&] { removed = ::unlink("CWTemp.wav") == 0; });
    w.generate();
    QVERIFY(removed);
    verifyFailedRun(w, "CWTemp.wav");
    QVERIFY(!std::filesystem::exists(work / "CWTemp.wav"));

    // Someone else's file put in its place is theirs: neither removed nor changed.
    w.type("WPMtext", "61");
    onceSounding(w, [&] {
        ::unlink("CWTemp.wav");
        writeFile(work / "CWTemp.wav", kUsersFile);
    });
    w.generate();
    verifyFailedRun(w, "CWTemp.wav");
    QCOMPARE(vantel::testing::slurp(work / "CWTemp.wav"), kUsersFile);

    std::filesystem::remove(work / "CWTemp.wav");
    w.click("OnOffCW");
    verifyRunCompletes(w);
}

void FileFaultsTest::commandFileRemovedWhileWritten() {
    TempDir work;
    writeFile(work / "out.wav", kUsersFile);
    vantel::batch::FileRequest options;
    const std::string output = (work / "out.wav").string();
    options.mode = vantel::settings::Mode::ToneOnly;
    options.typed[vantel::batch::Typed::ToneLength] = "30";  // written in several pieces, with a look between them
    int looks = 0;
    auto removePartialCopy = [&] {
        if (++looks != 2) return false;
        for (const auto& entry : std::filesystem::directory_iterator(work.path())) {
            if (entry.path().filename().string().starts_with("out.wav.")) std::filesystem::remove(entry.path());
        }
        return false;
    };
    std::string message;
    try {
        vantel::batch::writeFile(options, output, removePartialCopy);
    } catch (const std::runtime_error& e) {
        message = e.what();
    }
    QVERIFY(looks > 2);
    // Told of the file asked for, not of the unfinished one it wrote to.
    QVERIFY2(message.find(output + ":") != std::string::npos, message.c_str());
    QVERIFY2(message.find(".partial") == std::string::npos, message.c_str());
    QCOMPARE(listFolder(work.path()), std::vector<std::string>{"out.wav"});
    QCOMPARE(vantel::testing::slurp(work / "out.wav"), kUsersFile);
}

void FileFaultsTest::saveTargetFolderRemoved() {
    TempDir work;
    InFolder here(work.path());
    WindowDriver w;
    w.generate();
    const auto generated = readBytes(work / "CWTemp.wav");
    w.click("SaveWav");
    std::filesystem::create_directory(work / "sub");
    std::filesystem::remove(work / "sub");
    storeAs(w, "sub/copy");
    verifyStoreFailed(w);
    QCOMPARE(listFolder(work.path()), std::vector<std::string>{"CWTemp.wav"});
    QVERIFY(readBytes(work / "CWTemp.wav") == generated);

    // Put back, the same Store succeeds and the copy is whole.
    std::filesystem::create_directory(work / "sub");
    QTest::mouseClick(inDialog<QPushButton>(w, "DoTheSave"), Qt::LeftButton);
    QVERIFY(!saveDialog(w)->isVisible());
    QVERIFY(readBytes(work / "sub" / "copy.WAV") == generated);
    QCOMPARE(listFolder(work / "sub"), std::vector<std::string>{"copy.WAV"});
}

void FileFaultsTest::saveOntoAFullOrReadOnlyDisk() {
    ScratchMount disk(64 * 1024);
    if (!disk.mounted()) QSKIP(disk.refusal().c_str());
    writeFile(disk / "keep.wav", kUsersFile);
    TempDir work;
    InFolder here(work.path());
    WindowDriver w;
    w.generate();  // 72,044 bytes: more than the disk holds
    w.click("SaveWav");
    storeAs(w, (disk / "copy").string());
    verifyStoreFailed(w);
    QVERIFY(inDialog<QLabel>(w, "ErrorText")->text().contains("No space left on device"));
    QCOMPARE(listFolder(disk.path()), kOnlyUsersFile);

    QVERIFY(disk.remountReadOnly());
    storeAs(w, (disk / "copy2").string());
    verifyStoreFailed(w);
    QVERIFY(inDialog<QLabel>(w, "ErrorText")->text().contains("Read-only file system"));
    QCOMPARE(listFolder(disk.path()), kOnlyUsersFile);
    QCOMPARE(vantel::testing::slurp(disk / "keep.wav"), kUsersFile);
}

void FileFaultsTest::storeWhileTheFileIsRewritten() {
    TempDir work;
    InFolder here(work.path());
    WindowDriver w;
    w.generate();
    w.click("SaveWav");
    QVERIFY(saveDialog(w)->isVisible());
    // A new message and a new run while the dialog is still open: a Store now
    // must not copy a file that is half written, or that the name no longer
    // describes.
    w.type("Messagetext", "PARIS PARIS PARIS");
    QVERIFY(!saveDialog(w)->isVisible());

    bool storeOffered = true;
    onceSounding(w, [&] { storeOffered = saveDialog(w)->isVisible(); });
    w.generate();
    QVERIFY(!storeOffered);
    QCOMPARE(listFolder(work.path()), std::vector<std::string>{"CWTemp.wav"});
}

QTEST_MAIN(FileFaultsTest)
#include "file_faults_test.moc"
