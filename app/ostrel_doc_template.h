#pragma once

#include "platform/doc_template.h"

class CMainFrame;

// The template of every document window: a COstrelDoc in a CChildFrame with
// a COstrelView, each view handed the main frame and its receiver.
class COstrelDocTemplate : public CDocTemplate {
    Q_OBJECT

public:
    COstrelDocTemplate(QString docName, CMainFrame* mainFrame);

protected:
    std::unique_ptr<CDocument> CreateDocument() override;
    QMdiSubWindow* CreateFrameAndView(CDocument* doc) override;
    void InitialUpdateView(QWidget* view) override;

private:
    CMainFrame* m_pFrame; // not owned
};
