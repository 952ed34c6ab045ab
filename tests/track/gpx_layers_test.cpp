#include "track/gpx_layers.h"

#include <gtest/gtest.h>

namespace {

// 10 arc-seconds per pixel from 10 E, 50 N at pixel (0, 0).
const CMapCalibration kCal{true, true, 36000, 180000, 39600, 176400, 0, 0, 360, 360};

GpxPoint At(double lon, double lat) {
    return GpxPoint{{lon, lat}, {}, {}};
}

// Every point of every run, in order, without the joints repeated.
std::vector<PixelXY> Flatten(const OverlayLine& line) {
    std::vector<PixelXY> out;
    for (const OverlayRun& run : line.runs)
        for (size_t i = out.empty() ? 0 : 1; i < run.points.size(); ++i)
            out.push_back(run.points[i]);
    return out;
}

// Catches layer points placed other than by the map's model, runs whose
// boxes miss their points, and a recorded track that grows differently from
// the same points placed at once.
TEST(OverlayPixels, PlaceEveryPointByTheMapsModelAndGrowTheRecordedTrack) {
    const CMapModel model{kCal};
    CGpxLayers layers;
    GpxLayer file{GpxLayer::File, "trip.gpx", {}};
    file.data.waypoints.push_back({At(10.5, 49.75), "Hut", "Flag"});
    std::vector<GpxPoint> track;
    for (int i = 0; i < 200; ++i)
        track.push_back(At(10 + i / 400.0, 50 - i / 800.0));
    file.data.tracks.push_back({"walk", {track}});
    file.data.routes.push_back({"way", {{At(10.1, 49.9), "A", ""}, {At(10.2, 49.8), "B", ""}}});
    layers.Add(file);
    layers.SetRecorded({At(10, 50)});

    COverlayPixels pixels;
    pixels.Update(layers.Overlay(), model);
    ASSERT_EQ(pixels.Lines().size(), 3u);
    ASSERT_EQ(pixels.Marks().size(), 3u);
    EXPECT_EQ(pixels.Marks().back().name, "Hut");
    EXPECT_NEAR(pixels.Marks().back().at.x, 180, 1e-9);
    EXPECT_NEAR(pixels.Marks().back().at.y, 90, 1e-9);
    const std::vector<PixelXY> walk = Flatten(pixels.Lines()[0]);
    ASSERT_EQ(walk.size(), track.size());
    for (size_t i = 0; i < walk.size(); ++i) {
        const std::optional<PixelXY> p = model.PixelAt(track[i].position);
        EXPECT_NEAR(walk[i].x, p->x, 1e-9);
        EXPECT_NEAR(walk[i].y, p->y, 1e-9);
    }
    for (const OverlayRun& run : pixels.Lines()[0].runs)
        for (const PixelXY& p : run.points)
            EXPECT_TRUE(p.x >= run.left && p.x <= run.right && p.y >= run.top && p.y <= run.bottom);
    EXPECT_EQ(pixels.Lines()[1].kind, MapOverlay::Route);

    for (int i = 1; i < 150; ++i)
        layers.AppendRecorded(At(10 + i / 1000.0, 50));
    pixels.Update(layers.Overlay(), model);
    COverlayPixels atOnce;
    atOnce.Update(layers.Overlay(), model);
    EXPECT_EQ(Flatten(pixels.Lines().back()).size(), 150u);
    EXPECT_EQ(Flatten(pixels.Lines().back()).size(), Flatten(atOnce.Lines().back()).size());
    EXPECT_NEAR(Flatten(pixels.Lines().back()).back().x, 149 * 3.6 / 10, 1e-9);

    layers.CloseFiles();
    pixels.Update(layers.Overlay(), model);
    EXPECT_EQ(pixels.Lines().size(), 1u) << "only the recorded track stays";
    EXPECT_TRUE(pixels.Marks().empty());
}

} // namespace
