#include "platform/document.h"

#include "platform/archive.h"
#include "platform/message_box.h"
#include "platform/unique_file.h"

#include <QDir>
#include <QMdiSubWindow>
#include <QWidget>
#include <cstdio>
#include <memory>
#include <sys/stat.h>

bool CDocument::OnOpenDocument(const std::string& path) {
    const UniqueFile file = OpenFile(path.c_str(), "rb");
    // Only a regular file holds a document: a folder opens for reading here
    // too, and a device would be read without end.
    struct stat info {};
    if (!file || fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
        // Over the window the document was to open in: the main window.
        ShowMessageBox(m_views.empty() ? nullptr : m_views.front()->window(),
                       "Failed to open document.");
        return false;
    }
    CArchive ar(file.get(), path);
    Serialize(ar);
    return true;
}

void CDocument::Serialize(CArchive&) {}

void CDocument::OnCloseDocument() {
    // Closing a frame destroys its view later, which takes it off m_views.
    const std::vector<QWidget*> views = m_views;
    for (QWidget* view : views) {
        if (QMdiSubWindow* frame = GetParentFrame(view))
            frame->close();
    }
}

void CDocument::SetTitle(const QString& title) {
    // The world map names itself on every repaint.
    if (title == m_strTitle)
        return;
    m_strTitle = title;
    // The captions change with it; the template has the main window's title follow them.
    UpdateFrameTitles();
}

void CDocument::UpdateFrameTitles() {
    const bool numbered = m_views.size() > 1;
    for (size_t i = 0; i < m_views.size(); ++i) {
        if (QMdiSubWindow* frame = GetParentFrame(m_views[i]))
            frame->setWindowTitle(numbered ? m_strTitle + QStringLiteral(":%1").arg(i + 1)
                                           : m_strTitle);
    }
}

QMdiSubWindow* GetParentFrame(QWidget* view) {
    for (QWidget* w = view ? view->parentWidget() : nullptr; w; w = w->parentWidget()) {
        if (auto* frame = qobject_cast<QMdiSubWindow*>(w))
            return frame;
    }
    return nullptr;
}

QString FullPath(const QString& path) {
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}
