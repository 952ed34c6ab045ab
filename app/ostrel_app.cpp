#include "app/ostrel_app.h"

#include "app/child_frame.h"
#include "app/ostrel_doc.h"
#include "gps/main_frame.h"
#include "map/map_view.h"
#include "platform/doc_template.h"

namespace {
COstrelApp* g_pApp = nullptr;
}

COstrelApp* AfxGetApp() {
    return g_pApp;
}

COstrelApp::COstrelApp() {
    if (!g_pApp)
        g_pApp = this;
}

COstrelApp::~COstrelApp() {
    m_pMainWnd.reset();
    m_pDocTemplate.reset();
    if (g_pApp == this)
        g_pApp = nullptr;
}

bool COstrelApp::InitInstance() {
    m_pDocTemplate = std::make_unique<CMultiDocTemplate<COstrelDoc, CChildFrame, COstrelView>>(
        QStringLiteral("Ostrel"));
    m_pMainWnd = std::make_unique<CMainFrame>();
    if (!m_pMainWnd->LoadFrame())
        return false;
    m_pMainWnd->resize(800, 600);
    m_pMainWnd->show();
    // File New: the first window takes the document mode as it stands.
    m_pDocTemplate->OpenDocumentFile();
    return true;
}
