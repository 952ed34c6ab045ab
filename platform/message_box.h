#pragma once

#include "platform/path_text.h"

#include <QString>
#include <functional>
#include <string>

class QWidget;

// Modal message box with an OK button and the application's name as caption.
// Core text is bytes; it is shown decoded as Latin-1.
void ShowMessageBox(QWidget* owner, const std::string& text);
void ShowMessageBox(QWidget* owner, const PathText& text);

// A modal question with Yes and No buttons, caption as ShowMessageBox; true
// for Yes. No is the default, so that Enter changes nothing.
[[nodiscard]] bool AskYesNo(QWidget* owner, const std::string& text);
[[nodiscard]] bool AskYesNo(QWidget* owner, const PathText& text);

// Tests answer message boxes here instead of a person: while a hook is set,
// ShowMessageBox hands it the text and opens no window.
using MessageBoxHook = std::function<void(const QString& text)>;
void SetMessageBoxHook(MessageBoxHook hook);
