#pragma once

#include <QString>
#include <string>
#include <vector>

class QWidget;
class CDocTemplate;

// A document: a title and the views that show it. Created and owned by its
// template, which destroys it when its last view goes.
class CDocument {
public:
    CDocument() = default;
    virtual ~CDocument() = default;
    CDocument(const CDocument&) = delete;
    CDocument& operator=(const CDocument&) = delete;

    // A new, untitled document is being set up; false cancels its window.
    virtual bool OnNewDocument() { return true; }

    const QString& GetTitle() const { return m_strTitle; }
    // Also shown as the caption of every frame that holds one of its views.
    virtual void SetTitle(const QString& title);

    // The file the document was read from, as the file system names it
    // (bytes); empty for an untitled document.
    const std::string& GetPathName() const { return m_strPathName; }
    void SetPathName(const std::string& path) { m_strPathName = path; }

    const std::vector<QWidget*>& GetViews() const { return m_views; }
    CDocTemplate* GetDocTemplate() const { return m_pDocTemplate; }

private:
    friend class CDocTemplate;
    void UpdateFrameTitles();

    QString m_strTitle;
    std::string m_strPathName;
    std::vector<QWidget*> m_views; // not owned: each lives in its child frame
    CDocTemplate* m_pDocTemplate = nullptr;
};
