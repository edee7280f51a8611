// make_page_images FOLDER: draws the small GIF images that the database
// pages name (expand/collapse, check marks, trash mark, buttons, compose,
// the mail-folder icons in their "g" and "y" variants, the paging arrows and
// the view icons c_0.gif ... c_168.gif, the database management buttons of
// the welcome page) and writes them into FOLDER with the imaging module's
// GIF writer; and the welcome page's background back1.jpg with the JPEG
// writer beside this file. scripts/make-page-images runs it into
// resources/images/.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "browser/tools/jpeg_writer.h"
#include "imaging/bitmap.h"
#include "imaging/byte_sink.h"
#include "imaging/gif_writer.h"

namespace {

// Palette indices.
enum : uint8_t { W, K, G1, G2, R, GR, Y, B, LB, DG, O, P };

imaging::Palette MakePalette() {
  imaging::Palette p{};
  const imaging::Rgb colours[] = {{255, 255, 255}, {0, 0, 0},     {200, 200, 200}, {128, 128, 128},
                                  {200, 30, 30},   {30, 150, 50}, {235, 200, 40},  {30, 60, 200},
                                  {170, 200, 250}, {20, 90, 30},  {240, 140, 30},  {150, 60, 170}};
  for (size_t i = 0; i < sizeof colours / sizeof colours[0]; ++i) p[i] = colours[i];
  return p;
}

struct Canvas {
  int width, height;
  std::vector<uint8_t> px;
  Canvas(int w, int h, uint8_t fill = W) : width(w), height(h), px(size_t(w) * h, fill) {}
  void Set(int x, int y, uint8_t c) {
    if (x >= 0 && y >= 0 && x < width && y < height) px[size_t(y) * width + x] = c;
  }
  void Rect(int x0, int y0, int x1, int y1, uint8_t c) {
    for (int x = x0; x <= x1; ++x) Set(x, y0, c), Set(x, y1, c);
    for (int y = y0; y <= y1; ++y) Set(x0, y, c), Set(x1, y, c);
  }
  void Fill(int x0, int y0, int x1, int y1, uint8_t c) {
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) Set(x, y, c);
  }
  void Line(int x0, int y0, int x1, int y1, uint8_t c) {
    int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1, err = dx + dy;
    for (;;) {
      Set(x0, y0, c);
      if (x0 == x1 && y0 == y1) break;
      int e2 = 2 * err;
      if (e2 >= dy) err += dy, x0 += sx;
      if (e2 <= dx) err += dx, y0 += sy;
    }
  }
};

// A 3x5 font for digits.
const char* kDigits[10] = {
    "111101101101111", "010110010010111", "111001111100111", "111001111001111", "101101111001001",
    "111100111001111", "111100111101111", "111001001001001", "111101111101111", "111101111001111"};

void Digit(Canvas& c, int x, int y, int d, uint8_t colour) {
  for (int r = 0; r < 5; ++r)
    for (int col = 0; col < 3; ++col)
      if (kDigits[d][r * 3 + col] == '1') c.Set(x + col, y + r, colour);
}

bool Save(const std::string& folder, const std::string& name, const Canvas& c) {
  imaging::BitmapInfo info{c.width, c.height, 8};
  size_t stride = imaging::BitmapStride(info);
  std::vector<uint8_t> data(stride * c.height, 0);
  for (int y = 0; y < c.height; ++y)  // rows are held bottom row first
    for (int x = 0; x < c.width; ++x)
      data[size_t(c.height - 1 - y) * stride + x] = c.px[size_t(y) * c.width + x];
  std::string path = folder + "/" + name;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  imaging::ByteSink sink(file);
  int error = imaging::GifWrite(sink, info, MakePalette(), data, "");
  bool ok = std::fclose(file) == 0 && error == imaging::kBitmapOk;
  if (!ok) std::fprintf(stderr, "make_page_images: %s failed (%d)\n", path.c_str(), error);
  return ok;
}

