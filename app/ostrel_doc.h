#pragma once

#include "platform/document.h"

class COstrelView;

// The document of every window. It holds no data of its own: the map, its
// calibration and the route belong to the view, the fix to the main frame.
// It is never modified, so closing a window never asks to save.
class COstrelDoc : public CDocument {
public:
    bool OnNewDocument() override;
    // Loading reads a map file into the document's view; nothing is ever stored.
    void Serialize(CArchive& ar) override;

private:
    // The view the template made for this document: the first of its views.
    COstrelView* GetMapView() const;
};
