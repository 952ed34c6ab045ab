#include "app/ostrel_app.h"

#include "app/dia_about.h"
#include "app/help_window.h"
#include "app/main_frame.h"
#include "app/menus.h"
#include "app/ostrel_doc_template.h"
#include "app/shell_resources.h"
#include "app/string_table.h"
#include "platform/doc_template.h"
#include "platform/print_view.h"
#include "platform/profile.h"
#include "platform/scroll_view.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLayout>
#include <QMdiSubWindow>
#include <QPrinter>

const CommandEntry<COstrelApp> COstrelApp::kCommands[] = {
    {ID_APP_ABOUT, &COstrelApp::OnAppAbout},
    {ID_APP_EXIT, &COstrelApp::OnAppExit},
    {ID_FILE_NEW, &COstrelApp::OnFileNew},
    {ID_FILE_OPEN, &COstrelApp::OnFileOpen},
    {ID_FILE_PRINT_SETUP, &COstrelApp::OnFilePrintSetup},
    {ID_FILE_PRINT, &COstrelApp::OnFilePrint, &COstrelApp::OnUpdateFilePrint},
    {ID_FILE_PRINT_DIRECT, &COstrelApp::OnFilePrintDirect, &COstrelApp::OnUpdateFilePrint},
    {ID_FILE_PRINT_PREVIEW, &COstrelApp::OnFilePrintPreview, &COstrelApp::OnUpdateFilePrint},
    {ID_HELP_FINDER, &COstrelApp::OnHelpFinder},
    {ID_HELP, &COstrelApp::OnHelpFinder},
    {ID_DEFAULT_HELP, &COstrelApp::OnHelpFinder},
    {ID_CONTEXT_HELP, &COstrelApp::OnContextHelp},
};

COstrelApp::COstrelApp() = default;

COstrelApp::~COstrelApp() {
    m_pMainWnd.reset();
    m_pDocTemplate.reset();
}

bool COstrelApp::InitInstance(const QString& mapFile) {
    // Common controls, OLE and the control container need no start-up with
    // this toolkit. The profile is the one of platform/profile.h; it holds
    // the recent files and the preview page count, never the settings.
    m_recentFileList.ReadList();
    m_nNumPreviewPages = GetProfilePreviewPages();

    QApplication::setWindowIcon(ProgramIcon());
    m_pMainWnd = std::make_unique<CMainFrame>();
    if (!m_pMainWnd->LoadFrame())
        return false;
    m_pDocTemplate = std::make_unique<COstrelDocTemplate>(
        QString::fromLatin1(ResourceString(AFX_IDS_APP_TITLE)), m_pMainWnd.get());
    m_pMainWnd->m_pDocTemplate = m_pDocTemplate.get();
    m_pMainWnd->AddCommandTarget(this);
    LoadMenus(*m_pMainWnd, m_recentFileList,
              [this](const QString& path) { OnOpenRecentFile(path); });
    // Laid out now, so that the first document window is sized to the
    // client area although the main window is not shown yet.
    m_pMainWnd->resize(800, 600);
    m_pMainWnd->layout()->activate();

    // The command line: a map file, or File New in the current document mode.
    if (mapFile.isEmpty())
        OnFileNew();
    else if (!OpenDocumentFile(mapFile))
        return false;

    m_pMainWnd->show();
    return true;
}

bool COstrelApp::OnCmdMsg(int id, CCmdUI* ui) {
    return DispatchCommand<COstrelApp>(*this, kCommands, id, ui);
}

CDocument* COstrelApp::OpenDocumentFile(const QString& path) {
    if (!m_pDocTemplate)
        return nullptr;
    CDocument* doc = m_pDocTemplate->OpenDocumentFile(path);
    if (doc)
        m_recentFileList.Add(QFile::decodeName(doc->GetPathName().c_str()));
    return doc;
}

void COstrelApp::OnAppAbout() {
    CDia_About dialog(m_pMainWnd.get());
    dialog.DoModal();
}

void COstrelApp::OnAppExit() {
    if (m_pMainWnd)
        m_pMainWnd->close();
}

void COstrelApp::OnHelpFinder() {
    ShowHelp(m_pMainWnd.get());
}

void COstrelApp::OnContextHelp() {
    EnterContextHelpMode();
}

void COstrelApp::OnFileNew() {
    if (m_pDocTemplate)
        m_pDocTemplate->OpenDocumentFile();
}

void COstrelApp::OnFileOpen() {
    QFileDialog dialog(m_pMainWnd.get(), QStringLiteral("Open"), QString(),
                       QStringLiteral("All Files (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        OpenDocumentFile(dialog.selectedFiles().front());
}

void COstrelApp::OnOpenRecentFile(const QString& path) {
    if (!OpenDocumentFile(path))
        m_recentFileList.Remove(path);
}

void COstrelApp::OnFilePrintSetup() {
    DoFilePrintSetup(GetPrinter(), m_pMainWnd.get());
}

CScrollView* COstrelApp::GetActiveView() const {
    QMdiSubWindow* child = m_pMainWnd ? m_pMainWnd->MDIGetActive() : nullptr;
    return child ? qobject_cast<CScrollView*>(child->widget()) : nullptr;
}

void COstrelApp::OnUpdateFilePrint(CCmdUI* ui) {
    ui->Enable(GetActiveView() != nullptr);
}

void COstrelApp::OnFilePrint() {
    PrintActiveView(ID_FILE_PRINT);
}

void COstrelApp::OnFilePrintDirect() {
    PrintActiveView(ID_FILE_PRINT_DIRECT);
}

void COstrelApp::OnFilePrintPreview() {
    PrintActiveView(ID_FILE_PRINT_PREVIEW);
}

void COstrelApp::PrintActiveView(int id) {
    CScrollView* view = GetActiveView();
    if (!view)
        return;
    const int previewPages = m_nNumPreviewPages;
    if (id == ID_FILE_PRINT_DIRECT)
        PrintView(*view, GetPrinter());
    else if (id == ID_FILE_PRINT_PREVIEW)
        DoFilePrintPreview(*view, GetPrinter(), m_pMainWnd.get(), m_nNumPreviewPages);
    else
        DoFilePrint(*view, GetPrinter(), m_pMainWnd.get(), m_nNumPreviewPages);
    if (m_nNumPreviewPages != previewPages)
        WriteProfilePreviewPages(m_nNumPreviewPages);
}

QPrinter& COstrelApp::GetPrinter() {
    if (!m_pPrinter)
        m_pPrinter = std::make_unique<QPrinter>();
    return *m_pPrinter;
}
