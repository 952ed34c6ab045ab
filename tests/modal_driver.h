#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <type_traits>

// How AnswerNextModal looks for its dialog.
struct ModalWait {
    // [ms] how long to go on looking; 0 looks once, at the next pass of the
    // event loop. A dialog that opens only after an earlier one has closed
    // needs a wait.
    int ms = 0;
    // A dialog must come up; where none should, pass false (with ms 0, so that
    // the watch cannot outlast the test) and check the result.
    bool required = true;
};

// Answers the next modal dialog of type Dialog (any by default) from inside
// its own event loop: once it is up, `answer` gets it and is expected to
// close it. A dialog left open is a failure and is closed here, so a broken
// test cannot hang. The result turns true once a dialog was answered.
template <class Dialog = QWidget>
std::shared_ptr<const bool>
AnswerNextModal(std::type_identity_t<std::function<void(Dialog*)>> answer, ModalWait wait = {}) {
    auto answered = std::make_shared<bool>(false);
    auto* poll = new QTimer;
    const QDeadlineTimer deadline(wait.ms);
    QObject::connect(poll, &QTimer::timeout, [=] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dialog && !deadline.hasExpired()) {
            poll->setInterval(10);
            return;
        }
        poll->stop();
        poll->deleteLater();
        if (!dialog) {
            if (wait.required)
                ADD_FAILURE() << "no modal " << Dialog::staticMetaObject.className() << " came up";
            return;
        }
        *answered = true;
        answer(dialog);
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the dialog was left open";
            dialog->close();
        }
    });
    poll->start(0);
    return answered;
}
