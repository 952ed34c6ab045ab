#pragma once

#include <QString>
#include <string>
#include <vector>

class CArchive;
class CDocTemplate;
class QMdiSubWindow;
class QWidget;

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
    // Reads the document from the file `path` (full path, bytes) through
    // Serialize. A file that cannot be opened for reading, or that is no
    // regular file, is reported ("Failed to open document.") and gives false.
    [[nodiscard]] virtual bool OnOpenDocument(const std::string& path);
    // Loads the document from `ar`; the base reads nothing.
    virtual void Serialize(CArchive& ar);
    // Closes every window of the document; the document goes with the last.
    void OnCloseDocument();

    const QString& GetTitle() const { return m_strTitle; }
    // Also the caption of every frame that holds one of its views, numbered
    // "title:1", "title:2", ... while there is more than one.
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

// The child frame that holds `view`, or null.
QMdiSubWindow* GetParentFrame(QWidget* view);

// `path` made absolute against the working directory and cleaned of "." and
// ".." parts; symbolic links stay as they are.
QString FullPath(const QString& path);
