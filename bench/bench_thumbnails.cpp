// Pictures of many clips: cold (frame grab) against the ffmpeg command line, and warm
// (from the disk cache).
#include "ClipFactory.h"
#include "TempHome.h"
#include "thumbnails/ThumbnailProvider.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThreadPool>
#include <cstdio>

using namespace clipferry;

namespace {

double runAll(ThumbnailProvider& provider, const QStringList& paths, bool together, int& made) {
    QElapsedTimer timer;
    timer.start();
    made = 0;
    if (together) {
        std::vector<QCoro::Task<std::optional<QByteArray>>> tasks;
        for (const auto& path : paths)
            tasks.push_back(provider.thumbnail(QUrl::fromLocalFile(path), QSizeF(160, 90)));
        for (auto& task : tasks)
            made += QCoro::waitFor(std::move(task)).has_value();
    } else {
        for (const auto& path : paths)
            made += QCoro::waitFor(provider.thumbnail(QUrl::fromLocalFile(path), QSizeF(160, 90)))
                        .has_value();
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 50;
    TempHome home;
    ClipFactory clips;
    QStringList paths;
    const char* kinds[] = {"mp4", "mov", "mkv", "avi"};
    ClipFactory::Options options;
    options.size = QSize(1280, 720);
    options.seconds = 3.0;
    for (int i = 0; i < count; ++i) {
        const auto path = clips.video(QStringLiteral("c%1.%2").arg(i).arg(kinds[i % 4]), options);
        if (path.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(clips.lastError()));
            return 1;
        }
        paths.append(path);
    }

    QThreadPool pool;
    int made = 0;
    QTemporaryDir one, two;
    double coldSerial = 0, coldPool = 0, warm = 0;
    {
        ThumbnailProvider provider(one.path(), pool);
        coldSerial = runAll(provider, paths, false, made);
        provider.waitForCacheWrites();
        warm = runAll(provider, paths, false, made);
    }
    {
        ThumbnailProvider provider(two.path(), pool);
        coldPool = runAll(provider, paths, true, made);
    }

    QElapsedTimer timer;
    timer.start();
    QTemporaryDir out;
    for (int i = 0; i < paths.size(); ++i) {
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {"-nostdin", "-v", "error", "-y", "-ss", "1", "-i", paths[i], "-frames:v", "1",
                      "-vf", "scale=160:90:force_original_aspect_ratio=decrease",
                      out.filePath(QStringLiteral("%1.jpg").arg(i))});
        ffmpeg.waitForFinished();
    }
    const double cli = static_cast<double>(timer.nsecsElapsed()) / 1e6;

    std::printf("clips: %d at 1280x720 (%d pictures), pool of %d threads\n", count, made,
                pool.maxThreadCount());
    std::printf("cold, one after another: %8.1f ms, %6.2f ms per picture\n", coldSerial,
                coldSerial / count);
    std::printf("cold, all at once:       %8.1f ms, %6.2f ms per picture\n", coldPool,
                coldPool / count);
    std::printf("ffmpeg CLI per file:     %8.1f ms, %6.2f ms per picture\n", cli, cli / count);
    std::printf("warm (disk cache):       %8.1f ms, %6.3f ms per picture\n", warm, warm / count);
    return 0;
}
