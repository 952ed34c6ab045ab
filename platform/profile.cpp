#include "platform/profile.h"

#include <QSettings>

namespace {
const QString kPreviewPagesKey = QStringLiteral("Settings/PreviewPages");
}

int GetProfilePreviewPages() {
    const QSettings profile(kProfileOrganization, kProfileApplication);
    return profile.value(kPreviewPagesKey, 0).toInt();
}

void WriteProfilePreviewPages(int pages) {
    QSettings profile(kProfileOrganization, kProfileApplication);
    profile.setValue(kPreviewPagesKey, pages);
}
