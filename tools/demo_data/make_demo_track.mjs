// Writes res/demo/demo_track.nmea: a receiver log of a hydrofoil crossing
// from Piraeus to Aegina, one epoch a second, as a receiver at 4800 bit/s
// would send it: $GPRMC, $GPGGA and $GPVTG every second, $GPGSA and $GPGSV
// now and then, CR LF line ends. The log holds what real logs hold too:
// a cold start without a fix, a short loss of the fix on the way, one
// sentence cut short and continued with garbage, one sentence with a
// damaged character (so its checksum fails) and one line of binary junk.
// A fixed seed makes every run write the same bytes.
//
//   node make_demo_track.mjs [output.nmea]

import { writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));

// Route [degree]; each leg's target speed [knot] applies from its first point on.
const ROUTE = [
    { lon: 23.6275, lat: 37.9408, kn: 9 },   // quay in the Great Harbour of Piraeus
    { lon: 23.6190, lat: 37.9355, kn: 20 },  // harbour mouth
    { lon: 23.6050, lat: 37.9270, kn: 35 },  // out of the harbour, on the foils
    { lon: 23.5500, lat: 37.8700, kn: 35 },
    { lon: 23.4600, lat: 37.7900, kn: 35 },  // off the north coast of Aegina
    { lon: 23.4200, lat: 37.7720, kn: 16 },
    { lon: 23.4160, lat: 37.7580, kn: 10 },
    { lon: 23.4230, lat: 37.7490, kn: 5 },   // harbour entrance
    { lon: 23.4262, lat: 37.7468, kn: 0 },   // quay in Aegina town
];
const START_UTC = Date.UTC(2024, 5, 15, 7, 14, 30);
const WAIT_BEFORE = 60, WAIT_AFTER = 25; // at the quays [s]
const NO_FIX_FIRST = 26;                 // cold start [s]
const DROPOUT = { from: 1650, to: 1656 }; // fix lost on the way [s]
const CUT_AT = 640, DAMAGED_AT = 1210, JUNK_AT = 1480; // [s]
const MAG_VAR = 5.3;            // magnetic variation east [degree]
const GEOID = 36.9;             // geoid height above the ellipsoid [m]
const ANTENNA = 4.5;            // antenna above sea level [m]
const ACCEL = 0.22, DECEL = 0.3; // [m/s^2]
const KNOT = 1852 / 3600;       // [m/s]
const EARTH = 6371000;          // [m]

// Deterministic pseudo-random numbers (mulberry32).
let seed = 20240615;
function random() {
    seed = (seed + 0x6d2b79f5) | 0;
    let t = Math.imul(seed ^ (seed >>> 15), 1 | seed);
    t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t;
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
}
const gauss = () => Math.sqrt(-2 * Math.log(1 - random())) * Math.cos(2 * Math.PI * random());

// Local metres east and north of the first route point, and back.
const LAT0 = ROUTE[0].lat * Math.PI / 180;
const toXY = (lon, lat) => [(lon - ROUTE[0].lon) * Math.PI / 180 * EARTH * Math.cos(LAT0),
                            (lat - ROUTE[0].lat) * Math.PI / 180 * EARTH];
const toLonLat = (x, y) => [ROUTE[0].lon + x / (EARTH * Math.cos(LAT0)) * 180 / Math.PI,
                            ROUTE[0].lat + y / EARTH * 180 / Math.PI];

// Rounded corners: Chaikin corner cutting keeps the end points.
const corners = ROUTE.map((p) => toXY(p.lon, p.lat));
let path = corners;
for (let round = 0; round < 4; round++) {
    const next = [path[0]];
    for (let i = 0; i + 1 < path.length; i++) {
        const [a, b] = [path[i], path[i + 1]];
        const mix = (t) => [a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t];
        if (i > 0) next.push(mix(0.25));
        if (i + 2 < path.length) next.push(mix(0.75));
    }
    next.push(path[path.length - 1]);
    path = next;
}

// The target speed of a point is that of the nearest leg of the route [m/s].
function targetSpeed([x, y]) {
    let best = Infinity, kn = 0;
    for (let i = 0; i + 1 < corners.length; i++) {
        const [a, b] = [corners[i], corners[i + 1]];
        const [dx, dy] = [b[0] - a[0], b[1] - a[1]];
        const f = Math.max(0, Math.min(1, ((x - a[0]) * dx + (y - a[1]) * dy) / (dx * dx + dy * dy)));
        const d = Math.hypot(x - a[0] - f * dx, y - a[1] - f * dy);
        if (d < best) [best, kn] = [d, ROUTE[i].kn];
    }
    return kn * KNOT;
}

