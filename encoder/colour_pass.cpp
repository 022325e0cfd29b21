#include "encoder/colour_pass.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <immintrin.h>

namespace mencoder {

namespace {

using Sums = ColourPass::Sums;

// zimg repeats the edge row or column where a filter reaches past it.
int Edge(int i, int n) { return std::clamp(i, 0, n - 1); }

struct Coefficients {
    double kr, kb;
};

bool Matrix(AVColorSpace m, Coefficients &c)
{
    switch (m) {
    case AVCOL_SPC_BT2020_NCL: c = {0.2627, 0.0593}; return true;
    case AVCOL_SPC_BT709: c = {0.2126, 0.0722}; return true;
    case AVCOL_SPC_SMPTE170M:
    case AVCOL_SPC_BT470BG: c = {0.299, 0.114}; return true;
    default: return false;
    }
}

// The output curve is the inverse of BT.1886's display curve, x^(1/2.4), as zscale takes BT.709
// and SMPTE 170M by default; negative values (colours outside BT.709) mirror it, as there. As
// |x| = m * 2^-k with m in [1, 2): m^(1/2.4) by a polynomial (within 3.5e-6 of it), 2^(-k/2.4)
// from a table. Below 2^-24 the result is 0; values are taken up to 2, far past white.
constexpr float kCurvePolynomial[6] = {1.1840527057647705f,  0.3289056122303009f,    -0.06387881934642792f,
                                       0.02243674173951149f, -0.010560805909335613f, 0.005186604801565409f};
constexpr std::uint32_t kTiny = 0x33800000u;     // 2^-24
constexpr std::uint32_t kBelowTwo = 0x3fffffffu; // the largest float below 2

const float *Octaves()
{
    static const auto table = [] {
        std::array<float, 32> t{};
        for (int k = 0; k < 32; ++k)
            t[std::size_t(k)] = float(std::pow(2.0, -k / 2.4));
        return t;
    }();
    return table.data();
}

float Curve(float x, const float *octaves)
{
    const std::uint32_t bits = std::min(std::bit_cast<std::uint32_t>(std::fabs(x)), kBelowTwo);
    if (bits < kTiny)
        return 0.0f;
    const float t = std::bit_cast<float>((bits & 0x7fffffu) | 0x3f800000u) - 1.5f;
    float p = kCurvePolynomial[5];
    for (int i = 4; i >= 0; --i)
        p = p * t + kCurvePolynomial[i];
    return std::copysign(p * octaves[127 - (bits >> 23)], x);
}

std::uint8_t Quantise(float v) { return std::uint8_t(std::clamp(std::lrint(v), 0L, 255L)); }

// RGB to the output's 8-bit luma and its chroma before downsampling.
std::uint8_t Output(const Sums &s, float r, float g, float b, float &cb, float &cr)
{
    const float luma = s.kr * r + s.kg * g + s.kb * b;
    cb = (b - luma) * s.cbScale;
    cr = (r - luma) * s.crScale;
    return Quantise(luma * 219.0f + 16.0f);
}

// One pixel, as the filters do it: YCbCr to RGB in the source's curve, for HDR the LUT to
// linear light (lut3d's tetrahedra) and the output curve, then the output matrix. Gives the
// 8-bit luma and sets the output chroma before downsampling.
std::uint8_t Pixel(const Sums &s, int y, float u, float v, float &cb, float &cr)
{
    const float l = (float(y) - s.yOffset) * s.yScale;
    const float rgb[3] = {l + s.rv * v, l + s.gu * u + s.gv * v, l + s.bu * u};
    if (!s.lut4)
        return Output(s, rgb[0], rgb[1], rgb[2], cb, cr);
    const int n = s.size;
    const float top = float(n - 1);
    int prev[3], next[3];
    float d[3];
    for (int c = 0; c < 3; ++c) {
        const float scaled = std::clamp(rgb[c] * top, 0.0f, top);
        prev[c] = int(scaled);
        next[c] = std::min(prev[c] + 1, n - 1);
        d[c] = scaled - float(prev[c]);
    }
    const auto node = [n](int r, int g, int b) { return (std::size_t(r) * n + std::size_t(g)) * n + std::size_t(b); };
    const std::size_t c000 = node(prev[0], prev[1], prev[2]), c111 = node(next[0], next[1], next[2]);
    // The corners on the way from c000 to c111, the largest step first.
    std::size_t c1, c2;
    float w0, w1, w2, w3;
    const float dr = d[0], dg = d[1], db = d[2];
    if (dr > dg) {
        if (dg > db) {
            c1 = node(next[0], prev[1], prev[2]), c2 = node(next[0], next[1], prev[2]);
            w0 = 1 - dr, w1 = dr - dg, w2 = dg - db, w3 = db;
        } else if (dr > db) {
            c1 = node(next[0], prev[1], prev[2]), c2 = node(next[0], prev[1], next[2]);
            w0 = 1 - dr, w1 = dr - db, w2 = db - dg, w3 = dg;
        } else {
            c1 = node(prev[0], prev[1], next[2]), c2 = node(next[0], prev[1], next[2]);
            w0 = 1 - db, w1 = db - dr, w2 = dr - dg, w3 = dg;
        }
    } else if (db > dg) {
        c1 = node(prev[0], prev[1], next[2]), c2 = node(prev[0], next[1], next[2]);
        w0 = 1 - db, w1 = db - dg, w2 = dg - dr, w3 = dr;
    } else if (db > dr) {
        c1 = node(prev[0], next[1], prev[2]), c2 = node(prev[0], next[1], next[2]);
        w0 = 1 - dg, w1 = dg - db, w2 = db - dr, w3 = dr;
    } else {
        c1 = node(prev[0], next[1], prev[2]), c2 = node(next[0], next[1], prev[2]);
        w0 = 1 - dg, w1 = dg - dr, w2 = dr - db, w3 = db;
    }
    const auto at = [&](std::size_t channel) {
        const float *p = s.lut4 + channel;
        return w0 * p[4 * c000] + w1 * p[4 * c1] + w2 * p[4 * c2] + w3 * p[4 * c111];
    };
    return Output(s, Curve(at(0), s.octaves), Curve(at(1), s.octaves), Curve(at(2), s.octaves), cb, cr);
}

// ---- the same, eight pixels at a time ----

#define FAST __attribute__((target("avx2,fma")))
// Helpers are inlined into their callers, which share their instruction set.
#define FAST_INLINE __attribute__((target("avx2,fma"), always_inline)) inline

FAST_INLINE __m256 Scaled(__m256 c, __m256 top)
{
    return _mm256_min_ps(_mm256_max_ps(_mm256_mul_ps(c, top), _mm256_setzero_ps()), top);
}

// Two nodes of the interleaved table, at the two offsets at[0] and at[1].
FAST_INLINE __m256 NodePair(const float *lut, const std::uint32_t *at)
{
    std::uint64_t both;
    std::memcpy(&both, at, sizeof(both));
    return _mm256_loadu2_m128(lut + (both >> 32), lut + std::uint32_t(both));
}

// Eight samples as floats.
FAST_INLINE __m256 LoadWords(const std::uint16_t *p)
{
    return _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p))));
}

