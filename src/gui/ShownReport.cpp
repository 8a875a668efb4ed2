#include "gui/ShownReport.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace toggra::gui {

namespace {

class CShownReporter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose) {
      auto* window = qobject_cast<QWindow*>(watched);
      if (window && window->isExposed()) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        std::fprintf(stderr, "shown %lld.%09ld\n", static_cast<long long>(now.tv_sec),
                     now.tv_nsec);
        std::fflush(stderr);
        deleteLater();  // once only
        QCoreApplication::instance()->removeEventFilter(this);
      }
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

void ReportFirstShownWindow(QCoreApplication& app) {
  const char* flag = std::getenv("TOGGRA_REPORT_SHOWN");
  if (!flag || std::strcmp(flag, "1") != 0) return;
  app.installEventFilter(new CShownReporter(&app));
}

}  // namespace toggra::gui
