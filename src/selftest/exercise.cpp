#include "selftest/exercise.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "TarnLib2DLL.h"

namespace tarn::selftest {

// ---- Digest

void Digest::word(std::uint32_t w) {
  state_ ^= w;
  state_ *= 0x100000001B3ull;
  state_ ^= state_ >> 29;
  if (trace_) {
    char text[16];
    std::snprintf(text, sizeof text, " %08X", w);
    *trace_ += text;
  }
}

void Digest::value(float f) {
  word(std::isnan(f) ? 0x7FC00000u : std::bit_cast<std::uint32_t>(f));
}

void Digest::value(double d) {
  const std::uint64_t b = std::isnan(d) ? 0x7FF8000000000000ull : std::bit_cast<std::uint64_t>(d);
  word(static_cast<std::uint32_t>(b));
  word(static_cast<std::uint32_t>(b >> 32));
}

void Digest::bytes(const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; i += 4) {
    std::uint32_t w = 0;
    for (std::size_t k = 0; k < 4 && i + k < size; ++k) w |= std::uint32_t{p[i + k]} << (8 * k);
    word(w);
  }
}

void Digest::floats(const void* record, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(record);
  for (std::size_t i = 0; i + 4 <= size; i += 4) {
    float f;
    std::memcpy(&f, p + i, 4);
    value(f);
  }
}

void Digest::note(const char* label, const void* data, std::size_t size) {
  if (!trace_) return;
  *trace_ += "\n    ";
  *trace_ += label;
  *trace_ += ":";
  const auto* p = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; i += 4) {
    std::uint32_t w = 0;
    for (std::size_t k = 0; k < 4 && i + k < size; ++k) w |= std::uint32_t{p[i + k]} << (8 * k);
    char text[16];
    std::snprintf(text, sizeof text, " %08X", w);
    *trace_ += text;
  }
}

void Digest::label(const char* text) {
  if (!trace_) return;
  *trace_ += "\n    ";
  *trace_ += text;
  *trace_ += ":";
}

// ---- Inputs

CaseRng::CaseRng(std::uint32_t stream, std::uint64_t index)
    : state_(index * 0x9E3779B97F4A7C15ull + (std::uint64_t{stream} << 32) + stream) {
  next();
}

std::uint64_t CaseRng::next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::uint32_t CaseRng::below(std::uint32_t bound) {
  return static_cast<std::uint32_t>((next() >> 32) % bound);
}

namespace {

constexpr std::uint32_t kSpecialFloats[] = {
    0x00000000, 0x80000000, 0x7F800000, 0xFF800000, 0x7FC00000, 0xFFC00000, 0x7FA00000,
    0x00000001, 0x007FFFFF, 0x80000001, 0x00800000, 0x7F7FFFFF, 0xFF7FFFFF, 0x3F800000,
    0xBF800000, 0x3F000000, 0x40200000, 0xC0200000, 0x4B800001, 0x4F000000, 0xCF000000,
    0x4EFFFFFF, 0x3FC00000, 0x1F800000, 0x5F800000,
};

constexpr std::int32_t kSpecialInts[] = {
    0, 1, -1, INT32_MIN, INT32_MAX, 16777216, 16777217, -16777217, 2, -2, 0x40000001,
};

float from_bits(std::uint32_t b) {
  return std::bit_cast<float>(b);
}

}  // namespace

float CaseRng::ordinary_float() {
  const std::uint32_t sign = below(2) << 31;
  const std::uint32_t exponent = 127 - 20 + below(41);
  const std::uint32_t mantissa = static_cast<std::uint32_t>(next()) & 0x7FFFFF;
  return from_bits(sign | exponent << 23 | mantissa);
}

float CaseRng::any_float() {
  switch (below(8)) {
    case 0:
      return from_bits(kSpecialFloats[below(std::size(kSpecialFloats))]);
    case 1:
    case 2:
    case 3:
      return ordinary_float();
    case 4:
    case 5:
      return static_cast<float>(static_cast<int>(below(129)) - 64) * 0.25f;
    default:
      return from_bits(static_cast<std::uint32_t>(next()));
  }
}

