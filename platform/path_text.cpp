#include "platform/path_text.h"

#include <QFile>

QString DisplayText(const PathText& text) {
    return QFile::decodeName(QByteArray::fromStdString(text.bytes));
}