FAST_INLINE __m256 LoadWords(const std::uint8_t *p)
{
    return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p))));
}

// Eight floats to eight rounded, clamped bytes.
FAST_INLINE void StoreBytes(__m256 v, std::uint8_t *out)
{
    const __m256i q = _mm256_cvtps_epi32(v);
    const __m128i q16 = _mm_packs_epi32(_mm256_castsi256_si128(q), _mm256_extracti128_si256(q, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(q16, q16));
}

FAST_INLINE __m256 Evens(__m256 a, __m256 b)
{
    return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))),
                                                  _MM_SHUFFLE(3, 1, 2, 0)));
}

FAST_INLINE __m256 Odds(__m256 a, __m256 b)
{
    return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))),
                                                  _MM_SHUFFLE(3, 1, 2, 0)));
}

FAST_INLINE __m256 CurveAvx2(__m256 x, const float *octaves)
{
    const __m256 sign = _mm256_set1_ps(-0.0f);
    const __m256i bits =
        _mm256_min_epu32(_mm256_castps_si256(_mm256_andnot_ps(sign, x)), _mm256_set1_epi32(int(kBelowTwo)));
    const __m256 tiny = _mm256_castsi256_ps(_mm256_cmpgt_epi32(_mm256_set1_epi32(int(kTiny)), bits));
    const __m256 t =
        _mm256_sub_ps(_mm256_castsi256_ps(_mm256_or_si256(_mm256_and_si256(bits, _mm256_set1_epi32(0x7fffff)),
                                                          _mm256_set1_epi32(0x3f800000))),
                      _mm256_set1_ps(1.5f));
    __m256 p = _mm256_set1_ps(kCurvePolynomial[5]);
    for (int i = 4; i >= 0; --i)
        p = _mm256_fmadd_ps(p, t, _mm256_set1_ps(kCurvePolynomial[i]));
    // Lanes below 2^-24 come out 0 whatever the table says; they must not read past it.
    const __m256i k =
        _mm256_min_epi32(_mm256_sub_epi32(_mm256_set1_epi32(127), _mm256_srli_epi32(bits, 23)), _mm256_set1_epi32(31));
    const __m256 octave = _mm256_i32gather_ps(octaves, k, 4);
    const __m256 v = _mm256_andnot_ps(tiny, _mm256_mul_ps(p, octave));
    return _mm256_or_ps(v, _mm256_and_ps(sign, x));
}

