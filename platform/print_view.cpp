#include "platform/print_view.h"

#include "platform/device_context.h"
#include "platform/scroll_view.h"

#include <QDialogButtonBox>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>

namespace {
// The print dialog's result when the person asks for the preview instead.
constexpr int kPreviewResult = 2;
} // namespace

QImage RenderView(CScrollView& view) {
    const CRect client = view.GetClientRect();
    if (client.IsRectEmpty())
        return {};
    QImage image(client.Width(), client.Height(), QImage::Format_RGB32);
    image.fill(Qt::white);
    CDC dc(&image);
    const CPoint scroll = view.GetScrollPosition();
    dc.SetViewportOrg({-scroll.x, -scroll.y});
    view.DrawInto(&dc);
    return image;
}

bool PrintView(CScrollView& view, QPrinter& printer) {
    const QImage image = RenderView(view);
    if (image.isNull())
        return false;
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QRect page = painter.viewport(); // the printable area [printer pixels]
    painter.drawImage(QRect(page.topLeft(), image.size().scaled(page.size(), Qt::KeepAspectRatio)),
                      image);
    return painter.end();
}

bool DoFilePrint(CScrollView& view, QPrinter& printer, QWidget* parent, int& previewPages) {
    const QPointer<CScrollView> target(&view);
    QPrintDialog dialog(&printer, parent);
    // No menu offers the preview, so the print dialog does.
    if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
        QPushButton* preview =
            buttons->addButton(QStringLiteral("Pre&view..."), QDialogButtonBox::ActionRole);
        QObject::connect(preview, &QPushButton::clicked, &dialog,
                         [&dialog] { dialog.done(kPreviewResult); });
    }
    const int result = dialog.exec();
    if (!target)
        return false;
    if (result == kPreviewResult) {
        DoFilePrintPreview(*target, printer, parent, previewPages);
        return false;
    }
    return result == QDialog::Accepted && PrintView(*target, printer);
}

void DoFilePrintPreview(CScrollView& view, QPrinter& printer, QWidget* parent, int& previewPages) {
    const QPointer<CScrollView> target(&view);
    QPrintPreviewDialog dialog(&printer, parent);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&target](QPrinter* page) {
                         if (target)
                             PrintView(*target, *page);
                     });
    auto* preview = dialog.findChild<QPrintPreviewWidget*>();
    if (preview && previewPages > 0)
        preview->setViewMode(previewPages == 2 ? QPrintPreviewWidget::FacingPagesView
                                               : QPrintPreviewWidget::SinglePageView);
    const auto mode = preview ? preview->viewMode() : QPrintPreviewWidget::SinglePageView;
    dialog.exec();
    if (preview && preview->viewMode() != mode)
        previewPages = preview->viewMode() == QPrintPreviewWidget::FacingPagesView ? 2 : 1;
}

void DoFilePrintSetup(QPrinter& printer, QWidget* parent) {
    QPageSetupDialog dialog(&printer, parent);
    dialog.exec();
}
