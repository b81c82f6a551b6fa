// icongen: draws the package's slot-type icons and writes them as multi-image
// Windows .ico files. A build tool: it runs on the build machine, never ships.
//
//   icongen OUT.ico KIND WxH:BPP [WxH:BPP ...]
//
// KIND is one of cf, sd, sm, ms, combo (the five card-slot types) or app (a
// card reader, for a program's own icon). Each WxH:BPP adds one image of that
// size (1 to 256 pixels a side) and colour depth (1, 4, 8, 24 or 32 bits).
//
// Images are stored the way .ico files carry them: a BITMAPINFOHEADER with the
// doubled height, the palette (1, 4 and 8 bits), the colour (XOR) rows bottom
// up and padded to 4 bytes, then the 1-bit transparency (AND) mask. The
// palettes are the standard 16-colour VGA set (4 bits), that set followed by a
// 6x6x6 colour cube and a grey ramp (8 bits), and black and white (1 bit); the
// drawings use colours of the 16-colour set so that small depths stay exact.
//
// No dependencies beyond the C++17 standard library.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Rgb {
  uint8_t r, g, b;
};

// The 16 colours of the VGA palette, in the order Windows uses them.
constexpr Rgb kBlack{0x00, 0x00, 0x00}, kMaroon{0x80, 0x00, 0x00}, kGreen{0x00, 0x80, 0x00},
    kOlive{0x80, 0x80, 0x00}, kNavy{0x00, 0x00, 0x80}, kPurple{0x80, 0x00, 0x80},
    kTeal{0x00, 0x80, 0x80}, kSilver{0xC0, 0xC0, 0xC0}, kGrey{0x80, 0x80, 0x80},
    kRed{0xFF, 0x00, 0x00}, kLime{0x00, 0xFF, 0x00}, kYellow{0xFF, 0xFF, 0x00},
    kBlue{0x00, 0x00, 0xFF}, kFuchsia{0xFF, 0x00, 0xFF}, kAqua{0x00, 0xFF, 0xFF},
    kWhite{0xFF, 0xFF, 0xFF};
constexpr std::array<Rgb, 16> kVga{kBlack, kMaroon, kGreen, kOlive, kNavy,   kPurple,
                                   kTeal,  kSilver, kGrey,  kRed,   kLime,   kYellow,
                                   kBlue,  kFuchsia, kAqua, kWhite};

std::vector<Rgb> PaletteFor(int bpp) {
  if (bpp == 1) return {kBlack, kWhite};
  if (bpp != 4 && bpp != 8) return {};
  std::vector<Rgb> p(kVga.begin(), kVga.end());
  if (bpp == 8) {
    static const uint8_t steps[6] = {0x00, 0x33, 0x66, 0x99, 0xCC, 0xFF};
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b) p.push_back({steps[r], steps[g], steps[b]});
    for (int i = 0; i < 24; ++i) {
      const auto v = static_cast<uint8_t>(8 + i * 10);
      p.push_back({v, v, v});
    }
  }
  return p;
}

// --- Drawing ---------------------------------------------------------------
// Shapes are laid out on a unit square (0..1, y downwards) and rasterised with
// 4x4 samples per pixel; outlines are one pixel wide at every size. Text is
// drawn afterwards in whole pixels from a small bitmap font, so that letters
// stay crisp at 16x16.

struct Pixel {
  float r = 0, g = 0, b = 0, a = 0;  // colour premultiplied by a
};

// A rectangle, optionally with its top-right corner cut off (an SD card) or
// its bottom-left corner cut (a Memory Stick's notch).
struct Shape {
  float x0, y0, x1, y1;
  float cutTopRight = 0;
  bool Contains(float x, float y) const {
    if (x < x0 || x >= x1 || y < y0 || y >= y1) return false;
    return (x1 - x) + (y - y0) >= cutTopRight;
  }
  Shape Inset(float d) const {
    return {x0 + d, y0 + d, x1 - d, y1 - d, cutTopRight > 0 ? std::max(0.0f, cutTopRight - d * 0.6f) : 0};
  }
};

class Canvas {
 public:
  Canvas(int w, int h) : w_(w), h_(h), px_(static_cast<size_t>(w) * h) {}
  int Width() const { return w_; }
  int Height() const { return h_; }
  const Pixel& At(int x, int y) const { return px_[static_cast<size_t>(y) * w_ + x]; }

