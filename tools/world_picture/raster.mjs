// Small indexed-colour raster for the map generators: polygon fill, lines,
// a 5 x 7 pixel font and BMP output (4-bit plain, 8-bit plain or RLE8).

// Glyphs of 5 x 7 pixels, '#' set: digits, capitals and the few signs the maps label with.
const GLYPHS = {
    '0': ['.###.', '#...#', '#..##', '#.#.#', '##..#', '#...#', '.###.'],
    '1': ['..#..', '.##..', '..#..', '..#..', '..#..', '..#..', '.###.'],
    '2': ['.###.', '#...#', '....#', '...#.', '..#..', '.#...', '#####'],
    '3': ['#####', '...#.', '..#..', '...#.', '....#', '#...#', '.###.'],
    '4': ['...#.', '..##.', '.#.#.', '#..#.', '#####', '...#.', '...#.'],
    '5': ['#####', '#....', '####.', '....#', '....#', '#...#', '.###.'],
    '6': ['..##.', '.#...', '#....', '####.', '#...#', '#...#', '.###.'],
    '7': ['#####', '....#', '...#.', '..#..', '.#...', '.#...', '.#...'],
    '8': ['.###.', '#...#', '#...#', '.###.', '#...#', '#...#', '.###.'],
    '9': ['.###.', '#...#', '#...#', '.####', '....#', '...#.', '.##..'],
    ' ': ['.....', '.....', '.....', '.....', '.....', '.....', '.....'],
    'A': ['.###.', '#...#', '#...#', '#####', '#...#', '#...#', '#...#'],
    'B': ['####.', '#...#', '#...#', '####.', '#...#', '#...#', '####.'],
    'C': ['.###.', '#...#', '#....', '#....', '#....', '#...#', '.###.'],
    'D': ['####.', '#...#', '#...#', '#...#', '#...#', '#...#', '####.'],
    'E': ['#####', '#....', '#....', '####.', '#....', '#....', '#####'],
    'F': ['#####', '#....', '#....', '####.', '#....', '#....', '#....'],
    'G': ['.###.', '#...#', '#....', '#.###', '#...#', '#...#', '.####'],
    'H': ['#...#', '#...#', '#...#', '#####', '#...#', '#...#', '#...#'],
    'I': ['.###.', '..#..', '..#..', '..#..', '..#..', '..#..', '.###.'],
    'J': ['..###', '...#.', '...#.', '...#.', '...#.', '#..#.', '.##..'],
    'K': ['#...#', '#..#.', '#.#..', '##...', '#.#..', '#..#.', '#...#'],
    'L': ['#....', '#....', '#....', '#....', '#....', '#....', '#####'],
    'M': ['#...#', '##.##', '#.#.#', '#.#.#', '#...#', '#...#', '#...#'],
    'N': ['#...#', '##..#', '#.#.#', '#..##', '#...#', '#...#', '#...#'],
    'O': ['.###.', '#...#', '#...#', '#...#', '#...#', '#...#', '.###.'],
    'P': ['####.', '#...#', '#...#', '####.', '#....', '#....', '#....'],
    'Q': ['.###.', '#...#', '#...#', '#...#', '#.#.#', '#..#.', '.##.#'],
    'R': ['####.', '#...#', '#...#', '####.', '#.#..', '#..#.', '#...#'],
    'S': ['.####', '#....', '#....', '.###.', '....#', '....#', '####.'],
    'T': ['#####', '..#..', '..#..', '..#..', '..#..', '..#..', '..#..'],
    'U': ['#...#', '#...#', '#...#', '#...#', '#...#', '#...#', '.###.'],
    'V': ['#...#', '#...#', '#...#', '#...#', '#...#', '.#.#.', '..#..'],
    'W': ['#...#', '#...#', '#...#', '#.#.#', '#.#.#', '##.##', '#...#'],
    'X': ['#...#', '#...#', '.#.#.', '..#..', '.#.#.', '#...#', '#...#'],
    'Y': ['#...#', '#...#', '.#.#.', '..#..', '..#..', '..#..', '..#..'],
    'Z': ['#####', '....#', '...#.', '..#..', '.#...', '#....', '#####'],
    'k': ['#....', '#....', '#..#.', '#.#..', '##...', '#.#..', '#..#.'],
    'm': ['.....', '.....', '##.#.', '#.#.#', '#.#.#', '#.#.#', '#.#.#'],
    '\u00b0': ['.##..', '#..#.', '#..#.', '.##..', '.....', '.....', '.....'],
    "'": ['..#..', '..#..', '.#...', '.....', '.....', '.....', '.....'],
};

