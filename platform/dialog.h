#pragma once

#include "platform/dialog_ids.h"

#include <QDialog>
#include <string>

class QHBoxLayout;
class QPushButton;

// A modal dialog: DoModal() runs it and answers IDOK or IDCANCEL
// (platform/dialog_ids.h). Its frame has a title and a close button only.
class CDialog : public QDialog {
    Q_OBJECT
public:
    explicit CDialog(QWidget* parent = nullptr);

    // IDOK when the dialog was accepted, else IDCANCEL.
    int DoModal();

protected:
    // Fills the controls; runs before every opening, so that a dialog object
    // shown again starts afresh. The default does nothing.
    virtual void OnInitDialog() {}
    // OK and Enter: the default accepts. A dialog that checks its input
    // accepts only when the input passes.
    virtual void OnOK();

    // The default button "OK" (object name IDOK), a child of the dialog; a
    // click calls OnOK().
    QPushButton* CreateOkButton();

    // The button row the dialogs end with: Cancel and OK at the right. Cancel
    // (object name IDCANCEL) rejects. The row is the caller's to lay out; the
    // buttons are there for tab order and focus policies.
    struct ButtonRow {
        QHBoxLayout* layout;
        QPushButton* ok;
        QPushButton* cancel;
    };
    ButtonRow CreateOkCancelRow();

    void showEvent(QShowEvent* event) override;
};

// Control text as core bytes: Latin-1, where a character outside it becomes
// '?' and so reads as no number.
std::string bytesOf(const QString& text);