// Pixels [0, count) of a row, count a multiple of 8, to linear light: the first half of what
// Pixel does. In two loops, each short enough for the processor to overlap its iterations.
FAST void LinearAvx2(const Sums &s, const std::uint16_t *y, const float *u, const float *v, int count,
                     std::uint32_t *nodes, float *weights, float *linR, float *linG, float *linB)
{
    const int n = s.size;
    const __m256 top = _mm256_set1_ps(float(n - 1)), one = _mm256_set1_ps(1.0f);
    const __m256 y0 = _mm256_set1_ps(s.yOffset), yScale = _mm256_set1_ps(s.yScale);
    const __m256 rv = _mm256_set1_ps(s.rv), gu = _mm256_set1_ps(s.gu), gv = _mm256_set1_ps(s.gv),
                 bu = _mm256_set1_ps(s.bu);
    const __m256i stepR = _mm256_set1_epi32(n * n), stepG = _mm256_set1_epi32(n), stepB = _mm256_set1_epi32(1);
    const __m256i last = _mm256_set1_epi32(n - 1), all = _mm256_set1_epi32(-1);
    for (int x = 0; x < count; x += 8) {
        const __m256 l = _mm256_mul_ps(_mm256_sub_ps(LoadWords(y + x), y0), yScale);
        const __m256 U = _mm256_loadu_ps(u + x), V = _mm256_loadu_ps(v + x);
        const __m256 r = Scaled(_mm256_fmadd_ps(rv, V, l), top);
        const __m256 g = Scaled(_mm256_fmadd_ps(gv, V, _mm256_fmadd_ps(gu, U, l)), top);
        const __m256 b = Scaled(_mm256_fmadd_ps(bu, U, l), top);
        const __m256i pr = _mm256_cvttps_epi32(r), pg = _mm256_cvttps_epi32(g), pb = _mm256_cvttps_epi32(b);
        const __m256 dr = _mm256_sub_ps(r, _mm256_cvtepi32_ps(pr)), dg = _mm256_sub_ps(g, _mm256_cvtepi32_ps(pg)),
                     db = _mm256_sub_ps(b, _mm256_cvtepi32_ps(pb));
        // The step to the next node on each axis; none on the last node, as lut3d does.
        const __m256i sr = _mm256_andnot_si256(_mm256_cmpeq_epi32(pr, last), stepR);
        const __m256i sg = _mm256_andnot_si256(_mm256_cmpeq_epi32(pg, last), stepG);
        const __m256i sb = _mm256_andnot_si256(_mm256_cmpeq_epi32(pb, last), stepB);
        // The tetrahedron: steps taken in order of the largest fraction.
        const __m256 hi = _mm256_max_ps(dr, _mm256_max_ps(dg, db)), lo = _mm256_min_ps(dr, _mm256_min_ps(dg, db));
        const __m256 mid = _mm256_sub_ps(_mm256_add_ps(dr, _mm256_add_ps(dg, db)), _mm256_add_ps(hi, lo));
        const __m256i rg = _mm256_castps_si256(_mm256_cmp_ps(dr, dg, _CMP_GT_OQ));
        const __m256i gb = _mm256_castps_si256(_mm256_cmp_ps(dg, db, _CMP_GT_OQ));
        const __m256i rb = _mm256_castps_si256(_mm256_cmp_ps(dr, db, _CMP_GT_OQ));
        const __m256i rHi = _mm256_and_si256(rg, rb), gHi = _mm256_andnot_si256(rg, gb);
        const __m256i firstStep = _mm256_blendv_epi8(_mm256_blendv_epi8(sb, sg, gHi), sr, rHi);
        const __m256i rLo = _mm256_andnot_si256(_mm256_or_si256(rg, rb), all), gLo = _mm256_andnot_si256(gb, rg);
        const __m256i lastStep = _mm256_blendv_epi8(_mm256_blendv_epi8(sb, sg, gLo), sr, rLo);
        const __m256i steps = _mm256_add_epi32(sr, _mm256_add_epi32(sg, sb));
        const __m256i i0 =
            _mm256_add_epi32(_mm256_mullo_epi32(pr, stepR), _mm256_add_epi32(_mm256_mullo_epi32(pg, stepG), pb));
        const __m256i i1 = _mm256_add_epi32(i0, firstStep),
                      i2 = _mm256_add_epi32(i0, _mm256_sub_epi32(steps, lastStep)), i3 = _mm256_add_epi32(i0, steps);
        // Where each pixel's four nodes are and how much each counts, x and x + 4 side by
        // side, kept for the next loop.
        const __m256i pairs = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
        const __m256i at[4] = {i0, i1, i2, i3};
        const __m256 weight[4] = {_mm256_sub_ps(one, hi), _mm256_sub_ps(hi, mid), _mm256_sub_ps(mid, lo), lo};
        for (int k = 0; k < 4; ++k) {
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(nodes + 4 * x + 8 * k),
                                _mm256_permutevar8x32_epi32(_mm256_slli_epi32(at[k], 2), pairs));
            _mm256_storeu_ps(weights + 4 * x + 8 * k, weight[k]);
        }
    }
    // Each pixel's nodes are whole loads from the interleaved table; the four pairs of pixels
    // are then turned into a plane per channel. Two loops, so the processor can overlap the
    // long chains of work on each group of pixels.
    for (int x = 0; x < count; x += 8) {
        const std::uint32_t *at = nodes + 4 * x;
        const float *weight = weights + 4 * x;
        const __m256 w0 = _mm256_loadu_ps(weight), w1 = _mm256_loadu_ps(weight + 8), w2 = _mm256_loadu_ps(weight + 16),
                     w3 = _mm256_loadu_ps(weight + 24);
        __m256 t[4];
#pragma GCC unroll 4
        for (int p = 0; p < 4; ++p) {
            const __m256i lane = _mm256_setr_epi32(p, p, p, p, p + 4, p + 4, p + 4, p + 4);
            const __m256 near =
                _mm256_fmadd_ps(_mm256_permutevar8x32_ps(w1, lane), NodePair(s.lut4, at + 8 + 2 * p),
                                _mm256_mul_ps(_mm256_permutevar8x32_ps(w0, lane), NodePair(s.lut4, at + 2 * p)));
            const __m256 far =
                _mm256_fmadd_ps(_mm256_permutevar8x32_ps(w3, lane), NodePair(s.lut4, at + 24 + 2 * p),
                                _mm256_mul_ps(_mm256_permutevar8x32_ps(w2, lane), NodePair(s.lut4, at + 16 + 2 * p)));
            t[p] = _mm256_add_ps(near, far);
        }
        const __m256 t0 = t[0], t1 = t[1], t2 = t[2], t3 = t[3];
        const __m256 u0 = _mm256_unpacklo_ps(t0, t1), u1 = _mm256_unpackhi_ps(t0, t1);
        const __m256 u2 = _mm256_unpacklo_ps(t2, t3), u3 = _mm256_unpackhi_ps(t2, t3);
        _mm256_storeu_ps(linR + x, _mm256_shuffle_ps(u0, u2, _MM_SHUFFLE(1, 0, 1, 0)));
        _mm256_storeu_ps(linG + x, _mm256_shuffle_ps(u0, u2, _MM_SHUFFLE(3, 2, 3, 2)));
        _mm256_storeu_ps(linB + x, _mm256_shuffle_ps(u1, u3, _MM_SHUFFLE(1, 0, 1, 0)));
    }
}

