// SPDX-License-Identifier: MIT
// Writes Quorvex's pictures, byte for byte the same on every run: the About picture
// (BMP, 247 x 123, 4 bits per pixel), the tray icon and the query window's icon (ICO,
// 16 x 16, 16 colours, with the tray icon also as PNG at 22, 24, 32 and 48 pixels), the
// application icon (ICO, 32 x 32, 16 colours) and a 64 x 64 PNG for desktop menus. Everything is drawn here from a
// globe model, a crude world map and a small bitmap font, in one 16-colour palette.
//
// Usage: quorvex-assets <output folder>
//        quorvex-assets --icon SIZE FILE   the application icon as a PNG of SIZE pixels, for
//                                          the icon theme folders the package installs
#include <QImage>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct TRgb {
  std::uint8_t R, G, B;
};

// Palette slots by role.
enum : std::uint8_t {
  cBlack,
  cOutline,
  cDeepSea,
  cSea,
  cLightSea,
  cDarkLand,
  cLand,
  cLightLand,
  cGray,
  cSilver,
  cWhite,
  cGold,
  cHandle,
  cNight,
  cDusk,
  cIce
};

constexpr std::array<TRgb, 16> kPalette = {{
    {0, 0, 0},
    {12, 24, 56},
    {24, 66, 150},
    {40, 112, 200},
    {120, 180, 240},
    {28, 100, 44},
    {64, 156, 64},
    {140, 204, 96},
    {128, 128, 128},
    {192, 192, 192},
    {255, 255, 255},
    {244, 196, 48},
    {176, 96, 32},
    {14, 22, 52},
    {30, 48, 100},
    {224, 236, 244},
}};

// The world in 10-degree cells: rows from 90N down to 90S, columns from 180W eastwards.
constexpr std::array<std::string_view, 18> kWorld = {{
    "............####....................",
    "......####..####......##########....",
    ".##########.####..##################",
    "..##########.....###################",
    ".....#######.....###############....",
    ".....######......##############.#...",
    "......####......###############.....",
    ".......###......########.#.##.......",
    "..........####...######.....#.......",
    "..........#####....###.....#####....",
    "..........#####....####.......###...",
    "...........###.....###.......#####..",
    "...........##......##........####...",
    "...........#......................#.",
    "...........#........................",
    "...........##.......................",
    "####################################",
    "####################################",
}};

// 5 x 8 glyphs (the last row holds descenders), for the characters the pictures use.
struct TGlyph {
  char Ch;
  std::array<std::string_view, 8> Rows;
};

