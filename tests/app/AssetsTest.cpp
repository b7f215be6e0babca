// SPDX-License-Identifier: MIT
// The embedded pictures: exact sizes and the formats the program's layout asks for.
#include <QFile>
#include <QIcon>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "app/Main.h"
#include "tray/StatusNotifier.h"

namespace {

QByteArray Asset(const char* Name)
{
  LoadAssets();
  QFile F(QString(":/assets/") + Name);
  EXPECT_TRUE(F.open(QIODevice::ReadOnly)) << Name;
  return F.readAll();
}

std::uint32_t U16(const QByteArray& B, int At)
{
  return static_cast<std::uint8_t>(B[At]) | static_cast<std::uint8_t>(B[At + 1]) << 8;
}

std::uint32_t U32(const QByteArray& B, int At) { return U16(B, At) | U16(B, At + 2) << 16; }

TEST(AssetsTest, AboutPictureIsAnUncompressedSixteenColourBitmap)
{
  const QByteArray B = Asset("about.bmp");
  ASSERT_EQ(B.size(), 15370);
  EXPECT_EQ(B.left(2), "BM");
  EXPECT_EQ(U32(B, 2), 15370u);
  EXPECT_EQ(U32(B, 10), 14u + 40 + 16 * 4) << "pixels right after the 16-entry palette";
  EXPECT_EQ(U32(B, 14), 40u);
  EXPECT_EQ(U32(B, 18), 247u);
  EXPECT_EQ(U32(B, 22), 123u);
  EXPECT_EQ(U16(B, 26), 1u);
  EXPECT_EQ(U16(B, 28), 4u);
  EXPECT_EQ(U32(B, 30), 0u) << "BI_RGB";
  const QImage Img = QImage::fromData(B, "BMP");
  EXPECT_EQ(Img.size(), QSize(247, 123));
}

struct IconRow {
  const char* Name;
  int Size, Bytes;
};

class IconAssetTest : public ::testing::TestWithParam<IconRow> {};

TEST_P(IconAssetTest, IsOneSixteenColourImage)
{
  const IconRow R = GetParam();
  const QByteArray B = Asset(R.Name);
  ASSERT_EQ(B.size(), R.Bytes);
  EXPECT_EQ(U16(B, 0), 0u);
  EXPECT_EQ(U16(B, 2), 1u) << "icon, not cursor";
  EXPECT_EQ(U16(B, 4), 1u) << "one image";
  EXPECT_EQ(static_cast<std::uint8_t>(B[6]), R.Size);
  EXPECT_EQ(static_cast<std::uint8_t>(B[7]), R.Size);
  EXPECT_EQ(static_cast<std::uint8_t>(B[8]), 16u) << "colours";
  EXPECT_EQ(U32(B, 14), static_cast<std::uint32_t>(R.Bytes - 22));
  EXPECT_EQ(U32(B, 18), 22u);
  EXPECT_EQ(U32(B, 22), 40u);
  EXPECT_EQ(U32(B, 26), static_cast<std::uint32_t>(R.Size));
  EXPECT_EQ(U32(B, 30), static_cast<std::uint32_t>(2 * R.Size)) << "picture and mask";
  EXPECT_EQ(U16(B, 36), 4u);
  const QImage Img = QImage::fromData(B, "ICO");
  EXPECT_EQ(Img.size(), QSize(R.Size, R.Size));
  EXPECT_TRUE(Img.hasAlphaChannel()) << "the mask makes the corners clear";
}

INSTANTIATE_TEST_SUITE_P(Icons, IconAssetTest,
                         ::testing::Values(IconRow{"tray.ico", 16, 318}, IconRow{"query.ico", 16, 318},
                                           IconRow{"quorvex.ico", 32, 766}));

// Panels that show the icon larger than 16 pixels get the globe drawn at their size: the
// item's pixmaps are the drawn pictures (the generator's palette, no blend of it), one per size.
TEST(AssetsTest, TrayIconPixmapsAreDrawnAtEverySize)
{
  const TSniPixmaps Pixmaps = SniPixmaps(TrayIconImage());
  std::vector<int> Sizes;
  for (const TSniPixmap& P : Pixmaps) {
    Sizes.push_back(P.Width);
    ASSERT_EQ(P.Height, P.Width);
    const QImage Drawn =
        (P.Width == 16 ? QImage::fromData(Asset("tray.ico"), "ICO")
                       : QImage::fromData(Asset(("tray-" + std::to_string(P.Width) + ".png").c_str()), "PNG"))
            .convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(Drawn.size(), QSize(P.Width, P.Width));
    std::set<QRgb> Colours;
    for (int I = 0; I < P.Width * P.Height; ++I) {
      const auto* B = reinterpret_cast<const std::uint8_t*>(P.Bytes.constData()) + 4 * I;
      const QRgb Pixel = qRgba(B[1], B[2], B[3], B[0]);
      EXPECT_EQ(Pixel, Drawn.pixel(I % P.Width, I / P.Width)) << P.Width << " px, pixel " << I;
      Colours.insert(Pixel);
    }
    EXPECT_LE(Colours.size(), 17u) << P.Width << " px: 16 colours and clear";
  }
  EXPECT_EQ(Sizes, (std::vector<int>{16, 22, 24, 32, 48}));
}

TEST(AssetsTest, QueryWindowIconDiffersFromTheTrayIcon)
{
  EXPECT_NE(Asset("tray.ico"), Asset("query.ico"));
  EXPECT_EQ(QImage::fromData(Asset("quorvex.png"), "PNG").size(), QSize(64, 64));
}

}  // namespace
