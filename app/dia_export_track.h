#pragma once

#include "platform/dialog.h"
#include "track/track_journal.h"

#include <string>
#include <vector>

class QLineEdit;
class QListWidget;

// Export Track as GPX: the recorded days (date, points, first and last time)
// to pick from, and the file to write them to. OK writes the file and
// closes; a failure is shown and the dialog stays open.
class CDia_ExportTrack : public CDialog {
    Q_OBJECT

public:
    // The days of the journal in `folder`; the file names `creator` as its maker.
    CDia_ExportTrack(std::string folder, std::string creator, QWidget* parent = nullptr);

    QListWidget* m_listDays;
    QLineEdit* m_editFile;

protected:
    void OnInitDialog() override;
    void OnOK() override;

private:
    std::string m_strFolder;
    std::string m_strCreator;
    std::vector<JournalDay> m_days;
};
