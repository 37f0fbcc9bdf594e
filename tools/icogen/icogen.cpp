// Build-time generator of the program's icon: a white two-tone shield on a blue rounded square,
// drawn at 16, 32 and 48 pixels as 32-bit BGRA images with an AND mask, and written as one .ico
// file (the icon group "A1" of the resource script). Drawn from shapes rather than kept as a
// binary file, so every size stays sharp and the picture is reviewable as code.
// Portable host C++17: it runs on the build machine, never on Windows.
//
//   icogen <out.ico>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <vector>

namespace {

struct Rgba {
  double r, g, b, a;  // straight (not premultiplied) colour, 0..1
};

// Paints `top` over `bottom` (the "over" operator on straight colours).
Rgba Over(const Rgba& top, const Rgba& bottom) {
  const double a = top.a + bottom.a * (1 - top.a);
  if (a <= 0) return {0, 0, 0, 0};
  auto mix = [&](double t, double b) { return (t * top.a + b * bottom.a * (1 - top.a)) / a; };
  return {mix(top.r, bottom.r), mix(top.g, bottom.g), mix(top.b, bottom.b), a};
}

// Shapes in unit coordinates: (0,0) top left, (1,1) bottom right of the icon.
bool InRoundedSquare(double x, double y) {
  constexpr double kInset = 0.03, kRadius = 0.2;
  const double lo = kInset + kRadius, hi = 1 - kInset - kRadius;
  const double cx = std::clamp(x, lo, hi), cy = std::clamp(y, lo, hi);
  return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= kRadius * kRadius && x >= kInset &&
         x <= 1 - kInset && y >= kInset && y <= 1 - kInset;
}

// A shield: straight sides down to its middle, then narrowing in a curve to a point.
bool InShield(double x, double y, double scale) {
  constexpr double kTop = 0.18, kBottom = 0.86, kBend = 0.48, kHalfWidth = 0.3;
  const double mid = 0.5;
  const double top = mid - (mid - kTop) * scale, bottom = mid + (kBottom - mid) * scale;
  const double bend = mid + (kBend - mid) * scale, half = kHalfWidth * scale;
  if (y < top || y > bottom) return false;
  double w = half;
  if (y > bend) {
    const double t = (y - bend) / (bottom - bend);
    w = half * (1 - t * t);
  }
  // The upper corners are rounded off a little.
  const double corner = 0.06 * scale;
  if (y < top + corner && std::fabs(x - mid) > half - corner) {
    const double dx = std::fabs(x - mid) - (half - corner), dy = top + corner - y;
    return dx * dx + dy * dy <= corner * corner;
  }
  return std::fabs(x - mid) <= w;
}

Rgba Sample(double x, double y) {
  Rgba c{0, 0, 0, 0};
  if (InRoundedSquare(x, y)) {
    // Blue, a little lighter at the top.
    const double t = y;
    c = Over({0.09 + 0.10 * (1 - t), 0.36 + 0.16 * (1 - t), 0.78 + 0.12 * (1 - t), 1}, c);
  }
  if (InShield(x, y, 1.0)) c = Over({1, 1, 1, 1}, c);
  if (InShield(x, y, 0.72)) {
    // Inside the white rim: the left half white, the right half pale blue.
    c = Over(x < 0.5 ? Rgba{1, 1, 1, 1} : Rgba{0.72, 0.84, 1.0, 1}, c);
  }
  return c;
}

// One square image, bottom-up rows of B, G, R, A, supersampled 4 x 4 per pixel.
std::vector<Rgba> Draw(int size) {
  constexpr int kSub = 4;
  std::vector<Rgba> px(static_cast<std::size_t>(size) * size);
  for (int row = 0; row < size; ++row) {
    for (int col = 0; col < size; ++col) {
      double r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < kSub; ++sy) {
        for (int sx = 0; sx < kSub; ++sx) {
          const Rgba s = Sample((col + (sx + 0.5) / kSub) / size, (row + (sy + 0.5) / kSub) / size);
          r += s.r * s.a;
          g += s.g * s.a;
          b += s.b * s.a;
          a += s.a;
        }
      }
      Rgba& out = px[static_cast<std::size_t>(size - 1 - row) * size + col];
      out = a > 0 ? Rgba{r / a, g / a, b / a, a / (kSub * kSub)} : Rgba{0, 0, 0, 0};
    }
  }
  return px;
}

void Put16(std::vector<unsigned char>& b, unsigned v) {
  b.push_back(static_cast<unsigned char>(v & 0xFF));
  b.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}
void Put32(std::vector<unsigned char>& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
unsigned char Byte(double v) {
  return static_cast<unsigned char>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
}

// The icon image as Windows stores it: BITMAPINFOHEADER (height doubled for the mask), the
// colour rows, then the AND mask rows (1 = transparent), each mask row padded to 32 bits.
std::vector<unsigned char> Image(int size) {
  const std::vector<Rgba> px = Draw(size);
  const int mask_stride = ((size + 31) / 32) * 4;
  const std::uint32_t xor_bytes = static_cast<std::uint32_t>(size * size * 4);
  const std::uint32_t and_bytes = static_cast<std::uint32_t>(mask_stride * size);
  std::vector<unsigned char> b;
  Put32(b, 40);
  Put32(b, static_cast<std::uint32_t>(size));
  Put32(b, static_cast<std::uint32_t>(size * 2));
  Put16(b, 1);   // planes
  Put16(b, 32);  // bits per pixel
  Put32(b, 0);   // BI_RGB
  Put32(b, xor_bytes + and_bytes);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 0);
  for (const Rgba& p : px) {
    b.push_back(Byte(p.b));
    b.push_back(Byte(p.g));
    b.push_back(Byte(p.r));
    b.push_back(Byte(p.a));
  }
  for (int row = 0; row < size; ++row) {
    std::vector<unsigned char> mask(static_cast<std::size_t>(mask_stride), 0);
    for (int col = 0; col < size; ++col) {
      if (Byte(px[static_cast<std::size_t>(row) * size + col].a) == 0)
        mask[static_cast<std::size_t>(col / 8)] |= static_cast<unsigned char>(0x80 >> (col % 8));
    }
    b.insert(b.end(), mask.begin(), mask.end());
  }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: icogen <out.ico>\n";
    return 2;
  }
  constexpr int kSizes[] = {16, 32, 48};
  constexpr int kCount = sizeof(kSizes) / sizeof(kSizes[0]);
  std::vector<std::vector<unsigned char>> images;
  for (int size : kSizes) images.push_back(Image(size));

  // ICONDIR, one ICONDIRENTRY per image, then the images.
  std::vector<unsigned char> file;
  Put16(file, 0);
  Put16(file, 1);  // icon
  Put16(file, kCount);
  std::uint32_t offset = 6 + 16 * kCount;
  for (int i = 0; i < kCount; ++i) {
    file.push_back(static_cast<unsigned char>(kSizes[i]));
    file.push_back(static_cast<unsigned char>(kSizes[i]));
    file.push_back(0);  // no palette
    file.push_back(0);
    Put16(file, 1);
    Put16(file, 32);
    Put32(file, static_cast<std::uint32_t>(images[i].size()));
    Put32(file, offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());

  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  if (!out) {
    std::cerr << "icogen: cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
