#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>

// Answers the next modal dialog from inside its own event loop: once the
// dialog is up, `answer` gets it and is expected to close it. A dialog left
// open is a failure and is closed here, so a broken test cannot hang.
inline void AnswerNextModal(std::function<void(QWidget* dialog)> answer) {
    QTimer::singleShot(0, [answer = std::move(answer)]() {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog) {
            ADD_FAILURE() << "no modal dialog is open";
            return;
        }
        answer(dialog);
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the dialog was left open";
            dialog->close();
        }
    });
}
