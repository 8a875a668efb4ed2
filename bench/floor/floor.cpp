// A bare dialog of 16 columns of 3 buttons with a 100 ms timer: what any Qt 6
// Widgets program of Toggra's size costs. Writes "shown SECONDS" (monotonic
// clock) to stderr when its window is first exposed.
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QGridLayout>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <ctime>

namespace {

class ShownReporter : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* window = qobject_cast<QWindow*>(watched);
    if (event->type() == QEvent::Expose && window && window->isExposed() && !m_done) {
      m_done = true;
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      std::fprintf(stderr, "shown %lld.%09ld\n", static_cast<long long>(now.tv_sec), now.tv_nsec);
      std::fflush(stderr);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool m_done = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ShownReporter reporter;
  app.installEventFilter(&reporter);

  QDialog dialog;
  dialog.setWindowTitle(QStringLiteral("Floor"));
  auto* grid = new QGridLayout(&dialog);
  // Buttons of the size of Toggra's lamps, so that both windows are alike.
  for (int column = 0; column < 16; ++column)
    for (int row = 0; row < 3; ++row) {
      auto* button = new QPushButton(QString::number(column + 1), &dialog);
      button->setMinimumSize(78, 73);
      grid->addWidget(button, row, column);
    }

  long ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
  timer.start(100);

  dialog.show();
  return app.exec();
}
