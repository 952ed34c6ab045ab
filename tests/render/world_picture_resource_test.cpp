// The world picture as the program loads it: from the resources linked
// into ostrel_ui, through Qt's bitmap reader.

#include <QColor>
#include <QImage>
#include <gtest/gtest.h>

// The resources sit in a static library; a program must pull them in by name.
static void InitResources() {
    Q_INIT_RESOURCE(ostrel);
}

TEST(WorldPictureResource, LoadsAsTheFullPictureWithItsColours) {
    InitResources();
    const QImage image(QStringLiteral(":/world_map.bmp"));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(540, 341));
    EXPECT_EQ(image.pixelColor(0, 0), QColor(0, 0, 0));
    EXPECT_EQ(image.pixelColor(270, 170), QColor(0, 0, 0));      // prime meridian on the equator
    EXPECT_EQ(image.pixelColor(76, 156), QColor(255, 255, 255)); // mid-Pacific
    EXPECT_EQ(image.pixelColor(455, 205), QColor(255, 255, 0));  // Australia
}