export const GLYPH_WIDTH = 5;
export const GLYPH_HEIGHT = 7;

export class Raster {
    constructor(width, height, fill) {
        this.width = width;
        this.height = height;
        this.pixels = new Uint8Array(width * height).fill(fill);
    }

    get(x, y) {
        return this.pixels[y * this.width + x];
    }

    set(x, y, c) {
        x = Math.floor(x);
        y = Math.floor(y);
        if (x >= 0 && y >= 0 && x < this.width && y < this.height) this.pixels[y * this.width + x] = c;
    }

    fillRect(x0, y0, x1, y1, c) {
        for (let y = y0; y <= y1; y++) for (let x = x0; x <= x1; x++) this.set(x, y, c);
    }

    // Bresenham between two pixels, both ends included.
    line(x0, y0, x1, y1, c, clip) {
        const dx = Math.abs(x1 - x0), dy = -Math.abs(y1 - y0);
        const sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
        let err = dx + dy;
        for (;;) {
            if (!clip || (x0 >= clip.x0 && x0 <= clip.x1 && y0 >= clip.y0 && y0 <= clip.y1)) this.set(x0, y0, c);
            if (x0 === x1 && y0 === y1) break;
            const e2 = 2 * err;
            if (e2 >= dy) { err += dy; x0 += sx; }
            if (e2 <= dx) { err += dx; y0 += sy; }
        }
    }

    // Polylines in continuous coordinates: pixel (x, y) covers [x, x+1) x [y, y+1).
    strokePolylines(lines, c, clip) {
        for (const pts of lines)
            for (let i = 1; i < pts.length; i++)
                this.line(Math.floor(pts[i - 1][0]), Math.floor(pts[i - 1][1]),
                          Math.floor(pts[i][0]), Math.floor(pts[i][1]), c, clip);
    }

    // Even-odd fill of closed rings, sampled at pixel centres. Each edge
    // leaves its crossings in the rows it spans, so large rings stay cheap.
    fillRings(rings, c) {
        const crossings = Array.from({ length: this.height }, () => []);
        for (const ring of rings) {
            for (let i = 0, j = ring.length - 1; i < ring.length; j = i++) {
                const [xa, ya] = ring[j], [xb, yb] = ring[i];
                if (ya === yb) continue;
                // Rows whose centre y + 0.5 lies in [min(ya, yb), max(ya, yb)).
                const first = Math.max(0, Math.ceil(Math.min(ya, yb) - 0.5));
                const last = Math.min(this.height - 1, Math.ceil(Math.max(ya, yb) - 0.5) - 1);
                for (let y = first; y <= last; y++)
                    crossings[y].push(xa + (y + 0.5 - ya) * (xb - xa) / (yb - ya));
            }
        }
        for (let y = 0; y < this.height; y++) {
            const xs = crossings[y];
            xs.sort((a, b) => a - b);
            for (let k = 0; k + 1 < xs.length; k += 2) {
                const from = Math.max(0, Math.ceil(xs[k] - 0.5));
                const to = Math.min(this.width - 1, Math.ceil(xs[k + 1] - 0.5) - 1);
                for (let x = from; x <= to; x++) this.pixels[y * this.width + x] = c;
            }
        }
    }

    static textWidth(text, scale = 1) {
        return text.length ? (text.length * (GLYPH_WIDTH + 1) - 1) * scale : 0;
    }

    // Text with its top-left corner at (x, y); a halo colour, when given,
    // clears one pixel round every set pixel so the text stays legible over lines.
    text(text, x, y, c, scale = 1, halo) {
        const plot = (colour, grow) => {
            [...text].forEach((ch, i) => {
                const glyph = GLYPHS[ch];
                if (!glyph) throw new Error(`no glyph for ${JSON.stringify(ch)}`);
                const gx = x + i * (GLYPH_WIDTH + 1) * scale;
                for (let r = 0; r < GLYPH_HEIGHT; r++)
                    for (let k = 0; k < GLYPH_WIDTH; k++)
                        if (glyph[r][k] === '#')
                            this.fillRect(gx + k * scale - grow, y + r * scale - grow,
                                          gx + (k + 1) * scale - 1 + grow, y + (r + 1) * scale - 1 + grow, colour);
            });
        };
        if (halo !== undefined) plot(halo, 1);
        plot(c, 0);
    }
}

