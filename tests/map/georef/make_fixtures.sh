#!/usr/bin/env bash
# Writes the georeferenced fixture maps of this folder and the positions
# their pixels must have (expected_positions.txt). The outputs are committed;
# this is needed only to make them anew.
#
# Each map has an affine transform from picture pixel (whole numbers are
# pixel centres) to map coordinates [m]. Its calibration file gives points
# of that transform as the format expects them: longitude/latitude on the
# map's own datum, grid coordinates, or a tie point and pixel size. The
# expected positions are the WGS 84 longitude/latitude [deg] of a 5 x 5 grid
# of pixels over each map. All projection and datum arithmetic is PROJ's.
#
# Needs: proj-bin (cs2cs, projinfo), imagemagick (/usr/bin/convert), geotiff-bin
# (geotifcp, listgeo), awk.
set -euo pipefail
cd "$(dirname "$0")"
export LC_ALL=C

readonly WGS84_LONLAT="+proj=longlat +datum=WGS84 +no_defs +type=crs"
readonly TABLE=expected_positions.txt

# Datums as the .map reader knows them: ellipsoid and shift to WGS 84 [m].
declare -A DATUM=(
    ["WGS 84"]="+datum=WGS84"
    ["Pulkovo 1942 (2)"]="+ellps=krass +towgs84=28,-121,-77"
    ["Ord Srvy Grt Britn"]="+ellps=airy +towgs84=375,-111,431"
    ["CH-1903"]="+ellps=bessel +towgs84=674.374,15.056,405.346"
    ["NTF France"]="+ellps=clrk80ign +towgs84=-168,-60,320"
    ["NAD27 CONUS"]="+ellps=clrk66 +towgs84=-8,160,176"
)

# The affine transform of the map being made, set by `affine`.
E0=0 EX=0 EY=0 N0=0 NX=0 NY=0

# affine E0 N0 SIZE ANGLE: pixels SIZE [m] square, the picture turned by
# ANGLE [deg] anticlockwise against grid north, pixel (0,0) at E0, N0 [m].
affine() {
    read -r E0 EX EY N0 NX NY < <(awk -v e0="$1" -v n0="$2" -v s="$3" -v a="$4" 'BEGIN {
        r = a * atan2(0, -1) / 180
        printf "%.6f %.12f %.12f %.6f %.12f %.12f\n", e0, s * cos(r), s * sin(r), n0, s * sin(r), -s * cos(r)
    }')
}

# Reads lines "x y" [pixel], writes "e n" [m].
to_map() {
    awk -v e0="$E0" -v ex="$EX" -v ey="$EY" -v n0="$N0" -v nx="$NX" -v ny="$NY" \
        '{ printf "%.6f %.6f\n", e0 + ex * $1 + ey * $2, n0 + nx * $1 + ny * $2 }'
}

# project FROM TO: reads coordinates, writes "lon lat" or "e n" with ten decimals.
project() {
    cs2cs -f %.10f "$1" +to "$2" | awk '{ print $1, $2 }'
}

# The pixels of the 5 x 5 grid over a W x H picture.
grid_pixels() {
    awk -v w="$1" -v h="$2" 'BEGIN {
        for (j = 0; j < 5; ++j)
            for (i = 0; i < 5; ++i)
                printf "%d %d\n", int(i * (w - 1) / 4 + 0.5), int(j * (h - 1) / 4 + 0.5)
    }'
}

# expect NAME W H CRS: the grid's rows of the table for picture NAME.
expect() {
    local pixels
    pixels=$(grid_pixels "$2" "$3")
    paste -d' ' <(echo "$pixels") <(echo "$pixels" | to_map | project "$4" "$WGS84_LONLAT") |
        awk -v name="$1" '{ printf "%s %d %d %.9f %.9f\n", name, $1, $2, $3, $4 }' >>"$TABLE"
}

# picture FILE W H: a small picture of W x H pixels.
picture() {
    /usr/bin/convert -size "$2x$3" xc:'#e4ecd4' -fill none -stroke '#7f9a6a' \
        -draw "line 0,$(($3 / 3)) $(($2 - 1)),$(($3 / 2))" -draw "line $(($2 / 2)),0 $(($2 / 3)),$(($3 - 1))" \
        -colors 8 -define png:exclude-chunks=date,time -strip "PNG8:$1"
}

