#include "platform/doc_template.h"

#include "platform/commands.h"
#include "platform/mdi_frame.h"

#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <algorithm>

const CommandEntry<CDocTemplate> CDocTemplate::kCommands[] = {
    {ID_WINDOW_NEW, &CDocTemplate::OnWindowNew, &CDocTemplate::OnUpdateWindowNew},
};

CDocTemplate::CDocTemplate(QString docName, CMDIFrameWnd* mainFrame)
    : m_strDocName(std::move(docName)), m_pMainFrame(mainFrame) {
    m_pMainFrame->AddCommandTarget(this);
}

CDocTemplate::~CDocTemplate() = default;

bool CDocTemplate::OnCmdMsg(int id, CCmdUI* ui) {
    return DispatchCommand<CDocTemplate>(*this, kCommands, id, ui);
}

CDocument* CDocTemplate::ActiveDocument() const {
    CDocument* doc = m_pMainFrame->GetActiveDocument();
    return doc && doc->GetDocTemplate() == this ? doc : nullptr;
}

void CDocTemplate::OnWindowNew() {
    CreateNewWindow(ActiveDocument());
}

void CDocTemplate::OnUpdateWindowNew(CCmdUI* ui) {
    ui->Enable(ActiveDocument() != nullptr);
}

CDocument* CDocTemplate::OpenDocumentFile() {
    QMdiSubWindow* frame = NewDocumentFrame();
    CDocument* doc = m_docs.back().get();
    doc->SetTitle(m_strDocName + QString::number(m_nUntitledCount + 1));
    if (!doc->OnNewDocument()) {
        delete frame; // takes the view, and with it the document
        return nullptr;
    }
    ++m_nUntitledCount;
    InitialUpdateFrame(frame);
    return doc;
}

CDocument* CDocTemplate::OpenDocumentFile(const QString& path) {
    const QString fullPath = FullPath(path);
    const std::string pathName = QFile::encodeName(fullPath).toStdString();
    for (const auto& open : m_docs) {
        if (open->GetPathName() == pathName && !open->m_views.empty()) {
            if (QMdiSubWindow* frame = GetParentFrame(open->m_views.front()))
                m_pMainFrame->MdiArea()->setActiveSubWindow(frame);
            return open.get();
        }
    }
    QMdiSubWindow* frame = NewDocumentFrame();
    CDocument* doc = m_docs.back().get();
    if (!doc->OnOpenDocument(pathName)) {
        delete frame;
        return nullptr;
    }
    doc->SetPathName(pathName);
    doc->SetTitle(QFileInfo(fullPath).fileName());
    InitialUpdateFrame(frame);
    return doc;
}

bool CDocTemplate::CreateNewWindow(CDocument* doc) {
    if (!doc)
        return false;
    QMdiSubWindow* frame = NewFrame(doc);
    doc->UpdateFrameTitles();
    InitialUpdateFrame(frame);
    return true;
}

QMdiSubWindow* CDocTemplate::NewDocumentFrame() {
    m_docs.push_back(CreateDocument());
    CDocument* doc = m_docs.back().get();
    doc->m_pDocTemplate = this;
    return NewFrame(doc);
}

QMdiSubWindow* CDocTemplate::NewFrame(CDocument* doc) {
    QMdiSubWindow* frame = CreateFrameAndView(doc);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    QWidget* view = frame->widget();
    doc->m_views.push_back(view);
    connect(view, &QObject::destroyed, this, [this, doc, view] { RemoveView(doc, view); });
    // The main window's title names the active document and follows its
    // frame's state; a document's new title reaches it through the caption.
    CMDIFrameWnd* main = m_pMainFrame;
    connect(frame, &QMdiSubWindow::windowStateChanged, main,
            [main] { main->OnUpdateFrameTitle(); });
    connect(frame, &QWidget::windowTitleChanged, main, [main] { main->OnUpdateFrameTitle(); });
    QMdiArea* area = main->MdiArea();
    area->addSubWindow(frame);
    // The default size of a document window; a view may set its own.
    frame->resize(area->size() * 3 / 4);
    return frame;
}

// Where the area's own placement (or a view's size) puts a frame partly
// outside the client area, its title bar and buttons could not be reached:
// move it in, narrowed to the area's width when it is wider.
static void KeepFrameInArea(QMdiSubWindow* frame, QSize area) {
    if (area.isEmpty() || frame->isMaximized() || frame->isMinimized())
        return;
    QRect r = frame->geometry();
    r.setWidth(std::min(r.width(), area.width()));
    r.moveLeft(std::clamp(r.left(), 0, area.width() - r.width()));
    r.moveTop(std::clamp(r.top(), 0, std::max(0, area.height() - r.height())));
    if (r != frame->geometry())
        frame->setGeometry(r);
}

void CDocTemplate::InitialUpdateFrame(QMdiSubWindow* frame) {
    InitialUpdateView(frame->widget());
    frame->show();
    QMdiArea* area = m_pMainFrame->MdiArea();
    // The viewport takes its size only once the main window is shown.
    KeepFrameInArea(frame, area->contentsRect().size());
    area->setActiveSubWindow(frame);
}

void CDocTemplate::RemoveView(CDocument* doc, QWidget* view) {
    std::erase(doc->m_views, view);
    if (doc->m_views.empty())
        std::erase_if(m_docs, [doc](const auto& d) { return d.get() == doc; });
    else
        doc->UpdateFrameTitles();
}
