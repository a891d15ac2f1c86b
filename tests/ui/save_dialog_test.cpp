#include <unistd.h>

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>

#include "test_fonts.h"
#include "test_palettes.h"
#include "ui/save_wav_file.h"

using vantel::ui::OfferedNameTexts;
using vantel::ui::SaveWavFile;

namespace {

const QString kSource = "CWTemp.wav";
const OfferedNameTexts kStartupTexts{"800", "20", "300", "3000", false};

QByteArray sourceBytes() {
    QByteArray bytes("RIFF");
    for (int i = 0; i < 100000; ++i) bytes.append(static_cast<char>(i * 7));
    return bytes;
}

void writeFile(const QString& name, const QByteArray& bytes) {
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Everything in the current folder, hidden entries and temporaries included.
QStringList entries() {
    return QDir(".").entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

int twipsToPixels(int twips, double dpi) { return static_cast<int>(std::lround(twips * dpi / 1440)); }

}  // namespace

class SaveDialogTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
        QVERIFY(QDir::setCurrent(folder_->path()));
        writeFile(kSource, sourceBytes());
        main_ = std::make_unique<QWidget>();
        main_->setGeometry(200, 30, 361, 539);
        main_->show();
        dialog_ = new SaveWavFile(main_.get());
    }
    void cleanup() {
        main_.reset();
        QVERIFY(QDir::setCurrent(QDir::tempPath()));
        folder_.reset();
    }

    void offersNameFromTheTextsAndPlacesTheDialog() {
        saveCommand(kStartupTexts);
        QVERIFY(dialog_->isVisible());
        QCOMPARE(text1()->text(), "800HzSN20BW300Fil3000");
        QVERIFY(!warning()->isVisible() && !deleteButton()->isVisible());
        // A screen reader names the box by its caption.
        QCOMPARE(QAccessible::queryAccessibleInterface(text1())->text(QAccessible::Name), "File Name");

        const double dpiX = dialog_->logicalDpiX();
        const double dpiY = dialog_->logicalDpiY();
        QCOMPARE(dialog_->size(), QSize(twipsToPixels(3015, dpiX), twipsToPixels(1515, dpiY)));
        const QRect main = main_->frameGeometry();
        const QPoint expected(main.left() - twipsToPixels(1000, dpiX),
                              main.top() + main.height() - dialog_->frameGeometry().height() - twipsToPixels(2000, dpiY));
        QCOMPARE(dialog_->frameGeometry().topLeft(), expected);

        // The texts stand as typed; a ticked "No Output Filtering" gives Flat.
        dialog_->move(10, 10);
        saveCommand({"800", "-5", "300", "3000", true});
        QCOMPARE(text1()->text(), "800HzSN-5BW300FilFlat");
        QCOMPARE(dialog_->frameGeometry().topLeft(), expected);
        saveCommand({" 700", "6dB", "2500", "500", false});
        QCOMPARE(text1()->text(), " 700HzSN6dBBW2500Fil500");
    }

    void keepsTheDialogOnTheScreen() {
        // At the screen's left edge the computed place starts left of the
        // screen; low on the screen it ends below it. Either way the dialog
        // moves just far enough to lie on the screen's free area.
        const QRect area = main_->screen()->availableGeometry();
        const int shift = twipsToPixels(1000, dialog_->logicalDpiX());
        const int above = twipsToPixels(2000, dialog_->logicalDpiY());
        main_->move(area.left(), area.top() + 20);
        saveCommand(kStartupTexts);
        QRect main = main_->frameGeometry();
        QCOMPARE(dialog_->frameGeometry().topLeft(),
                 QPoint(area.left(), main.bottom() + 1 - dialog_->frameGeometry().height() - above));

        main_->move(area.left() + 2 * shift, area.bottom() - 100);
        saveCommand(kStartupTexts);
        main = main_->frameGeometry();
        QCOMPARE(dialog_->frameGeometry().topLeft(),
                 QPoint(main.left() - shift, area.bottom() + 1 - dialog_->frameGeometry().height()));
        QVERIFY(area.contains(dialog_->frameGeometry()));
    }

