#include "platform/message_box.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace {
MessageBoxHook& hook() {
    static MessageBoxHook h;
    return h;
}
} // namespace

void SetMessageBoxHook(MessageBoxHook h) {
    hook() = std::move(h);
}

void ShowMessageBox(QWidget* owner, const std::string& text) {
    const QString shown = QString::fromLatin1(text.data(), qsizetype(text.size()));
    if (hook()) {
        hook()(shown);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), shown,
                    QMessageBox::Ok, owner);
    box.exec();
}

bool AskYesNo(QWidget* owner, const std::string& text) {
    QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(),
                    QString::fromLatin1(text.data(), qsizetype(text.size())),
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}