  // One pixel, as a fraction of the shorter side.
  float OnePixel() const { return 1.0f / static_cast<float>(std::min(w_, h_)); }

  void Fill(const Shape& s, Rgb c) {
    constexpr int kSub = 4;
    for (int y = 0; y < h_; ++y)
      for (int x = 0; x < w_; ++x) {
        int hits = 0;
        for (int sy = 0; sy < kSub; ++sy)
          for (int sx = 0; sx < kSub; ++sx) {
            const float ux = (x + (sx + 0.5f) / kSub) / w_;
            const float uy = (y + (sy + 0.5f) / kSub) / h_;
            hits += s.Contains(ux, uy) ? 1 : 0;
          }
        if (hits) Blend(x, y, c, static_cast<float>(hits) / (kSub * kSub));
      }
  }

  // A filled shape with a one-pixel border of another colour.
  void Framed(const Shape& s, Rgb fill, Rgb border) {
    Fill(s, border);
    Fill(s.Inset(OnePixel()), fill);
  }

  // A one-pixel white rim around a shape, which keeps overlapping cards apart
  // (also in the 1-bit image, where every card body is black).
  void Halo(const Shape& s) { Fill(s.Inset(-OnePixel()), kWhite); }

  void SetPixel(int x, int y, Rgb c) {
    if (x >= 0 && y >= 0 && x < w_ && y < h_) Blend(x, y, c, 1.0f);
  }

 private:
  void Blend(int x, int y, Rgb c, float cov) {
    Pixel& p = px_[static_cast<size_t>(y) * w_ + x];
    p.r = p.r * (1 - cov) + c.r * cov;
    p.g = p.g * (1 - cov) + c.g * cov;
    p.b = p.b * (1 - cov) + c.b * cov;
    p.a = p.a * (1 - cov) + cov;
  }

  int w_, h_;
  std::vector<Pixel> px_;
};

struct Glyph {
  char ch;
  const char* rows;  // rows of '#' and '.', separated by '|'
};
// 3x5 for the smallest sizes, 5x7 from there up.
const Glyph kFont3x5[] = {
    {'C', "###|#..|#..|#..|###"}, {'F', "###|#..|##.|#..|#.."}, {'S', "###|#..|###|..#|###"},
    {'D', "##.|#.#|#.#|#.#|##."}, {'M', "#.#|###|#.#|#.#|#.#"},
};
const Glyph kFont5x7[] = {
    {'C', ".###.|#...#|#....|#....|#....|#...#|.###."},
    {'F', "#####|#....|#....|####.|#....|#....|#...."},
    {'S', ".####|#....|#....|.###.|....#|....#|####."},
    {'D', "####.|#...#|#...#|#...#|#...#|#...#|####."},
    {'M', "#...#|##.##|#.#.#|#.#.#|#...#|#...#|#...#"},
};

template <size_t N>
const char* GlyphRows(const Glyph (&font)[N], char ch) {
  for (const Glyph& g : font)
    if (g.ch == ch) return g.rows;
  return nullptr;
}

// Draws TEXT centred in the unit box (x0,y0)-(x1,y1), in the largest whole
// scale of the largest font that fits; draws nothing when neither fits.
void DrawText(Canvas& cv, const char* text, float x0, float y0, float x1, float y1, Rgb c) {
  const int boxW = static_cast<int>(std::floor((x1 - x0) * cv.Width()));
  const int boxH = static_cast<int>(std::floor((y1 - y0) * cv.Height()));
  const int n = static_cast<int>(std::strlen(text));
  struct Font {
    int gw, gh;
    bool big;
  };
  for (const Font f : {Font{5, 7, true}, Font{3, 5, false}}) {
    const int textW = n * f.gw + (n - 1);
    const int scale = std::min(boxW / textW, boxH / f.gh);
    if (scale < 1) continue;
    const int left = static_cast<int>(std::lround(x0 * cv.Width())) + (boxW - textW * scale) / 2;
    const int top = static_cast<int>(std::lround(y0 * cv.Height())) + (boxH - f.gh * scale) / 2;
    for (int i = 0; i < n; ++i) {
      const char* rows = f.big ? GlyphRows(kFont5x7, text[i]) : GlyphRows(kFont3x5, text[i]);
      if (!rows) continue;
      int row = 0, col = 0;
      for (const char* p = rows; *p; ++p) {
        if (*p == '|') {
          ++row;
          col = 0;
          continue;
        }
        if (*p == '#')
          for (int dy = 0; dy < scale; ++dy)
            for (int dx = 0; dx < scale; ++dx)
              cv.SetPixel(left + (i * (f.gw + 1) + col) * scale + dx, top + row * scale + dy, c);
        ++col;
      }
    }
    return;
  }
}

