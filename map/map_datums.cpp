#include "map/map_datums.h"

#include <array>
#include <cctype>

namespace {

// Ellipsoids in PROJ's words; EPSG's where PROJ's named one differs.
constexpr const char* kWgs84 = "+ellps=WGS84";
constexpr const char* kGrs80 = "+ellps=GRS80";
constexpr const char* kWgs72 = "+ellps=WGS72";
constexpr const char* kIntl = "+ellps=intl";
constexpr const char* kKrass = "+ellps=krass";
constexpr const char* kBessel = "+ellps=bessel";
constexpr const char* kBesselNamibia = "+ellps=bess_nam";
constexpr const char* kAiry = "+ellps=airy";
constexpr const char* kModAiry = "+ellps=mod_airy";
constexpr const char* kClarke66 = "+ellps=clrk66";
constexpr const char* kClarke80 = "+a=6378249.145 +rf=293.465"; // Clarke 1880 (RGS), EPSG:7012
constexpr const char* kClarke80Arc = "+a=6378249.145 +rf=293.4663077"; // EPSG:7013
constexpr const char* kClarke80Ign = "+ellps=clrk80ign";
constexpr const char* kAustralian = "+ellps=aust_SA";
constexpr const char* kHelmert = "+ellps=helmert";
constexpr const char* kHough = "+ellps=hough";
constexpr const char* kEverest = "+ellps=evrst30";    // 1937 adjustment
constexpr const char* kEverestMod = "+ellps=evrst48"; // Everest 1830 modified
constexpr const char* kEverest67 = "+ellps=evrstSS";  // 1967 definition

// Shifts as the mapping agencies publish them, each with the EPSG
// transformation it is taken from (most are NIMA TR8350.2's). Where EPSG has
// only a seven-parameter transformation, the row is the three-parameter fit
// to it over its area of use (the largest departure from it in brackets).
constexpr std::array kDatums = std::to_array<MapDatum>({
    {"WGS 84", kWgs84, 0, 0, 0},
    {"WGS 72", kWgs72, 0, 0, 4.5},            // EPSG:1237 without its 0.554" turn and 0.219 ppm
    {"NAD83", kGrs80, 0, 0, 0},               // EPSG:1188
    {"GDA94", kGrs80, 0, 0, 0},               // EPSG:1150
    {"NZGD2000", kGrs80, 0, 0, 0},            // EPSG:1565
    {"European 1950", kIntl, -87, -98, -121}, // EPSG:1133
    {"European 1950 (Mean France)", kIntl, -87, -96, -120},         // EPSG:1134
    {"European 1950 (Spain and Portugal)", kIntl, -84, -107, -120}, // EPSG:1145
    {"European 1950 (Cyprus)", kIntl, -104, -101, -140},            // EPSG:1136
    {"European 1950 (Egypt)", kIntl, -130, -117, -151},             // EPSG:1137
    {"European 1950 (Greece)", kIntl, -84, -95, -130},              // EPSG:1140
    {"European 1950 (Iran)", kIntl, -117, -132, -164},              // EPSG:1141
    {"European 1950 (Malta)", kIntl, -107, -88, -149},              // EPSG:1144
    {"European 1950 (Middle East)", kIntl, -103, -106, -141},       // EPSG:1135
    {"European 1950 (Norway and Finland)", kIntl, -87, -95, -120},  // EPSG:1139
    {"European 1950 (Sardinia)", kIntl, -97, -103, -120},           // EPSG:1142
    {"European 1950 (Sicily)", kIntl, -97, -88, -135},              // EPSG:1143
    {"European 1950 (Tunisia)", kIntl, -112, -77, -145},            // EPSG:1245
    {"European 1979", kIntl, -86, -98, -119},                       // EPSG:15752
    {"NAD27 CONUS", kClarke66, -8, 160, 176},                       // EPSG:1173
    {"NAD27 Alaska", kClarke66, -5, 135, 172},                      // EPSG:1176
    {"NAD27 Bahamas", kClarke66, -4, 154, 178},                     // EPSG:1177
    {"NAD27 Canada", kClarke66, -10, 158, 187},                     // EPSG:1172
    {"NAD27 Canal Zone", kClarke66, 0, 125, 201},                   // EPSG:1184
    {"NAD27 Caribbean", kClarke66, -3, 142, 183},                   // EPSG:1170
    {"NAD27 Central", kClarke66, 0, 125, 194},                      // EPSG:1171
    {"NAD27 Cuba", kClarke66, -9, 152, 178},                        // EPSG:1185
    {"NAD27 Greenland", kClarke66, 11, 114, 195},                   // EPSG:1186
    {"NAD27 Mexico", kClarke66, -12, 130, 190},                     // EPSG:1187
    {"NAD27 San Salvador", kClarke66, 1, 140, 165},                 // EPSG:1178
    {"Pulkovo 1942 (1)", kKrass, 28, -130, -95},                    // EPSG:1254, Russia
    {"Pulkovo 1942 (2)", kKrass, 28, -121, -77},                    // EPSG:1287, Hungary
    {"S42", kKrass, 28, -121, -77},                                 // EPSG:1287
    {"Ord Srvy Grt Britn", kAiry, 375, -111, 431},                  // EPSG:1195
    {"Ireland 1965", kModAiry, 506, -122, 611},                     // EPSG:1956
    {"Potsdam Rauenberg DHDN", kBessel, 634, 27, 451},              // EPSG:1777 (5 m)
    {"CH-1903", kBessel, 674.374, 15.056, 405.346},                 // EPSG:1766
    {"Rijksdriehoeksmeting", kBessel, 593, 26, 478},                // EPSG:4833 (1 m)
    {"RT 90", kBessel, 500, -37, 569},                              // EPSG:1896 (20 m)
    {"Finland Hayford", kIntl, -75, -230, -89},                     // EPSG:10099 (6 m)
    {"Hermannskogel", kBessel, 682, -203, 480},                     // EPSG:1306
    {"NTF France", kClarke80Ign, -168, -60, 320},                   // EPSG:1193
    {"Rome 1940", kIntl, -225, -65, 9},                             // EPSG:1169
    {"Tokyo", kBessel, -148, 507, 685},                             // EPSG:1230
    {"Australian Geodetic 1966", kAustralian, -133, -48, 148},      // EPSG:1108
    {"Australian Geodetic 1984", kAustralian, -134, -48, 149},      // EPSG:1109
    {"Geodetic Datum 1949", kIntl, 84, -22, 209},                   // EPSG:1151
    {"NZGD1949", kIntl, 84, -22, 209},                              // EPSG:1151
    {"Adindan", kClarke80, -166, -15, 204},                         // EPSG:1100
    {"Afgooye", kKrass, -43, -163, 45},                             // EPSG:1107
    {"Ain el Abd 1970", kIntl, -150, -250, -1},                     // EPSG:1110
    {"Arc 1950", kClarke80Arc, -143, -90, -294},                    // EPSG:1113
    {"Arc 1960", kClarke80, -160, -6, -302},                        // EPSG:1122
    {"Ascension Island 1958", kIntl, -205, 107, 53},                // EPSG:15797
    {"Bellevue (IGN)", kIntl, -127, -769, 472},                     // EPSG:15801
    {"Bermuda 1957", kClarke66, -73, 213, 296},                     // EPSG:1124
    {"Bogota Observatory", kIntl, 307, 304, -318},                  // EPSG:1125
    {"Campo Inchauspe", kIntl, -148, 136, 90},                      // EPSG:1127
    {"Canton Astro 1966", kIntl, 298, -304, -375},                  // EPSG:15803
    {"Cape", kClarke80Arc, -136, -108, -292},                       // EPSG:1128
    {"Cape Canaveral", kClarke66, -2, 151, 181},                    // EPSG:15804
    {"Carthage", kClarke80Ign, -263, 6, 431},                       // EPSG:1130
    {"Chatham 1971", kIntl, 175, -38, 113},                         // EPSG:1080
    {"Chua Astro", kIntl, -134, 229, -29},                          // EPSG:1131
    {"Corrego Alegre", kIntl, -206, 172, -6},                       // EPSG:1132
    {"Djakarta (Batavia)", kBessel, -377, 681, -50},                // EPSG:8452
    {"Easter Island 1967", kIntl, 211, 147, 111},                   // EPSG:15806
    {"Guam 1963", kClarke66, -100, -248, 259},                      // EPSG:1070
    {"Hjorsey 1955", kIntl, -73, 46, -86},                          // EPSG:1951
    {"Hu-Tzu-Shan", kIntl, -637, -549, -203},                       // EPSG:1152
    {"Indian Bangladesh", kEverest, 282, 726, 254},                 // EPSG:1155
    {"Johnston Island 1961", kIntl, 189, -79, -202},                // EPSG:15809
    {"Kandawala", kEverest, -97, 787, 86},                          // EPSG:1157
    {"Kertau 1948", kEverestMod, -11, 851, 5},                      // EPSG:1158
    {"Liberia 1964", kClarke80, -90, 40, 88},                       // EPSG:1160
    {"Luzon Philippines", kClarke66, -133, -77, -51},               // EPSG:1161
    {"Luzon Mindanao", kClarke66, -133, -79, -72},                  // EPSG:1162
    {"Mahe 1971", kClarke80, 41, -220, -134},                       // EPSG:1164
    {"Massawa", kBessel, 639, 405, 60},                             // EPSG:1165
    {"Merchich", kClarke80Ign, 31, 146, 47},                        // EPSG:1166
    {"Minna", kClarke80, -92, -93, 122},                            // EPSG:1168
    {"Nahrwn Masirah Ilnd", kClarke80, -247, -148, 369},            // EPSG:1189
    {"Nahrwn Saudi Arbia", kClarke80, -243, -192, 477},             // EPSG:1190
    {"Nahrwn United Arab", kClarke80, -249, -156, 381},             // EPSG:1191
    {"Naparima BWI", kIntl, -10, 375, 165},                         // EPSG:1192
    {"Old Egyptian", kHelmert, -130, 110, -13},                     // EPSG:1148
    {"Old Hawaiian", kClarke66, 61, -285, -181},                    // EPSG:15824
    {"Oman", kClarke80, -346, -1, 224},                             // EPSG:1256
    {"Pico De Las Nieves", kIntl, -307, -92, 127},                  // EPSG:9743
    {"Pitcairn Astro 1967", kIntl, 185, 165, 42},                   // EPSG:15819
    {"Prov So Amrican 1956", kIntl, -288, 175, -376},               // EPSG:1201
    {"Prov So Chilean 1963", kIntl, 16, 196, 93},                   // EPSG:1892
    {"Puerto Rico", kClarke66, 11, 72, -101},                       // EPSG:1893
    {"Qatar National", kIntl, -128, -283, 22},                      // EPSG:1561
    {"Qornoq", kIntl, 164, 138, -189},                              // EPSG:1211
    {"Santo (DOS)", kIntl, 170, 42, 84},                            // EPSG:15820
    {"Sao Braz", kIntl, -203, 141, 53},                             // EPSG:1885
    {"Sapper Hill 1943", kIntl, -355, 21, 72},                      // EPSG:1225
    {"Schwarzeck", kBesselNamibia, 616, 97, -251},                  // EPSG:1226
    {"South American 1969", kAustralian, -57, 1, -41},              // EPSG:1864
    {"Tananarive Observatory 1925", kIntl, -189, -242, -91},        // EPSG:1227
    {"Timbalai 1948", kEverest67, -679, 669, -48},                  // EPSG:1228
    {"Tristan Astro 1968", kIntl, -632, 438, -609},                 // EPSG:15816
    {"Viti Levu 1916", kClarke80, 51, 391, -36},                    // EPSG:15821
    {"Wake-Eniwetok 1960", kHough, 102, 52, -38},                   // EPSG:15822
    {"Yacare", kIntl, -155, 171, 37},                               // EPSG:1234
    {"Zanderij", kIntl, -265, 120, -358},                           // EPSG:1235
});

} // namespace

std::span<const MapDatum> MapDatums() {
    return kDatums;
}

const MapDatum* FindMapDatum(const std::string& name) {
    const std::string key = MapNameKey(name);
    for (const MapDatum& d : kDatums)
        if (MapNameKey(d.name) == key)
            return &d;
    return nullptr;
}

std::string MapNameKey(const std::string& name) {
    std::string key;
    for (char c : name)
        if (c != ' ' && c != '\t')
            key += char(std::tolower(static_cast<unsigned char>(c)));
    return key;
}
