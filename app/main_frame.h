#pragma once

#include "gps/gps_receiver.h"
#include "gps/nmea_recording.h"
#include "platform/mdi_frame.h"
#include "platform/status_bar.h"
#include "track/gpx_layers.h"
#include "track/navigation.h"
#include "track/track_journal.h"
#include "track/track_recorder.h"

#include <QLabel>
#include <QString>
#include <QStringList>
#include <QToolBar>
#include <optional>
#include <string>
#include <vector>

class CDocTemplate;

// The main window. It owns the GPS receiver and polls it once a second:
// the sentences that arrived are parsed into the fix, and each "$GPRMC" is
// echoed in the status bar's message pane while that option is on.
class CMainFrame : public CMDIFrameWnd {
    Q_OBJECT

public:
    // Opens the serial port (through m_gps) before any window part exists.
    CMainFrame();
    ~CMainFrame() override;

    QString GetMessageText() const { return m_wndStatusBar.GetPaneText(0); }

    bool OnCmdMsg(int id, CCmdUI* ui) override;
    // The poll tick, timer 1; every other timer is ignored.
    void OnTimer(int id) override;
    // Open a further "GPS Data" or "World Map" window.
    void OnShowGpsData();
    void OnShowWorldMap();
    // "Show Properties" with no document window open: after OK the port is
    // reopened with the settings, and a failure is reported.
    void OnShowProperties();
    // Tools: the receiver search, whose choice opens like Properties' OK;
    // the GPX export dialog; recording the receiver's bytes, which
    // asks for the file, or stops a recording.
    void OnFindReceiver();
    void OnExportTrackGpx();
    void OnRecordNmea();
    void OnUpdateRecordNmea(CCmdUI* ui);
    // Starts recording into `path`; the message when it cannot.
    std::string StartNmeaRecording(const std::string& path);
    // Tools: GPX layers on every calibrated map, Mark Position, Go To and
    // Follow Route with the navigation bar.
    void OnOpenGpxLayer();
    void OnCloseGpxLayers();
    void OnUpdateCloseGpxLayers(CCmdUI* ui);
    void OnShowRecordedTrack();
    void OnUpdateShowRecordedTrack(CCmdUI* ui);
    void OnMarkPosition();
    void OnGoTo();
    void OnFollowRoute();
    void OnUpdateFollowRoute(CCmdUI* ui);
    void OnStopNavigation();
    void OnUpdateStopNavigation(CCmdUI* ui);
    // Opens GPX files as layers and lists them with their counts in the
    // message pane; a file that cannot be read is shown in a message box.
    void OpenGpxLayers(const std::vector<std::string>& paths);
    // The fix's position [deg], when it has one.
    std::optional<LonLat> FixPosition() const;

    // In this order: constructed so, destroyed the other way round (the
    // toolbar first, then the receiver, which closes the port).
    bool m_bBusy = false;     // a poll tick is running
    std::string m_strMessage; // the sentence the poll cut out last
    CStatusBar m_wndStatusBar;
    CGpsReceiver m_gps;
    QToolBar m_wndToolBar;
    // The template that opens the windows of the View menu; not owned.
    CDocTemplate* m_pDocTemplate = nullptr;
    // Every position the receiver reports goes to the journal, window or not;
    // a failure to write it is reported in a message box, once per failure.
    CTrackJournal m_journal{DefaultJournalFolder()};
    CTrackRecorder m_trackRecorder;
    CNmeaRecording m_nmeaRecording;
    // What every calibrated map shows beside the designed drawing, and the
    // navigation that the bar at the bottom reports on.
    CGpxLayers m_layers;
    CNavigation m_navigation;
    QToolBar m_wndNavigationBar;
    QLabel m_navigationText;
    // What Find Receiver runs, and the devices it tries (empty: all).
    QString m_strProbeProgram;
    QStringList m_probeDevices;

protected:
    int OnCreate() override;

private:
    static const CommandEntry<CMainFrame> kCommands[];
    void OpenWindow(int docMode, const QString& title);
    // Closes the port and opens `name` at `baudRate` [bit/s]; a failure is
    // kept in m_strMessage. True when it opened.
    bool ReopenPort(const std::string& name, int baudRate);
    // After a poll: the receiver's bytes to the recording (a failure in the
    // message pane), each epoch's moved position to the journal. The
    // journal's failure to report, or empty.
    std::string RecordPoll(const std::string& chunk);
    // A message box, unless one about the journal is open already.
    void ReportJournalFailure(const std::string& message);
    bool m_bJournalBoxOpen = false;
    // After a poll: the navigation's next step, in the bar and on the maps.
    void UpdateNavigation();
    // The marks of the marks file as a layer.
    void ShowMarks();
};