// CompactFlash: a near-square grey card with its row of pin sockets along the top.
void DrawCf(Canvas& cv, float ox = 0, float oy = 0, float s = 1, bool label = true) {
  const Shape body{ox + 0.06f * s, oy + 0.14f * s, ox + 0.94f * s, oy + 0.86f * s};
  if (!label) cv.Halo(body);
  cv.Framed(body, kGrey, kBlack);
  const float px = cv.OnePixel();
  cv.Fill({body.x0 + px, body.y0 + px, body.x1 - px, body.y0 + std::max(2 * px, 0.1f * s)}, kBlack);
  if (label) DrawText(cv, "CF", body.x0 + 2 * px, body.y0 + 0.16f * s, body.x1 - 2 * px, body.y1 - 2 * px, kWhite);
}

// SD: an upright blue card with the cut corner and gold contacts along the top.
void DrawSd(Canvas& cv, float ox = 0, float oy = 0, float s = 1, bool label = true) {
  const Shape body{ox + 0.16f * s, oy + 0.04f * s, ox + 0.84f * s, oy + 0.96f * s, 0.18f * s};
  if (!label) cv.Halo(body);
  cv.Framed(body, kBlue, kNavy);
  const float px = cv.OnePixel();
  const float cTop = body.y0 + 2 * px, cBot = body.y0 + std::max(3 * px, 0.2f * s);
  for (int i = 0; i < 4; ++i) {
    const float x = body.x0 + 0.05f * s + i * 0.11f * s;
    cv.Fill({x, cTop, x + 0.07f * s, cBot}, kYellow);
  }
  if (label) DrawText(cv, "SD", body.x0 + px, body.y0 + 0.28f * s, body.x1 - px, body.y1 - 2 * px, kWhite);
}

// SmartMedia: a thin green card with its large gold contact pad.
void DrawSm(Canvas& cv, float ox = 0, float oy = 0, float s = 1, bool label = true) {
  const Shape body{ox + 0.06f * s, oy + 0.10f * s, ox + 0.94f * s, oy + 0.90f * s, 0.12f * s};
  if (!label) cv.Halo(body);
  cv.Framed(body, kGreen, kBlack);
  cv.Framed({body.x0 + 0.08f * s, body.y0 + 0.08f * s, body.x0 + 0.44f * s, body.y0 + 0.38f * s}, kYellow, kOlive);
  if (label) DrawText(cv, "SM", body.x0 + cv.OnePixel(), body.y0 + 0.40f * s, body.x1 - cv.OnePixel(), body.y1 - 2 * cv.OnePixel(), kWhite);
}

// Memory Stick: a long purple stick with its contacts at the left end.
void DrawMs(Canvas& cv, float ox = 0, float oy = 0, float s = 1, bool label = true) {
  const Shape body{ox + 0.02f * s, oy + 0.28f * s, ox + 0.98f * s, oy + 0.72f * s};
  if (!label) cv.Halo(body);
  cv.Framed(body, kPurple, kBlack);
  const float px = cv.OnePixel();
  cv.Fill({body.x0 + px, body.y0 + 2 * px, body.x0 + std::max(3 * px, 0.12f * s), body.y1 - 2 * px}, kYellow);
  if (label) DrawText(cv, "MS", body.x0 + std::max(4 * px, 0.14f * s), body.y0 + px, body.x1 - px, body.y1 - px, kWhite);
}

// The combined slot: three kinds of card, one in front of the other.
void DrawCombo(Canvas& cv) {
  DrawMs(cv, 0.0f, -0.18f, 0.72f, false);
  DrawSd(cv, 0.36f, 0.08f, 0.62f, false);
  DrawCf(cv, 0.0f, 0.36f, 0.64f, false);
  const float px = cv.OnePixel();
  // A plus sign in the free corner says "more than one kind".
  const float cx = 0.82f, cy = 0.82f, arm = std::max(2.5f * px, 0.14f), w = std::max(px, 0.05f);
  cv.Fill({cx - arm, cy - w, cx + arm, cy + w}, kRed);
  cv.Fill({cx - w, cy - arm, cx + w, cy + arm}, kRed);
}

