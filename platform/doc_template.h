#pragma once

#include "platform/cmd_target.h"
#include "platform/document.h"

#include <QMdiSubWindow>
#include <QObject>
#include <QString>
#include <memory>
#include <vector>

class CMDIFrameWnd;

// Ties a document class to its child frame and view classes and opens
// documents in child frames of the main window it is given. It owns its
// documents; a document goes when the last of its views is destroyed. It
// handles Window New for the main window's active document.
class CDocTemplate : public QObject, public CCmdTarget {
    Q_OBJECT

public:
    // `docName` names untitled documents: docName1, docName2, ... The
    // template becomes a command target of `mainFrame`, which outlives it.
    CDocTemplate(QString docName, CMDIFrameWnd* mainFrame);
    ~CDocTemplate() override;

    // A new untitled document in a new, visible child frame of the main
    // window: document, then frame and view, then OnNewDocument, then the
    // view's initial update. Null when OnNewDocument refuses.
    CDocument* OpenDocumentFile();
    // The file `path` in a new, visible child frame: document, then frame
    // and view, then OnOpenDocument (which reads the file), then the view's
    // initial update; the document is titled with the file's name. A file
    // that is open already is not read again: the first window of its
    // document comes to the front. Null when the file cannot be read.
    CDocument* OpenDocumentFile(const QString& path);
    // One more window on `doc`: a frame and view, then the view's initial update.
    bool CreateNewWindow(CDocument* doc);

    size_t GetDocumentCount() const { return m_docs.size(); }

    bool OnCmdMsg(int id, CCmdUI* ui) override;

protected:
    virtual std::unique_ptr<CDocument> CreateDocument() = 0;
    // A child frame and its view, not yet placed; the view must be the
    // frame's widget and have `doc` as its document.
    virtual QMdiSubWindow* CreateFrameAndView(CDocument* doc) = 0;
    virtual void InitialUpdateView(QWidget* view) = 0;

    CMDIFrameWnd* GetMainFrame() const { return m_pMainFrame; }

private:
    void OnWindowNew();
    void OnUpdateWindowNew(CCmdUI* ui);
    static const CommandEntry<CDocTemplate> kCommands[];
    // The main window's active document when it is one of ours, else null.
    CDocument* ActiveDocument() const;

    // A new document of this template in a new, hidden child frame.
    QMdiSubWindow* NewDocumentFrame();
    QMdiSubWindow* NewFrame(CDocument* doc);
    // Runs the view's initial update, then shows, places and activates the frame.
    void InitialUpdateFrame(QMdiSubWindow* frame);
    void RemoveView(CDocument* doc, QWidget* view);

    QString m_strDocName;
    CMDIFrameWnd* m_pMainFrame; // not owned
    int m_nUntitledCount = 0;
    std::vector<std::unique_ptr<CDocument>> m_docs;
};
