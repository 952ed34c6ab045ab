#include "app/ostrel_doc.h"

#include "gps/settings.h"
#include "map/map_view.h"
#include "picture/map_picture.h"
#include "platform/archive.h"
#include "platform/message_box.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <memory>

namespace {

// Scans from this size on show their first decoding in a progress dialog. [pixel]
constexpr uint64_t kLargeScan = uint64_t(4) << 20;
// The progress dialog (in thousandths) is brought up to date, and takes the
// user's Cancel, once a fortieth more is done, so that drawing it costs the
// decode next to nothing (a hundred looks cost a 20000 x 20000 scan 7 %).
constexpr int kProgressStep = 25;

} // namespace

bool COstrelDoc::OnNewDocument() {
    return CDocument::OnNewDocument();
}

COstrelView* COstrelDoc::GetMapView() const {
    // Taken whether or not any window has the keyboard focus: a file named
    // on the command line is read before the main window is shown.
    return GetViews().empty() ? nullptr : qobject_cast<COstrelView*>(GetViews().front());
}

bool COstrelDoc::OnOpenDocument(const std::string& path) {
    m_bRefused = false;
    return CDocument::OnOpenDocument(path) && !m_bRefused;
}

void COstrelDoc::Serialize(CArchive& ar) {
    COstrelView* view = GetMapView();
    if (!view || ar.IsStoring())
        return;
    const std::string path = ar.GetFilePath();
    std::unique_ptr<QProgressDialog> progress;
    auto onProgress = [&](uint64_t done, uint64_t total) {
        if (!progress && total >= kLargeScan) {
            const QString name = QFileInfo(QFile::decodeName(path.c_str())).fileName();
            progress = std::make_unique<QProgressDialog>(
                QStringLiteral("Preparing \"%1\" for display...").arg(name),
                QStringLiteral("Cancel"), 0, 1000, view->window());
            progress->setWindowTitle(QCoreApplication::applicationName()); // as the message boxes
            progress->setWindowModality(Qt::ApplicationModal);
            progress->setMinimumDuration(0);
            progress->setAutoClose(false);
            progress->setAutoReset(false);
        }
        const int value = int(total ? done * 1000 / total : 0);
        if (!progress || (progress->value() >= 0 && value < progress->value() + kProgressStep))
            return true; // no Cancel can have come since the last look
        progress->setValue(value);
        return !progress->wasCanceled();
    };
    const MapPictureOutcome opened =
        OpenMapPicture(path, ar.GetFile(), view->m_dib, CMapCache(), onProgress);
    progress.reset();
    if (opened.result != MapPictureOutcome::Opened) {
        // No window and no recent-file entry; a cancelled decode needs no message.
        m_bRefused = true;
        if (opened.result == MapPictureOutcome::Refused)
            ShowMessageBox(view->window(), PathText{opened.message});
        return;
    }
    g_nDocMode = DOCMODE_MAP;
    view->m_strLevelEntry = opened.entry;
    view->DrawScannedMap();
    view->m_bMapLoaded = true;
    view->LoadCalibration(path);
}
