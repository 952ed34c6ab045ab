#include "app/help_window.h"

#include "app/shell_resources.h"

#include <QAction>
#include <QKeySequence>
#include <QPointer>
#include <QStyle>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>
#include <QWhatsThis>

namespace {

const QString kHelpTitle = QStringLiteral("Ostrel Help");

QUrl PageUrl(const QString& page) {
    return QUrl(QStringLiteral("qrc:/help/") + page);
}

} // namespace

CHelpWindow::CHelpWindow(QWidget* parent)
    : QMainWindow(parent, Qt::Window), m_pBrowser(new QTextBrowser(this)) {
    InitShellResources();
    setAttribute(Qt::WA_DeleteOnClose);
    // An open help window must not keep the program running once the main window has closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(kHelpTitle);
    setCentralWidget(m_pBrowser);
    m_pBrowser->setOpenExternalLinks(true);

    QToolBar* bar = addToolBar(QStringLiteral("Navigation"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QAction* back = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack),
                                   QStringLiteral("Back"), m_pBrowser, &QTextBrowser::backward);
    back->setShortcut(QKeySequence::Back);
    back->setEnabled(false);
    QAction* forward =
        bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), QStringLiteral("Forward"),
                       m_pBrowser, &QTextBrowser::forward);
    forward->setShortcut(QKeySequence::Forward);
    forward->setEnabled(false);
    QAction* home =
        bar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), QStringLiteral("Home"), this,
                       [this] { ShowPage("index.html"); });
    home->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Home));

    connect(m_pBrowser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(m_pBrowser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    connect(m_pBrowser, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = m_pBrowser->documentTitle();
        setWindowTitle(title.isEmpty() || title == kHelpTitle ? kHelpTitle
                                                              : title + " - " + kHelpTitle);
    });
    resize(640, 560);
}

void CHelpWindow::ShowPage(const QString& page) {
    m_pBrowser->setSource(PageUrl(page));
}

CHelpWindow* ShowHelp(QWidget* owner, const QString& page) {
    static QPointer<CHelpWindow> s_window;
    if (!s_window)
        s_window = new CHelpWindow(owner);
    s_window->ShowPage(page);
    s_window->show();
    s_window->raise();
    s_window->activateWindow();
    return s_window;
}

void EnterContextHelpMode() {
    QWhatsThis::enterWhatsThisMode();
}
