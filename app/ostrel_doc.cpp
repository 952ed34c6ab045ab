#include "app/ostrel_doc.h"

bool COstrelDoc::OnNewDocument() {
    return CDocument::OnNewDocument();
}
