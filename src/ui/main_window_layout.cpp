// Builds the main window's controls where the layout puts them.
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <algorithm>
#include <utility>
#include <vector>

#include "settings/entry_rules.h"
#include "ui/frame_box.h"
#include "ui/main_window.h"
#include "ui/progress_box.h"
#include "ui/twips.h"
#include "ui/window_look.h"
#include "ui/wrapping_button.h"

namespace vantel::ui {
namespace {

constexpr TwipRect kClientArea{0, 0, 5415, 8085};

template <typename Control>
Control* place(Control* control, const char* name, const TwipRect& at, double dpi) {
    control->setObjectName(name);
    control->setGeometry(toPixels(at, dpi));
    return control;
}

QLabel* label(QWidget* parent, const char* name, const char* caption, const TwipRect& at, double dpi,
              Qt::Alignment horizontal = Qt::AlignLeft) {
    auto* control = place(new QLabel(QString::fromLatin1(caption), parent), name, at, dpi);
    control->setTextFormat(Qt::PlainText);
    control->setAlignment(horizontal | Qt::AlignVCenter);
    return control;
}

// An edit box with the start-up text its settings are loaded from.
QLineEdit* textBox(QWidget* parent, const char* name, settings::Box box, const TwipRect& at, double dpi) {
    const std::string_view text = settings::startupText(box);
    return place(new QLineEdit(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())), parent), name,
                 at, dpi);
}

QGroupBox* frame(QWidget* parent, const char* name, const char* caption, const TwipRect& at, double dpi) {
    return place(new FrameBox(QString::fromLatin1(caption), parent), name, at, dpi);
}

// A read-only box of several lines, for figures the program writes (on the
// button face: see applyColours).
QPlainTextEdit* displayBox(QWidget* parent, const char* name, const TwipRect& at, double dpi) {
    auto* control = place(new QPlainTextEdit(parent), name, at, dpi);
    control->setReadOnly(true);
    control->setTabChangesFocus(true);
    control->document()->setDocumentMargin(1);
    control->setBackgroundVisible(false);
    return control;
}

// The width a caption control needs to show the widest of `texts` in `font`.
int neededWidth(const QWidget* control, const QFont& font, const QStringList& texts) {
    const QFontMetrics metrics(font);
    int widest = 0;
    for (const QString& text : texts) widest = std::max(widest, metrics.horizontalAdvance(text));
    if (auto* option = qobject_cast<const QAbstractButton*>(control)) {
        // The indicator and the spacing beside the caption.
        return option->sizeHint().width() - option->fontMetrics().horizontalAdvance(option->text()) + widest;
    }
    return widest + control->width() - control->contentsRect().width();
}

// The layout was drawn for a face a desktop may lack. A caption that would be
// cut first grows its box away from the side it is aligned to, within its
// container, so its text stays where it was drawn; where even that is not
// room enough, it is drawn in a smaller size of the same face.
void fitCaption(QWidget* control, const QStringList& texts) {
    constexpr double kSmallestPoints = 5;
    constexpr double kPointStep = 0.25;
    const int extra = neededWidth(control, control->font(), texts) - control->width();
    if (extra <= 0) return;
    bool growLeft = false;
    if (auto* caption = qobject_cast<QLabel*>(control)) growLeft = (caption->alignment() & Qt::AlignRight) != 0;
    const QRect room = control->parentWidget()->contentsRect();
    QRect place = control->geometry();
    if (growLeft) {
        place.setLeft(std::max(room.left(), place.left() - extra));
    } else {
        place.setRight(std::min(room.right(), place.right() + extra));
    }
    control->setGeometry(place);

    QFont font = control->font();
    while (neededWidth(control, font, texts) > control->width() && font.pointSizeF() > kSmallestPoints) {
        font.setPointSizeF(font.pointSizeF() - kPointStep);
    }
    if (font != control->font()) control->setFont(font);
}

// A button caption may wrap onto a second line; when even that leaves it
// taller than the button, the button grows to the right to hold it on one.
void fitButtonCaption(QPushButton* button) {
    constexpr int kBevel = 3;
    const QRect room = button->rect().adjusted(kBevel, kBevel, -kBevel, -kBevel);
    const QFontMetrics metrics(button->font());
    if (metrics.boundingRect(room, Qt::AlignCenter | Qt::TextWordWrap, button->text()).height() <= room.height()) {
        return;
    }
    QRect place = button->geometry();
    place.setWidth(metrics.horizontalAdvance(button->text()) + 2 * kBevel + metrics.averageCharWidth());
    button->setGeometry(place);
}

}  // namespace

void Vantel::fitCaptions() {
    for (QPushButton* button : {Abort, SaveWav, Play, GenWav}) fitButtonCaption(button);
    for (QLabel* caption : findChildren<QLabel*>()) {
        if (!caption->wordWrap()) fitCaption(caption, {caption->text()});
    }
    for (QAbstractButton* option : {static_cast<QAbstractButton*>(FSKCW), static_cast<QAbstractButton*>(OnOffCW),
                                    static_cast<QAbstractButton*>(ToneOnly), static_cast<QAbstractButton*>(NoFilter)}) {
        fitCaption(option, {option->text()});
    }
    // Captions the handlers write, at their longest.
    fitCaption(Label4, {"CW Speed WPM", "Tone Duration  s"});
    fitCaption(Label7, {"Dot interval  1200ms"});
    fitCaption(DurLabel, {"Duration 999.9 seconds"});
    fitCaption(FIRLen, {"FIR  4096", settings::kToneOutsideFilterText});
}

