#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QWidget>

#include "ui/main_window.h"

// Drives the main window the way a user does: by control name, with real
// clicks and key presses.
namespace vantel::testing {

class WindowDriver {
public:
    WindowDriver() {
        window.show();
        window.activateWindow();
        if (!QTest::qWaitForWindowExposed(&window)) qFatal("window not shown");
    }

    template <typename Control = QWidget>
    Control* find(const char* name) {
        auto* control = window.findChild<Control*>(QString::fromLatin1(name));
        if (!control) qFatal("no control named %s", name);
        return control;
    }

    QString text(const char* name) {
        QWidget* control = find(name);
        if (auto* box = qobject_cast<QLineEdit*>(control)) return box->text();
        if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
        if (auto* area = qobject_cast<QPlainTextEdit*>(control)) return area->toPlainText();
        if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
        qFatal("%s has no text", name);
        return {};
    }

    bool shown(const char* name) { return find(name)->isVisibleTo(&window); }

    // Replaces the box's text keystroke by keystroke, as a user selecting
    // everything and typing over it.
    void type(const char* name, const QString& text) {
        auto* box = find<QLineEdit>(name);
        box->setFocus();
        box->selectAll();
        if (text.isEmpty()) {
            QTest::keyClick(box, Qt::Key_Delete);
        } else {
            QTest::keyClicks(box, text);
        }
    }

    void click(const char* name) {
        auto* button = find<QAbstractButton>(name);
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }

    void generate() { click("GenWav"); }

    QColor textColour(const char* name) { return find(name)->palette().color(QPalette::WindowText); }

    vantel::ui::Vantel window;
};

}  // namespace vantel::testing
