// Draws the demo map, res/demo/demo_map.bmp (8 bits per pixel, RLE8), and
// its calibration line, res/demo/demo_map.cal: the Saronic Gulf between
// Athens and Hydra from the Natural Earth 1:10m land and country borders of
// the world-atlas package. Longitude and latitude map linearly to x and y.
//
//   npm ci && node make_demo_map.mjs [output-folder]

import { readFileSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { feature, mesh } from 'topojson-client';
import { GLYPH_HEIGHT, Raster, bmp8 } from '../world_picture/raster.mjs';

const here = dirname(fileURLToPath(import.meta.url));
const require = createRequire(import.meta.url);
const load = (name) => JSON.parse(readFileSync(require.resolve(name), 'utf8'));

// 3000 x 2000 pixels from WEST, NORTH [degree]; pixels per degree of
// latitude, and of longitude scaled by the cosine of the middle latitude
// so that the map is true to shape there; graticule every GRID degrees.
const WIDTH = 3000, HEIGHT = 2000;
const WEST = 22.85, NORTH = 38.12;
const pxPerDegLat = 2400, pxPerDegLon = 1900; // 1900 ~ 2400 cos 37.77
const GRID = 0.25;

const COLOURS = [
    [0, 0, 0],       // 0 text
    [255, 255, 255], // 1 text halo
    [181, 212, 232], // 2 sea
    [238, 234, 220], // 3 land
    [72, 116, 160],  // 4 shore
    [160, 64, 140],  // 5 country borders
    [120, 120, 120], // 6 graticule
    [205, 226, 240], // 7 shallow water near the shore
];
const [TEXT, HALO, SEA, LAND, SHORE, BORDER, GRATICULE, SHALLOW] = COLOURS.map((_, i) => i);
while (COLOURS.length < 256) COLOURS.push([0, 0, 0]);

// Continuous picture coordinates: pixel (x, y) covers [x, x+1) x [y, y+1).
const toPicture = ([lon, lat]) => [(lon - WEST) * pxPerDegLon, (NORTH - lat) * pxPerDegLat];

function rings(geojson) {
    const out = [];
    const polygon = (p) => p.forEach((ring) => out.push(ring.map(toPicture)));
    for (const f of geojson.features ?? [geojson]) {
        const g = f.geometry ?? f;
        if (g.type === 'Polygon') polygon(g.coordinates);
        else if (g.type === 'MultiPolygon') g.coordinates.forEach(polygon);
    }
    return out;
}

function lines(geojson) {
    const out = [];
    for (const f of geojson.features ?? [geojson]) {
        const g = f.geometry ?? f;
        if (g.type === 'LineString') out.push(g.coordinates.map(toPicture));
        else if (g.type === 'MultiLineString') g.coordinates.forEach((l) => out.push(l.map(toPicture)));
    }
    return out;
}

// Drops the segments that lie wholly beyond one side of the picture.
function visible(lines) {
    const out = [];
    for (const pts of lines) {
        let run = [];
        for (let i = 1; i < pts.length; i++) {
            const [a, b] = [pts[i - 1], pts[i]];
            const off = (Math.max(a[0], b[0]) < -2) || (Math.min(a[0], b[0]) > WIDTH + 2) ||
                        (Math.max(a[1], b[1]) < -2) || (Math.min(a[1], b[1]) > HEIGHT + 2);
            if (off) {
                if (run.length) out.push(run);
                run = [];
            } else {
                if (!run.length) run.push(a);
                run.push(b);
            }
        }
        if (run.length) out.push(run);
    }
    return out;
}

// Lines `width` pixels thick, the extra pixels right of and below the line.
function stroke(map, lines, colour, width) {
    const all = { x0: 0, y0: 0, x1: WIDTH - 1, y1: HEIGHT - 1 };
    for (const pts of visible(lines))
        for (let i = 1; i < pts.length; i++) {
            const [x0, y0] = pts[i - 1].map(Math.floor), [x1, y1] = pts[i].map(Math.floor);
            for (let ox = 0; ox < width; ox++)
                for (let oy = 0; oy < width; oy++) map.line(x0 + ox, y0 + oy, x1 + ox, y1 + oy, colour, all);
        }
}

// Water pixels within `reach` pixels of land become the shallow colour;
// distances by a two-pass chamfer transform (3 straight, 4 diagonal).
function shallowBand(map, reach) {
    const dist = new Float64Array(WIDTH * HEIGHT);
    for (let i = 0; i < dist.length; i++) dist[i] = map.pixels[i] === LAND ? 0 : Infinity;
    const relax = (x, y, dx, dy, w) => {
        const nx = x + dx, ny = y + dy;
        if (nx < 0 || ny < 0 || nx >= WIDTH || ny >= HEIGHT) return;
        const i = y * WIDTH + x, d = dist[ny * WIDTH + nx] + w;
        if (d < dist[i]) dist[i] = d;
    };
    for (let y = 0; y < HEIGHT; y++)
        for (let x = 0; x < WIDTH; x++) {
            relax(x, y, -1, 0, 3); relax(x, y, -1, -1, 4); relax(x, y, 0, -1, 3); relax(x, y, 1, -1, 4);
        }
    for (let y = HEIGHT - 1; y >= 0; y--)
        for (let x = WIDTH - 1; x >= 0; x--) {
            relax(x, y, 1, 0, 3); relax(x, y, 1, 1, 4); relax(x, y, 0, 1, 3); relax(x, y, -1, 1, 4);
        }
    for (let i = 0; i < dist.length; i++)
        if (map.pixels[i] === SEA && dist[i] <= 3 * reach) map.pixels[i] = SHALLOW;
}

function dms(value, positive, negative) {
    const total = Math.round(Math.abs(value) * 60); // [arc-min]
    const deg = Math.floor(total / 60), min = total % 60;
    const text = min ? `${deg}\u00b0${String(min).padStart(2, '0')}'` : `${deg}\u00b0`;
    return value === 0 ? text : `${text} ${value > 0 ? positive : negative}`;
}

const landTopo = load('world-atlas/land-10m.json');
const countriesTopo = load('world-atlas/countries-10m.json');

const map = new Raster(WIDTH, HEIGHT, SEA);
map.fillRings(rings(feature(landTopo, landTopo.objects.land)), LAND);
shallowBand(map, 12);
stroke(map, lines(mesh(landTopo, landTopo.objects.land)), SHORE, 2);
stroke(map, lines(mesh(countriesTopo, countriesTopo.objects.countries, (a, b) => a !== b)), BORDER, 3);

// Graticule: the lines first, then their labels on white along the edges.
const east = WEST + WIDTH / pxPerDegLon, south = NORTH - HEIGHT / pxPerDegLat;
const meridians = [], parallels = [];
for (let lon = Math.ceil(WEST / GRID) * GRID; lon <= east; lon += GRID) meridians.push(lon);
for (let lat = Math.ceil(south / GRID) * GRID; lat <= NORTH; lat += GRID) parallels.push(lat);
for (const lon of meridians) {
    const x = Math.round((lon - WEST) * pxPerDegLon);
    map.line(x, 0, x, HEIGHT - 1, GRATICULE);
}
for (const lat of parallels) {
    const y = Math.round((NORTH - lat) * pxPerDegLat);
    map.line(0, y, WIDTH - 1, y, GRATICULE);
}
// Text on a white box; (x, y) is the top-left corner of the text.
function boxed(text, x, y, scale) {
    map.fillRect(x - 4, y - 4, x + Raster.textWidth(text, scale) + 3, y + GLYPH_HEIGHT * scale + 3, HALO);
    map.text(text, x, y, TEXT, scale);
}
const EDGE = 2, EDGE_H = GLYPH_HEIGHT * EDGE;
for (const lon of meridians) {
    const x = Math.round((lon - WEST) * pxPerDegLon);
    const text = dms(lon, 'E', 'W');
    const left = x - Math.floor(Raster.textWidth(text, EDGE) / 2);
    boxed(text, left, 10, EDGE);
    boxed(text, left, HEIGHT - 10 - EDGE_H, EDGE);
}
for (const lat of parallels) {
    const y = Math.round((NORTH - lat) * pxPerDegLat) - EDGE_H / 2;
    const text = dms(lat, 'N', 'S');
    boxed(text, 10, y, EDGE);
    boxed(text, WIDTH - 10 - Raster.textWidth(text, EDGE), y, EDGE);
}

// Towns with a dot and their name to the right; other names centred [degree].
const NAME = 3, NAME_H = GLYPH_HEIGHT * NAME;
const TOWNS = [['ATHENS', 23.727, 37.984], ['PIRAEUS', 23.646, 37.947], ['AEGINA', 23.428, 37.746]];
const NAMES = [['SALAMIS', 23.458, 37.905], ['METHANA', 23.366, 37.615], ['POROS', 23.488, 37.527],
               ['HYDRA', 23.46, 37.33], ['KEA', 24.33, 37.62], ['SARONIC GULF', 23.74, 37.66],
               ['ATTICA', 23.88, 37.98], ['PELOPONNESE', 23.03, 37.66]];
for (const [name, lon, lat] of TOWNS) {
    const [x, y] = toPicture([lon, lat]).map(Math.floor);
    map.fillRect(x - 6, y - 6, x + 6, y + 6, HALO);
    map.fillRect(x - 4, y - 4, x + 4, y + 4, TEXT);
    boxed(name, x + 14, y - Math.floor(NAME_H / 2), NAME);
}
for (const [name, lon, lat] of NAMES) {
    const [x, y] = toPicture([lon, lat]).map(Math.floor);
    map.text(name, x - Math.floor(Raster.textWidth(name, NAME) / 2), y - Math.floor(NAME_H / 2), TEXT, NAME);
}

map.fillRect(0, 0, WIDTH - 1, 1, TEXT);
map.fillRect(0, HEIGHT - 2, WIDTH - 1, HEIGHT - 1, TEXT);
map.fillRect(0, 0, 1, HEIGHT - 1, TEXT);
map.fillRect(WIDTH - 2, 0, WIDTH - 1, HEIGHT - 1, TEXT);

// Scale bar in the lower left corner, 10 km at the map's middle latitude.
const midLat = (NORTH + south) / 2;
const kmPx = pxPerDegLon / (111.32 * Math.cos((midLat * Math.PI) / 180)); // [pixel/km]
const barX = 70, barY = HEIGHT - 80, barLen = Math.round(10 * kmPx);
map.fillRect(barX - 14, barY - 34, barX + barLen + 50, barY + 16, HALO);
map.fillRect(barX, barY, barX + barLen, barY + 5, TEXT);
for (const km of [0, 5, 10])
    map.fillRect(barX + Math.round(km * kmPx) - 1, barY - 8, barX + Math.round(km * kmPx) + 1, barY + 5, TEXT);
map.text('0', barX - 4, barY - 26, TEXT, EDGE);
map.text('10 km', barX + barLen - 10, barY - 26, TEXT, EDGE);

// Calibration: the graticule crossings nearest two opposite corners [arc-s].
const cross = (lon, lat) => [Math.round((lon - WEST) * pxPerDegLon), Math.round((NORTH - lat) * pxPerDegLat),
                             Math.round(lon * 3600), Math.round(lat * 3600)];
const inner = (lines, toPx, size) => lines.filter((v) => toPx(v) >= 100 && toPx(v) <= size - 100);
const innerLon = inner(meridians, (lon) => (lon - WEST) * pxPerDegLon, WIDTH);
const innerLat = inner(parallels, (lat) => (NORTH - lat) * pxPerDegLat, HEIGHT);
const first = cross(innerLon[0], innerLat[innerLat.length - 1]);
const second = cross(innerLon[innerLon.length - 1], innerLat[0]);

const outDir = process.argv[2] ?? join(here, '..', '..', 'res', 'demo');
writeFileSync(join(outDir, 'demo_map.bmp'), bmp8(map, COLOURS, true));
writeFileSync(join(outDir, 'demo_map.cal'), `${[...first, ...second].join(',')}\r\n`);
console.log(`wrote ${join(outDir, 'demo_map.bmp')} and demo_map.cal: ${[...first, ...second].join(',')}`);
