#pragma once

#include "app/main_frame.h"
#include "app/ostrel_app.h"
#include "gps/settings.h"
#include "map/map_view.h"
#include "platform/doc_template.h"
#include "platform/serial_port.h"
#include "tests/client_size.h"

#include <QApplication>
#include <QColor>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <pty.h>
#include <string>
#include <unistd.h>

// The whole application on the offscreen platform: main frame, template and
// the first window (a world map), with the receiver on no device and a
// profile of its own in a temporary folder. The settings are put back
// afterwards, and no window may be left open.
class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_profileDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_profileDir.path());
        m_savedPort = g_strPortName;
        m_savedBaud = g_nBaudRate;
        m_savedUpdate = g_nUpdateMs;
        m_savedShow = g_bShowAtStatusLine;
        m_savedMode = g_nDocMode;
        g_strPortName = PortForTest();
        g_nDocMode = DOCMODE_WORLDMAP;
        m_app = std::make_unique<COstrelApp>();
        ASSERT_TRUE(m_app->InitInstance());
        QApplication::processEvents();
    }

    void TearDown() override {
        m_app.reset();
        QApplication::processEvents();
        for (QWidget* w : QApplication::topLevelWidgets())
            EXPECT_FALSE(w->isVisible()) << "left open: " << w->metaObject()->className();
        g_strPortName = m_savedPort;
        g_nBaudRate = m_savedBaud;
        g_nUpdateMs = m_savedUpdate;
        g_bShowAtStatusLine = m_savedShow;
        g_nDocMode = m_savedMode;
    }

    // The device the receiver opens at start-up; none by default.
    virtual std::string PortForTest() const { return std::string(); }

    CMainFrame* Frame() const { return m_app->m_pMainWnd.get(); }

    COstrelView* ActiveView() const {
        QMdiSubWindow* sub = Frame()->MDIGetActive();
        return sub ? qobject_cast<COstrelView*>(sub->widget()) : nullptr;
    }

    // A new window in `mode`, the way the window-opening commands make one.
    COstrelView* OpenWindow(int mode) {
        g_nDocMode = mode;
        CDocument* doc = m_app->m_pDocTemplate->OpenDocumentFile();
        QApplication::processEvents();
        return doc ? qobject_cast<COstrelView*>(doc->GetViews().front()) : nullptr;
    }

    // Resizes the view's frame until the client area is w x h [pixel].
    static void SetClientSize(COstrelView* view, int w, int h) {
        ResizeClientTo(view, w, h);
        ASSERT_EQ(view->GetClientRect(), (CRect{0, 0, w, h}));
    }

    static QColor Pixel(const COstrelView* view, int x, int y) {
        return QColor(view->Surface().pixel(x, y));
    }
    static bool IsRed(QColor c) { return c == QColor(255, 0, 0); }
    static bool IsWhite(QColor c) { return c == QColor(255, 255, 255); }
    static bool IsBlack(QColor c) { return c == QColor(0, 0, 0); }

    std::unique_ptr<COstrelApp> m_app;
    QTemporaryDir m_profileDir;

private:
    std::string m_savedPort;
    int32_t m_savedBaud = 0;
    int32_t m_savedUpdate = 0;
    uint8_t m_savedShow = 0;
    int32_t m_savedMode = 0;
};

// AppTest with the receiver on a pseudo-terminal: the test writes to
// m_master as a receiver would.
class AppOnPty : public AppTest {
protected:
    void SetUp() override {
        char name[256] = {};
        ASSERT_EQ(openpty(&m_master, &m_slave, name, nullptr, nullptr), 0);
        m_path = name;
        AppTest::SetUp();
        ASSERT_GE(g_hComm, 0) << "the receiver did not open " << m_path;
    }
    void TearDown() override {
        AppTest::TearDown();
        close(m_master);
        close(m_slave);
    }
    std::string PortForTest() const override { return m_path; }

    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};
