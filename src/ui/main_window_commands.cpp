// The Play and Save commands of the main window.
#include <QCheckBox>
#include <QLineEdit>
#include <QMetaObject>

#include "ui/main_window.h"
#include "ui/play_and_wait.h"
#include "ui/save_wav_file.h"
#include "ui/window_look.h"

namespace vantel::ui {

void Vantel::Play_Click() {
    if (playing_ || runUnderWay()) return;
    playing_ = true;
    const QString failure = playAndWait(QString::fromLatin1(kTempWavFile));
    playing_ = false;
    if (!failure.isEmpty()) showInfo(failure, kRed);
    if (closeRequested_) QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void Vantel::SaveWav_Click() {
    if (saveDialog_ == nullptr) saveDialog_ = new SaveWavFile(this);
    const OfferedNameTexts texts{Ftonetext->text(), SNtext->text(), BWtext->text(), FilterBWtext->text(),
                                 NoFilter->isChecked()};
    saveDialog_->showFor(*this, texts, QString::fromLatin1(kTempWavFile));
}

}  // namespace vantel::ui
