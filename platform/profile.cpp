#include "platform/profile.h"

#include <QSettings>

namespace {
const QString kPreviewPagesKey = QStringLiteral("Settings/PreviewPages");
}

int GetProfilePreviewPages() {
    const QSettings profile;
    return profile.value(kPreviewPagesKey, 0).toInt();
}

void WriteProfilePreviewPages(int pages) {
    QSettings profile;
    profile.setValue(kPreviewPagesKey, pages);
}
