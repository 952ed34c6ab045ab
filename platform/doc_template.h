#pragma once

#include "platform/document.h"

#include <QMdiSubWindow>
#include <QObject>
#include <QString>
#include <memory>
#include <vector>

// Ties a document class to its child frame and view classes and opens
// documents in child frames of the main window. It owns its documents; a
// document goes when the last of its views is destroyed.
class CDocTemplate : public QObject {
public:
    // `docName` names untitled documents: docName1, docName2, ...
    explicit CDocTemplate(QString docName);
    ~CDocTemplate() override;

    // A new untitled document in a new, visible child frame of the main
    // window: document, then frame and view, then OnNewDocument, then the
    // view's initial update. Null when there is no main window or
    // OnNewDocument refuses.
    CDocument* OpenDocumentFile();
    // The file `path` in a new, visible child frame: document, then frame
    // and view, then OnOpenDocument (which reads the file), then the view's
    // initial update; the document is titled with the file's name. A file
    // that is open already is not read again: the first window of its
    // document comes to the front. Null when there is no main window or the
    // file cannot be read.
    CDocument* OpenDocumentFile(const QString& path);
    // One more window on `doc`: a frame and view, then the view's initial
    // update. False when there is no main window.
    bool CreateNewWindow(CDocument* doc);

    size_t GetDocumentCount() const { return m_docs.size(); }

protected:
    virtual std::unique_ptr<CDocument> CreateDocument() = 0;
    // A child frame and its view, not yet placed; the view must be the frame's widget.
    virtual QMdiSubWindow* CreateFrameAndView(CDocument* doc) = 0;
    virtual void InitialUpdateView(QWidget* view) = 0;

private:
    // A new document of this template in a new, hidden child frame.
    QMdiSubWindow* NewDocumentFrame();
    QMdiSubWindow* NewFrame(CDocument* doc);
    // Runs the view's initial update, then shows and activates the frame.
    void InitialUpdateFrame(QMdiSubWindow* frame);
    void RemoveView(CDocument* doc, QWidget* view);

    QString m_strDocName;
    int m_nUntitledCount = 0;
    std::vector<std::unique_ptr<CDocument>> m_docs;
};

// TView needs a public `m_pDocument` (CDocument*) and a public OnInitialUpdate().
template <class TDoc, class TFrame, class TView> class CMultiDocTemplate : public CDocTemplate {
public:
    using CDocTemplate::CDocTemplate;

protected:
    std::unique_ptr<CDocument> CreateDocument() override { return std::make_unique<TDoc>(); }
    QMdiSubWindow* CreateFrameAndView(CDocument* doc) override {
        auto* frame = new TFrame();
        auto* view = new TView();
        view->m_pDocument = doc;
        frame->setWidget(view);
        return frame;
    }
    void InitialUpdateView(QWidget* view) override { static_cast<TView*>(view)->OnInitialUpdate(); }
};
