#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace ph {
namespace {

using namespace Qt::StringLiterals;

// The icon the window shows and the desktop's menu lists: drawn from its SVG at any size.
TEST(WindowIconTest, TheProgramsIconRendersAtTheSizesDesktopsAskFor) {
  const QIcon icon(u":/icons/proxyharvest.svg"_s);
  for (const int size : {16, 48, 256}) {
    const QImage image = icon.pixmap(size, size).toImage();
    ASSERT_FALSE(image.isNull()) << size;
    EXPECT_EQ(image.width(), size);
    // Drawn, not blank: the corner is transparent, the middle is not.
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;
    EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << size;
  }
}

}  // namespace
}  // namespace ph