// The second half: linear light to 8-bit luma and full-size chroma.
FAST void OutputAvx2(const Sums &s, const float *linR, const float *linG, const float *linB, int count,
                     std::uint8_t *outY, float *cb, float *cr)
{
    const __m256 kr = _mm256_set1_ps(s.kr), kg = _mm256_set1_ps(s.kg), kb = _mm256_set1_ps(s.kb);
    const __m256 cbScale = _mm256_set1_ps(s.cbScale), crScale = _mm256_set1_ps(s.crScale);
    for (int x = 0; x < count; x += 8) {
        const __m256 R = CurveAvx2(_mm256_loadu_ps(linR + x), s.octaves);
        const __m256 G = CurveAvx2(_mm256_loadu_ps(linG + x), s.octaves);
        const __m256 B = CurveAvx2(_mm256_loadu_ps(linB + x), s.octaves);
        const __m256 luma = _mm256_fmadd_ps(kr, R, _mm256_fmadd_ps(kg, G, _mm256_mul_ps(kb, B)));
        _mm256_storeu_ps(cb + x, _mm256_mul_ps(_mm256_sub_ps(B, luma), cbScale));
        _mm256_storeu_ps(cr + x, _mm256_mul_ps(_mm256_sub_ps(R, luma), crScale));
        StoreBytes(_mm256_fmadd_ps(luma, _mm256_set1_ps(219.0f), _mm256_set1_ps(16.0f)), outY + x);
    }
}