// Samples every STEP metres with the leg's target speed, then the speed
// limited by acceleration forwards and by braking backwards [m/s].
const STEP = 5;
const samples = [];
for (let i = 0; i + 1 < path.length; i++) {
    const [a, b] = [path[i], path[i + 1]];
    const n = Math.max(1, Math.round(Math.hypot(b[0] - a[0], b[1] - a[1]) / STEP));
    for (let k = 0; k < n; k++) {
        const xy = [a[0] + (b[0] - a[0]) * k / n, a[1] + (b[1] - a[1]) * k / n];
        samples.push({ x: xy[0], y: xy[1], v: targetSpeed(xy) });
    }
}
samples.push({ x: path[path.length - 1][0], y: path[path.length - 1][1], v: 0 });
let s = 0;
samples.forEach((p, i) => {
    if (i) s += Math.hypot(p.x - samples[i - 1].x, p.y - samples[i - 1].y);
    p.s = s;
});
samples[0].v = 0;
for (let i = 1; i < samples.length; i++) {
    const ds = samples[i].s - samples[i - 1].s;
    samples[i].v = Math.min(samples[i].v, Math.sqrt(samples[i - 1].v ** 2 + 2 * ACCEL * ds));
}
for (let i = samples.length - 2; i >= 0; i--) {
    const ds = samples[i + 1].s - samples[i].s;
    samples[i].v = Math.min(samples[i].v, Math.sqrt(samples[i + 1].v ** 2 + 2 * DECEL * ds));
}
// Time at each sample; a creeping minimum keeps the quays reachable [s].
let t = WAIT_BEFORE;
samples.forEach((p, i) => {
    if (i) t += (p.s - samples[i - 1].s) / Math.max(0.4, (p.v + samples[i - 1].v) / 2);
    p.t = t;
});
const DURATION = Math.ceil(t) + WAIT_AFTER;

function stateAt(sec) {
    let i = samples.findIndex((p) => p.t >= sec);
    if (i <= 0) return { ...samples[i < 0 ? samples.length - 1 : 0], v: 0, course: null };
    const [a, b] = [samples[i - 1], samples[i]];
    const f = (sec - a.t) / (b.t - a.t);
    const course = (Math.atan2(b.x - a.x, b.y - a.y) * 180 / Math.PI + 360) % 360;
    return { x: a.x + (b.x - a.x) * f, y: a.y + (b.y - a.y) * f, v: a.v + (b.v - a.v) * f, course };
}

// Satellites: PRN, elevation and azimuth at the start [degree], their drift
// per hour, and signal strength [dB-Hz].
const SATELLITES = [
    [2, 62, 48, -9, 14, 46], [5, 38, 301, 11, -6, 41], [7, 24, 210, 8, 10, 37],
    [9, 71, 158, -12, 25, 48], [13, 14, 96, -8, 4, 33], [16, 49, 262, 6, -9, 44],
    [20, 8, 338, 7, 3, 28], [26, 31, 119, -10, 8, 40], [29, 55, 12, 4, -12, 45],
    [30, 3, 187, 9, -2, 24],
].map(([prn, el, az, del, daz, snr]) => ({ prn, el, az, del, daz, snr }));

function skyAt(sec, fixed) {
    const h = sec / 3600;
    return SATELLITES.map((sat) => {
        const el = Math.round(sat.el + sat.del * h);
        const az = Math.round((sat.az + sat.daz * h + 360) % 360);
        // Signals climb during the first seconds after power-on.
        const warm = Math.min(1, (sec + 8) / (NO_FIX_FIRST + 8));
        const snr = fixed || sec >= NO_FIX_FIRST ? Math.round(sat.snr + gauss() * 1.5) : Math.round(sat.snr * warm);
        return { prn: sat.prn, el, az, snr: el > 0 && snr >= 20 ? snr : null };
    }).filter((sat) => sat.el > 0);
}

const pad = (n, w) => String(n).padStart(w, '0');
const checksum = (body) => {
    let c = 0;
    for (const ch of body) c ^= ch.charCodeAt(0);
    return c.toString(16).toUpperCase().padStart(2, '0');
};
const sentence = (body) => `$${body}*${checksum(body)}`;

function latText(lat) {
    const m = Math.abs(lat) * 60;
    const deg = Math.floor(m / 60);
    return `${pad(deg, 2)}${(m - deg * 60).toFixed(4).padStart(7, '0')},${lat < 0 ? 'S' : 'N'}`;
}
function lonText(lon) {
    const m = Math.abs(lon) * 60;
    const deg = Math.floor(m / 60);
    return `${pad(deg, 3)}${(m - deg * 60).toFixed(4).padStart(7, '0')},${lon < 0 ? 'W' : 'E'}`;
}
const fixed1 = (v, w) => v.toFixed(1).padStart(w, '0');

