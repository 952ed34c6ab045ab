#pragma once

#include <memory>

class CDocTemplate;
class CMainFrame;

// The application: its one document template and its main window. Made once
// in main, after the QApplication.
class COstrelApp {
public:
    COstrelApp();
    ~COstrelApp();
    COstrelApp(const COstrelApp&) = delete;
    COstrelApp& operator=(const COstrelApp&) = delete;

    // Creates the template and the main frame (which opens the serial port),
    // opens the first window in the current document mode and shows the main
    // window. False when the main frame cannot be made.
    bool InitInstance();

    // Declared before the main window so that the window, and with it every
    // view and document, goes first.
    std::unique_ptr<CDocTemplate> m_pDocTemplate;
    std::unique_ptr<CMainFrame> m_pMainWnd;
};

// The running application, or null.
COstrelApp* AfxGetApp();