// A change of matrix alone, what Pixel does without a LUT, for pixels [0, count), count a
// multiple of 8.
FAST void MatrixAvx2(const Sums &s, const std::uint8_t *y, const float *u, const float *v, int count,
                     std::uint8_t *outY, float *cb, float *cr)
{
    const __m256 y0 = _mm256_set1_ps(s.yOffset), yScale = _mm256_set1_ps(s.yScale);
    const __m256 rv = _mm256_set1_ps(s.rv), gu = _mm256_set1_ps(s.gu), gv = _mm256_set1_ps(s.gv),
                 bu = _mm256_set1_ps(s.bu);
    const __m256 kr = _mm256_set1_ps(s.kr), kg = _mm256_set1_ps(s.kg), kb = _mm256_set1_ps(s.kb);
    const __m256 cbScale = _mm256_set1_ps(s.cbScale), crScale = _mm256_set1_ps(s.crScale);
    for (int x = 0; x < count; x += 8) {
        const __m256 l = _mm256_mul_ps(_mm256_sub_ps(LoadWords(y + x), y0), yScale);
        const __m256 U = _mm256_loadu_ps(u + x), V = _mm256_loadu_ps(v + x);
        const __m256 R = _mm256_fmadd_ps(rv, V, l), G = _mm256_fmadd_ps(gv, V, _mm256_fmadd_ps(gu, U, l)),
                     B = _mm256_fmadd_ps(bu, U, l);
        const __m256 luma = _mm256_fmadd_ps(kr, R, _mm256_fmadd_ps(kg, G, _mm256_mul_ps(kb, B)));
        _mm256_storeu_ps(cb + x, _mm256_mul_ps(_mm256_sub_ps(B, luma), cbScale));
        _mm256_storeu_ps(cr + x, _mm256_mul_ps(_mm256_sub_ps(R, luma), crScale));
        StoreBytes(_mm256_fmadd_ps(luma, _mm256_set1_ps(219.0f), _mm256_set1_ps(16.0f)), outY + x);
    }
}

// mix[x] = ((wa * a[x] + wb * b[x]) - offset) * scale for x in [0, count), count a multiple of 8.
template <typename Sample>
FAST void MixChromaAvx2(const Sample *a, const Sample *b, float wa, float offset, float scale, int count, float *mix)
{
    const __m256 va = _mm256_set1_ps(wa), vb = _mm256_set1_ps(1 - wa);
    const __m256 vOffset = _mm256_set1_ps(offset), vScale = _mm256_set1_ps(scale);
    for (int x = 0; x < count; x += 8) {
        const __m256 m = _mm256_fmadd_ps(va, LoadWords(a + x), _mm256_mul_ps(vb, LoadWords(b + x)));
        _mm256_storeu_ps(mix + x, _mm256_mul_ps(_mm256_sub_ps(m, vOffset), vScale));
    }
}

