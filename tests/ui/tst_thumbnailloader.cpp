#include "StandInService.h"
#include "thumbnails/ThumbnailSources.h"
#include "ui/library/ThumbnailLoader.h"

#include <QBuffer>
#include <QCoro/QCoroSignal>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QTemporaryDir>
#include <QTest>

using namespace clipferry;

namespace {

// Holds every fetch until the test releases it, and counts how many run at once.
class Gate : public QObject {
    Q_OBJECT
public:
    int running = 0;
    int mostRunning = 0;
    QStringList started;
    std::function<std::optional<QImage>(const QString&)> answer = [](const QString&) {
        QImage image(160, 90, QImage::Format_RGB32);
        image.fill(Qt::red);
        return std::optional<QImage>(image);
    };

    ThumbnailLoader::Fetch fetch() { return std::bind_front(&Gate::wait, this); }

Q_SIGNALS:
    void release();

private:
    QCoro::Task<std::optional<QImage>> wait(QString key) {
        started.append(key);
        mostRunning = std::max(mostRunning, ++running);
        co_await qCoro(this, &Gate::release);
        --running;
        co_return answer(key);
    }
};

const QStringList tenKeys{"k0", "k1", "k2", "k3", "k4", "k5", "k6", "k7", "k8", "k9"};

} // namespace

class TestThumbnailLoader : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Six at once, the last painted first; queued rows scrolled away are not fetched.
    void atMostSixInFlightAndGoneRowsDropped() {
        Gate gate;
        ThumbnailLoader loader(gate.fetch(), QSize(80, 45), 1.0, 6);
        loader.beginFullPaint();
        for (const QString& key : tenKeys)
            QCOMPARE(loader.lookup(key).state, ThumbnailLoader::State::Loading);
        loader.endFullPaint();
        QTRY_COMPARE(loader.inFlightCount(), 6);
        QCOMPARE(loader.queuedCount(), 4);
        QCOMPARE(gate.started.first(), "k9");
        // The user scrolled: only k0 is still on screen among the queued keys.
        loader.beginFullPaint();
        (void)loader.lookup("k0");
        loader.endFullPaint();
        QCOMPARE(loader.queuedCount(), 1);

        Q_EMIT gate.release();
        QTRY_COMPARE(gate.started.size(), 7);
        QCOMPARE(gate.started.last(), "k0");
        Q_EMIT gate.release();
        QTRY_COMPARE(loader.inFlightCount(), 0);
        QCOMPARE(gate.mostRunning, 6);
        QCOMPARE(loader.lookup("k0").state, ThumbnailLoader::State::Ready);
        QCOMPARE(loader.lookup("k9").state, ThumbnailLoader::State::Ready);
    }

    void statesAndFill() {
        Gate gate;
        gate.answer = [](const QString& key) -> std::optional<QImage> {
            if (key == "broken")
                return std::nullopt;
            QImage wide(400, 50, QImage::Format_RGB32); // much wider than the box
            wide.fill(Qt::green);
            return wide;
        };
        ThumbnailLoader loader(gate.fetch(), QSize(80, 45), 2.0, 6);
        (void)loader.lookup("broken");
        (void)loader.lookup("wide");
        QTRY_COMPARE(loader.inFlightCount(), 2);
        Q_EMIT gate.release();
        QTRY_COMPARE(loader.inFlightCount(), 0);

        QCOMPARE(loader.lookup("broken").state, ThumbnailLoader::State::Failed);
        const auto wide = loader.lookup("wide");
        QCOMPARE(wide.state, ThumbnailLoader::State::Ready);
        // Filled, not fitted: the box is covered and the sides are cut off.
        QCOMPARE(wide.pixmap.size(), QSize(160, 90));
        QCOMPARE(wide.pixmap.deviceIndependentSize(), QSizeF(80, 45));
        QCOMPARE(wide.pixmap.toImage().pixelColor(0, 89), QColor(Qt::green));

        // Failures are retried once forgotten (a new listing).
        loader.forgetFailures();
        QCOMPARE(loader.lookup("broken").state, ThumbnailLoader::State::Loading);
        QTRY_COMPARE(loader.inFlightCount(), 1);
        Q_EMIT gate.release();
        QTRY_COMPARE(loader.inFlightCount(), 0);
    }

    void remoteStillsComeFromTheDiskCacheNextTime() {
        QImage image(160, 90, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        QVERIFY(image.save(&buffer, "JPEG"));
        // The stand-in answers a route its fault names with the still; which route is no matter.
        StandInService service;
        const QString path = "/video/v1/assets/still";
        QVERIFY(service.addFault({.method = "GET", .path = path, .status = 200, .body = jpeg}));
        const QString url = service.baseUrl().toString() + path + "?width=160&height=90";
        QTemporaryDir folder;
        QNetworkAccessManager network;
        // Each pass a new loader over the same disk cache; a closed port fails uncached.
        const QString closed = "http://127.0.0.1:1/x.jpg";
        for (const auto& [still, state] : {std::pair{url, ThumbnailLoader::State::Ready},
                                           {url, ThumbnailLoader::State::Ready},
                                           {closed, ThumbnailLoader::State::Failed}}) {
            QNetworkDiskCache cache;
            cache.setCacheDirectory(folder.path());
            ThumbnailLoader loader(remoteThumbnailFetch(network, &cache), QSize(80, 45), 1.0);
            (void)loader.lookup(still);
            QTRY_COMPARE(loader.lookup(still).state, state);
            QCOMPARE(cache.metaData(QUrl(still)).isValid(), state == ThumbnailLoader::State::Ready);
        }
        QCOMPARE(service.countRequests("GET", path), 1); // the first loader's only
    }
};

QTEST_MAIN(TestThumbnailLoader)
#include "tst_thumbnailloader.moc"
