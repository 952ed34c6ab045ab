#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QAction;
class QMenu;

// The File menu's list of the last opened map files, most recent first. It
// is read from the profile (platform/profile.h) at start and written back
// after every change, so the profile is current whenever the program ends.
class CRecentFileList {
public:
    static constexpr int kMaxEntries = 10;
    // [characters] a menu entry's name is abbreviated to this length
    static constexpr int kMaxDisplayLength = 30;

    // Replaces the entries by those of section "Recent File List", values
    // "File1" to "File10"; empty values and repeats are skipped.
    void ReadList();
    // Rewrites the section with the entries, "File1" first.
    void WriteList() const;

    // Puts `path`, made absolute and cleaned, at the front: an entry for the
    // same path (compared exactly, as the file system does) moves there, and
    // with more than kMaxEntries the oldest goes. An empty path is ignored.
    void Add(const QString& path);
    // Removes the entry for `path`, for a recent file that failed to open.
    void Remove(const QString& path);

    int GetSize() const { return static_cast<int>(m_paths.size()); }
    const QString& operator[](int index) const { return m_paths[index]; }

    // The name the menu shows for entry `index`: only the file name when the
    // file lies directly in `currentDir`, else the path abbreviated by
    // AbbreviateName to kMaxDisplayLength.
    QString GetDisplayName(int index, const QString& currentDir) const;

    // Fills the recent-file section of a File menu: the entries "&1 name" to
    // "1&0 name", or the greyed item "Recent File" while the list is empty,
    // inserted before `before` (the separator that ends the section). What an
    // earlier call put into `menu` is removed first, so the section can be
    // refreshed each time the menu opens. Choosing an entry calls `open` with
    // the entry's full path.
    void UpdateMenu(QMenu* menu, QAction* before,
                    const std::function<void(const QString& path)>& open) const;

private:
    QStringList m_paths;
};

// Shortens a '/'-separated path to at most `maxLength` characters the classic
// way: a path that fits stays whole; otherwise the root and first directory
// stay, followed by "/..." and as many of the last directories and the file
// name as fit ("/home/.../alps/matterhorn.bmp"). The file name is never cut:
// when even "/first/.../name" does not fit, the result is the file name
// alone, however long.
QString AbbreviateName(const QString& path, int maxLength);
