#pragma once

#include <QStatusBar>
#include <string>
#include <vector>

class QLabel;

// Pane identifiers: the message pane and the lock-key indicators.
enum : int {
    ID_SEPARATOR = 0,
    ID_INDICATOR_CAPS = 0xE701,
    ID_INDICATOR_NUM = 0xE702,
    ID_INDICATOR_SCRL = 0xE703,
};

// A status bar of panes: ID_SEPARATOR is a message pane that takes the spare
// width and shows as much of its text as fits there; an indicator pane shows
// its key's name while that lock is on, and is greyed where the windowing
// system does not report the lock state.
class CStatusBar : public QStatusBar {
    Q_OBJECT

public:
    explicit CStatusBar(QWidget* parent = nullptr);

    [[nodiscard]] bool SetIndicators(const std::vector<int>& ids);
    int GetCount() const { return int(m_panes.size()); }
    void SetPaneText(int index, const QString& text, bool update = true);
    QString GetPaneText(int index) const;
    // The text of the first pane.
    void SetWindowText(const QString& text) { SetPaneText(0, text); }
    // Reads the lock keys again; also done on every key release.
    void RefreshIndicators();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Pane {
        int id;
        QLabel* label;
    };
    std::vector<Pane> m_panes;
};

// Core text for a pane: Latin-1, with control characters (the CR a sentence
// ends with) shown as blanks so that the pane keeps one line.
QString StatusTextFromBytes(const std::string& bytes);
// `text` with control characters shown as blanks, as StatusTextFromBytes.
QString StatusText(QString text);
