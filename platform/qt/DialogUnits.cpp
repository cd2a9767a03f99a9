#include "platform/qt/DialogUnits.h"

#include <QFontMetrics>
#include <QString>
#include <QStringList>

namespace vexlo::platform::qt {

namespace {

// MulDiv's rounding: a * b / c, rounded half away from zero.
int MulDivRounded(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

BaseUnits MeasureBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return BaseUnits{(width / 26 + 1) / 2, metrics.height()};
}

QRect ToPixels(const res::DialogRect& rect, BaseUnits units) {
  const int left = MulDivRounded(rect.x, units.cx, 4);
  const int top = MulDivRounded(rect.y, units.cy, 8);
  const int right = MulDivRounded(rect.x + rect.width, units.cx, 4);
  const int bottom = MulDivRounded(rect.y + rect.height, units.cy, 8);
  return QRect(left, top, right - left, bottom - top);
}

QFont DialogFont(const res::DialogTemplate& dialog, int logicalDpi) {
  QFont font;
  font.setFamilies(QStringList{
      QString::fromUtf8(dialog.fontFamily.data(), static_cast<qsizetype>(dialog.fontFamily.size())),
      QStringLiteral("Liberation Sans")});
  font.setPixelSize(MulDivRounded(dialog.fontPointSize, logicalDpi, 72));
  return font;
}

}  // namespace vexlo::platform::qt
