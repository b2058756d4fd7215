// gen_font.cpp -- the bitmap font: 28 lower-case glyphs drawn with a round
// pen along straight strokes and elliptic arcs, anti-aliased by sampling
// each pixel on a 5x5 grid, stored as amounts 0..22 in the font strip.
#include "tools/art/art.h"
#include "tools/art/art_math.h"

enum { FONT_CELL = 20, FONT_PITCH = 21, FONT_GLYPHS = 28, FONT_WIDTH = 587 };
static const int FONT_SAMPLES = 5;  // per pixel in each direction

// Pen and vertical metrics, in pixels from the cell's top left corner.
static const double PEN = 2.9;                      // stroke width
static const double HALF = PEN / 2.0;
static const double Y_ASC = 1.0 + HALF;             // ascender line (stroke centre)
static const double Y_X = 5.0 + HALF;               // x-height line
static const double Y_BASE = 16.0 - HALF;           // baseline
static const double Y_DESC = 19.6 - HALF;           // descender line
static const double Y_MID = (Y_X + Y_BASE) / 2.0;   // middle of the x-height
static const double X_L = 3.3 + HALF;               // left and right stems of a normal-width letter
static const double X_R = 16.7 - HALF;
static const double X_C = 10.0;                     // centre of the cell
static const double R_X = (X_R - X_L) / 2.0;        // bowl radii
static const double R_Y = (Y_BASE - Y_X) / 2.0;

// One stroke: a segment (arc = false) from (x0, y0) to (x1, y1), or an
// elliptic arc around (x0, y0) with radii (x1, y1) from angle a0 to a1 in
// degrees, 0 pointing right and 90 down.
struct FontStroke {
    bool arc;               // false: segment, true: elliptic arc
    double x0, y0, x1, y1;  // pixels: the segment's ends, or the arc's centre and radii
    double a0, a1;          // degrees, arcs only; a1 < a0 runs the other way round
};

static FontStroke seg(double x0, double y0, double x1, double y1) { return {false, x0, y0, x1, y1, 0, 0}; }
static FontStroke arc(double cx, double cy, double rx, double ry, double a0, double a1)
{
    return {true, cx, cy, rx, ry, a0, a1};
}
static FontStroke bowl() { return arc(X_C, Y_MID, R_X, R_Y, 0, 360); }
static FontStroke dot(double x, double y) { return seg(x, y - 0.35, x, y + 0.35); }

enum { FONT_MAX_STROKES = 6 };
struct FontGlyph {
    int count;                             // strokes used, 0..FONT_MAX_STROKES
    FontStroke strokes[FONT_MAX_STROKES];
};

static double seg_distance2(double px, double py, double x0, double y0, double x1, double y1)
{
    double dx = x1 - x0, dy = y1 - y0;
    double len2 = dx * dx + dy * dy;
    double t = len2 > 0.0 ? art_clamp(((px - x0) * dx + (py - y0) * dy) / len2, 0.0, 1.0) : 0.0;
    double ex = x0 + t * dx - px, ey = y0 + t * dy - py;
    return ex * ex + ey * ey;
}

// Squared distance from (px, py) to the stroke; arcs are followed as chains
// of short segments, fine enough that the error is far below a sample step.
static double stroke_distance2(const FontStroke& s, double px, double py)
{
    if (!s.arc) return seg_distance2(px, py, s.x0, s.y0, s.x1, s.y1);
    int steps = 2 + (int)(std::fabs(s.a1 - s.a0) / 4.0);
    double best = 1e30;
    double a = s.a0 * (ART_PI / 180.0);
    double qx = s.x0 + s.x1 * art_cos(a), qy = s.y0 + s.y1 * art_sin(a);
    for (int k = 1; k <= steps; k++) {
        a = (s.a0 + (s.a1 - s.a0) * k / steps) * (ART_PI / 180.0);
        double rx = s.x0 + s.x1 * art_cos(a), ry = s.y0 + s.y1 * art_sin(a);
        double d = seg_distance2(px, py, qx, qy, rx, ry);
        if (d < best) best = d;
        qx = rx;
        qy = ry;
    }
    return best;
}

