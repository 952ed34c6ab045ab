#include "platform/doc_template.h"

#include "platform/mdi_frame.h"

#include <QMdiArea>
#include <algorithm>

CDocTemplate::CDocTemplate(QString docName) : m_strDocName(std::move(docName)) {}

CDocTemplate::~CDocTemplate() = default;

CDocument* CDocTemplate::OpenDocumentFile() {
    CMDIFrameWnd* main = AfxGetMainWnd();
    if (!main)
        return nullptr;
    m_docs.push_back(CreateDocument());
    CDocument* doc = m_docs.back().get();
    doc->m_pDocTemplate = this;
    QMdiSubWindow* frame = NewFrame(doc);
    doc->SetTitle(m_strDocName + QString::number(m_nUntitledCount + 1));
    if (!doc->OnNewDocument()) {
        delete frame; // takes the view, and with it the document
        return nullptr;
    }
    ++m_nUntitledCount;
    InitialUpdateView(frame->widget());
    frame->show();
    main->MdiArea()->setActiveSubWindow(frame);
    return doc;
}

QMdiSubWindow* CDocTemplate::NewFrame(CDocument* doc) {
    QMdiSubWindow* frame = CreateFrameAndView(doc);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    QWidget* view = frame->widget();
    doc->m_views.push_back(view);
    connect(view, &QObject::destroyed, this, [this, doc, view] { RemoveView(doc, view); });
    AfxGetMainWnd()->MdiArea()->addSubWindow(frame);
    return frame;
}

void CDocTemplate::RemoveView(CDocument* doc, QWidget* view) {
    std::erase(doc->m_views, view);
    if (doc->m_views.empty())
        std::erase_if(m_docs, [doc](const auto& d) { return d.get() == doc; });
}
