#include "app/identity_names.h"

#include "app/identity.h"

#include <QCoreApplication>
#include <QString>

namespace {
QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}
} // namespace

void ApplyProgramIdentity() {
    QCoreApplication::setApplicationName(ToQString(kProgramName));
    QCoreApplication::setOrganizationName(ToQString(kOrganisationName));
    QCoreApplication::setApplicationVersion(ToQString(kProgramVersion));
}