# Reads "x y lat lon" (lon/lat on the map's datum [deg]) or "x y zone e n"
# (grid points), writes the 30 point lines of a .map file.
map_points() {
    awk -v grid="$1" 'function dm(v, pos, neg, w,    a, d, m, t) {
            a = v < 0 ? -v : v; d = int(a); m = (a - d) * 60
            t = sprintf("%.6f", m); if (t == "60.000000") { d += 1; m = 0 }
            return sprintf("%" w "d,%10.6f,%s", d, m, v < 0 ? neg : pos)
        }
        {
            ++n
            if (grid)
                printf "Point%02d,xy,%5d,%5d,in, deg,    ,          ,N,    ,          ,E, grid, %3s, %12.3f, %12.3f,N\r\n", n, $1, $2, $3, $4, $5
            else
                printf "Point%02d,xy,%5d,%5d,in, deg,%s,%s, grid,   ,             ,             ,N\r\n", n, $1, $2, dm($3, "N", "S", 4), dm($4, "E", "W", 4)
        }
        END {
            for (++n; n <= 30; ++n)
                printf "Point%02d,xy,     ,     ,in, deg,    ,          ,N,    ,          ,E, grid,    ,             ,             ,N\r\n", n
        }'
}

# map_file NAME W H PICTURE_LINE PROJECTION DATUM SETUP POINTS [EXTRA]: the .map
# text beside picture NAME; POINTS is map_points' output.
map_file() {
    {
        printf 'OziExplorer Map Data File Version 2.2\r\n%s\r\n%s\r\n1 ,Map Code,\r\n' "${1%.*}" "$4"
        printf '%s,WGS 84,   0.0000,   0.0000,WGS 84\r\nReserved 1\r\nReserved 2\r\n' "$6"
        printf 'Magnetic Variation,,,E\r\n'
        printf 'Map Projection,%s,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No\r\n' "$5"
        printf '%s' "$8"
        printf 'Projection Setup,%s\r\n' "$7"
        printf 'Map Feature = MF ; Map Comment = MM     ; Map Boundary = MB\r\n'
        printf '%s' "${9:-}"
        printf 'IWH,Map Image Width/Height,%d,%d\r\n' "$2" "$3"
    } >"${1%.*}.map"
}

# lonlat_map NAME W H PROJECTION DATUM CRS SETUP "x y ..." [PICTURE_LINE [EXTRA]]:
# a PNG with a .map whose points are longitude/latitude on the map's datum;
# EXTRA lines go after the comment line.
lonlat_map() {
    local pixels points
    pixels=$(echo "$8" | xargs -n2)
    points=$(paste -d' ' <(echo "$pixels") \
        <(echo "$pixels" | to_map | project "$6" "+proj=longlat ${DATUM[$5]} +no_defs +type=crs") |
        awk '{ print $1, $2, $4, $3 }' | map_points 0)
    picture "$1" "$2" "$3"
    map_file "$1" "$2" "$3" "${9:-$1}" "$4" "$5" "$7" "$points"$'\n' "${10:-}"
    expect "$1" "$2" "$3" "$6"
}