// The program: a silver card reader with a card going into its slot.
void DrawApp(Canvas& cv) {
  cv.Framed({0.30f, 0.04f, 0.70f, 0.56f, 0.10f}, kBlue, kNavy);
  cv.Framed({0.04f, 0.44f, 0.96f, 0.94f}, kSilver, kBlack);
  const float px = cv.OnePixel();
  cv.Fill({0.22f, 0.44f + 2 * px, 0.78f, 0.44f + std::max(3 * px, 0.12f)}, kBlack);
  cv.Fill({0.74f, 0.76f, 0.74f + std::max(2 * px, 0.1f), 0.76f + std::max(2 * px, 0.08f)}, kLime);
}

bool Draw(Canvas& cv, const std::string& kind) {
  if (kind == "cf") DrawCf(cv);
  else if (kind == "sd") DrawSd(cv);
  else if (kind == "sm") DrawSm(cv);
  else if (kind == "ms") DrawMs(cv);
  else if (kind == "combo") DrawCombo(cv);
  else if (kind == "app") DrawApp(cv);
  else return false;
  return true;
}

// --- Encoding --------------------------------------------------------------

struct ImageFormat {
  int w, h, bpp;
};

bool ParseFormat(const char* text, ImageFormat& fmt) {
  char tail = 0;
  if (std::sscanf(text, "%dx%d:%d%c", &fmt.w, &fmt.h, &fmt.bpp, &tail) != 3) return false;
  if (fmt.w < 1 || fmt.w > 256 || fmt.h < 1 || fmt.h > 256) return false;
  return fmt.bpp == 1 || fmt.bpp == 4 || fmt.bpp == 8 || fmt.bpp == 24 || fmt.bpp == 32;
}

