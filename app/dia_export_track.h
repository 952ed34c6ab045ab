#pragma once

#include "platform/dialog.h"
#include "track/marks.h"
#include "track/track_journal.h"

#include <QString>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QListWidget;

// Export Track as GPX: the recorded days (date, points, first and last time)
// to pick from, and the file to write them to, named after the days chosen
// until the user names it. OK asks before it replaces a file, writes the
// file and closes; a failure is shown and the dialog stays open.
class CDia_ExportTrack : public CDialog {
    Q_OBJECT

public:
    // The days of the journal in `folder`; the file names `creator` as its
    // maker; the marks, when wanted, come from `marksPath`.
    CDia_ExportTrack(std::string folder, std::string creator, QWidget* parent = nullptr,
                     std::string marksPath = DefaultMarksPath());

    QListWidget* m_listDays;
    QLineEdit* m_editFile;
    QCheckBox* m_checkMarks;

protected:
    void OnInitDialog() override;
    void OnOK() override;

private:
    // The file name after the selected days, unless the user gave one.
    void SuggestFileName();

    std::string m_strFolder;
    std::string m_strCreator;
    std::string m_strMarksPath;
    std::vector<JournalDay> m_days;
    QString m_strSuggested; // the name SuggestFileName put in last
    QString m_strConfirmed; // a name whose replacement the file dialog asked about
};