void Vantel::createControls() {
    setObjectName("Vantel");
    setWindowTitle("Vantel   Morvath");
    setFont(standardFont());
    setFixedSize(toPixels(kClientArea, logicalDpi_).size());
    // Frames first, so the controls placed on the window itself lie above them,
    // and "Modulation" is drawn in front of "Message / Tone Data".
    createMessageFrame();
    createModulationFrame();
    createLevelFrame();
    createFilterFrame();
    createWindowControls();
    fitCaptions();
    setTabOrder();
    nameControlsByCaptions();
    applyColours();
}

// A screen reader names a box by the caption beside it. The label stays the
// box's buddy when its caption changes, so the name follows.
void Vantel::nameControlsByCaptions() {
    // On the window, then frame by frame.
    const std::vector<std::pair<QLabel*, QWidget*>> captions{
        {Label1, FStext},
        {Label2, BWtext}, {Label6, SNtext}, {Label8, ScaleText},
        {Label3, Ftonetext}, {Label4, WPMtext}, {Label5, Messagetext}, {SPToneLabel, SpaceToneText},
        {Label10, FilterCFtext}, {Label9, FilterBWtext}};
    for (const auto& [caption, box] : captions) caption->setBuddy(box);
    // The bar sets the same level as the box beside it; the display boxes
    // have no caption, only what they show.
    ScaleScroll->setAccessibleName(Label8->text());
    CWPatternText->setAccessibleName("Keying pattern");
    SNVals->setAccessibleName("S/N normalised");
}

// The window's own colours, each text made readable on its background under
// the palette in force; run again whenever the palette changes.
void Vantel::applyColours() {
    const QPalette& look = palette();
    const QColor face = look.color(QPalette::Button);
    const QColor background = look.color(QPalette::Window);
    for (QPlainTextEdit* box : {CWPatternText, SNVals}) setBackground(box, face);
    setBackground(Play, kLightGreen);
    setTextColour(Play, look.color(QPalette::ButtonText), kLightGreen);
    setTextColour(CWPatternText, kRed, face);
    // The grey the desktop gives a workspace behind documents.
    setTextColour(FIRLen, look.color(QPalette::Dark), background);
    if (infoColour_) setTextColour(InfoText, *infoColour_, background);
}

void Vantel::createWindowControls() {
    const double dpi = logicalDpi_;
    Progress = place(new ProgressBox(this), "Progress", {3000, 4800, 2175, 135}, dpi);
    Progress->hide();
    Abort = place(new WrappingButton("Abort", this), "Abort", {3720, 6000, 735, 375}, dpi);
    Abort->hide();
    SaveWav = place(new WrappingButton("Save Wav File", this), "SaveWav", {2640, 6480, 1215, 495}, dpi);
    SaveWav->setFont(layoutFont(9.75));
    SaveWav->hide();
    Play = place(new WrappingButton("Play >>>", this), "Play", {1320, 6480, 1215, 495}, dpi);
    Play->setFont(layoutFont(12));
    Play->hide();
    GenWav = place(new WrappingButton("Generate WAV file", this), "GenWav", {2160, 6480, 975, 495}, dpi);

    CWPatternText = displayBox(this, "CWPatternText", {480, 7080, 4455, 975}, dpi);
    CWPatternText->setFont(layoutFont(9.75));
    CWPatternText->setWordWrapMode(QTextOption::WrapAnywhere);
    CWPatternText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    FStext = textBox(this, "FStext", settings::Box::FStext, {1440, 240, 735, 285}, dpi);
    InfoText = label(this, "InfoText", "", {3120, 5040, 2055, 855}, dpi, Qt::AlignHCenter);
    InfoText->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    InfoText->setWordWrap(true);
    Label1 = label(this, "Label1", "Sample rate Hz", {120, 240, 1215, 255}, dpi, Qt::AlignRight);
}

void Vantel::createModulationFrame() {
    const double dpi = logicalDpi_;
    TxType = frame(this, "TxType", "Modulation", {240, 1800, 1575, 1095}, dpi);
    FSKCW = place(new QRadioButton("FSK CW", TxType), "FSKCW", {120, 720, 975, 255}, dpi);
    OnOffCW = place(new QRadioButton("ON/OFF CW", TxType), "OnOffCW", {120, 480, 1335, 255}, dpi);
    ToneOnly = place(new QRadioButton("Cont Tone", TxType), "ToneOnly", {120, 240, 1095, 255}, dpi);
    OnOffCW->setChecked(true);
    TxType->raise();
}

