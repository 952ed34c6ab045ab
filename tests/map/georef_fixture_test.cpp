// The fixture maps of georef/ asked through the real program: each pixel of
// a 5 x 5 grid over every map must give the WGS 84 position that cs2cs gave
// when make_fixtures.sh made the map, and that position the pixel back.

#include "map/georeference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const std::string kFixtureDir = OSTREL_GEOREF_DIR;

struct Fixture {
    const char* picture;
    const char* catches;
};

// Each map's likeliest faults, with how far off they put a pixel (worked
// out with PROJ when the fixtures were made).
const Fixture kFixtures[] = {
    {"merc_wgs84.png", "Mercator taken as a longitude/latitude grid (30 m)"},
    {"tm_pulkovo.png",
     "Pulkovo 1942 (2) taken as WGS 84 (127 m) or as Pulkovo 1942 (1) (12 m), the sheet's "
     "turn dropped, or the central meridian of the Projection Setup line not read (4 m)"},
    {"utm33_grid.png", "points given only as grid coordinates skipped, or their zone misread"},
    {"bng_osgb.png",
     "the OSGB 1936 datum shift left out (114 m), or the grid taken as longitude/latitude "
     "(17 m)"},
    {"swiss_ch1903.png",
     "the CH-1903 datum shift left out (226 m), or the oblique Mercator taken as "
     "longitude/latitude (13 m)"},
    {"france_zone2.png",
     "the points' longitudes, which are from Greenwich, taken as from Paris (178 km), or the "
     "NTF datum shift left out (347 m)"},
    {"lcc_nad27.png",
     "NAD27's shift left out (238 m), a standard parallel or the origin's latitude of the "
     "Projection Setup line misread (3 to 6 m), or two of the nine points taken and the "
     "3 degree turn lost"},
    {"geotiff_utm33.tif",
     "the EPSG code of the projected system not read, or an area raster's tie point taken "
     "as the centre of the first pixel (14 m)"},
    {"geotiff_tm_user.tif",
     "the parameter keys of a user-defined projection (origin 58N 10.5E, false northing "
     "1000 km) not read, or a point raster's tie point taken as a corner (14 m)"},
    {"world_lv95.png",
     "the .prj beside a world file not read, LV95 taken as LV03, or the world file's centre "
     "of the first pixel taken as its corner (7 m)"},
};

// Names a failing case by its picture.
void PrintTo(const Fixture& fixture, std::ostream* os) {
    *os << fixture.picture;
}

struct Expected {
    PixelXY pixel;
    LonLat position;
};

// The rows of expected_positions.txt for `picture`.
std::vector<Expected> ExpectedFor(const std::string& picture) {
    std::vector<Expected> rows;
    std::ifstream in(kFixtureDir + "/expected_positions.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name;
        Expected e;
        if (line.empty() || line[0] == '#' || !(fields >> name) || name != picture)
            continue;
        if (fields >> e.pixel.x >> e.pixel.y >> e.position.lon >> e.position.lat)
            rows.push_back(e);
    }
    return rows;
}

// Ground metres per pixel [m/pixel], the smallest between neighbours of the grid.
double MetresPerPixel(const std::vector<Expected>& rows) {
    double smallest = HUGE_VAL;
    for (size_t i = 0; i + 1 < rows.size(); ++i)
        for (size_t j : {i + 1, i + 5})
            if (j < rows.size() &&
                (rows[j].pixel.x == rows[i].pixel.x) != (rows[j].pixel.y == rows[i].pixel.y)) {
                const double pixels = std::hypot(rows[j].pixel.x - rows[i].pixel.x,
                                                 rows[j].pixel.y - rows[i].pixel.y);
                smallest =
                    std::min(smallest, GeodesicMetres(rows[i].position, rows[j].position) / pixels);
            }
    return smallest;
}

class GeorefFixture : public testing::TestWithParam<Fixture> {
protected:
    // A folder of its own as the working directory, so that no calibration
    // store left by another test stands in for the map's own files.
    static void SetUpTestSuite() {
        s_workDir =
            (std::filesystem::temp_directory_path() / ("ostrel-georef-" + std::to_string(getpid())))
                .string();
        std::filesystem::create_directories(s_workDir);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(s_workDir); }