// up[2x] = mix[x], up[2x + 1] = (mix[x] + mix[x + 1]) / 2 for x in [0, count), count a
// multiple of 8, mix[count] readable.
FAST void UpsampleAvx2(const float *mix, int count, float *up)
{
    const __m256 half = _mm256_set1_ps(0.5f);
    for (int x = 0; x < count; x += 8) {
        const __m256 m = _mm256_loadu_ps(mix + x);
        const __m256 between = _mm256_mul_ps(half, _mm256_add_ps(m, _mm256_loadu_ps(mix + x + 1)));
        const __m256 lo = _mm256_unpacklo_ps(m, between), hi = _mm256_unpackhi_ps(m, between);
        _mm256_storeu_ps(up + 2 * x, _mm256_permute2f128_ps(lo, hi, 0x20));
        _mm256_storeu_ps(up + 2 * x + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
    }
}

// mix[x] = sum of weights[t] * rows[t][x] for x in [0, count), count a multiple of 8.
FAST void MixRowsAvx2(const float *const *rows, const float *weights, int taps, int count, float *mix)
{
    for (int x = 0; x < count; x += 8) {
        __m256 m = _mm256_mul_ps(_mm256_set1_ps(weights[0]), _mm256_loadu_ps(rows[0] + x));
        for (int t = 1; t < taps; ++t)
            m = _mm256_fmadd_ps(_mm256_set1_ps(weights[t]), _mm256_loadu_ps(rows[t] + x), m);
        _mm256_storeu_ps(mix + x, m);
    }
}

// out[x] = 8-bit (mix[2x - 1] / 4 + mix[2x] / 2 + mix[2x + 1] / 4) for x in [0, count), count a
// multiple of 8, mix[-1] and mix[2 * count] readable.
FAST void DownsampleAvx2(const float *mix, int count, std::uint8_t *out)
{
    const __m256 half = _mm256_set1_ps(0.5f), quarter = _mm256_set1_ps(0.25f);
    for (int x = 0; x < count; x += 8) {
        const float *p = mix + 2 * x;
        const __m256 a = _mm256_loadu_ps(p), b = _mm256_loadu_ps(p + 8);
        const __m256 before = Evens(_mm256_loadu_ps(p - 1), _mm256_loadu_ps(p + 7));
        const __m256 c = _mm256_fmadd_ps(half, Evens(a, b), _mm256_mul_ps(quarter, _mm256_add_ps(before, Odds(a, b))));
        StoreBytes(_mm256_fmadd_ps(c, _mm256_set1_ps(224.0f), _mm256_set1_ps(128.0f)), out + x);
    }
}

#undef FAST
#undef FAST_INLINE

} // namespace

struct ColourPass::Rows {
    explicit Rows(int width)
        : up{std::vector<float>(std::size_t(width)), std::vector<float>(std::size_t(width))}
        , mix(std::size_t(width) + 2)
    {
        for (std::vector<float> &r : out)
            r.resize(std::size_t(width));
        for (std::vector<float> &r : lin)
            r.resize(std::size_t(width));
        nodes.resize(4 * std::size_t(width));
        weights.resize(4 * std::size_t(width));
    }
    std::vector<float> up[2];         // this row's chroma, upsampled: Cb, Cr
    std::vector<float> lin[3];        // this row in linear light: R, G, B
    std::vector<std::uint32_t> nodes; // this row's table offsets, four a pixel
    std::vector<float> weights;       // and their weights
    std::vector<float> mix;           // one row's worth, with a column to spare each side
    std::vector<float> out[8];        // output chroma at full size, Cb and Cr, by row modulo 4
    int done = -1;                    // the last luma row made
    bool centred = true;              // chroma sits between rows, not on the even ones
};

bool ColourPass::Fast()
{
    static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return has;
}

