#pragma once

#include "platform/dialog.h"

#include <QStringList>
#include <vector>

class QListWidget;

// A list to pick from: Follow Route's routes, Show Recorded Track's days.
// OK needs a row chosen.
class CDia_Pick : public CDialog {
    Q_OBJECT

public:
    // `rows` under `label`; several may be chosen with `many`; `chosen`
    // rows are selected at the start.
    CDia_Pick(const QString& title, const QString& label, const QStringList& rows, bool many,
              const std::vector<int>& chosen, QWidget* parent = nullptr);

    // The rows chosen at OK, in order.
    std::vector<int> m_chosen;
    QListWidget* m_list;

protected:
    void OnOK() override;
};