void Vantel::createLevelFrame() {
    const double dpi = logicalDpi_;
    Frame3 = frame(this, "Frame3", "S/N and Output Level", {120, 3120, 5055, 1455}, dpi);
    SNVals = displayBox(Frame3, "SNVals", {3360, 240, 1575, 735}, dpi);
    SNVals->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SNVals->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SNVals->setWordWrapMode(QTextOption::NoWrap);
    BWtext = textBox(Frame3, "BWtext", settings::Box::BWtext, {2280, 240, 735, 285}, dpi);
    SNtext = textBox(Frame3, "SNtext", settings::Box::SNtext, {2280, 600, 735, 285}, dpi);
    ScaleText = textBox(Frame3, "ScaleText", settings::Box::ScaleText, {2280, 960, 735, 285}, dpi);
    ScaleScroll = place(new QScrollBar(Qt::Vertical, Frame3), "ScaleScroll", {3000, 960, 255, 375}, dpi);
    ScaleScroll->setRange(settings::kScaleScrollMin, settings::kScaleScrollMax);
    ScaleScroll->setSingleStep(1);
    ScaleScroll->setPageStep(5);
    ScaleScroll->setValue(0);
    // Louder is up: the top end is +10 dB, and the up arrow and key raise it.
    ScaleScroll->setInvertedAppearance(true);
    ScaleScroll->setInvertedControls(false);
    ScaleScroll->setFocusPolicy(Qt::StrongFocus);
    Label2 = label(Frame3, "Label2", "Reference S/N BW Hz", {120, 240, 1695, 255}, dpi, Qt::AlignRight);
    Label6 = label(Frame3, "Label6", "Signal / Noise  dB", {120, 600, 1695, 255}, dpi, Qt::AlignRight);
    Label8 = label(Frame3, "Label8", "Output Scaling  dB", {480, 960, 1335, 255}, dpi, Qt::AlignRight);
}

void Vantel::createMessageFrame() {
    const double dpi = logicalDpi_;
    Frame2 = frame(this, "Frame2", "Message / Tone Data", {120, 720, 5055, 2295}, dpi);
    SpaceToneText = textBox(Frame2, "SpaceToneText", settings::Box::SpaceToneText, {3480, 1920, 735, 285}, dpi);
    SpaceToneText->hide();
    Ftonetext = textBox(Frame2, "Ftonetext", settings::Box::Ftonetext, {3480, 1560, 735, 285}, dpi);
    WPMtext = textBox(Frame2, "WPMtext", settings::Box::WPMtext, {3480, 840, 735, 285}, dpi);
    Messagetext = textBox(Frame2, "Messagetext", settings::Box::Messagetext, {240, 480, 4695, 285}, dpi);
    SPToneLabel = label(Frame2, "SPToneLabel", "Space Tone", {2400, 1920, 975, 255}, dpi, Qt::AlignRight);
    SPToneLabel->hide();
    Label3 = label(Frame2, "Label3", "Tone Frequency Hz", {1800, 1560, 1575, 255}, dpi, Qt::AlignRight);
    Label4 = label(Frame2, "Label4", "CW Speed  WPM", {2040, 840, 1335, 255}, dpi, Qt::AlignRight);
    Label5 = label(Frame2, "Label5", "Message Text", {480, 240, 1095, 255}, dpi, Qt::AlignRight);
    Label7 = label(Frame2, "Label7", settings::startupText(settings::Box::Label7).data(), {3240, 1200, 1695, 255}, dpi);
    DurLabel = label(Frame2, "DurLabel", "", {2040, 240, 2415, 255}, dpi);
}

void Vantel::createFilterFrame() {
    const double dpi = logicalDpi_;
    Frame1 = frame(this, "Frame1", "Output Filter", {120, 4680, 2655, 1575}, dpi);
    NoFilter = place(new QCheckBox("No Output Filtering", Frame1), "NoFilter", {360, 240, 1695, 255}, dpi);
    FilterCFtext = textBox(Frame1, "FilterCFtext", settings::Box::FilterCFtext, {1800, 600, 735, 285}, dpi);
    FilterBWtext = textBox(Frame1, "FilterBWtext", settings::Box::FilterBWtext, {1800, 960, 735, 285}, dpi);
    FIRLen = label(Frame1, "FIRLen", "FIR ", {240, 1200, 1575, 255}, dpi);
    Label10 = label(Frame1, "Label10", "Centre Frequency", {120, 600, 1455, 255}, dpi, Qt::AlignRight);
    Label9 = label(Frame1, "Label9", "Output Filter BW/ Hz", {120, 960, 1575, 255}, dpi, Qt::AlignRight);
}

void Vantel::setTabOrder() {
    // The controls that take the focus, in their tab order.
    const std::vector<QWidget*> order{FStext,    CWPatternText, FilterBWtext, FilterCFtext, NoFilter,
                                      Messagetext, WPMtext,     Ftonetext,    ScaleScroll,  ScaleText,
                                      SNtext,    BWtext,        SNVals,       GenWav,       Play,
                                      SaveWav,   Abort,         ToneOnly,     OnOffCW,      FSKCW,
                                      SpaceToneText};
    for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

}  // namespace vantel::ui
