#include "platform/message_box.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace {

MessageBoxHook& hook() {
    static MessageBoxHook h;
    return h;
}

void Show(QWidget* owner, const QString& shown) {
    if (hook()) {
        hook()(shown);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), shown,
                    QMessageBox::Ok, owner);
    box.exec();
}

bool Ask(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(), text,
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace

void SetMessageBoxHook(MessageBoxHook h) {
    hook() = std::move(h);
}

void ShowMessageBox(QWidget* owner, const std::string& text) {
    Show(owner, QString::fromLatin1(text.data(), qsizetype(text.size())));
}

void ShowMessageBox(QWidget* owner, const PathText& text) {
    Show(owner, DisplayText(text));
}

bool AskYesNo(QWidget* owner, const std::string& text) {
    return Ask(owner, QString::fromLatin1(text.data(), qsizetype(text.size())));
}

bool AskYesNo(QWidget* owner, const PathText& text) {
    return Ask(owner, DisplayText(text));
}
