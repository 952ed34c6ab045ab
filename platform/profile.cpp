#include "platform/profile.h"

#include <QSettings>

int GetProfilePreviewPages() {
    const QSettings profile(kProfileOrganization, kProfileApplication);
    return profile.value(QStringLiteral("Settings/PreviewPages"), 0).toInt();
}
