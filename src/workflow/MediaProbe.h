#pragma once

#include "LocalVideo.h"

namespace clipferry {

// Reads a file's picture size, running time and container with libavformat, in this
// process. Blocks for the length of a header read: call it off the user-interface
// thread. Never fails: what cannot be read gets the texts for "cannot be read".
[[nodiscard]] LocalVideo::VideoMetadata probeVideoMetadata(const QString& path);

// "1920×1080": each side truncated toward zero.
[[nodiscard]] QString resolutionText(double width, double height);
// "m:ss" with unbounded minutes, truncating; "Unknown" for a time that is negative, not a
// number or too large to count.
[[nodiscard]] QString durationText(double seconds);
// The file name's extension upper-cased, "Unknown" without one.
[[nodiscard]] QString fileFormatText(const QString& fileName);
// The same extension, empty without one: what a row shows before the file is read.
[[nodiscard]] QString extensionText(const QString& fileName);

} // namespace clipferry