Canvas Triangle(bool open) {
  Canvas c(11, 11);
  for (int i = 0; i < 5; ++i) {
    if (open)
      c.Fill(1 + i, 3 + i, 9 - i, 3 + i, K);  // pointing down: expanded
    else
      c.Fill(3 + i, 1 + i, 3 + i, 9 - i, K);  // pointing right: collapsed
  }
  return c;
}

Canvas CheckBox(uint8_t frame, uint8_t fill, bool check, uint8_t tick) {
  Canvas c(12, 12);
  c.Fill(1, 1, 10, 10, fill);
  c.Rect(1, 1, 10, 10, frame);
  if (check) {
    c.Line(3, 6, 5, 8, tick);
    c.Line(5, 8, 9, 3, tick);
    c.Line(3, 5, 5, 7, tick);
    c.Line(5, 7, 9, 2, tick);
  }
  return c;
}

Canvas TrashMark() {
  Canvas c(12, 12);
  c.Fill(3, 3, 8, 10, G1);  // a small bin
  c.Rect(3, 3, 8, 10, G2);
  c.Fill(2, 2, 9, 2, G2);
  c.Fill(5, 1, 6, 1, G2);
  c.Line(1, 1, 10, 10, R);  // crossed out in red
  c.Line(10, 1, 1, 10, R);
  c.Line(2, 1, 10, 9, R);
  c.Line(9, 1, 1, 9, R);
  return c;
}

Canvas Button() {
  Canvas c(12, 12);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) {
      int dx = 2 * x - 11, dy = 2 * y - 11;
      int d = dx * dx + dy * dy;
      if (d <= 100) c.Set(x, y, d <= 36 ? LB : B);
    }
  return c;
}

Canvas Compose() {
  Canvas c(14, 14);
  c.Fill(1, 1, 9, 12, W);  // a page
  c.Rect(1, 1, 9, 12, G2);
  for (int y = 4; y <= 10; y += 2) c.Line(3, y, 7, y, G1);
  c.Line(12, 2, 6, 9, O);  // and a pencil across it
  c.Line(13, 3, 7, 10, O);
  c.Set(5, 10, K);
  return c;
}

Canvas Arrow(int kind) {  // 0 first, 1 previous, 2 next, 3 last
  Canvas c(14, 12);
  bool left = kind < 2;
  for (int i = 0; i < 5; ++i) {
    int x = left ? 4 + i : 9 - i;
    c.Fill(x, 6 - i, x, 5 + i, B);
  }
  if (kind == 0) c.Fill(2, 1, 2, 10, B);
  if (kind == 3) c.Fill(11, 1, 11, 10, B);
  return c;
}

// The document pages' images: links, attachments, sections, the read-only
// check boxes and radio buttons, and the one-pixel spacer of empty cells.
Canvas Link(uint8_t colour) {
  Canvas c(16, 12);
  c.Fill(1, 1, 10, 10, W);
  c.Rect(1, 1, 10, 10, G2);
  c.Fill(6, 5, 14, 10, colour);
  c.Rect(6, 5, 14, 10, K);
  c.Line(8, 7, 12, 7, W);
  return c;
}

Canvas Attachment() {
  Canvas c(12, 14);
  c.Rect(4, 1, 8, 11, G2);  // a paper clip
  c.Rect(5, 3, 7, 9, G2);
  c.Line(4, 12, 8, 12, G2);
  return c;
}

Canvas Radio(bool on) {
  Canvas c(12, 12);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) {
      int dx = 2 * x - 11, dy = 2 * y - 11;
      int d = dx * dx + dy * dy;
      if (d <= 100) c.Set(x, y, d >= 72 ? K : (on && d <= 20 ? K : W));
    }
  return c;
}