    void everyCaptionFitsItsBox() {
        saveCommand(kStartupTexts);
        for (QLabel* label : dialog_->findChildren<QLabel*>()) {
            if (label->wordWrap()) continue;
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width(),
                     qPrintable(label->objectName()));
        }
        for (QPushButton* button : dialog_->findChildren<QPushButton*>()) {
            QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) + 6 <= button->width(),
                     qPrintable(button->objectName()));
        }
    }

    void storesUnderTheNameWithWavEnding_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("no ending") << "abc" << "abc.WAV";
        QTest::newRow("lower-case ending") << "test.wav" << "test.wav";
        QTest::newRow(".WAV inside a longer ending") << "my.wave" << "my.wave";
        QTest::newRow(".WAV not at the end") << "a.WAV.txt" << "a.WAV.txt";
        QTest::newRow("empty") << "" << ".WAV";
        QTest::newRow("wildcards stay literal") << "*?" << "*?.WAV";
    }
    void storesUnderTheNameWithWavEnding() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        if (stored.startsWith('*')) writeFile("a.WAV", "bystander");
        saveCommand(kStartupTexts);
        type(typed);
        store();
        QVERIFY(!dialog_->isVisible());
        QCOMPARE(readFile(stored), sourceBytes());
        QCOMPARE(text1()->text(), typed);
        QStringList expected{kSource, stored};
        if (stored.startsWith('*')) expected << "a.WAV";
        expected.sort();
        QCOMPARE(entries(), expected);
    }

    void everyKindOfEntryCountsAsTakenAndIsLeftAlone() {
        const QList<std::pair<QString, std::function<void(const QString&)>>> takers{
            {"file.WAV", [](const QString& name) { writeFile(name, "old"); }},
            {".WAV", [](const QString& name) { writeFile(name, "old"); }},
            {"folder.WAV", [](const QString& name) { QVERIFY(QDir(".").mkdir(name)); }},
            {"dangling.WAV", [](const QString& name) { QVERIFY(::symlink("nowhere", qPrintable(name)) == 0); }},
        };
        saveCommand(kStartupTexts);
        for (const auto& [name, take] : takers) {
            take(name);
            const QStringList before = entries();
            type(name.chopped(4));
            store();
            QVERIFY2(warning()->isVisible() && deleteButton()->isVisible(), qPrintable(name));
            QVERIFY(dialog_->isVisible());
            QCOMPARE(entries(), before);
            if (QFileInfo(name).isFile()) QCOMPARE(readFile(name), QByteArray("old"));
            QTest::keyClicks(text1(), "x");  // any change of the name ends the warning
            QVERIFY(!warning()->isVisible() && !deleteButton()->isVisible());
        }
    }

    void deleteThenStore() {
        writeFile("abc.WAV", "old");
        saveCommand(kStartupTexts);
        type("abc");
        store();
        QVERIFY(warning()->isVisible());
        QTest::mouseClick(deleteButton(), Qt::LeftButton);
        QVERIFY(!warning()->isVisible() && !deleteButton()->isVisible());
        QVERIFY(!QFileInfo::exists("abc.WAV"));
        QVERIFY(dialog_->isVisible());
        store();
        QVERIFY(!dialog_->isVisible());
        QCOMPARE(readFile("abc.WAV"), sourceBytes());
    }

    void deleteRemovesOnlyTheOneEntryNamed() {
        writeFile("kept.WAV", "kept");
        writeFile("*.WAV", "literal");
        QVERIFY(::symlink("kept.WAV", "link.WAV") == 0);
        saveCommand(kStartupTexts);
        for (const QString& name : {QString("*"), QString("link")}) {
            type(name);
            store();
            QVERIFY(warning()->isVisible());
            QTest::mouseClick(deleteButton(), Qt::LeftButton);
            QVERIFY(!warning()->isVisible());
        }
        QCOMPARE(entries(), QStringList({kSource, "kept.WAV"}));
        QCOMPARE(readFile("kept.WAV"), QByteArray("kept"));
    }

    void deleteRefusesAFolder() {
        QVERIFY(QDir(".").mkpath("d.WAV/inside"));
        saveCommand(kStartupTexts);
        type("d");
        store();
        QTest::mouseClick(deleteButton(), Qt::LeftButton);
        QVERIFY(QFileInfo("d.WAV/inside").isDir());
        QVERIFY(errorText()->isVisible());
        QVERIFY(errorText()->text().contains("folder"));
        QVERIFY(warning()->isVisible() && deleteButton()->isVisible());
        type("e");
        QVERIFY(!errorText()->isVisible() && !warning()->isVisible());
    }

    void secondSaveCommandReplacesTheNameAndEndsTheWarning() {
        writeFile("800HzSN20BW300Fil3000.WAV", "old");
        saveCommand(kStartupTexts);
        store();
        QVERIFY(warning()->isVisible());
        saveCommand(kStartupTexts);
        QCOMPARE(text1()->text(), "800HzSN20BW300Fil3000");
        QVERIFY(!warning()->isVisible() && !deleteButton()->isVisible());

        // With an empty filter text both steps write the same name, and the
        // warning must end all the same.
        const OfferedNameTexts noBandwidth{"800", "20", "300", "", false};
        writeFile("800HzSN20BW300Fil.WAV", "old");
        saveCommand(noBandwidth);
        store();
        QVERIFY(warning()->isVisible());
        saveCommand(noBandwidth);
        QVERIFY(!warning()->isVisible() && !deleteButton()->isVisible());
    }

    void fileAppearingDuringTheCopyIsNeverReplaced() {
        dialog_->setBeforePublish([] { writeFile("late.WAV", "late"); });
        saveCommand(kStartupTexts);
        type("late");
        store();
        QCOMPARE(readFile("late.WAV"), QByteArray("late"));
        QVERIFY(dialog_->isVisible());
        QVERIFY(warning()->isVisible() && deleteButton()->isVisible());
        QCOMPARE(entries(), QStringList({kSource, "late.WAV"}));
    }

    void failedCopyIsToldAndLeavesNothing() {
        saveCommand(kStartupTexts);
        const int normalHeight = dialog_->height();

        type("nofolder/abc");
        store();
        QVERIFY(errorText()->isVisible());
        QVERIFY(errorText()->text().contains("nofolder/abc.WAV"));
        QCOMPARE(errorText()->palette().color(QPalette::WindowText), vantel::testing::kRedOnLightFace);
        QVERIFY(dialog_->height() > normalHeight);
        QVERIFY(dialog_->rect().contains(errorText()->geometry()));
        QVERIFY(!warning()->isVisible());
        QCOMPARE(entries(), QStringList({kSource}));

        QVERIFY(QFile::remove(kSource));
        type("abc");
        QVERIFY(!errorText()->isVisible());
        QCOMPARE(dialog_->height(), normalHeight);
        store();
        QVERIFY(errorText()->text().contains(kSource));
        QVERIFY(dialog_->isVisible());
        QVERIFY(entries().isEmpty());

        QVERIFY(QDir(".").mkdir(kSource));  // a folder where the file should be
        store();
        QVERIFY(errorText()->isVisible());
        QCOMPARE(entries(), QStringList({kSource}));
    }

private:
    void saveCommand(const OfferedNameTexts& texts) { dialog_->showFor(*main_, texts, kSource); }
    void type(const QString& name) {
        text1()->clear();
        QTest::keyClicks(text1(), name);
        QCOMPARE(text1()->text(), name);
    }
    void store() { QTest::mouseClick(dialog_->findChild<QPushButton*>("DoTheSave"), Qt::LeftButton); }
    QLineEdit* text1() const { return dialog_->findChild<QLineEdit*>("Text1"); }
    QLabel* warning() const { return dialog_->findChild<QLabel*>("ExistWarn"); }
    QPushButton* deleteButton() const { return dialog_->findChild<QPushButton*>("DelFile"); }
    QLabel* errorText() const { return dialog_->findChild<QLabel*>("ErrorText"); }

    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<QWidget> main_;
    SaveWavFile* dialog_ = nullptr;  // owned by main_
};

int main(int argc, char** argv) { return vantel::testing::runWindowTest<SaveDialogTest>(argc, argv); }
#include "save_dialog_test.moc"