float CaseRng::angle() {
  const float unit = static_cast<float>(below(1u << 24)) * (1.0f / 16777216.0f) * 2.0f - 1.0f;
  switch (below(8)) {
    case 0:
    case 1:
    case 2:
      return unit * 25.0f;  // radians, about four turns
    case 3:
    case 4:
      return unit * 1440.0f;  // degrees, four turns
    case 5:
      return static_cast<float>(static_cast<int>(below(17)) - 8) * 45.0f;
    case 6:
      return unit * 1.0e6f;
    default:
      return any_float();
  }
}

std::int32_t CaseRng::any_int() {
  switch (below(4)) {
    case 0:
      return kSpecialInts[below(std::size(kSpecialInts))];
    case 1:
      return static_cast<std::int32_t>(below(2001)) - 1000;
    default:
      return static_cast<std::int32_t>(static_cast<std::uint32_t>(next()));
  }
}

// ---- Drivers

namespace {

template <typename Fn>
Fn as(GenericFn f) {
  return reinterpret_cast<Fn>(f);
}

void fill_raw(CaseRng& r, void* data, std::size_t words) {
  auto* w = static_cast<std::uint32_t*>(data);
  for (std::size_t i = 0; i < words; ++i) w[i] = static_cast<std::uint32_t>(r.next());
}

// Mostly ordinary elements, now and then a special one.
void fill_matrix(CaseRng& r, MxMat4x4* m, bool affine) {
  for (float& e : m->m) e = r.below(16) == 0 ? r.any_float() : r.ordinary_float();
  if (affine && r.below(8) != 0) {
    m->m[3] = m->m[7] = m->m[11] = 0.0f;
    m->m[15] = 1.0f;
  }
}

void fill_vector(CaseRng& r, Mx3DVec* v) {
  switch (r.below(8)) {
    case 0:
      v->x = r.any_float(), v->y = r.any_float(), v->z = r.any_float();
      break;
    case 1:
      v->x = v->y = v->z = r.below(2) ? 0.0f : -0.0f;
      break;
    case 2:
      v->x = static_cast<float>(r.below(5)) - 2.0f, v->y = static_cast<float>(r.below(5)) - 2.0f,
      v->z = static_cast<float>(r.below(5)) - 2.0f;
      break;
    default:
      v->x = r.ordinary_float(), v->y = r.ordinary_float(), v->z = r.ordinary_float();
  }
  // The fourth float must never reach a result: make it loud.
  v->pad = from_bits(r.below(2) ? 0x7FC0DEADu : static_cast<std::uint32_t>(r.next()));
}

float lookup_argument(CaseRng& r) {
  return r.below(2) ? r.angle() : r.any_float();
}

// Matrix in place: zero, identity, the two inverses.
void d_matrix(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(1, i);
  MxMat4x4 m;
  fill_matrix(r, &m, true);
  d.note("m", &m, sizeof m);
  as<void (*)(MxMat4x4*)>(f)(&m);
  d.label("m'");
  d.floats(&m, sizeof m);
}

// Matrix from three floats: translation, scale.
void d_matrix_3f(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(2, i);
  MxMat4x4 m;
  fill_raw(r, &m, 16);
  const float x = r.any_float(), y = r.any_float(), z = r.any_float();
  const float args[] = {x, y, z};
  d.note("xyz", args, sizeof args);
  as<void (*)(MxMat4x4*, float, float, float)>(f)(&m, x, y, z);
  d.label("m");
  d.floats(&m, sizeof m);
}

// Rotation from three angles: each angle now and then zero, -0 or NaN.
void d_concat_rotation(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(3, i);
  MxMat4x4 m;
  fill_raw(r, &m, 16);
  float angles[3];
  for (float& a : angles) {
    switch (r.below(8)) {
      case 0:
        a = 0.0f;
        break;
      case 1:
        a = r.below(2) ? -0.0f : from_bits(0x7FC00000);
        break;
      default:
        a = r.below(4) ? static_cast<float>(r.below(1 << 20)) * 2.4e-5f - 12.5f : r.angle();
    }
  }
  d.note("xyz", angles, sizeof angles);
  as<void (*)(MxMat4x4*, float, float, float)>(f)(&m, angles[0], angles[1], angles[2]);
  d.label("m");
  d.floats(&m, sizeof m);
}

void d_matrix_vec(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(4, i);
  MxMat4x4 m;
  fill_raw(r, &m, 16);
  Mx3DVec v;
  fill_vector(r, &v);
  d.note("v", &v, sizeof v);
  as<void (*)(MxMat4x4*, const Mx3DVec*)>(f)(&m, &v);
  d.label("m");
  d.floats(&m, sizeof m);
  d.floats(&v, sizeof v);
}

// Products: distinct records, out the same as b, or a the same as b.
void d_product(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(5, i);
  MxMat4x4 out, a, b;
  fill_raw(r, &out, 16);
  fill_matrix(r, &a, true);
  fill_matrix(r, &b, true);
  d.note("a", &a, sizeof a);
  d.note("b", &b, sizeof b);
  const auto product = as<void (*)(MxMat4x4*, const MxMat4x4*, const MxMat4x4*)>(f);
  switch (r.below(4)) {
    case 0:
      d.label("out=b");
      product(&b, &a, &b);
      break;
    case 1:
      d.label("a=b");
      product(&out, &b, &b);
      break;
    default:
      product(&out, &a, &b);
  }
  d.label("out a b");
  d.floats(&out, sizeof out);
  d.floats(&a, sizeof a);
  d.floats(&b, sizeof b);
}

void d_float_float(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(6, i);
  const float x = lookup_argument(r);
  d.note("x", &x, 4);
  d.label("result");
  d.value(as<float (*)(float)>(f)(x));
}

void d_sincos(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(7, i);
  const float x = lookup_argument(r);
  d.note("x", &x, 4);
  float out[2];
  fill_raw(r, out, 2);
  as<void (*)(float*, float*, float)>(f)(&out[0], &out[1], x);
  d.label("sin cos");
  d.value(out[0]);
  d.value(out[1]);
}

void d_int_int_int(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(8, i);
  const std::int32_t a = r.any_int(), b = r.below(8) ? r.any_int() : a;
  const std::int32_t args[] = {a, b};
  d.note("a b", args, sizeof args);
  d.label("result");
  d.value(as<std::int32_t (*)(std::int32_t, std::int32_t)>(f)(a, b));
}

void d_float_float_float(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(9, i);
  const float a = r.any_float(), b = r.below(8) ? r.any_float() : a;
  const float args[] = {a, b};
  d.note("a b", args, sizeof args);
  d.label("result");
  d.value(as<float (*)(float, float)>(f)(a, b));
}

void d_int_float(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(10, i);
  const float x = r.any_float();
  d.note("x", &x, 4);
  d.label("result");
  d.value(as<std::int32_t (*)(float)>(f)(x));
}

void d_float_int(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(11, i);
  const std::int32_t x = r.any_int();
  d.note("x", &x, 4);
  d.label("result");
  d.value(as<float (*)(std::int32_t)>(f)(x));
}

void d_float_vec(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(12, i);
  Mx3DVec v;
  fill_vector(r, &v);
  d.note("v", &v, sizeof v);
  d.label("result v");
  d.value(as<float (*)(const Mx3DVec*)>(f)(&v));
  d.floats(&v, sizeof v);
}

void d_float_vec_vec(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(13, i);
  Mx3DVec a, b;
  fill_vector(r, &a);
  fill_vector(r, &b);
  d.note("a", &a, sizeof a);
  d.note("b", &b, sizeof b);
  d.label("result a b");
  d.value(as<float (*)(const Mx3DVec*, const Mx3DVec*)>(f)(&a, r.below(8) ? &b : &a));
  d.floats(&a, sizeof a);
  d.floats(&b, sizeof b);
}

// Vector from two vectors, the result record now and then one of the inputs.
void d_vec_vec_vec(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(14, i);
  Mx3DVec out, a, b;
  fill_vector(r, &out);
  fill_vector(r, &a);
  fill_vector(r, &b);
  d.note("a", &a, sizeof a);
  d.note("b", &b, sizeof b);
  const auto op = as<void (*)(Mx3DVec*, const Mx3DVec*, const Mx3DVec*)>(f);
  switch (r.below(8)) {
    case 0:
      d.label("r=a");
      op(&a, &a, &b);
      break;
    case 1:
      d.label("r=b");
      op(&b, &a, &b);
      break;
    case 2:
      d.label("a=b");
      op(&out, &a, &a);
      break;
    default:
      op(&out, &a, &b);
  }
  d.label("r a b");
  d.floats(&out, sizeof out);
  d.floats(&a, sizeof a);
  d.floats(&b, sizeof b);
}

void d_int_vec_vec(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(15, i);
  Mx3DVec a, b;
  fill_vector(r, &a);
  fill_vector(r, &b);
  if (r.below(4) == 0) b.x = a.x, b.y = a.y, b.z = a.z;  // equal, pads apart
  d.note("a", &a, sizeof a);
  d.note("b", &b, sizeof b);
  d.label("result");
  d.value(as<std::int32_t (*)(const Mx3DVec*, const Mx3DVec*)>(f)(&a, &b));
}

void d_vec_vec_float(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(16, i);
  Mx3DVec out, v;
  fill_vector(r, &out);
  fill_vector(r, &v);
  const float k = r.any_float();
  d.note("v", &v, sizeof v);
  d.note("k", &k, 4);
  const auto op = as<void (*)(Mx3DVec*, const Mx3DVec*, float)>(f);
  r.below(4) ? op(&out, &v, k) : op(&v, &v, k);
  d.label("r v");
  d.floats(&out, sizeof out);
  d.floats(&v, sizeof v);
}

void d_vec_vec_matrix(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(17, i);
  Mx3DVec out, v;
  fill_vector(r, &out);
  fill_vector(r, &v);
  MxMat4x4 m;
  fill_matrix(r, &m, true);
  d.note("v", &v, sizeof v);
  d.note("m", &m, sizeof m);
  const auto op = as<void (*)(Mx3DVec*, const Mx3DVec*, const MxMat4x4*)>(f);
  r.below(4) ? op(&out, &v, &m) : op(&v, &v, &m);
  d.label("r v m");
  d.floats(&out, sizeof out);
  d.floats(&v, sizeof v);
  d.floats(&m, sizeof m);
}

void d_vec_vec(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(18, i);
  Mx3DVec out, v;
  fill_vector(r, &out);
  fill_vector(r, &v);
  d.note("v", &v, sizeof v);
  const auto op = as<void (*)(Mx3DVec*, const Mx3DVec*)>(f);
  r.below(4) ? op(&out, &v) : op(&v, &v);
  d.label("r v");
  d.floats(&out, sizeof out);
  d.floats(&v, sizeof v);
}

void d_vec_rotate(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(19, i);
  Mx3DVec out, v;
  fill_vector(r, &out);
  fill_vector(r, &v);
  float angles[4];
  for (float& a : angles) a = r.below(4) ? r.angle() : 0.0f;
  d.note("v", &v, sizeof v);
  d.note("angles", angles, 12);
  const auto op = as<void (*)(Mx3DVec*, const Mx3DVec*, const float*)>(f);
  r.below(4) ? op(&out, &v, angles) : op(&v, &v, angles);
  d.label("r v angles");
  d.floats(&out, sizeof out);
  d.floats(&v, sizeof v);
  d.floats(angles, sizeof angles);
}

// ---- Runs of dwords, inside a larger buffer whose rest must stay as it was.

constexpr std::uint32_t kRunWords = 80;

struct Run {
  std::uint32_t offset, count;
};

Run pick_run(CaseRng& r, std::uint32_t room) {
  Run run;
  run.offset = r.below(4);
  const std::uint32_t space = room - run.offset;
  run.count =
      r.below(3) == 0 ? r.below(std::min<std::uint32_t>(space, 10) + 1) : r.below(space + 1);
  return run;
}

void d_zero(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(20, i);
  alignas(16) std::uint32_t buffer[kRunWords + 4];
  fill_raw(r, buffer, std::size(buffer));
  const Run run = pick_run(r, kRunWords);
  d.note("offset count", &run, sizeof run);
  as<void (*)(void*, std::uint32_t)>(f)(buffer + run.offset, run.count);
  d.label("buffer");
  d.bytes(buffer, sizeof buffer);
}

void d_set(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(21, i);
  alignas(16) std::uint32_t buffer[kRunWords + 4];
  fill_raw(r, buffer, std::size(buffer));
  const Run run = pick_run(r, kRunWords);
  const auto value = static_cast<std::uint32_t>(r.next());
  d.note("offset count", &run, sizeof run);
  d.note("value", &value, 4);
  as<void (*)(void*, std::uint32_t, std::uint32_t)>(f)(buffer + run.offset, run.count, value);
  d.label("buffer");
  d.bytes(buffer, sizeof buffer);
}

// Copies between separate buffers at any alignment, or downwards within one
// buffer (the destination below an overlapping source).
void d_copy(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(22, i);
  alignas(16) std::uint32_t dst[kRunWords + 4];
  alignas(16) std::uint32_t src[kRunWords + 4];
  fill_raw(r, dst, std::size(dst));
  fill_raw(r, src, std::size(src));
  const auto copy = as<void (*)(void*, const void*, std::uint32_t)>(f);
  if (r.below(4) == 0) {
    const std::uint32_t shift = 1 + r.below(9);
    const Run run = pick_run(r, kRunWords - shift);
    const std::uint32_t note[] = {run.offset, run.count, shift};
    d.note("overlap offset count shift", note, sizeof note);
    copy(dst + run.offset, dst + run.offset + shift, run.count);
  } else {
    const Run run = pick_run(r, kRunWords);
    const std::uint32_t from = r.below(4);
    const std::uint32_t note[] = {run.offset, run.count, from};
    d.note("offset count source offset", note, sizeof note);
    copy(dst + run.offset, src + from, run.count);
  }
  d.label("dst src");
  d.bytes(dst, sizeof dst);
  d.bytes(src, sizeof src);
}

// ---- The blit, over small surfaces sized to exactly what it may touch.

using BlitFn = void (*)(const std::uint32_t*, std::int32_t, std::int32_t, std::int32_t,
                        std::int32_t, std::int32_t, void*, std::int32_t, std::int32_t, std::int32_t,
                        std::int32_t, std::int32_t, std::int32_t, std::int32_t);

constexpr std::int32_t kRedMasks[] = {0x7C00, 0x0F00, 0xF800};

void d_blit(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(23, i);
  const std::uint32_t format = r.below(4);
  const std::int32_t bpp = format == 3 ? 32 : 16;
  const std::int32_t red_mask = format == 3 ? 0xFF0000 : kRedMasks[format];
  const std::int32_t pixel_bytes = bpp == 16 ? 2 : 4;

  const std::int32_t dst_w = 1 + static_cast<std::int32_t>(r.below(8));
  const std::int32_t dst_h = 1 + static_cast<std::int32_t>(r.below(6));
  const std::int32_t dst_x = static_cast<std::int32_t>(r.below(static_cast<std::uint32_t>(dst_w)));
  const std::int32_t dst_y = static_cast<std::int32_t>(r.below(static_cast<std::uint32_t>(dst_h)));
  const std::int32_t width = 1 + static_cast<std::int32_t>(r.below(10));
  const std::int32_t height = 1 + static_cast<std::int32_t>(r.below(8));
  const std::int32_t cols = std::min(width, dst_w - dst_x);
  const std::int32_t rows = std::min(height, dst_h - dst_y);

  const std::int32_t src_x = static_cast<std::int32_t>(r.below(4));
  const std::int32_t src_y = static_cast<std::int32_t>(r.below(3));
  const std::int32_t src_row_bytes = (src_x + cols + static_cast<std::int32_t>(r.below(3))) * 4;
  const std::int32_t src_rows = src_y + rows;
  const std::int32_t dst_row_bytes = (dst_w + static_cast<std::int32_t>(r.below(3))) * pixel_bytes;
  const bool src_up = r.below(4) == 0, dst_up = r.below(4) == 0;

  std::vector<std::uint32_t> src(static_cast<std::size_t>(src_rows * src_row_bytes / 4));
  for (std::uint32_t& p : src) {
    const std::uint32_t colour = static_cast<std::uint32_t>(r.next()) & 0xFFFFFF;
    const std::uint32_t kind = r.below(4);
    const std::uint32_t alpha = kind == 0 ? 0 : kind == 1 ? 255 : r.below(256);
    p = alpha << 24 | colour;
  }
  std::vector<std::uint32_t> dst(static_cast<std::size_t>(dst_h * dst_row_bytes + 3) / 4);
  fill_raw(r, dst.data(), dst.size());

  const auto* src_top = reinterpret_cast<const unsigned char*>(src.data()) +
                        (src_up ? (src_rows - 1) * src_row_bytes : 0);
  auto* dst_top =
      reinterpret_cast<unsigned char*>(dst.data()) + (dst_up ? (dst_h - 1) * dst_row_bytes : 0);
  const std::int32_t src_pitch = src_up ? -src_row_bytes : src_row_bytes;
  const std::int32_t dst_pitch = dst_up ? -dst_row_bytes : dst_row_bytes;

  const std::int32_t args[] = {src_x, src_y, width, height,    src_pitch, dst_x,
                               dst_y, dst_w, dst_h, dst_pitch, bpp,       red_mask};
  d.note("sx sy w h sp dx dy dw dh dp bpp mask", args, sizeof args);
  as<BlitFn>(f)(reinterpret_cast<const std::uint32_t*>(src_top), src_x, src_y, width, height,
                src_pitch, dst_top, dst_x, dst_y, dst_w, dst_h, dst_pitch, bpp, red_mask);
  d.label("dst");
  d.bytes(dst.data(), dst.size() * 4);
  d.bytes(src.data(), src.size() * 4);
}

// ---- Exported functions.

void d_rotation(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(24, i);
  MxMat4x4 m;
  fill_raw(r, &m, 16);
  const float a = lookup_argument(r);
  d.note("angle", &a, 4);
  as<void (*)(MxMat4x4*, float)>(f)(&m, a);
  d.label("m");
  d.floats(&m, sizeof m);
}

template <typename S, typename A>
void d_exact_sincos(GenericFn f, std::uint64_t i, Digest& d) {
  CaseRng r(25, i);
  const float base = r.below(8) ? r.angle() : r.any_float();
  const A angle = static_cast<A>(base) + static_cast<A>(r.below(2) ? 0.0f : 1e-3f);
  d.note("angle", &angle, sizeof angle);
  S out[2] = {S(-7), S(-7)};
  as<void (*)(S*, S*, A)>(f)(&out[0], &out[1], angle);
  d.label("sin cos");
  d.value(out[0]);
  d.value(out[1]);
}

constexpr Driver slot_driver(SlotId id) {
  switch (id) {
    case SlotId::MxZeroMat:
    case SlotId::MxIdMat:
    case SlotId::MxInvOrthMat4x4:
    case SlotId::MxInvMat4x4:
      return d_matrix;
    case SlotId::MxTranslateMat:
    case SlotId::MxScaleMat:
      return d_matrix_3f;
    case SlotId::MxTranslateMatFromVec:
      return d_matrix_vec;
    case SlotId::MxMatMult4x4_4x4:
    case SlotId::MxSparseMatMult4x4_4x4:
      return d_product;
    case SlotId::MxConcatRotMatXYZ:
    case SlotId::MxConcatRotMatXZY:
    case SlotId::MxConcatRotMatYZX:
    case SlotId::MxConcatRotMatYXZ:
    case SlotId::MxConcatRotMatZXY:
    case SlotId::MxConcatRotMatZYX:
      return d_concat_rotation;
    case SlotId::MxTSin:
    case SlotId::MxTCos:
    case SlotId::MxTSinOfDeg:
    case SlotId::MxTCosOfDeg:
    case SlotId::MxAccSqrt:
    case SlotId::MxRghFastSqrt:
    case SlotId::MxFAccRecip:
    case SlotId::MxFRghFastRecip:
      return d_float_float;
    case SlotId::MxTSinCos:
    case SlotId::MxTSinCosOfDeg:
      return d_sincos;
    case SlotId::MxIMin:
    case SlotId::MxIMax:
      return d_int_int_int;
    case SlotId::MxFMin:
    case SlotId::MxFMax:
    case SlotId::MxFAccDiv:
    case SlotId::MxFRghFastDiv:
      return d_float_float_float;
    case SlotId::MxF2I:
      return d_int_float;
    case SlotId::MxI2F:
      return d_float_int;
    case SlotId::Mx3DVecMagnitudeSquared:
    case SlotId::Mx3DVecAccMagnitude:
    case SlotId::Mx3DVecRghFastMagnitude:
      return d_float_vec;
    case SlotId::Mx3DVecDotProd:
      return d_float_vec_vec;
    case SlotId::Mx3DVecCrossProd:
    case SlotId::Mx3DVecAdd:
    case SlotId::Mx3DVecSub:
      return d_vec_vec_vec;
    case SlotId::Mx3DVecCmpMagnitude:
    case SlotId::Mx3DVecCmp:
      return d_int_vec_vec;
    case SlotId::Mx3DVecScale:
      return d_vec_vec_float;
    case SlotId::Mx3DVecTransform:
      return d_vec_vec_matrix;
    case SlotId::Mx3DVecNormalize:
      return d_vec_vec;
    case SlotId::Mx3DVecRotate:
      return d_vec_rotate;
    case SlotId::MxZeroDwordAlignedMem:
      return d_zero;
    case SlotId::MxSetDwordAlignedMem:
      return d_set;
    case SlotId::MxCopyDwordAlignedMem:
      return d_copy;
    case SlotId::MxAlphaBlt32:
      return d_blit;
    case SlotId::kCount:
      break;
  }
  return nullptr;
}

constexpr auto kSlotOperations = [] {
  std::array<Operation, kSlotCount> ops{};
  for (int i = 0; i < kSlotCount; ++i) {
    const SlotInfo& info = kSlots[i];
    ops[i] = {info.name, slot_driver(info.id), true, info.id, nullptr};
  }
  return ops;
}();

template <typename Fn>
GenericFn generic(Fn fn) {
  return reinterpret_cast<GenericFn>(fn);
}

const Operation kFunctionOperations[] = {
    {"MxRotXMat", d_rotation, false, SlotId::kCount, generic(&MxRotXMat)},
    {"MxRotYMat", d_rotation, false, SlotId::kCount, generic(&MxRotYMat)},
    {"MxRotZMat", d_rotation, false, SlotId::kCount, generic(&MxRotZMat)},
    {"MxDegRotXMat", d_rotation, false, SlotId::kCount, generic(&MxDegRotXMat)},
    {"MxDegRotYMat", d_rotation, false, SlotId::kCount, generic(&MxDegRotYMat)},
    {"MxDegRotZMat", d_rotation, false, SlotId::kCount, generic(&MxDegRotZMat)},
    {"MxSinCosFFF", d_exact_sincos<float, float>, false, SlotId::kCount, generic(&MxSinCosFFF)},
    {"MxSinCosDDD", d_exact_sincos<double, double>, false, SlotId::kCount, generic(&MxSinCosDDD)},
    {"MxSinCosDDF", d_exact_sincos<double, float>, false, SlotId::kCount, generic(&MxSinCosDDF)},
    {"MxSinCosFFD", d_exact_sincos<float, double>, false, SlotId::kCount, generic(&MxSinCosFFD)},
};

}  // namespace

std::span<const Operation> slot_operations() {
  return kSlotOperations;
}

std::span<const Operation> function_operations() {
  return kFunctionOperations;
}

bool uses_processor_estimate(SlotId slot, Variant variant) {
  if (variant != Variant::kSse) return false;
  switch (slot) {
    case SlotId::MxAccSqrt:
    case SlotId::MxRghFastSqrt:
    case SlotId::MxFAccDiv:
    case SlotId::MxFRghFastDiv:
    case SlotId::MxFAccRecip:
    case SlotId::MxFRghFastRecip:
    case SlotId::Mx3DVecAccMagnitude:
    case SlotId::Mx3DVecRghFastMagnitude:
    case SlotId::Mx3DVecNormalize:
      return true;
    default:
      return false;
  }
}

}  // namespace tarn::selftest
