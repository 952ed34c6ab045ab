#include "platform/recent_file_list.h"

#include "platform/commands.h"
#include "platform/document.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QSettings>

namespace {

const QString kSection = QStringLiteral("Recent File List");
// Marks the actions UpdateMenu adds, so that the next update can find them.
constexpr const char* kEntryProperty = "recentFileEntry";

QString EntryKey(int index) {
    return kSection + QStringLiteral("/File%1").arg(index + 1);
}

// "&1 " to "&9 ", then "1&0 ".
QString EntryNumber(int index) {
    return index == 9 ? QStringLiteral("1&0 ") : QStringLiteral("&%1 ").arg(index + 1);
}

} // namespace

void CRecentFileList::ReadList() {
    const QSettings profile;
    m_paths.clear();
    for (int i = 0; i < kMaxEntries; ++i) {
        const QString path = profile.value(EntryKey(i)).toString();
        if (!path.isEmpty() && !m_paths.contains(path))
            m_paths.append(path);
    }
}

void CRecentFileList::WriteList() const {
    QSettings profile;
    profile.remove(kSection);
    for (int i = 0; i < GetSize(); ++i)
        profile.setValue(EntryKey(i), m_paths[i]);
}

void CRecentFileList::Add(const QString& path) {
    if (path.isEmpty())
        return;
    const QString full = FullPath(path);
    m_paths.removeAll(full);
    m_paths.prepend(full);
    while (m_paths.size() > kMaxEntries)
        m_paths.removeLast();
    WriteList();
}

void CRecentFileList::Remove(const QString& path) {
    if (m_paths.removeAll(path) > 0)
        WriteList();
}

QString CRecentFileList::GetDisplayName(int index, const QString& currentDir) const {
    const QString& path = m_paths[index];
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    QString dir = currentDir;
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    if (slash >= 0 && path.left(slash + 1) == dir)
        return path.mid(slash + 1);
    return AbbreviateName(path, kMaxDisplayLength);
}

void CRecentFileList::UpdateMenu(QMenu* menu, QAction* before,
                                 const std::function<void(const QString& path)>& open) const {
    for (QAction* action : menu->actions()) {
        if (action->property(kEntryProperty).toBool()) {
            // Not deleted at once: the update may run from the action's own signal.
            menu->removeAction(action);
            action->deleteLater();
        }
    }

    const QString prompt = QString::fromLatin1(PromptOfText(FrameworkString(ID_FILE_MRU_FILE1)));
    const auto insert = [&](const QString& text) {
        auto* action = new QAction(text, menu);
        action->setProperty(kEntryProperty, true);
        action->setStatusTip(prompt);
        menu->insertAction(before, action);
        return action;
    };

    if (m_paths.isEmpty()) {
        insert(QStringLiteral("Recent File"))->setEnabled(false);
        return;
    }
    const QString currentDir = QDir::currentPath();
    for (int i = 0; i < GetSize(); ++i) {
        // A lone '&' in a name would underline the next letter.
        QString name = GetDisplayName(i, currentDir);
        name.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* action = insert(EntryNumber(i) + name);
        QObject::connect(action, &QAction::triggered, action,
                         [open, path = m_paths[i]] { open(path); });
    }
}

QString AbbreviateName(const QString& path, int maxLength) {
    if (path.size() <= maxLength)
        return path;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1);
    if (name.size() > maxLength)
        return name;

    // The head that always stays: the root and the first directory, or
    // nothing for a file directly under the root. `cut` is the '/' at which
    // the shortened tail begins.
    qsizetype cut = slash > 0 ? path.indexOf(QLatin1Char('/'), 1) : 0;
    const qsizetype head = cut;
    if (head + 5 + name.size() > maxLength) // head + "/..." + "/" + name
        return name;
    while (head + 4 + (path.size() - cut) > maxLength)
        cut = path.indexOf(QLatin1Char('/'), cut + 1);
    return path.left(head) + QStringLiteral("/...") + path.mid(cut);
}
