#include "ui/save_wav_file.h"

#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <cmath>

#include "save/save_name.h"
#include "ui/twips.h"
#include "ui/window_look.h"

namespace vantel::ui {
namespace {

constexpr int kClientWidth = 3015;
constexpr int kClientHeight = 1515;
constexpr int kErrorLeft = 120;
constexpr int kErrorWidth = kClientWidth - 2 * kErrorLeft;
constexpr int kErrorBottomMargin = 120;
// The Save command places the dialog this far left of the main window, and
// its bottom this far above the main window's bottom.
constexpr int kLeftOfMain = 1000;
constexpr int kAboveMainBottom = 2000;

// `place` moved by as little as possible to lie inside `area`; a place larger
// than the area keeps its top left corner in view.
QRect withinArea(QRect place, const QRect& area) {
    if (place.right() > area.right()) place.moveRight(area.right());
    if (place.bottom() > area.bottom()) place.moveBottom(area.bottom());
    if (place.left() < area.left()) place.moveLeft(area.left());
    if (place.top() < area.top()) place.moveTop(area.top());
    return place;
}

std::string localName(const QString& name) { return QFile::encodeName(name).toStdString(); }

}  // namespace

SaveWavFile::SaveWavFile(QWidget* mainWindow) : QWidget(mainWindow, Qt::Dialog) {
    setObjectName("SaveWavFile");
    setWindowTitle("Save .WAV File");
    setFont(standardFont());
    createControls();
    setFixedSize(toPixelsX(kClientWidth), toPixelsY(kClientHeight));
}

int SaveWavFile::toPixelsX(int twips) const { return twipsToPixels(twips, logicalDpiX()); }
int SaveWavFile::toPixelsY(int twips) const { return twipsToPixels(twips, logicalDpiY()); }

void SaveWavFile::createControls() {
    const auto place = [this](QWidget* control, const char* name, TwipRect r) {
        control->setObjectName(name);
        control->setGeometry(toPixels(r, logicalDpiX()));
    };
    Label1 = new QLabel("File Name", this);
    place(Label1, "Label1", {960, 120, 975, 255});
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Text1 = new QLineEdit(this);
    place(Text1, "Text1", {240, 360, 2415, 285});
    Label1->setBuddy(Text1);  // a screen reader names the box by its caption
    ExistWarn = new QLabel("File Exists", this);
    place(ExistWarn, "ExistWarn", {480, 720, 1215, 255});
    QFont warningFont = layoutFont(9.75);
    warningFont.setBold(true);
    ExistWarn->setFont(warningFont);
    DelFile = new QPushButton("Delete ?", this);
    place(DelFile, "DelFile", {1680, 720, 855, 255});
    DoTheSave = new QPushButton("Store", this);
    place(DoTheSave, "DoTheSave", {960, 1080, 1095, 375});
    // Failures of a copy or a delete are told here, in a strip the dialog
    // grows by only while there is something to tell.
    ErrorText = new QLabel(this);
    ErrorText->setObjectName("ErrorText");
    ErrorText->setWordWrap(true);
    ErrorText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    applyColours();

    ExistWarn->hide();
    DelFile->hide();
    ErrorText->hide();
    setTabOrder(Text1, DoTheSave);
    setTabOrder(DoTheSave, DelFile);

    connect(Text1, &QLineEdit::textChanged, this, [this] { Text1_Change(); });
    connect(DoTheSave, &QPushButton::clicked, this, [this] { DoTheSave_Click(); });
    connect(DelFile, &QPushButton::clicked, this, [this] { DelFile_Click(); });
}

// The warnings' red, made readable on the palette in force; run again when
// the palette changes.
void SaveWavFile::applyColours() {
    for (QLabel* warning : {ExistWarn, ErrorText}) setTextColour(warning, kRed, palette().color(QPalette::Window));
}

void SaveWavFile::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) applyColours();
    QWidget::changeEvent(event);
}

void SaveWavFile::showFor(const QWidget& mainWindow, const OfferedNameTexts& texts, const QString& sourceFile) {
    sourceFile_ = sourceFile;
    if (!loaded_) Form_Load();
    show();
    raise();
    activateWindow();
    placeBeside(mainWindow);
    // In two steps, each a change of the name, as the window's texts are read.
    setFileNameText(QString::fromStdString(save::offeredNameStem(
        texts.toneText.toStdString(), texts.snText.toStdString(), texts.bwText.toStdString())));
    setFileNameText(Text1->text() +
                    QString::fromStdString(save::offeredNameFilterPart(texts.noFilter, texts.filterBwText.toStdString())));
    Text1->setFocus();
}

void SaveWavFile::placeBeside(const QWidget& mainWindow) {
    const QRect main = mainWindow.frameGeometry();
    QRect place = frameGeometry();
    place.moveTopLeft({main.left() - toPixelsX(kLeftOfMain),
                       main.top() + main.height() - place.height() - toPixelsY(kAboveMainBottom)});
    // The dialog's place follows the main window, which may stand at a screen
    // edge: a dialog reaching beyond the screen would have its name box and
    // Store button out of reach, so it is moved just far enough to lie on it.
    if (const QScreen* screen = mainWindow.screen()) place = withinArea(place, screen->availableGeometry());
    move(place.topLeft());
}

// A text equal to the one shown raises no change notification of its own,
// yet setting the name always ends the warning.
void SaveWavFile::setFileNameText(const QString& text) {
    if (Text1->text() == text) {
        Text1_Change();
    } else {
        Text1->setText(text);
    }
}

void SaveWavFile::showNameTaken(bool taken) {
    ExistWarn->setVisible(taken);
    DelFile->setVisible(taken);
}

void SaveWavFile::showError(const QString& message) {
    ErrorText->setText(message);
    ErrorText->setVisible(!message.isEmpty());
    int height = toPixelsY(kClientHeight);
    if (!message.isEmpty()) {
        const int width = toPixelsX(kErrorWidth);
        const int textHeight = ErrorText->heightForWidth(width);
        ErrorText->setGeometry(toPixelsX(kErrorLeft), height, width, textHeight);
        height += textHeight + toPixelsY(kErrorBottomMargin);
    }
    setFixedSize(toPixelsX(kClientWidth), height);
}

void SaveWavFile::closeEvent(QCloseEvent* event) {
    loaded_ = false;
    QWidget::closeEvent(event);
}

void SaveWavFile::Form_Load() {
    loaded_ = true;
    showNameTaken(false);
    showError({});
}

void SaveWavFile::Text1_Change() {
    showNameTaken(false);
    showError({});
}

void SaveWavFile::DoTheSave_Click() {
    SaveName = QString::fromStdString(save::withWavEnding(Text1->text().toStdString()));
    const std::string target = localName(SaveName);
    showError({});
    // Any entry counts, hidden files, folders and links included: the copy
    // would refuse to replace it anyway.
    if (save::nameTaken(target)) {
        showNameTaken(true);
        return;
    }
    const save::StoreResult result = save::copyWithoutReplacing(localName(sourceFile_), target, beforePublish_);
    switch (result.outcome) {
        case save::StoreOutcome::Stored:
            hide();
            break;
        case save::StoreOutcome::NameTaken:  // appeared after the test above; left untouched
            showNameTaken(true);
            break;
        case save::StoreOutcome::Failed:
            showError(QString::fromStdString(result.message));
            break;
    }
}

void SaveWavFile::DelFile_Click() {
    const std::string failure = save::removeOneFile(localName(SaveName));
    if (!failure.empty()) {
        showError(QString::fromStdString(failure));
        return;
    }
    showError({});
    showNameTaken(false);
}

}  // namespace vantel::ui
