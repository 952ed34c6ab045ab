#include "app/dia_about.h"

#include <QApplication>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

CDia_About::CDia_About(QWidget* parent) : CDialog(parent) {
    setWindowTitle(QStringLiteral("About Ostrel"));

    // The program icon once the application has one.
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
    const int iconSize = style()->pixelMetric(QStyle::PM_LargeIconSize);
    auto* iconLabel = new QLabel(this);
    iconLabel->setObjectName(QStringLiteral("IDR_MAINFRAME"));
    iconLabel->setPixmap(icon.pixmap(iconSize, iconSize));

    QPushButton* ok = CreateOkButton();

    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(fontMetrics().averageCharWidth() * 3);
    grid->addWidget(iconLabel, 0, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(new QLabel(QStringLiteral("Ostrel Version 1.0"), this), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Copyright (C) 2026 the Ostrel developers"), this), 1,
                    1);
    grid->addWidget(new QLabel(QStringLiteral("Questions and problem reports are welcome "
                                              "on the project's issue tracker."),
                               this),
                    2, 1);
    grid->addWidget(ok, 0, 2, 2, 1, Qt::AlignTop);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}