constexpr TGlyph kFont[] = {
    {' ', {".....", ".....", ".....", ".....", ".....", ".....", ".....", "....."}},
    {'.', {".....", ".....", ".....", ".....", ".....", ".##..", ".##..", "....."}},
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###.", "....."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####", "....."}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#", "....."}},
    {'I', {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###.", "....."}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###.", "....."}},
    {'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#", "....."}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####.", "....."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#..", "....."}},
    {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#.", "....."}},
    {'a', {".....", ".....", ".###.", "....#", ".####", "#...#", ".####", "....."}},
    {'d', {"....#", "....#", ".##.#", "#..##", "#...#", "#...#", ".####", "....."}},
    {'e', {".....", ".....", ".###.", "#...#", "#####", "#....", ".###.", "....."}},
    {'f', {"..##.", ".#..#", ".#...", "###..", ".#...", ".#...", ".#...", "....."}},
    {'i', {"..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###.", "....."}},
    {'k', {"#....", "#....", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "....."}},
    {'l', {".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###.", "....."}},
    {'n', {".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#", "....."}},
    {'o', {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###.", "....."}},
    {'p', {".....", ".....", "####.", "#...#", "#...#", "####.", "#....", "#...."}},
    {'r', {".....", ".....", "#.##.", "##..#", "#....", "#....", "#....", "....."}},
    {'s', {".....", ".....", ".####", "#....", ".###.", "....#", "####.", "....."}},
    {'t', {".#...", ".#...", "###..", ".#...", ".#...", ".#..#", "..##.", "....."}},
    {'u', {".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#", "....."}},
    {'v', {".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#..", "....."}},
    {'x', {".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "....."}},
    {'y', {".....", ".....", "#...#", "#...#", "#...#", ".####", "....#", ".###."}},
};

const TGlyph& GlyphOf(char Ch)
{
  for (const TGlyph& G : kFont)
    if (G.Ch == Ch) return G;
  throw std::runtime_error(std::string("no glyph for '") + Ch + "'");
}

// Palette-indexed pixels, top row first, with a transparency mask for icons.
struct TCanvas {
  TCanvas(int W, int H, std::uint8_t Fill)
      : Width(W), Height(H), Px(static_cast<std::size_t>(W * H), Fill), Clear(static_cast<std::size_t>(W * H), false)
  {
  }
  void Set(int X, int Y, std::uint8_t C)
  {
    if (X < 0 || Y < 0 || X >= Width || Y >= Height) return;
    Px[static_cast<std::size_t>(Y * Width + X)] = C;
    Clear[static_cast<std::size_t>(Y * Width + X)] = false;
  }
  std::uint8_t At(int X, int Y) const { return Px[static_cast<std::size_t>(Y * Width + X)]; }
  bool IsClear(int X, int Y) const { return Clear[static_cast<std::size_t>(Y * Width + X)]; }
  void MakeClear()
  {
    std::fill(Px.begin(), Px.end(), cBlack);
    std::fill(Clear.begin(), Clear.end(), true);
  }

  int Width, Height;
  std::vector<std::uint8_t> Px;
  std::vector<bool> Clear;
};

constexpr double kPi = 3.14159265358979323846;

// The tray icon's sizes beyond tray.ico's 16 pixels: what StatusNotifierItem hosts ask for.
constexpr int kTraySizes[] = {22, 24, 32, 48};

bool IsLand(double LatDeg, double LonDeg)
{
  int Row = static_cast<int>(std::floor((90.0 - LatDeg) / 10.0));
  Row = std::clamp(Row, 0, 17);
  double L = std::fmod(LonDeg + 180.0, 360.0);
  if (L < 0) L += 360.0;
  const int Col = std::clamp(static_cast<int>(L / 10.0), 0, 35);
  return kWorld[static_cast<std::size_t>(Row)][static_cast<std::size_t>(Col)] == '#';
}

struct TGlobeStyle {
  bool Grid = false;    // meridians and parallels every 30 degrees
  bool Outline = true;  // a dark ring round the disc
};

// An orthographic globe centred on the Atlantic, tilted to show more of the north, lit from the
// upper left. Each pixel takes the majority of 4 x 4 samples for land or sea, so the
// continents keep their shapes at 16 pixels.
void DrawGlobe(TCanvas& C, double Cx, double Cy, double R, TGlobeStyle Style)
{
  const double Lon0 = -35.0, Tilt = 20.0 * kPi / 180.0;
  const double Lx = -0.45, Ly = 0.55, Lz = 0.70;
  const double Norm = std::sqrt(Lx * Lx + Ly * Ly + Lz * Lz);
  for (int Y = static_cast<int>(Cy - R) - 1; Y <= static_cast<int>(Cy + R) + 1; ++Y) {
    for (int X = static_cast<int>(Cx - R) - 1; X <= static_cast<int>(Cx + R) + 1; ++X) {
      const double Px = (X + 0.5 - Cx) / R, Py = (Cy - (Y + 0.5)) / R;
      const double D2 = Px * Px + Py * Py;
      if (D2 > 1.0) continue;
      if (Style.Outline && std::sqrt(D2) * R > R - 1.0) {
        C.Set(X, Y, cOutline);
        continue;
      }
      int Land = 0, Ice = 0, Grid = 0, Samples = 0;
      for (int Sy = 0; Sy < 4; ++Sy) {
        for (int Sx = 0; Sx < 4; ++Sx) {
          const double Qx = (X + (Sx + 0.5) / 4 - Cx) / R, Qy = (Cy - (Y + (Sy + 0.5) / 4)) / R;
          const double Q2 = Qx * Qx + Qy * Qy;
          if (Q2 > 1.0) continue;
          const double Qz = std::sqrt(1.0 - Q2);
          const double Lat = std::asin(std::clamp(Qy * std::cos(Tilt) + Qz * std::sin(Tilt), -1.0, 1.0));
          const double Lon = std::atan2(Qx, Qz * std::cos(Tilt) - Qy * std::sin(Tilt));
          const double LatDeg = Lat * 180.0 / kPi, LonDeg = Lon0 + Lon * 180.0 / kPi;
          ++Samples;
          if (IsLand(LatDeg, LonDeg)) {
            ++Land;
            Ice += std::fabs(LatDeg) > 62.0;
          }
          if (Style.Grid) {
            // Line width about one pixel whatever the radius.
            const double Tol = 0.55 * 180.0 / kPi / R;
            const double Pm = std::fmod(std::fabs(LatDeg) + 15.0, 30.0) - 15.0;
            const double Lm = std::fmod(std::fabs(LonDeg - Lon0) + 15.0, 30.0) - 15.0;
            Grid += std::fabs(Pm) < Tol || std::fabs(Lm) < Tol / std::max(std::cos(Lat), 0.2);
          }
        }
      }
      if (Samples == 0) continue;
      const double Pz = std::sqrt(std::max(0.0, 1.0 - D2));
      const double Light = (Px * Lx + Py * Ly + Pz * Lz) / Norm;
      std::uint8_t Colour;
      if (Land * 2 > Samples) {
        if (Ice * 2 > Land)
          Colour = Light > 0.35 ? cIce : cSilver;
        else
          Colour = Light > 0.8 ? cLightLand : Light > 0.25 ? cLand : cDarkLand;
      } else {
        Colour = Light > 0.9 ? cLightSea : Light > 0.3 ? cSea : cDeepSea;
        if (Grid * 3 > Samples) Colour = Light > 0.3 ? cLightSea : cSea;
      }
      C.Set(X, Y, Colour);
    }
  }
}

void DrawText(TCanvas& C, int X, int Y, std::string_view Text, int Scale, std::uint8_t Ink, int Shadow = -1)
{
  for (char Ch : Text) {
    const TGlyph& G = GlyphOf(Ch);
    for (int Pass = Shadow >= 0 ? 0 : 1; Pass < 2; ++Pass) {
      const int Off = Pass == 0 ? 1 : 0;
      for (int Ry = 0; Ry < 8; ++Ry)
        for (int Rx = 0; Rx < 5; ++Rx)
          if (G.Rows[static_cast<std::size_t>(Ry)][static_cast<std::size_t>(Rx)] == '#')
            for (int Dy = 0; Dy < Scale; ++Dy)
              for (int Dx = 0; Dx < Scale; ++Dx)
                C.Set(X + Rx * Scale + Dx + Off, Y + Ry * Scale + Dy + Off,
                      Pass == 0 ? static_cast<std::uint8_t>(Shadow) : Ink);
    }
    X += 6 * Scale;
  }
}

int TextWidth(std::string_view Text, int Scale) { return static_cast<int>(Text.size()) * 6 * Scale - Scale; }

// A thick line of round dots from (X0, Y0) to (X1, Y1).
void DrawBar(TCanvas& C, double X0, double Y0, double X1, double Y1, double Half, std::uint8_t Colour)
{
  const int Steps = 64;
  for (int I = 0; I <= Steps; ++I) {
    const double X = X0 + (X1 - X0) * I / Steps, Y = Y0 + (Y1 - Y0) * I / Steps;
    for (int Py = static_cast<int>(Y - Half) - 1; Py <= static_cast<int>(Y + Half) + 1; ++Py)
      for (int Px = static_cast<int>(X - Half) - 1; Px <= static_cast<int>(X + Half) + 1; ++Px) {
        const double Dx = Px + 0.5 - X, Dy = Py + 0.5 - Y;
        if (Dx * Dx + Dy * Dy <= Half * Half) C.Set(Px, Py, Colour);
      }
  }
}

void DrawRing(TCanvas& C, double Cx, double Cy, double Inner, double Outer, std::uint8_t Colour)
{
  for (int Y = static_cast<int>(Cy - Outer) - 1; Y <= static_cast<int>(Cy + Outer) + 1; ++Y)
    for (int X = static_cast<int>(Cx - Outer) - 1; X <= static_cast<int>(Cx + Outer) + 1; ++X) {
      const double D = std::hypot(X + 0.5 - Cx, Y + 0.5 - Cy);
      if (D >= Inner && D <= Outer) C.Set(X, Y, Colour);
    }
}

// The plain globe of the tray icon, drawn at Size pixels (16 in tray.ico; the larger ones for
// panels that ask for more pixels than 16, so they need not blow up the small one).
TCanvas TrayIcon(int Size = 16)
{
  TCanvas C(Size, Size, cBlack);
  C.MakeClear();
  DrawGlobe(C, Size / 2.0, Size / 2.0, Size / 2.0 - 0.5, {});
  return C;
}

// A magnifying glass over a globe: the query window looks things up.
TCanvas QueryIcon()
{
  TCanvas C(16, 16, cBlack);
  C.MakeClear();
  DrawBar(C, 10.2, 10.2, 14.3, 14.3, 1.7, cOutline);
  DrawBar(C, 10.4, 10.4, 14.0, 14.0, 0.9, cHandle);
  DrawRing(C, 6.5, 6.5, 5.0, 6.5, cOutline);
  DrawRing(C, 6.5, 6.5, 4.2, 5.3, cSilver);
  DrawGlobe(C, 6.5, 6.5, 4.4, {false, false});
  return C;
}

TCanvas AppIcon(int Size)
{
  TCanvas C(Size, Size, cBlack);
  C.MakeClear();
  DrawGlobe(C, Size / 2.0, Size / 2.0, Size / 2.0 - 0.5, {true, true});
  return C;
}

TCanvas AboutPicture()
{
  TCanvas C(247, 123, cNight);
  // Night sky to dusk, ordered dither between two blues.
  static constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  for (int Y = 0; Y < C.Height; ++Y)
    for (int X = 0; X < C.Width; ++X) {
      const int Level = Y * 17 / C.Height;
      C.Set(X, Y, kBayer[Y % 4][X % 4] < Level ? cDusk : cNight);
    }
  DrawGlobe(C, 58.0, 62.0, 50.0, {true, true});
  const int Left = 118;
  DrawText(C, Left, 14, "Quorvex", 3, cGold, cBlack);
  for (int X = Left; X < Left + TextWidth("Quorvex", 3) + 1; ++X) {
    C.Set(X, 44, cGold);
    C.Set(X + 1, 45, cBlack);
  }
  DrawText(C, Left, 56, "WHOIS lookup for", 1, cWhite);
  DrawText(C, Left, 68, "any Internet address", 1, cWhite);
  DrawText(C, Left, 100, "Version 2.0", 1, cSilver);
  return C;
}

void Put16(std::vector<std::uint8_t>& Out, std::uint32_t V)
{
  Out.push_back(static_cast<std::uint8_t>(V));
  Out.push_back(static_cast<std::uint8_t>(V >> 8));
}

void Put32(std::vector<std::uint8_t>& Out, std::uint32_t V)
{
  Put16(Out, V & 0xFFFF);
  Put16(Out, V >> 16);
}

std::uint32_t Stride(int Width, int Bits) { return static_cast<std::uint32_t>((Width * Bits + 31) / 32 * 4); }

// BITMAPINFOHEADER, palette and the 4-bit pixel rows, bottom row first; icons add the
// 1-bit transparency mask and give the header twice the height.
void PutDib(std::vector<std::uint8_t>& Out, const TCanvas& C, bool Icon)
{
  const std::uint32_t Xor = Stride(C.Width, 4) * static_cast<std::uint32_t>(C.Height);
  const std::uint32_t And = Icon ? Stride(C.Width, 1) * static_cast<std::uint32_t>(C.Height) : 0;
  Put32(Out, 40);
  Put32(Out, static_cast<std::uint32_t>(C.Width));
  Put32(Out, static_cast<std::uint32_t>(Icon ? C.Height * 2 : C.Height));
  Put16(Out, 1);
  Put16(Out, 4);
  Put32(Out, 0);  // BI_RGB
  Put32(Out, Xor + And);
  Put32(Out, Icon ? 0 : 3780);  // 96 dots per inch
  Put32(Out, Icon ? 0 : 3780);
  Put32(Out, Icon ? 0 : 16);
  Put32(Out, 0);
  for (const TRgb& P : kPalette) {
    Out.push_back(P.B);
    Out.push_back(P.G);
    Out.push_back(P.R);
    Out.push_back(0);
  }
  for (int Y = C.Height - 1; Y >= 0; --Y) {
    std::vector<std::uint8_t> Row(Stride(C.Width, 4), 0);
    for (int X = 0; X < C.Width; ++X)
      Row[static_cast<std::size_t>(X / 2)] |= static_cast<std::uint8_t>(X % 2 ? C.At(X, Y) : C.At(X, Y) << 4);
    Out.insert(Out.end(), Row.begin(), Row.end());
  }
  if (!Icon) return;
  for (int Y = C.Height - 1; Y >= 0; --Y) {
    std::vector<std::uint8_t> Row(Stride(C.Width, 1), 0);
    for (int X = 0; X < C.Width; ++X)
      if (C.IsClear(X, Y)) Row[static_cast<std::size_t>(X / 8)] |= static_cast<std::uint8_t>(0x80 >> (X % 8));
    Out.insert(Out.end(), Row.begin(), Row.end());
  }
}

std::vector<std::uint8_t> Bmp(const TCanvas& C)
{
  std::vector<std::uint8_t> Dib;
  PutDib(Dib, C, false);
  std::vector<std::uint8_t> Out{'B', 'M'};
  Put32(Out, static_cast<std::uint32_t>(14 + Dib.size()));
  Put32(Out, 0);
  Put32(Out, 14 + 40 + 64);
  Out.insert(Out.end(), Dib.begin(), Dib.end());
  return Out;
}

std::vector<std::uint8_t> Ico(const TCanvas& C)
{
  std::vector<std::uint8_t> Dib;
  PutDib(Dib, C, true);
  std::vector<std::uint8_t> Out;
  Put16(Out, 0);
  Put16(Out, 1);  // icon
  Put16(Out, 1);  // one image
  Out.push_back(static_cast<std::uint8_t>(C.Width));
  Out.push_back(static_cast<std::uint8_t>(C.Height));
  Out.push_back(16);  // colours
  Out.push_back(0);
  Put16(Out, 1);
  Put16(Out, 4);
  Put32(Out, static_cast<std::uint32_t>(Dib.size()));
  Put32(Out, 6 + 16);
  Out.insert(Out.end(), Dib.begin(), Dib.end());
  return Out;
}

QImage ToImage(const TCanvas& C)
{
  QImage Img(C.Width, C.Height, QImage::Format_ARGB32);
  for (int Y = 0; Y < C.Height; ++Y)
    for (int X = 0; X < C.Width; ++X) {
      const TRgb& P = kPalette[C.At(X, Y)];
      Img.setPixel(X, Y, C.IsClear(X, Y) ? qRgba(0, 0, 0, 0) : qRgb(P.R, P.G, P.B));
    }
  return Img;
}

void Write(const std::filesystem::path& Path, const std::vector<std::uint8_t>& Bytes, std::size_t Expected)
{
  if (Expected && Bytes.size() != Expected)
    throw std::runtime_error(Path.string() + ": " + std::to_string(Bytes.size()) + " bytes instead of " +
                             std::to_string(Expected));
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
  if (!Out) throw std::runtime_error("cannot write " + Path.string());
}

// The application icon at SIZE pixels. Below 24 pixels the grid lines would cover the
// continents, so the small sizes get the tray icon's plain globe.
TCanvas ThemeIcon(int Size) { return Size >= 24 ? AppIcon(Size) : TrayIcon(Size); }

void SavePng(const TCanvas& C, const std::filesystem::path& Path)
{
  // Qt writes PNG without time stamps, so these files are as reproducible as the others.
  if (!ToImage(C).save(QString::fromStdString(Path.string()), "PNG"))
    throw std::runtime_error("cannot write " + Path.string());
}

}  // namespace

int main(int argc, char** argv)
{
  const bool IconMode = argc == 4 && std::string_view(argv[1]) == "--icon";
  if (argc != 2 && !IconMode) {
    std::fprintf(stderr, "usage: %s <output folder>\n       %s --icon SIZE FILE\n", argv[0], argv[0]);
    return 2;
  }
  try {
    if (IconMode) {
      const std::string SizeText = argv[2];
      const int Size =
          SizeText.size() <= 3 && !SizeText.empty() && SizeText.find_first_not_of("0123456789") == std::string::npos
              ? std::stoi(SizeText)
              : 0;
      if (Size < 8 || Size > 256)
        throw std::runtime_error("icon size must be 8 to 256 pixels, not \"" + SizeText + "\"");
      SavePng(ThemeIcon(Size), argv[3]);
      return 0;
    }
    for (std::size_t R = 0; R < kWorld.size(); ++R)
      if (kWorld[R].size() != 36)
        throw std::runtime_error("world map row " + std::to_string(R + 1) + " is not 36 cells");
    const std::filesystem::path Dir = argv[1];
    std::filesystem::create_directories(Dir);
    Write(Dir / "about.bmp", Bmp(AboutPicture()), 15370);
    Write(Dir / "tray.ico", Ico(TrayIcon()), 318);
    Write(Dir / "query.ico", Ico(QueryIcon()), 318);
    Write(Dir / "quorvex.ico", Ico(AppIcon(32)), 766);
    SavePng(AppIcon(64), Dir / "quorvex.png");
    for (const int Size : kTraySizes) SavePng(TrayIcon(Size), Dir / ("tray-" + std::to_string(Size) + ".png"));
  } catch (const std::exception& E) {
    std::fprintf(stderr, "quorvex-assets: %s\n", E.what());
    return 1;
  }
  return 0;
}
