// The event queue of the Qt front-ends: work posted from any thread (the MQTT
// network thread) runs on the thread that owns `context`, in order.
#pragma once

#include <QObject>
#include <functional>

#include "app/ColumnObserver.h"

namespace toggra::frontend {

class CQtEventQueue : public IEventQueue {
 public:
  explicit CQtEventQueue(QObject* context) : m_context(context) {}
  void Post(std::function<void()> work) override {
    QMetaObject::invokeMethod(m_context, std::move(work), Qt::QueuedConnection);
  }

 private:
  QObject* m_context;
};

}  // namespace toggra::frontend
