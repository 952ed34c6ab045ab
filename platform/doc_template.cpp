#include "platform/doc_template.h"

#include "platform/mdi_frame.h"

#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <algorithm>

CDocTemplate::CDocTemplate(QString docName) : m_strDocName(std::move(docName)) {}

CDocTemplate::~CDocTemplate() = default;

CDocument* CDocTemplate::OpenDocumentFile() {
    if (!AfxGetMainWnd())
        return nullptr;
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
    CMDIFrameWnd* main = AfxGetMainWnd();
    if (!main)
        return nullptr;
    const QString fullPath = AfxFullPath(path);
    const std::string pathName = QFile::encodeName(fullPath).toStdString();
    for (const auto& open : m_docs) {
        if (open->GetPathName() == pathName && !open->m_views.empty()) {
            if (QMdiSubWindow* frame = GetParentFrame(open->m_views.front()))
                main->MdiArea()->setActiveSubWindow(frame);
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
    if (!doc || !AfxGetMainWnd())
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
    CMDIFrameWnd* main = AfxGetMainWnd();
    connect(frame, &QMdiSubWindow::windowStateChanged, main,
            [main] { main->OnUpdateFrameTitle(); });
    QMdiArea* area = main->MdiArea();
    area->addSubWindow(frame);
    // The default size of a document window; a view may set its own.
    frame->resize(area->size() * 3 / 4);
    return frame;
}

void CDocTemplate::InitialUpdateFrame(QMdiSubWindow* frame) {
    InitialUpdateView(frame->widget());
    frame->show();
    AfxGetMainWnd()->MdiArea()->setActiveSubWindow(frame);
}

void CDocTemplate::RemoveView(CDocument* doc, QWidget* view) {
    std::erase(doc->m_views, view);
    if (doc->m_views.empty())
        std::erase_if(m_docs, [doc](const auto& d) { return d.get() == doc; });
    else
        doc->UpdateFrameTitles();
}
