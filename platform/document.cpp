#include "platform/document.h"

#include <QMdiSubWindow>
#include <QWidget>

void CDocument::SetTitle(const QString& title) {
    m_strTitle = title;
    UpdateFrameTitles();
}

void CDocument::UpdateFrameTitles() {
    for (QWidget* view : m_views) {
        for (QWidget* w = view->parentWidget(); w; w = w->parentWidget()) {
            if (auto* frame = qobject_cast<QMdiSubWindow*>(w)) {
                frame->setWindowTitle(m_strTitle);
                break;
            }
        }
    }
}