// A d3-geo path context that records what it is given as point lists.
export function pathRecorder() {
    const paths = [];
    let current = null;
    return {
        paths,
        moveTo(x, y) { current = [[x, y]]; paths.push(current); },
        lineTo(x, y) { current.push([x, y]); },
        closePath() { if (current.length) current.push(current[0]); },
        beginPath() {},
        arc() {},
    };
}

function header(width, height, bitCount, compression, imageSize, colours) {
    const paletteBytes = colours * 4;
    const offset = 14 + 40 + paletteBytes;
    const buf = Buffer.alloc(offset);
    buf.write('BM', 0, 'latin1');
    buf.writeUInt32LE(offset + imageSize, 2);
    buf.writeUInt32LE(offset, 10);
    buf.writeUInt32LE(40, 14);
    buf.writeInt32LE(width, 18);
    buf.writeInt32LE(height, 22); // positive: rows stored bottom-up
    buf.writeUInt16LE(1, 26);
    buf.writeUInt16LE(bitCount, 28);
    buf.writeUInt32LE(compression, 30);
    buf.writeUInt32LE(imageSize, 34);
    buf.writeInt32LE(2835, 38); // 72 dpi [pixel/m]
    buf.writeInt32LE(2835, 42);
    buf.writeUInt32LE(colours, 46);
    buf.writeUInt32LE(0, 50);
    return buf;
}

function palette(buf, colours) {
    colours.forEach(([r, g, b], i) => {
        const at = 54 + i * 4;
        buf[at] = b;
        buf[at + 1] = g;
        buf[at + 2] = r;
    });
}

export function bmp4(raster, colours) {
    const stride = Math.ceil(raster.width / 8) * 4;
    const bits = Buffer.alloc(stride * raster.height);
    for (let y = 0; y < raster.height; y++) {
        const row = (raster.height - 1 - y) * stride;
        for (let x = 0; x < raster.width; x++)
            bits[row + (x >> 1)] |= (x & 1) ? raster.get(x, y) : raster.get(x, y) << 4;
    }
    const head = header(raster.width, raster.height, 4, 0, bits.length, colours.length);
    palette(head, colours);
    return Buffer.concat([head, bits]);
}

// Encoded runs of one row: repeats as (count, index), literal stretches of
// at least three pixels in absolute mode (0, count, pixels, padded to even).
function rle8Row(row) {
    const out = [];
    let i = 0;
    while (i < row.length) {
        let run = 1;
        while (i + run < row.length && run < 255 && row[i + run] === row[i]) run++;
        if (run >= 3 || i + run >= row.length) {
            out.push(run, row[i]);
            i += run;
            continue;
        }
        let j = i;
        while (j < row.length && j - i < 255) {
            if (j + 2 < row.length && row[j] === row[j + 1] && row[j] === row[j + 2]) break;
            j++;
        }
        const n = j - i;
        if (n < 3) {
            for (let k = 0; k < n; k++) out.push(1, row[i + k]);
        } else {
            out.push(0, n, ...row.subarray(i, j));
            if (n & 1) out.push(0);
        }
        i = j;
    }
    return out;
}

export function bmp8(raster, colours, rle) {
    let bits;
    if (rle) {
        const parts = [];
        for (let y = raster.height - 1; y >= 0; y--) {
            const row = raster.pixels.subarray(y * raster.width, (y + 1) * raster.width);
            parts.push(...rle8Row(row), 0, 0); // end of line
        }
        parts.push(0, 1); // end of bitmap
        bits = Buffer.from(parts);
    } else {
        const stride = Math.ceil(raster.width / 4) * 4;
        bits = Buffer.alloc(stride * raster.height);
        for (let y = 0; y < raster.height; y++)
            bits.set(raster.pixels.subarray(y * raster.width, (y + 1) * raster.width),
                     (raster.height - 1 - y) * stride);
    }
    const head = header(raster.width, raster.height, 8, rle ? 1 : 0, bits.length, colours.length);
    palette(head, colours);
    return Buffer.concat([head, bits]);
}
