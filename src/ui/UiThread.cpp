#include "ui/UiThread.h"

#include <QCoreApplication>

#include <chrono>
#include <thread>

namespace qv {

void WaitProcessingEvents(const std::function<bool()>& done) {
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace qv
