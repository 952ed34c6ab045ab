#include "app/ostrel_doc_template.h"

#include "app/child_frame.h"
#include "app/main_frame.h"
#include "app/ostrel_doc.h"
#include "app/show_properties.h"
#include "map/map_view.h"

COstrelDocTemplate::COstrelDocTemplate(QString docName, CMainFrame* mainFrame)
    : CDocTemplate(std::move(docName), mainFrame), m_pFrame(mainFrame) {}

std::unique_ptr<CDocument> COstrelDocTemplate::CreateDocument() {
    return std::make_unique<COstrelDoc>();
}

QMdiSubWindow* COstrelDocTemplate::CreateFrameAndView(CDocument* doc) {
    auto* frame = new CChildFrame(m_pFrame);
    auto* view = new COstrelView(m_pFrame, &m_pFrame->m_gps, &ShowPropertiesFromView);
    view->m_pOverlay = &m_pFrame->m_layers.Overlay();
    view->m_pDocument = doc;
    frame->setWidget(view);
    return frame;
}

void COstrelDocTemplate::InitialUpdateView(QWidget* view) {
    static_cast<COstrelView*>(view)->OnInitialUpdate();
}
