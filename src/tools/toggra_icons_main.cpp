// toggra-icons: writes the application icon of the installed program from the
// very drawing the window and the tray use, and checks that another picture of
// it (the scalable one, as a desktop renders it) shows the same lamp.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gui/LampIcons.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Two renderers never agree on every anti-aliased edge pixel, so a picture
// passes when its average difference is small and only edge pixels differ
// much; a wrong colour or a shifted face fails both limits by far.
constexpr double kMaxMeanDifference = 3.0;
constexpr double kMaxShareOfFarPixels = 0.03;
constexpr int kFarDifference = 48;

constexpr char kUsage[] =
    "usage: toggra-icons write DIR NAME SIZE...   write DIR/SIZExSIZE/apps/NAME.png for\n"
    "                                             every SIZE\n"
    "       toggra-icons compare FILE             compare the square picture FILE with\n"
    "                                             the lamp drawn at its size\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

int Write(const QString& dir, const QString& name, char** sizes, int count) {
  for (int k = 0; k < count; ++k) {
    char* end = nullptr;
    const long size = std::strtol(sizes[k], &end, 10);
    if (*end != '\0' || size <= 0 || size > 1024) return Usage();
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(dir).arg(size);
    const QString file = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    const QPixmap lamp = toggra::gui::DrawLamp(toggra::kIconApp, static_cast<int>(size), 1.0);
    if (!QDir().mkpath(folder) || lamp.isNull() || !lamp.save(file, "PNG")) {
      std::fprintf(stderr, "toggra-icons: cannot write %s\n", qPrintable(file));
      return kExitFailed;
    }
  }
  return kExitOk;
}

// Premultiplied, so that the colour of an almost transparent edge pixel counts
// as little as it shows.
QImage Comparable(const QImage& image) {
  return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

int Compare(const QString& file) {
  const QImage picture(file);
  if (picture.isNull() || picture.width() != picture.height()) {
    std::fprintf(stderr, "toggra-icons: %s is no square picture\n", qPrintable(file));
    return kExitFailed;
  }
  const QImage a = Comparable(picture);
  const QImage b = Comparable(toggra::gui::DrawLamp(toggra::kIconApp, a.width(), 1.0).toImage());
  double sum = 0;
  long far = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y);
      const QRgb q = b.pixel(x, y);
      const int d[] = {qAbs(qRed(p) - qRed(q)), qAbs(qGreen(p) - qGreen(q)),
                       qAbs(qBlue(p) - qBlue(q)), qAbs(qAlpha(p) - qAlpha(q))};
      int largest = 0;
      for (int v : d) {
        sum += v;
        largest = qMax(largest, v);
      }
      if (largest > kFarDifference) ++far;
    }
  }
  const double pixels = static_cast<double>(a.width()) * a.height();
  const double mean = sum / (4 * pixels);
  const double farShare = static_cast<double>(far) / pixels;
  std::printf("%s: %dx%d, mean difference %.2f, %.1f %% of the pixels far off\n",
              qPrintable(file), a.width(), a.height(), mean, 100 * farShare);
  return mean <= kMaxMeanDifference && farShare <= kMaxShareOfFarPixels ? kExitOk : kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
  // Pictures only, never a window: no display is needed.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc >= 5 && std::string(argv[1]) == "write")
    return Write(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), argv + 4,
                 argc - 4);
  if (argc == 3 && std::string(argv[1]) == "compare") return Compare(QString::fromLocal8Bit(argv[2]));
  return Usage();
}