    struct Answer {
        std::string out, err; // standard output and standard error
        int exitCode = -1;
    };
    // The program's answer to `query` on `picture` at `point`.
    static Answer Ask(const char* query, const char* picture, const std::string& point) {
        const std::string errFile = s_workDir + "/stderr.txt";
        const std::string command = "cd '" + s_workDir + "' && '" OSTREL_PROGRAM "' " + query +
                                    " '" + kFixtureDir + "/" + picture + "' " + point + " 2>'" +
                                    errFile + "'";
        Answer answer;
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe)
            return answer;
        std::array<char, 256> buffer{};
        while (size_t n = fread(buffer.data(), 1, buffer.size(), pipe))
            answer.out.append(buffer.data(), n);
        const int status = pclose(pipe);
        answer.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream err(errFile);
        answer.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
        return answer;
    }

    // The two numbers of an answer line, or false.
    static bool TwoNumbers(const std::string& answer, double& a, double& b) {
        std::istringstream in(answer);
        std::string rest;
        return bool(in >> a >> b) && !(in >> rest);
    }

    static inline std::string s_workDir;
};

std::string Coordinates(double a, double b, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f,%.*f", decimals, a, decimals, b);
    return text;
}

// Within the tighter of half a pixel and 1 m, both ways: a half-pixel shift
// of the picture, a datum shift left out or a wrong projection parameter
// each moves positions by metres at least. The fault each map is most
// likely to show is named in the table.
TEST_P(GeorefFixture, PixelsAndPositionsAgreeWithProj) {
    const Fixture& fixture = GetParam();
    const std::vector<Expected> rows = ExpectedFor(fixture.picture);
    // A picture missing from the table would pass unasked.
    ASSERT_EQ(rows.size(), 25u) << fixture.picture;
    const double metresPerPixel = MetresPerPixel(rows);
    const double toleranceM = std::min(1.0, 0.5 * metresPerPixel);
    // No finer than the two decimals the pixel is printed with.
    const double tolerancePx = std::max(std::min(0.5, 1.0 / metresPerPixel), 0.01);
    for (size_t k = 0; k < rows.size(); ++k) {
        const Expected& e = rows[k];
        // Scripts read the answer alone from standard output.
        const std::string pixel = Coordinates(e.pixel.x, e.pixel.y, 0);
        const Answer position = Ask("--pixel-to-position", fixture.picture, pixel);
        LonLat got;
        ASSERT_TRUE(position.exitCode == 0 && TwoNumbers(position.out, got.lon, got.lat))
            << fixture.picture << " pixel " << pixel << ": " << position.out << position.err
            << "\nLikely fault: " << fixture.catches;
        EXPECT_LE(GeodesicMetres(got, e.position), toleranceM)
            << fixture.picture << " pixel " << pixel << " gave " << position.out << "expected "
            << Coordinates(e.position.lon, e.position.lat, 9)
            << "\nLikely fault: " << fixture.catches;

        const std::string lonLat = Coordinates(e.position.lon, e.position.lat, 9);
        const Answer back = Ask("--position-to-pixel", fixture.picture, lonLat);
        PixelXY p;
        ASSERT_TRUE(back.exitCode == 0 && TwoNumbers(back.out, p.x, p.y))
            << fixture.picture << " position " << lonLat << ": " << back.out << back.err
            << "\nLikely fault: " << fixture.catches;
        EXPECT_LE(std::hypot(p.x - e.pixel.x, p.y - e.pixel.y), tolerancePx)
            << fixture.picture << " position " << lonLat << " gave pixel " << back.out
            << "expected " << pixel << "\nLikely fault: " << fixture.catches;
    }
}

INSTANTIATE_TEST_SUITE_P(Maps, GeorefFixture, testing::ValuesIn(kFixtures),
                         [](const testing::TestParamInfo<Fixture>& info) {
                             std::string name = info.param.picture;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

} // namespace
