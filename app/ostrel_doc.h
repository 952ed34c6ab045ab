#pragma once

#include "platform/document.h"

class COstrelView;

// The document of every window. It holds no data of its own: the map, its
// calibration and the route belong to the view, the fix to the main frame.
// It is never modified, so closing a window never asks to save.
class COstrelDoc : public CDocument {
public:
    bool OnNewDocument() override;
    // False, after its message, for a file that is no picture Ostrel can
    // show, and without one when the user cancelled its decoding.
    bool OnOpenDocument(const std::string& path) override;
    // Loading reads a map file into the document's view; nothing is ever stored.
    void Serialize(CArchive& ar) override;

private:
    bool m_bRefused = false; // the last file read was not opened
    // The view the template made for this document: the first of its views.
    COstrelView* GetMapView() const;
};
