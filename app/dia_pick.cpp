#include "app/dia_pick.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

CDia_Pick::CDia_Pick(const QString& title, const QString& label, const QStringList& rows, bool many,
                     const std::vector<int>& chosen, QWidget* parent)
    : CDialog(parent) {
    setWindowTitle(title);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("IDC_PICK_LIST"));
    m_list->setSelectionMode(many ? QAbstractItemView::ExtendedSelection
                                  : QAbstractItemView::SingleSelection);
    m_list->setMinimumWidth(fontMetrics().averageCharWidth() * 50);
    m_list->addItems(rows);
    for (int row : chosen)
        if (row >= 0 && row < m_list->count())
            m_list->item(row)->setSelected(true);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { OnOK(); });
    auto* column = new QVBoxLayout(this);
    column->addWidget(new QLabel(label, this));
    column->addWidget(m_list);
    column->addLayout(CreateOkCancelRow().layout);
}

void CDia_Pick::OnOK() {
    m_chosen.clear();
    for (int row = 0; row < m_list->count(); ++row)
        if (m_list->item(row)->isSelected())
            m_chosen.push_back(row);
    if (m_chosen.empty())
        return;
    CDialog::OnOK();
}