rm -f ./*.png ./*.tif ./*.map ./*.pgw ./*.prj
{
    echo "# Picture pixel (whole numbers are pixel centres) and its WGS 84 position"
    echo "# [deg], computed with cs2cs by make_fixtures.sh: map x y lon lat"
} >"$TABLE"

# 1. Mercator on WGS 84 as a tile downloader writes it: the four corners,
# no rotation, and the map's outline in MMPXY/MMPLL lines. Pixels of web
# tiles at zoom 10 (153 m of the projection, 100 m on the ground).
affine 1816700 6145400 152.874056570 0
crs="+proj=merc +lon_0=0 +k=1 +x_0=0 +y_0=0 +datum=WGS84 +units=m +no_defs +type=crs"
corners="0 0 479 0 479 359 0 359"
pixels=$(echo "$corners" | xargs -n2)
outline=$(paste -d' ' <(echo "$pixels") <(echo "$pixels" | to_map | project "$crs" "$WGS84_LONLAT") |
    awk '{ xy = xy sprintf("MMPXY,%d,%d,%d\r\n", NR, $1, $2)
           ll = ll sprintf("MMPLL,%d, %12.6f, %12.6f\r\n", NR, $3, $4) }
         END { printf "MMPNUM,4\r\n%s%s", xy, ll }')
lonlat_map merc_wgs84.png 480 360 Mercator "WGS 84" "$crs" ",,,,,,,,," "$corners" \
    'C:\Maps\Tiles\merc_wgs84.png' "$outline"$'\n'

# 2. Gauss-Krüger zone with central meridian 21E on Pulkovo 1942 (2), turned
# 1.5 degrees, six points.
affine 4535200 5787400 60 1.5
lonlat_map tm_pulkovo.png 400 300 "Transverse Mercator" "Pulkovo 1942 (2)" \
    "+proj=tmerc +lat_0=0 +lon_0=21 +k=1 +x_0=4500000 +y_0=0 ${DATUM["Pulkovo 1942 (2)"]} +units=m +no_defs +type=crs" \
    "     0.000000000,    21.000000000,     1.000000000,      4500000.00,            0.00,,,,," \
    "12 15 388 10 390 290 8 287 200 150 120 220"

# 3. UTM zone 33 north on WGS 84, points in grid coordinates only, turned
# -0.8 degrees.
affine 398000 5805000 50 -0.8
crs="+proj=utm +zone=33 +datum=WGS84 +units=m +no_defs +type=crs"
pixels=$(echo "20 20 340 25 335 340 15 330 180 175" | xargs -n2)
picture utm33_grid.png 360 360
map_file utm33_grid.png 360 360 utm33_grid.png "(UTM) Universal Transverse Mercator" "WGS 84" \
    ",,,,,,,,," \
    "$(paste -d' ' <(echo "$pixels") <(echo "$pixels" | to_map) |
        awk '{ print $1, $2, 33, $3, $4 }' | map_points 1)"$'\n'
expect utm33_grid.png 360 360 "$crs"

# 4. British National Grid on OSGB 1936, turned 2 degrees, five points.
affine 529000 182500 50 2
lonlat_map bng_osgb.png 320 400 "(BNG) British National Grid" "Ord Srvy Grt Britn" \
    "+proj=tmerc +lat_0=49 +lon_0=-2 +k=0.9996012717 +x_0=400000 +y_0=-100000 ${DATUM["Ord Srvy Grt Britn"]} +units=m +no_defs +type=crs" \
    ",,,,,,,,," "10 10 310 12 305 390 14 385 160 200"

# 5. Swiss grid on CH-1903, four points.
affine 598500 201800 50 0
lonlat_map swiss_ch1903.png 400 300 "(SUI) Swiss Grid" "CH-1903" \
    "+proj=somerc +lat_0=46.9524055555556 +lon_0=7.43958333333333 +k_0=1 +x_0=600000 +y_0=200000 ${DATUM["CH-1903"]} +units=m +no_defs +type=crs" \
    ",,,,,,,,," "5 5 395 5 395 295 5 295"

# 6. France zone II on NTF, whose projection is on the Paris meridian; the
# points' longitudes are from Greenwich. Seven points.
affine 607000 228500 80 0
lonlat_map france_zone2.png 300 300 "France Zone II" "NTF France" \
    "+proj=lcc +lat_1=46.8 +lat_0=46.8 +lon_0=0 +k_0=0.99987742 +x_0=600000 +y_0=200000 +pm=paris ${DATUM["NTF France"]} +units=m +no_defs +type=crs" \
    ",,,,,,,,," "0 0 299 0 299 299 0 299 150 0 150 299 150 150"

# 7. Lambert conformal conic with two standard parallels on NAD27, turned
# 3 degrees, nine points.
affine -20500 -15800 100 3
lonlat_map lcc_nad27.png 400 320 "Lambert Conformal Conic" "NAD27 CONUS" \
    "+proj=lcc +lat_0=39 +lon_0=-96 +lat_1=33 +lat_2=45 +x_0=0 +y_0=0 ${DATUM["NAD27 CONUS"]} +units=m +no_defs +type=crs" \
    "    39.000000000,   -96.000000000,     1.000000000,            0.00,            0.00,    33.000000000,    45.000000000,,," \
    "0 0 200 0 399 0 0 160 200 160 399 160 0 319 200 319 399 319"

# geotiff NAME W H KEYS: a grey TIFF of W x H carrying the GeoTIFF keys KEYS
# (listgeo's text form) and the tie point and pixel size of the affine.
geotiff() {
    local keys tie
    keys=$(mktemp)
    # An area raster is tied at the top-left corner of pixel (0,0), a point
    # raster at its centre.
    case "$4" in
    *RasterPixelIsArea*) tie=$(echo "-0.5 -0.5" | to_map) ;;
    *) tie=$(echo "0 0" | to_map) ;;
    esac
    cat >"$keys" <<EOF
Geotiff_Information:
   Version: 1
   Key_Revision: 1.0
   Tagged_Information:
      ModelTiepointTag (2,3):
         0 0 0
         $tie 0
      ModelPixelScaleTag (1,3):
         $EX $(awk -v y="$NY" 'BEGIN { printf "%.12f", -y }') 0
      End_Of_Tags.
   Keyed_Information:
$4
      End_Of_Keys.
   End_Of_Geotiff.
EOF
    /usr/bin/convert -size "$2x$3" xc:'#d0d0d0' -fill none -stroke '#505050' \
        -draw "line 0,0 $(($2 - 1)),$(($3 - 1))" -type Grayscale -depth 8 -strip plain.tif
    geotifcp -c lzw -g "$keys" plain.tif "$1" >/dev/null
    rm -f plain.tif "$keys"
}

# 8. A GeoTIFF in UTM zone 33 north on WGS 84 by its EPSG code, tied at the
# corner of its first pixel. 20 m pixels.
affine 452010 5412990 20 0
geotiff geotiff_utm33.tif 256 256 \
    "      GTModelTypeGeoKey (Short,1): ModelTypeProjected
      GTRasterTypeGeoKey (Short,1): RasterPixelIsArea
      GTCitationGeoKey (Ascii,22): \"WGS 84 / UTM zone 33N\"
      ProjectedCSTypeGeoKey (Short,1): PCS_WGS84_UTM_zone_33N
      ProjLinearUnitsGeoKey (Short,1): Linear_Meter"
expect geotiff_utm33.tif 256 256 "EPSG:32633"

# 9. A GeoTIFF in a transverse Mercator of its own (origin 58N 10.5E, false
# easting 100 km, false northing 1000 km) on ETRS89, tied at the centre of
# its first pixel.
affine 95010 1214990 20 0
geotiff geotiff_tm_user.tif 256 200 \
    "      GTModelTypeGeoKey (Short,1): ModelTypeProjected
      GTRasterTypeGeoKey (Short,1): RasterPixelIsPoint
      GTCitationGeoKey (Ascii,30): \"Transverse Mercator on ETRS89\"
      GeographicTypeGeoKey (Short,1): User-Defined
      GeogCitationGeoKey (Ascii,7): \"ETRS89\"
      GeogGeodeticDatumGeoKey (Short,1): Code-6258 (European Terrestrial Reference System 1989)
      GeogPrimeMeridianGeoKey (Short,1): PM_Greenwich
      GeogAngularUnitsGeoKey (Short,1): Angular_Degree
      GeogEllipsoidGeoKey (Short,1): Ellipse_GRS_1980
      ProjectedCSTypeGeoKey (Short,1): User-Defined
      ProjectionGeoKey (Short,1): User-Defined
      ProjCoordTransGeoKey (Short,1): CT_TransverseMercator
      ProjLinearUnitsGeoKey (Short,1): Linear_Meter
      ProjNatOriginLongGeoKey (Double,1): 10.5
      ProjNatOriginLatGeoKey (Double,1): 58
      ProjFalseEastingGeoKey (Double,1): 100000
      ProjFalseNorthingGeoKey (Double,1): 1000000
      ProjScaleAtNatOriginGeoKey (Double,1): 1"
expect geotiff_tm_user.tif 256 200 \
    "+proj=tmerc +lat_0=58 +lon_0=10.5 +k=1 +x_0=100000 +y_0=1000000 +ellps=GRS80 +towgs84=0,0,0 +units=m +no_defs +type=crs"

# 10. A world file with its .prj (the ESRI form of the Swiss LV95 grid on
# CH1903+), 10 m pixels. The world file gives the centre of pixel (0,0).
affine 2679005 1251995 10 0
picture world_lv95.png 300 240
printf '%.10f\n%.10f\n%.10f\n%.10f\n%.6f\n%.6f\n' "$EX" "$NX" "$EY" "$NY" "$E0" "$N0" >world_lv95.pgw
projinfo EPSG:2056 -o WKT1_ESRI -q | tr -d '\n' >world_lv95.prj
expect world_lv95.png 300 240 "EPSG:2056"
# The .prj must say what EPSG:2056 says, or the table would not be its truth.
wkt_check=$(echo "2679005 1251995" | project "$(cat world_lv95.prj)" "$WGS84_LONLAT")
[ "$wkt_check" = "$(echo "2679005 1251995" | project EPSG:2056 "$WGS84_LONLAT")" ] ||
    { echo "world_lv95.prj is not EPSG:2056 to PROJ" >&2; exit 1; }

for t in ./*.tif; do listgeo "$t" | grep -q ProjectedCSTypeGeoKey || { echo "$t: no keys" >&2; exit 1; }; done
echo "$(($(grep -vc '^#' "$TABLE") )) positions in $TABLE"
