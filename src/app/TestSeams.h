#pragma once

#include "workflow/WatchDelivery.h"
#include "workflow/Workspace.h"

#include <QString>
#include <QUrl>

namespace clipferry {

// Test builds only: the environment points the program, window or command line, at the
// test's loopback stand-in (with the waits cut as the in-process tests cut them) and at a
// secret store service of its own. What the environment does not name is left as it is; a
// release build reads nothing. `imageBase`, when given, follows the stand-in too: it serves
// no stills, so a test's window asks no real image host for them.
void applyTestSeams(Workspace::Options& options, QString& storeService, QUrl* imageBase = nullptr);

// Test builds only: CLIPFERRY_TEST_WATCH_MS="settle,poll,renew,stale" gives a watcher
// millisecond waits, so a test need not wait whole seconds for a clip to settle.
void applyWatchTestSeams(WatchDelivery::Options& options);

} // namespace clipferry
