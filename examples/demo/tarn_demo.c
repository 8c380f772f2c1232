/* tarn-demo: a small software renderer built on TarnLib2DLL.
 *
 * Each frame turns a torus by a concatenated rotation, carries its vertices
 * with Mx3DVecTransform, lights its faces with Mx3DVecNormalize and
 * Mx3DVecDotProd, rasterises it into a 32-bit and a 5-6-5 framebuffer that
 * the fill operations clear, and composites soft-edged sprites with
 * MxAlphaBlt32, some of them partly off-screen on every side.
 *
 *   tarn-demo [--flags WORD] [--frames N] [--size WxH] [--out DIR] [--no-png]
 *   tarn-demo --all-tiers [...]   render in all fourteen tiers and compare
 *
 * Uses only the public header. */
#include <errno.h>
#include <math.h>
#include <png.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#if defined(_WIN32)
#include <direct.h>
#define make_dir(path) _mkdir(path)
#else
#define make_dir(path) mkdir(path, 0777)
#endif

#include "TarnLib2DLL.h"

enum { kRings = 32, kSides = 16, kVertices = kRings * kSides, kSprite = 32, kParticles = 12 };

typedef struct Options {
  MxCpuFlags flags;
  int forced, all_tiers, frames, width, height, write_png;
  const char* out_dir;
} Options;

typedef struct Scene {
  int width, height;
  uint32_t* color32;  /* 32-bit framebuffer */
  uint16_t* color565; /* 5-6-5 framebuffer */
  float* depth;
  Mx3DVec model[kVertices];
  uint32_t particle[kSprite * kSprite];
  uint32_t logo[kSprite * 2 * kSprite];
} Scene;

/* One hash of the mesh's depth buffer (only operations that give the same
 * bits in every tier reach it) and one of each finished framebuffer. */
typedef struct FrameHashes {
  uint64_t mesh, final32, final565;
} FrameHashes;

/* ---- Assets ----------------------------------------------------------- */

static void build_torus(Scene* s) {
  int i, j;
  for (i = 0; i < kRings; ++i) {
    for (j = 0; j < kSides; ++j) {
      const float u = 360.0f * (float)i / kRings, v = 360.0f * (float)j / kSides;
      const float ring = 1.0f + 0.4f * MxTCosOfDeg(v);
      Mx3DVec* p = &s->model[i * kSides + j];
      p->x = ring * MxTCosOfDeg(u);
      p->y = ring * MxTSinOfDeg(u);
      p->z = 0.4f * MxTSinOfDeg(v);
      p->pad = 0.0f;
    }
  }
}

static uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return a << 24 | r << 16 | g << 8 | b;
}

/* A glowing dot whose alpha falls off smoothly to 0 at the rim. */
static void build_particle(uint32_t* px) {
  int x, y;
  for (y = 0; y < kSprite; ++y) {
    for (x = 0; x < kSprite; ++x) {
      const float dx = (float)x - 15.5f, dy = (float)y - 15.5f;
      float t = 1.0f - sqrtf(dx * dx + dy * dy) / 15.5f;
      if (t < 0.0f) t = 0.0f;
      px[y * kSprite + x] = argb((uint32_t)(255.0f * t * t), 255, 200, (uint32_t)(120 + 135 * t));
    }
  }
}

/* A ring badge: opaque inside, antialiased over one pixel at both edges. */
static void build_logo(uint32_t* px) {
  const int w = 2 * kSprite, h = kSprite;
  int x, y;
  for (y = 0; y < h; ++y) {
    for (x = 0; x < w; ++x) {
      const float dx = ((float)x - 31.5f) * 0.5f, dy = (float)y - 15.5f;
      const float r = sqrtf(dx * dx + dy * dy);
      float cover = 1.0f;
      if (r > 15.0f) cover = 16.0f - r;
      if (r < 9.0f) cover = r - 8.0f;
      if (cover < 0.0f) cover = 0.0f;
      if (cover > 1.0f) cover = 1.0f;
      px[y * w + x] = argb((uint32_t)(255.0f * cover + 0.5f), 40, 90 + 4 * (uint32_t)y, 230);
    }
  }
}

