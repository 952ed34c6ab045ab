// Draws the built-in world picture, res/world_map.bmp: 540 x 341 pixels,
// 4 bits per pixel, equirectangular, from the Natural Earth land and
// country data of the world-atlas package.
//
//   npm ci && node make_world_picture.mjs [output.bmp]

import { readFileSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { geoEquirectangular, geoPath } from 'd3-geo';
import { feature, mesh } from 'topojson-client';
import { Raster, pathRecorder, bmp4 } from './raster.mjs';

const here = dirname(fileURLToPath(import.meta.url));
const require = createRequire(import.meta.url);
const load = (name) => JSON.parse(readFileSync(require.resolve(`world-atlas/${name}`), 'utf8'));

const WIDTH = 540, HEIGHT = 341;
const BLACK = 0, YELLOW = 11, WHITE = 15;
const COLOURS = [
    [0, 0, 0], [128, 0, 0], [0, 128, 0], [128, 128, 0], [0, 0, 128], [128, 0, 128], [0, 128, 128],
    [192, 192, 192], [128, 128, 128], [255, 0, 0], [0, 255, 0], [255, 255, 0], [0, 0, 255],
    [255, 0, 255], [0, 255, 255], [255, 255, 255],
];

// Map area: 180 W .. 180 E on x = 21 .. 519, 90 N .. 90 S on y = 46 .. 295,
// 498/360 pixels per degree both ways.
const LEFT = 21, RIGHT = 519, TOP = 46, BOTTOM = 295;
const MERIDIANS = [21, 63, 104, 146, 187, 229, 270, 311, 353, 394, 436, 477, 519];
const PARALLELS = [46, 88, 129, 170, 212, 253, 295];
const LON_LABELS = ['180 W', '120', '60', '0', '60', '120', '180 E']; // every 60 degrees
const LAT_LABELS = ['60', '30', '0', '30', '60']; // the inner parallels

const projection = geoEquirectangular()
    .scale((RIGHT - LEFT) / (2 * Math.PI))
    .translate([(LEFT + RIGHT) / 2, (TOP + BOTTOM) / 2]);

function project(object) {
    const recorder = pathRecorder();
    geoPath(projection, recorder)(object);
    return recorder.paths;
}

const landTopo = load('land-110m.json');
const countriesTopo = load('countries-110m.json');

const picture = new Raster(WIDTH, HEIGHT, WHITE);
picture.fillRings(project(feature(landTopo, landTopo.objects.land)), YELLOW);

const mapArea = { x0: LEFT, y0: TOP, x1: RIGHT, y1: BOTTOM };
picture.strokePolylines(project(mesh(landTopo, landTopo.objects.land)), BLACK, mapArea);
picture.strokePolylines(
    project(mesh(countriesTopo, countriesTopo.objects.countries, (a, b) => a !== b)), BLACK, mapArea);

for (const x of MERIDIANS) picture.line(x, TOP, x, BOTTOM, BLACK);
for (const y of PARALLELS) picture.line(LEFT, y, RIGHT, y, BLACK);

LON_LABELS.forEach((label, i) => {
    const x = MERIDIANS[2 * i];
    picture.text(label, x - Math.floor(Raster.textWidth(label) / 2), TOP - 11, BLACK);
});
LAT_LABELS.forEach((label, i) => {
    picture.text(label, RIGHT + 5, PARALLELS[i + 1] - 3, BLACK);
});

picture.line(0, 0, WIDTH - 1, 0, BLACK);
picture.line(0, HEIGHT - 1, WIDTH - 1, HEIGHT - 1, BLACK);
picture.line(0, 0, 0, HEIGHT - 1, BLACK);
picture.line(WIDTH - 1, 0, WIDTH - 1, HEIGHT - 1, BLACK);

const out = process.argv[2] ?? join(here, '..', '..', 'res', 'world_map.bmp');
writeFileSync(out, bmp4(picture, COLOURS));
console.log(`wrote ${out}`);