static FontGlyph font_glyph(char c)
{
    const double T = Y_X;       // top of the x-height
    const double B = Y_BASE;
    const double M = Y_MID;
    switch (c) {
    case 'a': return {2, {bowl(), seg(X_R, T, X_R, B)}};
    case 'b': return {2, {bowl(), seg(X_L, Y_ASC, X_L, B)}};
    case 'c': return {1, {arc(X_C, M, R_X, R_Y, 40, 320)}};
    case 'd': return {2, {bowl(), seg(X_R, Y_ASC, X_R, B)}};
    case 'e': return {2, {arc(X_C, M, R_X, R_Y, 38, 360), seg(X_L, M, X_R, M)}};
    case 'f': return {3, {seg(X_C - 1.5, Y_ASC + 3.0, X_C - 1.5, B), arc(X_C + 1.9, Y_ASC + 3.0, 3.4, 3.0, 180, 300),
                          seg(X_C - 5.0, T, X_C + 3.5, T)}};
    case 'g': return {3, {bowl(), seg(X_R, T, X_R, Y_DESC - 2.2), arc(X_C, Y_DESC - 2.2, R_X, 2.2, 0, 150)}};
    case 'h': return {3, {seg(X_L, Y_ASC, X_L, B), arc(X_C, T + 3.6, R_X, 3.6, 180, 360), seg(X_R, T + 3.6, X_R, B)}};
    case 'i': return {3, {seg(X_C - 3.0, T, X_C, T), seg(X_C, T, X_C, B), dot(X_C, Y_ASC + 0.2)}};
    case 'j': return {4, {seg(X_C - 1.5, T, X_C + 1.5, T), seg(X_C + 1.5, T, X_C + 1.5, Y_DESC - 2.0),
                          arc(X_C - 1.5, Y_DESC - 2.0, 3.0, 2.0, 0, 150), dot(X_C + 1.5, Y_ASC + 0.2)}};
    case 'k': return {3, {seg(X_L, Y_ASC, X_L, B), seg(X_R - 0.3, T, X_L + 0.5, M + 1.0), seg(X_C - 0.8, M - 0.4, X_R, B)}};
    case 'l': return {3, {seg(X_C - 3.0, Y_ASC, X_C - 0.5, Y_ASC), seg(X_C - 0.5, Y_ASC, X_C - 0.5, B - 2.4),
                          arc(X_C + 2.3, B - 2.4, 2.8, 2.4, 180, 90)}};
    case 'm': return {5, {seg(2.6, T, 2.6, B), arc(6.3, T + 3.4, 3.7, 3.4, 180, 360), seg(10.0, T + 3.4, 10.0, B),
                          arc(13.7, T + 3.4, 3.7, 3.4, 180, 360), seg(17.4, T + 3.4, 17.4, B)}};
    case 'n': return {3, {seg(X_L, T, X_L, B), arc(X_C, T + 3.6, R_X, 3.6, 180, 360), seg(X_R, T + 3.6, X_R, B)}};
    case 'o': return {1, {bowl()}};
    case 'p': return {2, {bowl(), seg(X_L, T, X_L, Y_DESC)}};
    case 'q': return {2, {bowl(), seg(X_R, T, X_R, Y_DESC)}};
    case 'r': return {2, {seg(X_C - 2.5, T, X_C - 2.5, B), arc(X_C + 1.7, T + 3.6, 4.2, 3.6, 180, 300)}};
    case 's': return {4, {arc(X_C, T + 2.1, R_X - 0.4, 2.1, 340, 180), arc(X_C, B - 2.1, R_X - 0.2, 2.1, 0, 160),
                          seg(X_C - R_X + 0.4, T + 2.1, X_C + R_X - 0.2, B - 2.1), seg(X_C - 0.5, M, X_C + 0.5, M)}};
    case 't': return {3, {seg(X_C - 1.5, Y_ASC + 2.0, X_C - 1.5, B - 2.2), arc(X_C + 1.3, B - 2.2, 2.8, 2.2, 180, 90),
                          seg(X_C - 5.0, T, X_C + 3.5, T)}};
    case 'u': return {3, {seg(X_L, T, X_L, B - 3.6), arc(X_C, B - 3.6, R_X, 3.6, 180, 0), seg(X_R, T, X_R, B)}};
    case 'v': return {2, {seg(X_L - 0.6, T, X_C, B), seg(X_C, B, X_R + 0.6, T)}};
    case 'x': return {2, {seg(X_L, T, X_R, B), seg(X_R, T, X_L, B)}};
    case 'y': return {2, {seg(X_L - 0.6, T, X_C + 0.2, B), seg(X_R + 0.6, T, X_C - 3.0, Y_DESC)}};
    case 'z': return {3, {seg(X_L, T, X_R, T), seg(X_R, T, X_L, B), seg(X_L, B, X_R, B)}};
    case '.': return {1, {dot(X_C, B - 0.35)}};
    case ',': return {2, {dot(X_C, B - 0.35), seg(X_C + 0.4, B - 0.2, X_C - 1.6, Y_DESC)}};
    case '-': return {1, {seg(X_C - 3.8, M, X_C + 3.8, M)}};
    }
    return {0, {}};
}

void art_make_font_strip(uint8_t strip[20 * 587])
{
    static const char order[] = "abcdefghijklmnopqrstuvxyz.,-";
    for (int i = 0; i < FONT_CELL * FONT_WIDTH; i++) strip[i] = 0;
    for (int k = 0; k < FONT_GLYPHS; k++) {
        FontGlyph g = font_glyph(order[k]);
        for (int y = 0; y < FONT_CELL; y++) {
            for (int x = 0; x < FONT_CELL; x++) {
                int inside = 0;
                for (int sy = 0; sy < FONT_SAMPLES; sy++) {
                    for (int sx = 0; sx < FONT_SAMPLES; sx++) {
                        double px = x + (sx + 0.5) / (double)FONT_SAMPLES, py = y + (sy + 0.5) / (double)FONT_SAMPLES;
                        for (int s = 0; s < g.count; s++) {
                            if (stroke_distance2(g.strokes[s], px, py) <= HALF * HALF) {
                                inside++;
                                break;
                            }
                        }
                    }
                }
                // Nearly covered pixels are taken as solid and barely touched
                // ones as empty, which keeps the edges to one soft pixel.
                const int all = FONT_SAMPLES * FONT_SAMPLES;
                int lo = all / 5, hi = all - all / 4;
                int amount = inside <= lo ? 0 : inside >= hi ? ART_FONT_MAX_AMOUNT
                           : ((inside - lo) * ART_FONT_MAX_AMOUNT + (hi - lo) / 2) / (hi - lo);
                strip[y * FONT_WIDTH + FONT_PITCH * k + x] = (uint8_t)amount;
            }
        }
    }
}
