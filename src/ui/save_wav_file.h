#pragma once

#include <QString>
#include <QWidget>

#include "save/file_store.h"

class QCloseEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantel::ui {

// The texts of the main window's boxes that the offered file name is made
// of, exactly as they stand, and whether "No Output Filtering" is ticked.
struct OfferedNameTexts {
    QString toneText;      // Ftonetext
    QString snText;        // SNtext
    QString bwText;        // BWtext
    QString filterBwText;  // FilterBWtext
    bool noFilter = false;  // NoFilter
};

// The modeless "Save .WAV File" dialog: stores a copy of the generated file
// under a chosen name and never replaces anything already bearing that name.
// When the name is taken it says "File Exists" and offers "Delete ?", which
// removes that one file; Store then stores under the freed name. A copy or a
// delete that fails is reported in red in the dialog, which stays open.
// Controls keep their layout names as member and object names.
class SaveWavFile : public QWidget {
    Q_OBJECT
public:
    // The dialog belongs to the main window and closes with it.
    explicit SaveWavFile(QWidget* mainWindow);

    // The Save command: shows the dialog without blocking the main window,
    // puts it back at its place beside `mainWindow`, and offers the name made
    // from `texts`, replacing whatever was typed. Store copies `sourceFile`.
    void showFor(const QWidget& mainWindow, const OfferedNameTexts& texts, const QString& sourceFile);

    // Runs between the finished copy and its naming (tests use it to make the
    // name appear at the last moment).
    void setBeforePublish(save::BeforePublish hook) { beforePublish_ = std::move(hook); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void createControls();
    void applyColours();
    int toPixelsX(int twips) const;
    int toPixelsY(int twips) const;
    void placeBeside(const QWidget& mainWindow);
    void setFileNameText(const QString& text);
    void showNameTaken(bool taken);
    void showError(const QString& message);

    // Control events.
    void Form_Load();
    void Text1_Change();
    void DoTheSave_Click();
    void DelFile_Click();

    QString SaveName;
    QString sourceFile_;
    bool loaded_ = false;
    save::BeforePublish beforePublish_;

    QLabel* Label1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* ExistWarn = nullptr;
    QPushButton* DelFile = nullptr;
    QPushButton* DoTheSave = nullptr;
    QLabel* ErrorText = nullptr;
};

}  // namespace vantel::ui