// Position noise: a slowly wandering offset of about 2 m, as without
// differential corrections [m].
let noiseX = 0, noiseY = 0, lastCourse = 0;
const lines = [];
for (let sec = 0; sec < DURATION; sec++) {
    const when = new Date(START_UTC + sec * 1000);
    const time = `${pad(when.getUTCHours(), 2)}${pad(when.getUTCMinutes(), 2)}${pad(when.getUTCSeconds(), 2)}.00`;
    const date = `${pad(when.getUTCDate(), 2)}${pad(when.getUTCMonth() + 1, 2)}${pad(when.getUTCFullYear() % 100, 2)}`;
    const fix = sec >= NO_FIX_FIRST && !(sec >= DROPOUT.from && sec < DROPOUT.to);
    const sky = skyAt(sec, fix);
    const used = sky.filter((sat) => sat.snr !== null && sat.el >= 10).slice(0, 12);
    const epoch = [];

    noiseX = noiseX * 0.97 + gauss() * 0.45;
    noiseY = noiseY * 0.97 + gauss() * 0.45;
    const state = stateAt(sec);
    if (fix) {
        const [lon, lat] = toLonLat(state.x + noiseX, state.y + noiseY);
        // Waves make the speed over ground wander a little [knot].
        const wave = state.v > 5 ? Math.sin(sec / 7) * 0.25 + gauss() * 0.12 : 0;
        const kn = Math.max(0, state.v / KNOT + wave + Math.abs(gauss()) * 0.04);
        // At a standstill the receiver holds its last course.
        if (state.course !== null && kn > 0.6) lastCourse = (state.course + gauss() * 0.6 + 360) % 360;
        const magnetic = (lastCourse - MAG_VAR + 360) % 360;
        const hdop = (0.8 + 4 / used.length + random() * 0.1).toFixed(1);
        const alt = (ANTENNA + gauss() * 0.8).toFixed(1);
        epoch.push(sentence(`GPRMC,${time},A,${latText(lat)},${lonText(lon)},${fixed1(kn, 5)},` +
                            `${fixed1(lastCourse, 5)},${date},${fixed1(MAG_VAR, 5)},E,A`));
        epoch.push(sentence(`GPGGA,${time},${latText(lat)},${lonText(lon)},1,${pad(used.length, 2)},` +
                            `${hdop},${alt},M,${GEOID.toFixed(1)},M,,`));
        epoch.push(sentence(`GPVTG,${fixed1(lastCourse, 5)},T,${fixed1(magnetic, 5)},M,${fixed1(kn, 5)},N,` +
                            `${fixed1(kn * 1.852, 5)},K,A`));
    } else {
        epoch.push(sentence(`GPRMC,${time},V,,,,,,,${date},,,N`));
        epoch.push(sentence(`GPGGA,${time},,,,,0,${pad(used.length, 2)},,,M,,M,,`));
        epoch.push(sentence('GPVTG,,T,,M,,N,,K,N'));
    }
    // Satellite sentences in alternate epochs keep a second within 480 bytes.
    if (sec % 5 === 0) {
        const prns = fix ? used.map((sat) => pad(sat.prn, 2)) : [];
        while (prns.length < 12) prns.push('');
        const pdop = (1.4 + 6 / Math.max(used.length, 1)).toFixed(1);
        epoch.push(fix ? sentence(`GPGSA,A,3,${prns.join(',')},${pdop},${(0.8 + 4 / used.length).toFixed(1)},` +
                                  `${(1.1 + 5 / used.length).toFixed(1)}`)
                       : sentence(`GPGSA,A,1,${prns.join(',')},,,`));
    } else if (sec % 5 === 2) {
        const pages = Math.ceil(sky.length / 4);
        for (let page = 0; page < pages; page++) {
            const group = sky.slice(page * 4, page * 4 + 4)
                .map((sat) => `${pad(sat.prn, 2)},${pad(sat.el, 2)},${pad(sat.az, 3)},${sat.snr ?? ''}`);
            epoch.push(sentence(`GPGSV,${pages},${page + 1},${pad(sky.length, 2)},${group.join(',')}`));
        }
    }

    let text = epoch.map((line) => `${line}\r\n`).join('');
    if (sec === CUT_AT) {
        // The course-and-speed sentence breaks off and garbage follows.
        const vtg = epoch[2];
        const cut = vtg.slice(0, vtg.indexOf(',N,') - 2);
        text = text.replace(`${vtg}\r\n`, `${cut}\u00f1\u00b3\u001c~\u008fW\u00e9\u00d2\u0007k\u00fe\r\n`);
    } else if (sec === DAMAGED_AT) {
        // One character of the position changed on the line; the checksum is the sender's.
        const rmc = epoch[0];
        const at = rmc.indexOf(',N,') - 3;
        const damaged = rmc.slice(0, at) + String((Number(rmc[at]) + 4) % 10) + rmc.slice(at + 1);
        text = text.replace(rmc, damaged);
    } else if (sec === JUNK_AT) {
        let junk = '';
        for (let k = 0; k < 48; k++) junk += String.fromCharCode(0x80 + Math.floor(random() * 0x7f));
        text = `\u00a0\u00a2${junk}\u00b0\u00b3\r\n${text}`;
    }
    lines.push(text);
}

const out = process.argv[2] ?? join(here, '..', '..', 'res', 'demo', 'demo_track.nmea');
writeFileSync(out, Buffer.from(lines.join(''), 'latin1'));
console.log(`wrote ${out}: ${DURATION} epochs, ${(DURATION / 60).toFixed(1)} min`);
