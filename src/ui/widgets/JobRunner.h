// What a window needs of the program to run exchanges with the selected processor: whether it is
// connected, its address, the protocol's waits, its editing context, and a way to run a job on the
// link worker between two cycles. The application object implements it; windows never see more.
#pragma once

#include "edit/EditContext.h"
#include "link/SerialPort.h"
#include "link/Timings.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>
#include <string>

namespace quellmarin::ui {

class JobRunner {
  public:
    virtual ~JobRunner() = default;

    virtual bool Connected() const = 0;
    virtual std::string Address() const = 0;
    virtual const LinkTimings& Timings() const = 0;
    virtual EditContext& Context() = 0;

    // Runs an exchange on the link worker between two cycles. `progress` (marks 1, 2, ...) and `done`
    // are called on the user-interface thread, as long as `receiver` lives; `done` gets nothing when
    // there was no connection to run it on.
    template <class R>
    void RunJob(std::function<R(CSerialPort&, const std::function<void(int)>& progress)> work,
                QObject* receiver, std::function<void(int)> progress,
                std::function<void(std::optional<R>)> done) {
        QPointer<QObject> guard(receiver);
        QObject* home = JobHome();
        PostJob([home, work, guard, progress, done](CSerialPort* port) {
            std::optional<R> result;
            if (port) {
                const std::function<void(int)> report = [home, guard, progress](int mark) {
                    QMetaObject::invokeMethod(
                        home,
                        [guard, progress, mark] {
                            if (guard && progress) progress(mark);
                        },
                        Qt::QueuedConnection);
                };
                result = work(*port, report);
            }
            QMetaObject::invokeMethod(
                home,
                [guard, done, result] {
                    if (guard && done) done(result);
                },
                Qt::QueuedConnection);
        });
    }

  protected:
    // Runs `job` on the worker's thread with its port, or with nothing when there is no connection.
    virtual void PostJob(std::function<void(CSerialPort*)> job) = 0;
    // An object living on the user-interface thread for as long as jobs can finish.
    virtual QObject* JobHome() = 0;
};

} // namespace quellmarin::ui
