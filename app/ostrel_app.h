#pragma once

#include "platform/cmd_target.h"
#include "platform/recent_file_list.h"

#include <QString>
#include <memory>

class CDocTemplate;
class CDocument;
class CMainFrame;
class CScrollView;
class QPrinter;

// The application: its one document template, its main window, the
// recent-file list and the printer settings. Made once in main, after the
// QApplication. Commands that neither the active view nor the main frame
// handle come here.
class COstrelApp : public CCmdTarget {
public:
    COstrelApp();
    ~COstrelApp() override;
    COstrelApp(const COstrelApp&) = delete;
    COstrelApp& operator=(const COstrelApp&) = delete;

    // Reads the profile, creates the template and the main frame (which opens
    // the serial port), opens the first window and shows the main window.
    // The first window is the map file `mapFile` when one is named, else a
    // new window in the current document mode. False when the main frame
    // cannot be made or the named map file cannot be read.
    [[nodiscard]] bool InitInstance(const QString& mapFile = QString());

    bool OnCmdMsg(int id, CCmdUI* ui) override;

    // Opens the map file `path` (or brings its window to the front) and puts
    // it at the top of the recent-file list. Null when it cannot be read.
    CDocument* OpenDocumentFile(const QString& path);

    void OnAppAbout();
    void OnAppExit();
    void OnFileNew();
    // The file dialog, then OpenDocumentFile.
    void OnFileOpen();
    // A recent-file entry; one that cannot be read leaves the list.
    void OnOpenRecentFile(const QString& path);
    void OnFilePrintSetup();
    // Print, print preview or print without a dialog, of the active view;
    // greyed without one.
    void OnFilePrint();
    void OnFilePrintPreview();
    void OnFilePrintDirect();
    void OnUpdateFilePrint(CCmdUI* ui);
    void OnHelpFinder();
    void OnContextHelp();
    // The printer settings every print starts from; Print Setup changes them.
    QPrinter& GetPrinter();

    // The main window is made first and handed to the template; it goes
    // first too, and with it every view and document.
    std::unique_ptr<CDocTemplate> m_pDocTemplate;
    std::unique_ptr<CMainFrame> m_pMainWnd;
    CRecentFileList m_recentFileList;
    int m_nNumPreviewPages = 0; // pages side by side in the print preview; 0 for Qt's choice

private:
    static const CommandEntry<COstrelApp> kCommands[];
    // The view of the active document window, or null.
    CScrollView* GetActiveView() const;
    void PrintActiveView(int id);

    std::unique_ptr<QPrinter> m_pPrinter; // made on first use
};