/* ---- Rendering ------------------------------------------------------------ */

static uint16_t to565(uint32_t c) {
  return (uint16_t)(((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x001F));
}

static void clear(Scene* s) {
  const uint32_t n = (uint32_t)(s->width * s->height);
  const uint32_t sky = argb(0, 16, 20, 40);
  const uint32_t far_bits = 0x7F7FFFFF; /* the largest float: nothing is behind it */
  MxSetDwordAlignedMem(s->color32, n, sky);
  MxSetDwordAlignedMem(s->color565, n / 2, (uint32_t)to565(sky) * 0x10001u);
  MxSetDwordAlignedMem(s->depth, n, far_bits);
}

/* The rasteriser works on vertices snapped to 1/256 pixel, so its edge
 * functions are exact integers: two triangles that share an edge then see
 * exactly opposite values along it, and with the tie rule below every pixel
 * centre on a shared edge belongs to exactly one of them. Floating-point edge
 * functions round differently for the two windings and leave pinholes that
 * show the far side of the torus through a face. */
enum { kSubBits = 8 };
#define kSubLimit 16384.0f /* pixels: keeps edge products far inside 64 bits */

typedef struct SnappedVertex {
  int64_t x, y;
} SnappedVertex;

static int64_t edge(SnappedVertex a, SnappedVertex b, int64_t px, int64_t py) {
  return (b.x - a.x) * (py - a.y) - (b.y - a.y) * (px - a.x);
}

/* A pixel centre exactly on an edge is drawn by the triangle whose edge runs
 * downwards, or leftwards when level; the neighbour runs it the other way. */
static int64_t edge_bias(SnappedVertex a, SnappedVertex b) {
  return (b.y > a.y || (b.y == a.y && b.x < a.x)) ? 0 : 1;
}

/* Flat-shaded triangle with a depth test; p holds screen x, y and depth, and
 * only triangles of positive area in screen coordinates (x right, y down) are
 * drawn: the others face away or are degenerate. */
static void fill_triangle(Scene* s, const float p[3][3], uint32_t color) {
  SnappedVertex v[3];
  int64_t area, bias[3], y0, y1, x0, x1, x, y;
  int k;
  for (k = 0; k < 3; ++k) {
    if (!(fabsf(p[k][0]) < kSubLimit && fabsf(p[k][1]) < kSubLimit)) return;
    v[k].x = (int64_t)lrintf(p[k][0] * (float)(1 << kSubBits));
    v[k].y = (int64_t)lrintf(p[k][1] * (float)(1 << kSubBits));
  }
  area = edge(v[0], v[1], v[2].x, v[2].y);
  if (area <= 0) return;
  bias[0] = edge_bias(v[1], v[2]);
  bias[1] = edge_bias(v[2], v[0]);
  bias[2] = edge_bias(v[0], v[1]);
  /* Pixels whose centre (x + 1/2, y + 1/2) may lie inside, clipped to the screen. */
  x0 = v[0].x < v[1].x ? v[0].x : v[1].x;
  x0 = (v[2].x < x0 ? v[2].x : x0) >> kSubBits;
  x1 = v[0].x > v[1].x ? v[0].x : v[1].x;
  x1 = (v[2].x > x1 ? v[2].x : x1) >> kSubBits;
  y0 = v[0].y < v[1].y ? v[0].y : v[1].y;
  y0 = (v[2].y < y0 ? v[2].y : y0) >> kSubBits;
  y1 = v[0].y > v[1].y ? v[0].y : v[1].y;
  y1 = (v[2].y > y1 ? v[2].y : y1) >> kSubBits;
  if (x0 < 0) x0 = 0;
  if (y0 < 0) y0 = 0;
  if (x1 > s->width - 1) x1 = s->width - 1;
  if (y1 > s->height - 1) y1 = s->height - 1;
  for (y = y0; y <= y1; ++y) {
    const int64_t cy = y * (1 << kSubBits) + (1 << (kSubBits - 1));
    for (x = x0; x <= x1; ++x) {
      const int64_t cx = x * (1 << kSubBits) + (1 << (kSubBits - 1));
      const int64_t w0 = edge(v[1], v[2], cx, cy), w1 = edge(v[2], v[0], cx, cy);
      const int64_t w2 = edge(v[0], v[1], cx, cy);
      const size_t at = (size_t)y * (size_t)s->width + (size_t)x;
      float z;
      if (w0 < bias[0] || w1 < bias[1] || w2 < bias[2]) continue;
      /* The weights are exact (below 2^53); blending them in double keeps the
       * depth as precise as a float holds it. */
      z = (float)(((double)w0 * p[0][2] + (double)w1 * p[1][2] + (double)w2 * p[2][2]) /
                  (double)area);
      if (z >= s->depth[at]) continue;
      s->depth[at] = z;
      s->color32[at] = color;
      s->color565[at] = to565(color);
    }
  }
}

static void draw_torus(Scene* s, int frame) {
  static const Mx3DVec kToLight = {-0.3f, 0.6f, -0.7416f, 0.0f}; /* unit length */
  MxMat4x4 spin, place, world;
  Mx3DVec view[kVertices];
  float screen[kVertices][3];
  const float focal = 0.9f * (float)s->height;
  int i, j;

  /* Radians per frame; the rotation spins about all three axes. */
  MxConcatRotMatXYZ(&spin, 0.9f + 0.11f * (float)frame, 0.3f + 0.07f * (float)frame,
                    0.05f * (float)frame);
  MxTranslateMat(&place, 0.0f, 0.0f, 4.0f);
  MxMatMult4x4_4x4(&world, &place, &spin); /* spin first, then place */

  for (i = 0; i < kVertices; ++i) {
    Mx3DVecTransform(&view[i], &s->model[i], &world);
    screen[i][0] = 0.5f * (float)s->width + focal * view[i].x / view[i].z;
    screen[i][1] = 0.5f * (float)s->height - focal * view[i].y / view[i].z;
    screen[i][2] = view[i].z;
  }

  for (i = 0; i < kRings; ++i) {
    for (j = 0; j < kSides; ++j) {
      const int a = i * kSides + j, b = ((i + 1) % kRings) * kSides + j;
      const int c = ((i + 1) % kRings) * kSides + (j + 1) % kSides,
                d = i * kSides + (j + 1) % kSides;
      const int tri[2][3] = {{a, d, b}, {b, d, c}};
      int t;
      for (t = 0; t < 2; ++t) {
        Mx3DVec e1, e2, normal, unit;
        float p[3][3], light;
        uint32_t shade;
        int k;
        Mx3DVecSub(&e1, &view[tri[t][1]], &view[tri[t][0]]);
        Mx3DVecSub(&e2, &view[tri[t][2]], &view[tri[t][0]]);
        Mx3DVecCrossProd(&normal, &e1, &e2);
        unit = normal;
        Mx3DVecNormalize(&unit, &normal);
        /* Light the side that faces the camera at the origin, the one drawn. The
         * test is against the ray to the face, not the view axis: under
         * perspective a face near the silhouette can face the camera with its
         * normal pointing away along z, and judged by z alone it was lit from
         * behind, a bright sliver of dots on a dark flank. */
        if (Mx3DVecDotProd(&unit, &view[tri[t][0]]) > 0.0f) Mx3DVecScale(&unit, &unit, -1.0f);
        light = Mx3DVecDotProd(&unit, &kToLight);
        if (light < 0.0f) light = 0.0f;
        shade = (uint32_t)(40.0f + 200.0f * light);
        /* Reversed: the mesh's faces run clockwise when seen from outside. */
        for (k = 0; k < 3; ++k) memcpy(p[k], screen[tri[t][(3 - k) % 3]], sizeof p[k]);
        fill_triangle(s, (const float(*)[3])p, argb(255, shade, shade / 2 + 40, 255 - shade / 2));
      }
    }
  }
}

/* Sprites orbit the centre on paths that cross every edge of the screen. */
static void draw_sprites(Scene* s, int frame) {
  const int pitch32 = s->width * 4, pitch16 = s->width * 2;
  int i;
  for (i = 0; i < kParticles + 1; ++i) {
    const int is_logo = i == kParticles;
    const uint32_t* src = is_logo ? s->logo : s->particle;
    const int w = is_logo ? 2 * kSprite : kSprite, h = kSprite;
    const float angle = (float)(frame * 7 + i * 360 / kParticles);
    const float reach = is_logo ? 1.0f : 0.8f + 0.2f * (float)(i % 3); /* across the edges */
    const int x = (int)(0.5f * (float)s->width * (1.0f + reach * MxTCosOfDeg(angle))) - w / 2;
    const int y = (int)(0.5f * (float)s->height * (1.0f + reach * MxTSinOfDeg(angle))) - h / 2;
    MxAlphaBlt32(src, 0, 0, w, h, w * 4, s->color32, x, y, s->width, s->height, pitch32, 32, 0);
    MxAlphaBlt32(src, 0, 0, w, h, w * 4, s->color565, x, y, s->width, s->height, pitch16, 16,
                 0xF800);
  }
}

/* ---- Output ------------------------------------------------------------------ */

static uint64_t fnv1a(const void* data, size_t n, uint64_t h) {
  const unsigned char* p = (const unsigned char*)data;
  size_t i;
  for (i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
  return h;
}

static int write_png(const char* path, const Scene* s, int use565) {
  FILE* f = fopen(path, "wb");
  png_structp png;
  png_infop info;
  png_bytep row;
  int x, y;
  if (f == NULL) return 0;
  png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
  info = png_create_info_struct(png);
  row = (png_bytep)malloc((size_t)s->width * 3);
  if (png == NULL || info == NULL || row == NULL || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    free(row);
    fclose(f);
    return 0;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, (png_uint_32)s->width, (png_uint_32)s->height, 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (y = 0; y < s->height; ++y) {
    for (x = 0; x < s->width; ++x) {
      uint32_t c;
      if (use565) {
        const uint32_t p = s->color565[y * s->width + x];
        c = ((p >> 11) << 19) | (((p >> 5) & 63) << 10) | ((p & 31) << 3);
      } else {
        c = s->color32[y * s->width + x];
      }
      row[3 * x] = (png_byte)(c >> 16);
      row[3 * x + 1] = (png_byte)(c >> 8);
      row[3 * x + 2] = (png_byte)c;
    }
    png_write_row(png, row);
  }
  png_write_end(png, NULL);
  png_destroy_write_struct(&png, &info);
  free(row);
  return fclose(f) == 0;
}

/* Renders all frames in the tier the word selects; returns frames/second,
 * counting rendering only (not hashing or PNG output), or a negative number
 * when the word selects no tier (the slots are then left as they were, and
 * before the first successful binding they are null). */
static double render(Scene* s, const Options* o, MxCpuFlags flags, const char* tag,
                     FrameHashes* hashes) {
  double seconds = 0.0;
  int frame;
  if (!MxInitLibForCPU(flags)) return -1.0;
  MxInitTables();
  build_torus(s);
  for (frame = 0; frame < o->frames; ++frame) {
    const size_t n = (size_t)s->width * (size_t)s->height;
    struct timespec t0, t1;
    clock_gettime(CLOCK_MONOTONIC, &t0);
    clear(s);
    draw_torus(s, frame);
    hashes[frame].mesh = fnv1a(s->depth, n * sizeof *s->depth, 14695981039346656037ull);
    draw_sprites(s, frame);
    hashes[frame].final32 = fnv1a(s->color32, n * 4, 14695981039346656037ull);
    hashes[frame].final565 = fnv1a(s->color565, n * 2, 14695981039346656037ull);
    clock_gettime(CLOCK_MONOTONIC, &t1);
    seconds += (double)(t1.tv_sec - t0.tv_sec) + 1e-9 * (double)(t1.tv_nsec - t0.tv_nsec);
    if (o->write_png && tag != NULL) {
      char path[512];
      snprintf(path, sizeof path, "%s/frame%03d-%s-32.png", o->out_dir, frame, tag);
      if (!write_png(path, s, 0)) fprintf(stderr, "tarn-demo: cannot write %s\n", path);
      snprintf(path, sizeof path, "%s/frame%03d-%s-565.png", o->out_dir, frame, tag);
      if (!write_png(path, s, 1)) fprintf(stderr, "tarn-demo: cannot write %s\n", path);
    }
  }
  return o->frames / seconds;
}

/* ---- Tiers ---------------------------------------------------------------------- */

typedef struct TierWord {
  const char* name;
  MxCpuFlags flags;
} TierWord;

#define F MxCpuFPU
static const TierWord kTiers[] = {
    {"x87", F},
    {"x87+CMOV", F | MxCpuCMOV},
    {"MMX", F | MxCpuMMX},
    {"CMOV+MMX", F | MxCpuCMOV | MxCpuMMX},
    {"CMOV+MMX+MMXext", F | MxCpuCMOV | MxCpuMMX | MxCpuMMXExt},
    {"SSE", F | MxCpuCMOV | MxCpuMMX | MxCpuMMXExt | MxCpuSSE},
    {"3DNow!", F | MxCpuMMX | MxCpu3DNow},
    {"CMOV+3DNow!", F | MxCpuCMOV | MxCpuMMX | MxCpu3DNow},
    {"3DNow!+ext3DNow!", F | MxCpuMMX | MxCpu3DNow | MxCpuExt3DNow},
    {"CMOV+3DNow!+ext3DNow!", F | MxCpuCMOV | MxCpuMMX | MxCpu3DNow | MxCpuExt3DNow},
    {"3DNow!+MMXext", F | MxCpuMMX | MxCpu3DNow | MxCpuMMXExt},
    {"CMOV+3DNow!+MMXext", F | MxCpuCMOV | MxCpuMMX | MxCpu3DNow | MxCpuMMXExt},
    {"3DNow!+MMXext+ext3DNow!", F | MxCpuMMX | MxCpu3DNow | MxCpuMMXExt | MxCpuExt3DNow},
    {"CMOV+3DNow!+MMXext+ext3DNow!",
     F | MxCpuCMOV | MxCpuMMX | MxCpu3DNow | MxCpuMMXExt | MxCpuExt3DNow},
};
#undef F
enum { kTierCount = sizeof kTiers / sizeof *kTiers };

/* The entry of kTiers a word selects, by the library's own rules (a host
 * cannot ask it which tier it bound), or -1 for a word without MxCpuFPU. */
static int tier_of(MxCpuFlags w) {
  const int cmov = (w & MxCpuCMOV) != 0, mmxext = (w & MxCpuMMXExt) != 0;
  if ((w & MxCpuFPU) == 0) return -1;
  if ((w & MxCpuMMX) == 0) return cmov; /* x87, x87+CMOV */
  if ((w & MxCpu3DNow) == 0) {
    if (!cmov) return 2;           /* MMX */
    if (!mmxext) return 3;         /* CMOV+MMX */
    return (w & MxCpuSSE) ? 5 : 4; /* SSE, CMOV+MMX+MMXext */
  }
  /* The 3DNow! tiers, in kTiers order: CMOV, ext3DNow! and MMXext as bits. */
  return 6 + cmov + ((w & MxCpuExt3DNow) ? 2 : 0) + (mmxext ? 4 : 0);
}

/* A file-name tag for a word's tier, e.g. "CMOV_3DNow_" or "x87_CyrixEMMX"
 * (the Cyrix bit changes only the blit, so it is named beside the tier). */
static void tier_tag(char* tag, size_t size, MxCpuFlags w) {
  size_t k;
  snprintf(tag, size, "%s%s", kTiers[tier_of(w)].name, (w & MxCpuCyrixEMMX) ? "+CyrixEMMX" : "");
  for (k = 0; tag[k]; ++k) tag[k] = (tag[k] == '+' || tag[k] == '!') ? '_' : tag[k];
}

/* Renders in every tier. The mesh's depth comes only from operations that
 * give the same bits in every tier (rotation, products, transformation), so
 * its hashes must agree everywhere; the finished frames also depend on the
 * blit's per-variant formula and on estimate-based normalisation, so they are
 * grouped by hash. Returns 0 when the promise held. */
static int compare_tiers(Scene* s, const Options* o) {
  FrameHashes* hashes =
      (FrameHashes*)calloc((size_t)kTierCount * (size_t)o->frames, sizeof *hashes);
  int t, u, frame, broken = 0;
  if (hashes == NULL) return 1;
  for (t = 0; t < kTierCount; ++t) {
    char tag[64];
    double fps;
    tier_tag(tag, sizeof tag, kTiers[t].flags);
    fps = render(s, o, kTiers[t].flags, tag, hashes + t * o->frames);
    if (fps < 0.0) { /* every word of the table holds MxCpuFPU */
      free(hashes);
      return 1;
    }
    printf("%-30s %8.1f frames/s\n", kTiers[t].name, fps);
  }
  for (frame = 0; frame < o->frames; ++frame) {
    for (t = 1; t < kTierCount; ++t) {
      if (hashes[t * o->frames + frame].mesh != hashes[frame].mesh) {
        printf("frame %d: mesh differs between %s and %s\n", frame, kTiers[0].name, kTiers[t].name);
        broken = 1;
      }
    }
  }
  printf("\nmesh depth (exact operations): %s in all %d tiers over %d frames\n",
         broken ? "DIFFERS" : "identical", kTierCount, o->frames);
  printf("finished frames, tiers grouped by identical images:\n");
  for (t = 0; t < kTierCount; ++t) {
    int first = 1;
    for (u = 0; u < t; ++u) {
      int same = 1;
      for (frame = 0; frame < o->frames; ++frame) {
        const FrameHashes* a = &hashes[t * o->frames + frame];
        const FrameHashes* b = &hashes[u * o->frames + frame];
        same &= a->final32 == b->final32 && a->final565 == b->final565;
      }
      if (same) first = 0;
    }
    if (!first) continue;
    printf("  {%s", kTiers[t].name);
    for (u = t + 1; u < kTierCount; ++u) {
      int same = 1;
      for (frame = 0; frame < o->frames; ++frame) {
        const FrameHashes* a = &hashes[t * o->frames + frame];
        const FrameHashes* b = &hashes[u * o->frames + frame];
        same &= a->final32 == b->final32 && a->final565 == b->final565;
      }
      if (same) printf(", %s", kTiers[u].name);
    }
    printf("}\n");
  }
  free(hashes);
  return broken;
}

/* ---- Command line ---------------------------------------------------------------- */

/* A whole unsigned number, decimal, 0x hexadecimal or 0 octal, no larger than
 * max: nothing before or after it, so "x87" or "0x2junk" is refused rather
 * than read as 0 or 2. */
static int parse_number(const char* text, unsigned long max, unsigned long* value) {
  char* end = NULL;
  if (*text < '0' || *text > '9') return 0; /* no sign, no blanks */
  errno = 0;
  *value = strtoul(text, &end, 0);
  return errno == 0 && end != text && *end == '\0' && *value <= max;
}

static int parse(int argc, char** argv, Options* o) {
  int i;
  o->forced = 0;
  o->all_tiers = 0;
  o->frames = 8;
  o->width = 640;
  o->height = 480;
  o->write_png = 1;
  o->out_dir = "tarn-demo-frames";
  for (i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : NULL;
    unsigned long number;
    int used = 0;
    if (strcmp(a, "--all-tiers") == 0) {
      o->all_tiers = 1;
    } else if (strcmp(a, "--no-png") == 0) {
      o->write_png = 0;
    } else if (strcmp(a, "--flags") == 0 && v && parse_number(v, 0xFFFFFFFFul, &number)) {
      o->flags = (MxCpuFlags)number;
      o->forced = 1;
      ++i;
    } else if (strcmp(a, "--frames") == 0 && v && parse_number(v, 1000, &number)) {
      o->frames = (int)number;
      ++i;
    } else if (strcmp(a, "--size") == 0 && v &&
               sscanf(v, "%4dx%4d%n", &o->width, &o->height, &used) == 2 && v[used] == '\0') {
      ++i;
    } else if (strcmp(a, "--out") == 0 && v) {
      o->out_dir = v;
      ++i;
    } else {
      return 0;
    }
  }
  /* Even pixel counts let the 5-6-5 clear fill whole dwords. */
  return !(o->forced && o->all_tiers) && o->frames > 0 && o->width >= 16 && o->height >= 16 &&
         o->width <= 4096 && o->height <= 4096 && (o->width * o->height) % 2 == 0;
}

/* Creates a directory and any missing parents, as mkdir -p does but without
 * a shell, so any name is safe; 1 when the directory exists afterwards. */
static int make_dirs(const char* path) {
  char buf[512];
  size_t k, n = strlen(path);
  struct stat st;
  if (n == 0 || n >= sizeof buf) return 0;
  memcpy(buf, path, n + 1);
  for (k = 1; k <= n; ++k) {
    if (buf[k] == '/' || buf[k] == '\\' || buf[k] == '\0') {
      const char c = buf[k];
      buf[k] = '\0';
      (void)make_dir(buf); /* a part that exists fails; only the end result counts */
      buf[k] = c;
    }
  }
  return stat(path, &st) == 0 && (st.st_mode & S_IFMT) == S_IFDIR;
}

int main(int argc, char** argv) {
  Options o;
  Scene s;
  FrameHashes* hashes;
  size_t n;
  int status = 0;
  if (!parse(argc, argv, &o)) {
    fprintf(stderr,
            "usage: tarn-demo [--flags WORD | --all-tiers] [--frames N] [--size WxH] [--out DIR] "
            "[--no-png]\n"
            "  WORD is a capability word as a number, e.g. 0x2 (x87) or 0x24F (SSE)\n");
    return 2;
  }
  if (o.forced && tier_of(o.flags) < 0) { /* before any output or any slot */
    fprintf(stderr, "tarn-demo: no tier: the word 0x%08X lacks MxCpuFPU (0x2)\n", o.flags);
    return 1;
  }
  if (o.write_png && !make_dirs(o.out_dir)) {
    fprintf(stderr, "tarn-demo: cannot create %s\n", o.out_dir);
    return 1;
  }

  {
    /* Identification first: it also sets the thread's floating-point state. */
    const MxCpuFlags machine = MxIdentifyCPU();
    if (!o.forced) o.flags = machine;
    printf("processor: %s, %u MHz, capability word 0x%08X\n", MxGetCPUVendor(), MxGetCPUSpeed(),
           machine);
  }
  if (!o.all_tiers) {
    if (tier_of(o.flags) < 0) {
      fprintf(stderr, "tarn-demo: no tier: the word 0x%08X lacks MxCpuFPU (0x2)\n", o.flags);
      return 1;
    }
    printf("tier: %s%s\n", kTiers[tier_of(o.flags)].name,
           (o.flags & MxCpuCyrixEMMX) ? " (Cyrix EMMX blit)" : "");
  }

  memset(&s, 0, sizeof s);
  s.width = o.width;
  s.height = o.height;
  n = (size_t)o.width * (size_t)o.height;
  s.color32 = (uint32_t*)malloc(n * 4);
  s.color565 = (uint16_t*)malloc(n * 2);
  s.depth = (float*)malloc(n * 4);
  hashes = (FrameHashes*)calloc((size_t)o.frames, sizeof *hashes);
  if (!s.color32 || !s.color565 || !s.depth || !hashes) return 1;
  build_particle(s.particle);
  build_logo(s.logo);

  if (o.all_tiers) {
    status = compare_tiers(&s, &o);
  } else {
    uint64_t ticks;
    double fps;
    char tag[64] = "machine";
    if (o.forced) tier_tag(tag, sizeof tag, o.flags);
    MxStartTickCount();
    fps = render(&s, &o, o.flags, tag, hashes);
    MxEndTickCount(&ticks);
    if (fps < 0.0) {
      fprintf(stderr, "tarn-demo: the library refused the word 0x%08X\n", o.flags);
      return 1;
    }
    printf("%d frames of %dx%d: %.1f frames/s (word 0x%08X)\n", o.frames, o.width, o.height, fps,
           o.flags);
    if (ticks != 0x8FFFFFFFFFFFFFFFull) printf("%.0f ticks per frame\n", (double)ticks / o.frames);
  }
  if (o.write_png) printf("pictures: %s/frameNNN-*-{32,565}.png\n", o.out_dir);

  free(hashes);
  free(s.color32);
  free(s.color565);
  free(s.depth);
  return status;
}
