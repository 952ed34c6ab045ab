#pragma once

// Results of a modal dialog's DoModal(), and the object names of its two buttons.
enum : int {
    IDOK = 1,
    IDCANCEL = 2,
};