// Mail folders: a folder tab in green (the view shown) or yellow, with a
// pictogram of the folder's kind.
Canvas MailFolder(char variant, const std::string& kind) {
  Canvas c(16, 14);
  uint8_t body = variant == 'g' ? GR : Y;
  c.Fill(1, 3, 14, 12, body);
  c.Fill(1, 1, 6, 2, body);
  c.Rect(1, 3, 14, 12, K);
  uint8_t ink = variant == 'g' ? W : K;
  if (kind == "inbox") {  // arrow into a tray
    c.Line(7, 4, 7, 9, ink);
    c.Line(5, 7, 7, 9, ink);
    c.Line(9, 7, 7, 9, ink);
    c.Line(4, 10, 11, 10, ink);
  } else if (kind == "drafts") {  // a pencil
    c.Line(4, 11, 11, 4, ink);
    c.Line(5, 11, 12, 4, ink);
  } else if (kind == "sent") {  // arrow out
    c.Line(4, 8, 11, 8, ink);
    c.Line(9, 6, 11, 8, ink);
    c.Line(9, 10, 11, 8, ink);
  } else if (kind == "all") {  // stacked lines
    for (int y = 5; y <= 10; y += 2) c.Line(4, y, 11, y, ink);
  } else if (kind == "todo") {  // a check mark
    c.Line(4, 7, 6, 10, ink);
    c.Line(6, 10, 11, 5, ink);
  } else if (kind == "trash") {  // a bin
    c.Rect(5, 6, 10, 11, ink);
    c.Line(4, 5, 11, 5, ink);
  } else {  // a magnifier: any other view
    c.Rect(4, 4, 8, 8, ink);
    c.Line(8, 8, 11, 11, ink);
    c.Line(9, 8, 12, 11, ink);
  }
  return c;
}

// The view icons: a small tile with its number, in one of six colours.
Canvas ViewIcon(int n) {
  Canvas c(15, 11);
  const uint8_t colours[] = {B, GR, R, O, P, DG};
  uint8_t tile = colours[n % 6];
  c.Fill(0, 0, 14, 10, tile);
  c.Rect(0, 0, 14, 10, K);
  std::string digits = std::to_string(n);
  int x = (15 - int(digits.size()) * 4 + 1) / 2;
  for (char d : digits) {
    Digit(c, x, 3, d - '0', W);
    x += 4;
  }
  return c;
}

// A database: a grey cylinder.
void Cylinder(Canvas& c, int x0, int y0, int x1, int y1) {
  int mid = (x0 + x1) / 2, half = (x1 - x0) / 2;
  c.Fill(x0, y0 + 2, x1, y1 - 2, G1);
  for (int x = x0; x <= x1; ++x) {
    int dx = x - mid;
    int rise = dx * dx * 2 <= half * half ? 2 : 1;  // the rim's curve
    c.Fill(x, y0 + 2 - rise, x, y0 + 2 + rise, G1);
    c.Set(x, y0 + 2 - rise, K);
    c.Set(x, y0 + 2 + rise, G2);
    c.Set(x, y1 - 2 + rise, K);
    c.Fill(x, y1 - 2, x, y1 - 2 + rise - 1, G1);
  }
  c.Line(x0, y0 + 2, x0, y1 - 2, K);
  c.Line(x1, y0 + 2, x1, y1 - 2, K);
}

Canvas FullTextIndex() {
  Canvas c(18, 18);
  c.Fill(1, 1, 11, 15, W);  // a page of text
  c.Rect(1, 1, 11, 15, G2);
  for (int y = 4; y <= 13; y += 3) c.Line(3, y, 9, y, G2);
  c.Rect(8, 7, 13, 12, B);  // under a magnifier
  c.Rect(9, 8, 12, 11, LB);
  c.Line(13, 12, 16, 15, B);
  c.Line(12, 12, 15, 15, B);
  return c;
}

Canvas CompactDatabase() {
  Canvas c(18, 18);
  Cylinder(c, 4, 3, 13, 15);
  for (int i = 0; i < 3; ++i) {  // pressed from both sides
    c.Fill(0 + i, 9 - i, 0 + i, 9 + i, GR);
    c.Fill(17 - i, 9 - i, 17 - i, 9 + i, GR);
  }
  return c;
}

