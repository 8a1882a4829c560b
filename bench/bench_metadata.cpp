// Reading the metadata of many clips in-process against one ffprobe run per file.
#include "ClipFactory.h"
#include "workflow/LocalVideo.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>

using namespace clipferry;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 200;
    ClipFactory clips;
    QStringList paths;
    const char* kinds[] = {"mp4", "mov", "mkv", "avi"};
    ClipFactory::Options options;
    options.seconds = 1.0;
    for (int i = 0; i < count; ++i) {
        const auto path = clips.video(QStringLiteral("c%1.%2").arg(i).arg(kinds[i % 4]), options);
        if (path.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(clips.lastError()));
            return 1;
        }
        paths.append(path);
    }

    QElapsedTimer timer;
    timer.start();
    int known = 0;
    for (const auto& path : paths)
        known += probeVideoMetadata(path).resolution != QLatin1String("Unknown");
    const double inProcess = static_cast<double>(timer.nsecsElapsed()) / 1e6;

    timer.restart();
    for (const auto& path : paths) {
        QProcess ffprobe;
        ffprobe.start(QStringLiteral("ffprobe"),
                      {"-v", "error", "-select_streams", "v:0", "-show_entries",
                       "stream=width,height:format=duration", "-of", "json", path});
        ffprobe.waitForFinished();
    }
    const double external = static_cast<double>(timer.nsecsElapsed()) / 1e6;

    std::printf("clips: %d (%d with video)\n", count, known);
    std::printf("in-process: %8.1f ms total, %6.2f ms per clip\n", inProcess, inProcess / count);
    std::printf("ffprobe:    %8.1f ms total, %6.2f ms per clip\n", external, external / count);
    std::printf("speed-up:   %8.1fx\n", external / inProcess);
    return 0;
}
