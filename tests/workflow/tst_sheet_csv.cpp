#include "workflow/SheetCSV.h"

#include <QTest>

using namespace clipferry;

namespace {

using IDs = QList<PlaybackID>;

MuxAsset asset(std::optional<QString> passthrough, std::optional<IDs> ids = std::nullopt) {
    return {.playback_ids = std::move(ids), .passthrough = std::move(passthrough)};
}

} // namespace

class TestSheetCSV : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lines_data() {
        QTest::addColumn<QList<MuxAsset>>("assets");
        QTest::addColumn<QString>("lines"); // after the header
        QTest::newRow("empty library") << QList<MuxAsset>{} << "";
        QTest::newRow("plain") << QList{asset("E1_Op_PAR_M1_a.mov", IDs{{"pb1"}})}
                               << "1,E1_Op_PAR_M1_a.mov,https://stream.example/pb1.m3u8\n";
        QTest::newRow("no passthrough, no ids") << QList{asset(std::nullopt)} << "1,(No Title),\n";
        QTest::newRow("empty passthrough") << QList{asset(QString(""), IDs{})} << "1,,\n";
        QTest::newRow("first id empty")
            << QList{asset("a.mov", IDs{{""}, {"pb2"}})} << "1,a.mov,\n";
        QTest::newRow("formula-looking stays plain") << QList{asset("=cmd")} << "1,=cmd,\n";
        QTest::newRow("indexes from one in list order")
            << QList{asset("b"), asset("a", IDs{{"p"}})}
            << "1,b,\n2,a,https://stream.example/p.m3u8\n";
    }

    void lines() {
        QFETCH(QList<MuxAsset>, assets);
        QFETCH(QString, lines);
        // With or without a closing slash, the base and the playback ID join with one.
        for (const auto* base : {"https://stream.example", "https://stream.example/"})
            QCOMPARE(sheetCSV(assets, QUrl(QString::fromLatin1(base))),
                     QStringLiteral("index,filename,playback_url\n") + lines);
    }
};

QTEST_GUILESS_MAIN(TestSheetCSV)
#include "tst_sheet_csv.moc"
