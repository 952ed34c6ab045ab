#include "platform/status_bar.h"

#include <QApplication>
#include <QMainWindow>
#include <gtest/gtest.h>

namespace {

void Settle() {
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

// A long text in the message pane widened the window, minimum width included,
// until its right edge was off the screen: one sentence, or a receiver's
// stream with CR alone between sentences, which arrives as one line.
TEST(StatusBar, MessagePaneNeverWidensTheWindow) {
    QMainWindow window;
    auto* bar = new CStatusBar;
    ASSERT_TRUE(
        bar->SetIndicators({ID_SEPARATOR, ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL}));
    window.setStatusBar(bar);
    window.resize(300, 200);
    window.show();
    Settle();
    ASSERT_EQ(window.width(), 300);
    const int minimumHint = window.minimumSizeHint().width();
    const int minimumWidth = window.minimumWidth();

    const std::string rmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A";
    std::string stream;
    while (stream.size() < 1500)
        stream += rmc + '\r';
    for (const std::string& bytes : {rmc, stream}) {
        SCOPED_TRACE(bytes.size());
        const QString text = StatusTextFromBytes(bytes);
        bar->SetWindowText(text);
        Settle();
        EXPECT_EQ(window.width(), 300);
        EXPECT_LE(window.minimumSizeHint().width(), minimumHint);
        EXPECT_LE(window.minimumWidth(), minimumWidth);
        EXPECT_EQ(bar->GetPaneText(0), text);
    }
}

} // namespace
