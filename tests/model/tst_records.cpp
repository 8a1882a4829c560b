#include "model/UploadItem.h"

#include <QTest>

using namespace clipferry;

class TestRecords : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void newItemsArePendingWithDistinctIds_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::newRow("two dots") << "clip.final.mp4"
                                  << "clip.final";
        QTest::newRow("no dot") << "clip"
                                << "clip";
        QTest::newRow("only an extension") << ".mov"
                                           << ".mov";
    }
    void newItemsArePendingWithDistinctIds() {
        QFETCH(QString, name);
        QFETCH(QString, title);
        const auto url = QUrl::fromLocalFile(QStringLiteral("/clips/") + name);
        const auto first = UploadItem::make(url);
        const auto second = UploadItem::make(url);
        QVERIFY(first.id != second.id && !first.id.isNull());
        QCOMPARE(first.title, title);
        QCOMPARE(first.status, UploadStatus::pending);
        QCOMPARE(first.progress, 0.0);
        QVERIFY(!first.playbackURL && !first.error);
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
