#pragma once

#include <QCoro/QCoroTask>

namespace clipferry {

// Lets a started task run to its end on its own; its frame frees itself when done.
// QCoro::connect would add a context guard, but g++ 12 destroys the QPointer captured in
// that continuation twice and corrupts the heap. Our coroutines instead re-check a
// QPointer to their object after every suspension.
inline void runDetached(QCoro::Task<> task) {
    [[maybe_unused]] const QCoro::Task<> detached = std::move(task);
}

} // namespace clipferry
