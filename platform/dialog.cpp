#include "platform/dialog.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QShowEvent>

// The hints are set explicitly: left to itself the window manager may give
// the dialog minimise and maximise buttons too.
CDialog::CDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {}

int CDialog::DoModal() {
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CDialog::OnOK() {
    accept();
}

QPushButton* CDialog::CreateOkButton() {
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CDialog::OnOK);
    return ok;
}

CDialog::ButtonRow CDialog::CreateOkCancelRow() {
    QPushButton* ok = CreateOkButton();
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("IDCANCEL"));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QHBoxLayout;
    layout->addStretch();
    layout->addWidget(cancel);
    layout->addWidget(ok);
    return {layout, ok, cancel};
}

void CDialog::showEvent(QShowEvent* event) {
    // A spontaneous show is the window system's (restoring, changing
    // desktops), not a new opening.
    if (!event->spontaneous())
        OnInitDialog();
    QDialog::showEvent(event);
}

std::string bytesOf(const QString& text) {
    return text.toLatin1().toStdString();
}