bool ColourPass::Fits(const VideoColour &source, AVPixelFormat format, AVChromaLocation siting,
                      const VideoColour &output, AVPixelFormat outFormat)
{
    Coefficients in, out;
    const bool common =
        outFormat == AV_PIX_FMT_YUV420P && Matrix(source.matrix, in) && Matrix(output.matrix, out)
        && source.range == AVCOL_RANGE_MPEG && output.range == AVCOL_RANGE_MPEG
        && (siting == AVCHROMA_LOC_UNSPECIFIED || siting == AVCHROMA_LOC_LEFT || siting == AVCHROMA_LOC_TOPLEFT);
    if (!common)
        return false;
    if (NeedsToneMapping(source))
        return format == AV_PIX_FMT_YUV420P10LE && source.matrix == AVCOL_SPC_BT2020_NCL
               && (output.transfer == AVCOL_TRC_BT709 || output.transfer == AVCOL_TRC_SMPTE170M);
    // A change of matrix alone: primaries as narrow as BT.709's, which are not mapped.
    const auto narrow = [](AVColorPrimaries p) {
        return p == AVCOL_PRI_BT709 || p == AVCOL_PRI_SMPTE170M || p == AVCOL_PRI_BT470BG;
    };
    return format == AV_PIX_FMT_YUV420P && narrow(source.primaries) && in.kr != out.kr;
}

ColourPass::ColourPass(const ToneMapTable *table, const VideoColour &source, const VideoColour &output)
    : m_output(output)
    , m_fast(Fast())
    , m_wide(table != nullptr)
{
    // Limited range: 10-bit for HDR sources, 8-bit for the others.
    const float depth = m_wide ? 4.0f : 1.0f;
    m_sums.yOffset = 16.0f * depth;
    m_sums.yScale = 1.0f / (219.0f * depth);
    m_sums.cOffset = 128.0f * depth;
    m_sums.cScale = 1.0f / (224.0f * depth);
    Coefficients in{}, out{};
    Matrix(source.matrix, in);
    Matrix(output.matrix, out);
    const double kg = 1 - in.kr - in.kb;
    m_sums.rv = float(2 * (1 - in.kr));
    m_sums.bu = float(2 * (1 - in.kb));
    m_sums.gu = float(-2 * in.kb * (1 - in.kb) / kg);
    m_sums.gv = float(-2 * in.kr * (1 - in.kr) / kg);
    m_sums.kr = float(out.kr);
    m_sums.kb = float(out.kb);
    m_sums.kg = float(1 - out.kr - out.kb);
    m_sums.cbScale = float(1 / (2 * (1 - out.kb)));
    m_sums.crScale = float(1 / (2 * (1 - out.kr)));
    m_sums.octaves = Octaves();
    if (table) {
        m_sums.size = table->size;
        m_sums.lut4 = table->nodes.data();
    }
}

ColourPass::~ColourPass() = default;

template <typename Sample>
void ColourPass::UpsampleChroma(const AVFrame &in, int row, Rows &rows) const
{
    const int width = in.width, cw = (width + 1) / 2, ch = (in.height + 1) / 2;
    // This row's chroma: between two chroma rows (or on one), then between two columns.
    const int j = row / 2;
    int other = j;
    float wj = 1.0f;
    if (rows.centred) {
        other = Edge(row % 2 ? j + 1 : j - 1, ch);
        wj = 0.75f;
    } else if (row % 2) {
        other = Edge(j + 1, ch);
        wj = 0.5f;
    }
    const int fast = m_fast ? cw / 8 * 8 : 0;
    for (int plane = 1; plane <= 2; ++plane) {
        const auto line = [&](int r) {
            return reinterpret_cast<const Sample *>(in.data[plane] + std::ptrdiff_t(r) * in.linesize[plane]);
        };
        const Sample *a = line(j), *b = line(other);
        float *mix = rows.mix.data();
        if (fast)
            MixChromaAvx2(a, b, wj, m_sums.cOffset, m_sums.cScale, fast, mix);
        for (int x = fast; x < cw; ++x)
            mix[x] = ((wj * float(a[x]) + (1 - wj) * float(b[x])) - m_sums.cOffset) * m_sums.cScale;
        mix[cw] = mix[cw - 1];
        float *up = rows.up[plane - 1].data();
        const int fastUp = std::min(fast, width / 2 / 8 * 8);
        if (fastUp)
            UpsampleAvx2(mix, fastUp, up);
        for (int x = fastUp; x < cw; ++x) {
            up[2 * x] = mix[x];
            if (2 * x + 1 < width)
                up[2 * x + 1] = 0.5f * (mix[x] + mix[x + 1]);
        }
    }
}