Canvas DeleteDatabase() {
  Canvas c(18, 18);
  Cylinder(c, 3, 2, 14, 15);
  for (int i = 0; i < 2; ++i) {  // crossed out in red
    c.Line(2 + i, 3, 14 + i, 16, R);
    c.Line(15 - i, 3, 3 - i, 16, R);
  }
  return c;
}

// The welcome page's background: pale paper with a faint weave, a tile
// that repeats without seams (every pattern has the tile's period).
bool SaveBackground(const std::string& folder) {
  page_images::RgbImage image;
  image.width = image.height = 128;
  image.rgb.resize(size_t(128) * 128 * 3);
  uint32_t seed = 20240601;
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x) {
      seed = seed * 1664525u + 1013904223u;
      int grain = int(seed >> 29) - 4;  // -4 .. 3
      int weave = ((x + y) % 16 < 2 || (x - y + 128) % 16 < 2) ? -5 : 0;
      uint8_t* p = &image.rgb[(size_t(y) * 128 + x) * 3];
      p[0] = uint8_t(250 + grain / 2 + weave);
      p[1] = uint8_t(246 + grain / 2 + weave);
      p[2] = uint8_t(232 + grain + weave);
    }
  std::string bytes = page_images::EncodeJpeg(image, 85);
  std::string path = folder + "/back1.jpg";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fclose(file) == 0 && ok;
  if (!ok) std::fprintf(stderr, "make_page_images: %s failed\n", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_page_images FOLDER\n");
    return 2;
  }
  std::string folder = argv[1];
  bool ok = true;
  ok &= Save(folder, "smclsdtw.gif", Triangle(false));
  ok &= Save(folder, "smopentw.gif", Triangle(true));
  ok &= Save(folder, "checkmk.gif", CheckBox(K, W, true, GR));
  ok &= Save(folder, "checkhi.gif", CheckBox(B, LB, true, DG));
  ok &= Save(folder, "checkrg.gif", CheckBox(B, LB, false, K));
  ok &= Save(folder, "nocheck.gif", CheckBox(G1, W, false, K));
  ok &= Save(folder, "delmk.gif", TrashMark());
  ok &= Save(folder, "blanktw.gif", Canvas(11, 11));  // a spacer as wide as the triangles
  ok &= Save(folder, "smbutton.gif", Button());
  ok &= Save(folder, "compose.gif", Compose());
  ok &= Save(folder, "firstpg.gif", Arrow(0));
  ok &= Save(folder, "prevpage.gif", Arrow(1));
  ok &= Save(folder, "nextpage.gif", Arrow(2));
  ok &= Save(folder, "lastpage.gif", Arrow(3));
  ok &= Save(folder, "doclink.gif", Link(B));
  ok &= Save(folder, "viewlink.gif", Link(GR));
  ok &= Save(folder, "dblink.gif", Link(O));
  ok &= Save(folder, "attach.gif", Attachment());
  ok &= Save(folder, "gopentw.gif", Triangle(true));
  ok &= Save(folder, "ckbx_c.gif", CheckBox(K, W, true, K));
  ok &= Save(folder, "ckbx_u.gif", CheckBox(K, W, false, K));
  ok &= Save(folder, "rbtn_c.gif", Radio(true));
  ok &= Save(folder, "rbtn_u.gif", Radio(false));
  ok &= Save(folder, "c_.gif", Canvas(1, 1));
  for (char variant : {'g', 'y'})
    for (const char* kind : {"inbox", "drafts", "sent", "all", "todo", "trash", "magnif"})
      ok &= Save(folder, std::string(1, variant) + "_" + kind + ".gif", MailFolder(variant, kind));
  for (int n = 0; n <= 168; ++n) ok &= Save(folder, "c_" + std::to_string(n) + ".gif", ViewIcon(n));
  ok &= Save(folder, "cftindx.gif", FullTextIndex());
  ok &= Save(folder, "compdb.gif", CompactDatabase());
  ok &= Save(folder, "deldb.gif", DeleteDatabase());
  ok &= SaveBackground(folder);
  return ok ? 0 : 1;
}
