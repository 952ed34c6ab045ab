#include "app/ostrel_doc.h"

#include "gps/settings.h"
#include "map/map_view.h"
#include "platform/archive.h"

bool COstrelDoc::OnNewDocument() {
    return CDocument::OnNewDocument();
}

COstrelView* COstrelDoc::GetMapView() const {
    // Taken whether or not any window has the keyboard focus: a file named
    // on the command line is read before the main window is shown.
    return GetViews().empty() ? nullptr : qobject_cast<COstrelView*>(GetViews().front());
}

void COstrelDoc::Serialize(CArchive& ar) {
    COstrelView* view = GetMapView();
    if (!view || ar.IsStoring())
        return;
    g_nDocMode = DOCMODE_MAP;
    // A file that is no bitmap still makes a map window, an empty one.
    (void)view->m_dib.Read(ar.GetFile());
    view->DrawScannedMap();
    view->m_bMapLoaded = true;
    view->LoadCalibration(ar.GetFilePath());
}