void ColourPass::LumaRow(const AVFrame &in, int row, Rows &rows, std::uint8_t *outY) const
{
    const int width = in.width;
    const float *u = rows.up[0].data(), *v = rows.up[1].data();
    float *cb = rows.out[2 * (row % 4)].data(), *cr = rows.out[2 * (row % 4) + 1].data();
    const int fast = m_fast ? width / 8 * 8 : 0;
    const std::uint8_t *line = in.data[0] + std::ptrdiff_t(row) * in.linesize[0];
    if (m_wide) {
        UpsampleChroma<std::uint16_t>(in, row, rows);
        const auto *y = reinterpret_cast<const std::uint16_t *>(line);
        if (fast) {
            LinearAvx2(m_sums, y, u, v, fast, rows.nodes.data(), rows.weights.data(), rows.lin[0].data(),
                       rows.lin[1].data(), rows.lin[2].data());
            OutputAvx2(m_sums, rows.lin[0].data(), rows.lin[1].data(), rows.lin[2].data(), fast, outY, cb, cr);
        }
        for (int x = fast; x < width; ++x)
            outY[x] = Pixel(m_sums, y[x], u[x], v[x], cb[x], cr[x]);
    } else {
        UpsampleChroma<std::uint8_t>(in, row, rows);
        if (fast)
            MatrixAvx2(m_sums, line, u, v, fast, outY, cb, cr);
        for (int x = fast; x < width; ++x)
            outY[x] = Pixel(m_sums, line[x], u[x], v[x], cb[x], cr[x]);
    }
}

void ColourPass::ChromaRow(Rows &rows, int k, int height, std::uint8_t *outU, std::uint8_t *outV) const
{
    const int width = int(rows.up[0].size()), cw = (width + 1) / 2;
    // Rows 2k-1 .. 2k+2 for chroma between rows, 2k-1 .. 2k+1 for chroma on the even ones.
    const int taps = rows.centred ? 4 : 3;
    static constexpr float kCentred[4] = {0.125f, 0.375f, 0.375f, 0.125f}, kOnRow[3] = {0.25f, 0.5f, 0.25f};
    const float *weights = rows.centred ? kCentred : kOnRow;
    for (int plane = 0; plane < 2; ++plane) {
        const float *src[4];
        for (int t = 0; t < taps; ++t)
            src[t] = rows.out[2 * (Edge(2 * k - 1 + t, height) % 4) + plane].data();
        float *mix = rows.mix.data() + 1;
        const int fast = m_fast ? width / 8 * 8 : 0;
        if (fast)
            MixRowsAvx2(src, weights, taps, fast, mix);
        for (int x = fast; x < width; ++x) {
            float m = 0.0f;
            for (int t = 0; t < taps; ++t)
                m += weights[t] * src[t][x];
            mix[x] = m;
        }
        mix[-1] = mix[0];
        mix[width] = mix[width - 1];
        std::uint8_t *out = plane == 0 ? outU : outV;
        const int fastOut = m_fast ? width / 2 / 8 * 8 : 0;
        if (fastOut)
            DownsampleAvx2(mix, fastOut, out);
        for (int x = fastOut; x < cw; ++x)
            out[x] = Quantise(
                (0.25f * mix[2 * x - 1] + 0.5f * mix[2 * x] + 0.25f * mix[Edge(2 * x + 1, width)]) * 224.0f + 128.0f);
    }
}

Frame ColourPass::Run(const AVFrame &in)
{
    Frame out = m_pictures.Get(in, in.width, in.height, "converting colours");
    out->color_primaries = m_output.primaries;
    out->color_trc = m_output.transfer;
    out->colorspace = m_output.matrix;
    out->color_range = m_output.range;

    if (!m_rows || int(m_rows->up[0].size()) != in.width)
        m_rows = std::make_unique<Rows>(in.width);
    Rows &rows = *m_rows;
    rows.done = -1;
    rows.centred = in.chroma_location != AVCHROMA_LOC_TOPLEFT;
    const int height = in.height, ch = (height + 1) / 2;
    for (int k = 0; k < ch; ++k) {
        const int need = std::min(2 * k + (rows.centred ? 2 : 1), height - 1);
        while (rows.done < need) {
            ++rows.done;
            LumaRow(in, rows.done, rows, out->data[0] + std::ptrdiff_t(rows.done) * out->linesize[0]);
        }
        ChromaRow(rows, k, height, out->data[1] + std::ptrdiff_t(k) * out->linesize[1],
                  out->data[2] + std::ptrdiff_t(k) * out->linesize[2]);
    }
    return out;
}

} // namespace mencoder
