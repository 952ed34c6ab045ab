#include "platform/status_bar.h"

#include "platform/lock_keys.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QStyle>

namespace {

// The message pane takes the width the bar has spare and asks for none: a
// long text (a sentence, or a receiver's stream without line ends) must not
// widen the window. What does not fit ends in an ellipsis; text() stays whole.
class CMessagePane : public QLabel {
public:
    explicit CMessagePane(QWidget* parent) : QLabel(parent) {
        setTextFormat(Qt::PlainText);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect area = contentsRect();
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
        style()->drawItemText(&painter, area,
                              int(QStyle::visualAlignment(layoutDirection(), alignment())),
                              palette(), isEnabled(), shown, foregroundRole());
    }
};

} // namespace

CStatusBar::CStatusBar(QWidget* parent) : QStatusBar(parent) {
    qApp->installEventFilter(this);
}

bool CStatusBar::SetIndicators(const std::vector<int>& ids) {
    for (const Pane& p : m_panes)
        delete p.label;
    m_panes.clear();
    for (int id : ids) {
        QLabel* label = nullptr;
        if (id == ID_SEPARATOR) {
            label = new CMessagePane(this);
            addWidget(label, 1);
        } else {
            label = new QLabel(this);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignCenter);
            label->setFrameShape(QFrame::StyledPanel);
            label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) +
                                   8);
            addPermanentWidget(label);
        }
        m_panes.push_back({id, label});
    }
    RefreshIndicators();
    return true;
}

void CStatusBar::SetPaneText(int index, const QString& text, bool update) {
    if (index < 0 || index >= GetCount())
        return;
    QLabel* label = m_panes[size_t(index)].label;
    label->setText(text);
    if (update)
        label->repaint();
}

QString CStatusBar::GetPaneText(int index) const {
    if (index < 0 || index >= GetCount())
        return {};
    return m_panes[size_t(index)].label->text();
}

void CStatusBar::RefreshIndicators() {
    const std::optional<LockKeys> keys = ReadLockKeys();
    for (const Pane& p : m_panes) {
        bool on = false;
        QString name;
        switch (p.id) {
        case ID_INDICATOR_CAPS:
            name = QStringLiteral("CAP");
            on = keys && keys->caps;
            break;
        case ID_INDICATOR_NUM:
            name = QStringLiteral("NUM");
            on = keys && keys->num;
            break;
        case ID_INDICATOR_SCRL:
            name = QStringLiteral("SCRL");
            on = keys && keys->scroll;
            break;
        default:
            continue;
        }
        p.label->setEnabled(keys.has_value());
        p.label->setText(on ? name : QString());
    }
}

bool CStatusBar::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyRelease:
    case QEvent::ApplicationActivate:
        RefreshIndicators();
        break;
    default:
        break;
    }
    return QStatusBar::eventFilter(watched, event);
}

QString StatusTextFromBytes(const std::string& bytes) {
    return StatusText(QString::fromLatin1(bytes.data(), qsizetype(bytes.size())));
}

QString StatusText(QString text) {
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0))
            c = QLatin1Char(' ');
    }
    return text;
}
