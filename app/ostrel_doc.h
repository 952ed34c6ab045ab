#pragma once

#include "platform/document.h"

// The document of every window. It holds no data of its own: the map, its
// calibration and the route belong to the view, the fix to the main frame.
class COstrelDoc : public CDocument {
public:
    bool OnNewDocument() override;
};