void Put16(std::vector<uint8_t>& out, unsigned v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

int NearestIndex(const std::vector<Rgb>& pal, int r, int g, int b) {
  int best = 0;
  long bestD = -1;
  for (size_t i = 0; i < pal.size(); ++i) {
    const long dr = r - pal[i].r, dg = g - pal[i].g, db = b - pal[i].b;
    const long d = dr * dr * 3 + dg * dg * 4 + db * db * 2;
    if (bestD < 0 || d < bestD) {
      bestD = d;
      best = static_cast<int>(i);
    }
  }
  return best;
}

int RowBytes(int width, int bpp) { return ((width * bpp + 31) / 32) * 4; }

// One image as an .ico file holds it: BITMAPINFOHEADER, palette, XOR rows, AND rows.
std::vector<uint8_t> EncodeImage(const Canvas& cv, int bpp) {
  const int w = cv.Width(), h = cv.Height();
  const std::vector<Rgb> pal = PaletteFor(bpp);
  const int xorRow = RowBytes(w, bpp), andRow = RowBytes(w, 1);
  std::vector<uint8_t> out;
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(w));
  Put32(out, static_cast<uint32_t>(h * 2));  // colour rows and mask rows
  Put16(out, 1);
  Put16(out, static_cast<unsigned>(bpp));
  Put32(out, 0);  // BI_RGB
  Put32(out, static_cast<uint32_t>((xorRow + andRow) * h));
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  for (const Rgb& c : pal) {
    out.push_back(c.b);
    out.push_back(c.g);
    out.push_back(c.r);
    out.push_back(0);
  }
  std::vector<uint8_t> mask(static_cast<size_t>(andRow) * h, 0);
  for (int y = h - 1; y >= 0; --y) {  // bottom-up
    std::vector<uint8_t> row(static_cast<size_t>(xorRow), 0);
    const int maskRow = h - 1 - y;
    for (int x = 0; x < w; ++x) {
      const Pixel& p = cv.At(x, y);
      const bool opaque = bpp == 32 ? p.a > 0.02f : p.a >= 0.5f;
      const float a = p.a > 0 ? p.a : 1;
      const int r = opaque ? std::clamp(static_cast<int>(std::lround(p.r / a)), 0, 255) : 0;
      const int g = opaque ? std::clamp(static_cast<int>(std::lround(p.g / a)), 0, 255) : 0;
      const int b = opaque ? std::clamp(static_cast<int>(std::lround(p.b / a)), 0, 255) : 0;
      if (!opaque) mask[static_cast<size_t>(maskRow) * andRow + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      switch (bpp) {
        case 1: {
          // Transparent pixels stay black (index 0), so the screen shows through.
          const bool white = opaque && (r * 3 + g * 6 + b) / 10 >= 140;
          if (white) row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
          break;
        }
        case 4: {
          const int i = opaque ? NearestIndex(pal, r, g, b) : 0;
          row[static_cast<size_t>(x / 2)] |= static_cast<uint8_t>(x % 2 ? i : i << 4);
          break;
        }
        case 8:
          row[static_cast<size_t>(x)] = static_cast<uint8_t>(opaque ? NearestIndex(pal, r, g, b) : 0);
          break;
        case 24:
          row[static_cast<size_t>(x) * 3 + 0] = static_cast<uint8_t>(b);
          row[static_cast<size_t>(x) * 3 + 1] = static_cast<uint8_t>(g);
          row[static_cast<size_t>(x) * 3 + 2] = static_cast<uint8_t>(r);
          break;
        case 32:
          row[static_cast<size_t>(x) * 4 + 0] = static_cast<uint8_t>(b);
          row[static_cast<size_t>(x) * 4 + 1] = static_cast<uint8_t>(g);
          row[static_cast<size_t>(x) * 4 + 2] = static_cast<uint8_t>(r);
          row[static_cast<size_t>(x) * 4 + 3] =
              static_cast<uint8_t>(opaque ? std::clamp(static_cast<int>(std::lround(p.a * 255)), 0, 255) : 0);
          break;
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  out.insert(out.end(), mask.begin(), mask.end());
  return out;
}

int Usage() {
  std::fprintf(stderr,
               "usage: icongen OUT.ico KIND WxH:BPP [WxH:BPP ...]\n"
               "  KIND: cf, sd, sm, ms, combo, app\n"
               "  WxH:  1 to 256 pixels a side; BPP: 1, 4, 8, 24 or 32\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return Usage();
  const std::string outPath = argv[1], kind = argv[2];
  std::vector<ImageFormat> formats;
  for (int i = 3; i < argc; ++i) {
    ImageFormat s{};
    if (!ParseFormat(argv[i], s)) {
      std::fprintf(stderr, "icongen: bad image size and depth '%s'\n", argv[i]);
      return Usage();
    }
    formats.push_back(s);
  }
  if (formats.size() > 0xFFFF) return Usage();

  std::vector<std::vector<uint8_t>> images;
  for (const ImageFormat& s : formats) {
    Canvas cv(s.w, s.h);
    if (!Draw(cv, kind)) {
      std::fprintf(stderr, "icongen: unknown kind '%s'\n", kind.c_str());
      return Usage();
    }
    images.push_back(EncodeImage(cv, s.bpp));
  }

  // ICONDIR, one ICONDIRENTRY per image, then the images.
  std::vector<uint8_t> file;
  Put16(file, 0);
  Put16(file, 1);
  Put16(file, static_cast<unsigned>(images.size()));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    const ImageFormat& s = formats[i];
    file.push_back(static_cast<uint8_t>(s.w == 256 ? 0 : s.w));
    file.push_back(static_cast<uint8_t>(s.h == 256 ? 0 : s.h));
    file.push_back(static_cast<uint8_t>(s.bpp < 8 ? 1 << s.bpp : 0));
    file.push_back(0);
    Put16(file, 1);
    Put16(file, static_cast<unsigned>(s.bpp));
    Put32(file, static_cast<uint32_t>(images[i].size()));
    Put32(file, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const auto& img : images) file.insert(file.end(), img.begin(), img.end());

  // Written under a temporary name and renamed, so that a failed run never
  // leaves a half-written icon that the build would take as up to date.
  const std::string tmp = outPath + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) {
    std::perror(tmp.c_str());
    return 1;
  }
  const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
  if (std::fclose(f) != 0 || !ok || std::rename(tmp.c_str(), outPath.c_str()) != 0) {
    std::perror(outPath.c_str());
    std::remove(tmp.c_str());
    return 1;
  }
  return 0;
}
