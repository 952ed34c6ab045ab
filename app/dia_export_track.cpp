#include "app/dia_export_track.h"

#include "platform/message_box.h"
#include "track/gpx_export.h"
#include "track/marks.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

CDia_ExportTrack::CDia_ExportTrack(std::string folder, std::string creator, QWidget* parent,
                                   std::string marksPath)
    : CDialog(parent), m_strFolder(std::move(folder)), m_strCreator(std::move(creator)),
      m_strMarksPath(std::move(marksPath)) {
    setWindowTitle(QStringLiteral("Export Track as GPX"));
    m_listDays = new QListWidget(this);
    m_listDays->setObjectName(QStringLiteral("IDC_TRACK_DAYS"));
    m_listDays->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_listDays->setMinimumWidth(fontMetrics().averageCharWidth() * 60);
    m_editFile = new QLineEdit(this);
    m_editFile->setObjectName(QStringLiteral("IDC_GPX_FILE"));
    m_checkMarks = new QCheckBox(QStringLiteral("Include the marks (Mark Position)"), this);
    m_checkMarks->setObjectName(QStringLiteral("IDC_INCLUDE_MARKS"));
    auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getSaveFileName(
            this, QStringLiteral("Export Track as GPX"), m_editFile->text(),
            QStringLiteral("GPX files (*.gpx);;All Files (*)"));
        if (!file.isEmpty()) {
            // The file dialog has asked before a file is replaced.
            m_strConfirmed = file;
            m_editFile->setText(file);
        }
    });
    connect(m_listDays, &QListWidget::itemSelectionChanged, this,
            &CDia_ExportTrack::SuggestFileName);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Recorded days (UTC):"), this), 0, 0, 1, 3);
    grid->addWidget(m_listDays, 1, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("GPX file:"), this), 2, 0);
    grid->addWidget(m_editFile, 2, 1);
    grid->addWidget(browse, 2, 2);
    grid->addWidget(m_checkMarks, 3, 0, 1, 3);

    auto* column = new QVBoxLayout(this);
    column->addLayout(grid);
    column->addLayout(CreateOkCancelRow().layout);
}

void CDia_ExportTrack::OnInitDialog() {
    // Cleared first: the selection signals of the old rows read m_days.
    m_listDays->clear();
    m_days = ListJournalDays(m_strFolder);
    for (const JournalDay& day : m_days) {
        const std::string first = FormatUtcTime(day.firstMs).substr(11, 8);
        const std::string last = FormatUtcTime(day.lastMs).substr(11, 8);
        m_listDays->addItem(QStringLiteral("%1   %2 points   %3 - %4")
                                .arg(QString::fromStdString(day.day))
                                .arg(day.points)
                                .arg(QString::fromStdString(first), QString::fromStdString(last)));
    }
    // The newest day, the one most often wanted.
    if (!m_days.empty())
        m_listDays->setCurrentRow(int(m_days.size()) - 1);
}

void CDia_ExportTrack::SuggestFileName() {
    // A name the user typed or browsed to stays.
    if (!m_editFile->text().isEmpty() && m_editFile->text() != m_strSuggested)
        return;
    QStringList days;
    for (int row = 0; row < m_listDays->count(); ++row)
        if (m_listDays->item(row)->isSelected())
            days << QString::fromStdString(m_days[size_t(row)].day);
    if (days.isEmpty())
        return;
    const QString span =
        days.size() == 1 ? days.front() : days.front() + QLatin1Char('_') + days.back();
    m_strSuggested = QDir::home().filePath(QStringLiteral("track-%1.gpx").arg(span));
    m_editFile->setText(m_strSuggested);
}

void CDia_ExportTrack::OnOK() {
    std::vector<std::string> journals;
    for (int row = 0; row < m_listDays->count(); ++row)
        if (m_listDays->item(row)->isSelected())
            journals.push_back(m_days[size_t(row)].path);
    if (journals.empty()) {
        ShowMessageBox(this, m_days.empty() ? "No track has been recorded yet."
                                            : "Select one or more days.");
        return;
    }
    if (m_editFile->text().trimmed().isEmpty()) {
        ShowMessageBox(this, "Name the GPX file to write.");
        return;
    }
    const std::string path = QFile::encodeName(m_editFile->text()).toStdString();
    if (m_editFile->text() != m_strConfirmed && QFileInfo::exists(m_editFile->text()) &&
        !AskYesNo(this, PathText{"\"" + path + "\" exists. Do you want to replace it?"}))
        return;
    std::vector<GpxWaypoint> marks;
    if (m_checkMarks->isChecked()) {
        const GpxRead read = ReadMarks(m_strMarksPath);
        if (!read.message.empty()) {
            ShowMessageBox(this, PathText{read.message});
            return;
        }
        marks = read.data.waypoints;
    }
    if (const std::string message = ExportGpx(journals, path, m_strCreator, marks);
        !message.empty()) {
        ShowMessageBox(this, PathText{message});
        return;
    }
    accept();
}
