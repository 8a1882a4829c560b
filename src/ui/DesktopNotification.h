#pragma once

#include <QString>

namespace clipferry {

// Shows a desktop notification through the freedesktop notification service on the
// session bus, without waiting for its answer; where there is no such service or no
// session bus, nothing happens.
void notifyDesktop(const QString& summary);

} // namespace clipferry
