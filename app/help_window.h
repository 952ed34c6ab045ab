#pragma once

#include <QMainWindow>
#include <QString>

class QTextBrowser;

// The program's help: the pages of :/help/ in a browser with Back, Forward
// and Home.
class CHelpWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit CHelpWindow(QWidget* parent = nullptr);

    // Shows `page`, a file name under :/help/ with an optional "#anchor".
    void ShowPage(const QString& page);
    QTextBrowser* Browser() const { return m_pBrowser; }

private:
    QTextBrowser* m_pBrowser;
};

// Help Topics and F1: shows `page` in the program's one help window, made on
// first use as a window of its own that `owner` (the main window, or none)
// takes with it when it goes, and brings it to the front.
CHelpWindow* ShowHelp(QWidget* owner, const QString& page = QStringLiteral("index.html"));

// Shift+F1: the pointer becomes a question mark, and the next click on a
// widget shows that widget's what's-this text instead of acting on it.
void EnterContextHelpMode();
