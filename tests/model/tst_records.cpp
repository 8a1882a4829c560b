#include "UploadItem.h"

#include <QTest>

using namespace clipferry;

class TestRecords : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void statusLabelsAndProgress_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("label");
        QTest::addColumn<double>("progress");
        QTest::newRow("pending") << int(UploadStatus::pending) << "Pending" << 0.0;
        QTest::newRow("creatingUpload")
            << int(UploadStatus::creatingUpload) << "Creating Upload" << 0.1;
        QTest::newRow("uploading") << int(UploadStatus::uploading) << "Uploading" << 0.3;
        QTest::newRow("waitingAsset")
            << int(UploadStatus::waitingAsset) << "Waiting for Asset" << 0.5;
        QTest::newRow("processingAsset")
            << int(UploadStatus::processingAsset) << "Processing" << 0.7;
        QTest::newRow("done") << int(UploadStatus::done) << "Done" << 1.0;
        QTest::newRow("failed") << int(UploadStatus::failed) << "Failed" << 1.0;
        QTest::newRow("cancelled") << int(UploadStatus::cancelled) << "Cancelled" << 1.0;
    }

    void statusLabelsAndProgress() {
        QFETCH(int, status);
        QFETCH(QString, label);
        QFETCH(double, progress);
        const auto value = static_cast<UploadStatus>(status);
        QCOMPARE(uploadStatusLabel(value), label);
        QCOMPARE(uploadStatusProgress(value), progress);
        QCOMPARE(uploadStatusFromLabel(label), std::optional(value));
    }

    void statusFromOtherTextIsNothing_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("lower case") << "processing";
        QTest::newRow("case name") << "processingAsset";
        QTest::newRow("empty") << "";
        QTest::newRow("lower-case a") << "Waiting for asset";
        QTest::newRow("trailing blank") << "Done ";
    }

    void statusFromOtherTextIsNothing() {
        QFETCH(QString, text);
        QCOMPARE(uploadStatusFromLabel(text), std::nullopt);
    }

    void newItemsArePendingWithDistinctIds() {
        const auto url = QUrl::fromLocalFile(QStringLiteral("/clips/clip.final.mp4"));
        const auto first = UploadItem::make(url);
        const auto second = UploadItem::make(url);
        QVERIFY(first.id != second.id);
        QVERIFY(!first.id.isNull());
        QCOMPARE(first.title, QStringLiteral("clip.final"));
        QCOMPARE(first.status, UploadStatus::pending);
        QCOMPARE(first.progress, 0.0);
        QVERIFY(!first.playbackURL && !first.error);
    }

    void titleDropsOnlyTheLastExtension_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::newRow("two dots") << "a.b.mov"
                                  << "a.b";
        QTest::newRow("no dot") << "clip"
                                << "clip";
        QTest::newRow("only extension") << ".mov"
                                        << "";
    }

    void titleDropsOnlyTheLastExtension() {
        QFETCH(QString, name);
        QFETCH(QString, title);
        QCOMPARE(fileNameWithoutExtension(name), title);
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
