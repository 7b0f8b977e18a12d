// Shows a window modal to its parent without a nested event loop: the menu command, key or
// accessible press that opened it returns at once, and a screen reader or test robot driving the
// program is not held until the window closes. The window deletes itself when closed; `done` runs
// once with it and its result (QDialog::Accepted or Rejected) just before.
#pragma once

#include <QDialog>
#include <QObject>
#include <utility>

namespace quellmarin::ui {

template <class Window, class Done> Window* OpenModal(Window* window, Done done) {
    window->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(window, &QDialog::finished, window,
                     [window, done = std::move(done)](int result) mutable { done(*window, result); });
    window->open();
    return window;
}

template <class Window> Window* OpenModal(Window* window) {
    return OpenModal(window, [](Window&, int) {});
}

} // namespace quellmarin::ui
