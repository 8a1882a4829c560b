#include "workflow/SheetCSV.h"

#include <QTest>

using namespace clipferry;

Q_DECLARE_METATYPE(clipferry::MuxAsset)

namespace {

MuxAsset asset(std::optional<QString> passthrough, std::optional<QStringList> playbackIDs) {
    MuxAsset result;
    result.id = QStringLiteral("id");
    result.status = QStringLiteral("ready");
    result.passthrough = std::move(passthrough);
    if (playbackIDs) {
        QList<PlaybackID> ids;
        for (const auto& id : *playbackIDs)
            ids.append(PlaybackID{id});
        result.playback_ids = ids;
    }
    return result;
}

const QUrl stream(QStringLiteral("https://stream.example"));

} // namespace

class TestSheetCSV : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lines_data() {
        QTest::addColumn<MuxAsset>("asset");
        QTest::addColumn<QString>("line");
        QTest::newRow("plain") << asset(QStringLiteral("E1_Op_PAR_M1_a.mov"), QStringList{"pb1"})
                               << "1,E1_Op_PAR_M1_a.mov,https://stream.example/pb1.m3u8\n";
        QTest::newRow("no passthrough, no ids")
            << asset(std::nullopt, std::nullopt) << "1,(No Title),\n";
        QTest::newRow("empty passthrough") << asset(QString(""), QStringList{}) << "1,,\n";
        QTest::newRow("first id empty")
            << asset(QStringLiteral("a.mov"), QStringList{"", "pb2"}) << "1,a.mov,\n";
        QTest::newRow("formula-looking stays plain")
            << asset(QStringLiteral("=cmd"), std::nullopt) << "1,=cmd,\n";
    }

    void lines() {
        QFETCH(MuxAsset, asset);
        QFETCH(QString, line);
        QCOMPARE(sheetCSV({asset}, stream), QStringLiteral("index,filename,playback_url\n") + line);
    }

    void emptyLibraryIsTheHeaderAlone() {
        QCOMPARE(sheetCSV({}, stream), QStringLiteral("index,filename,playback_url\n"));
    }

    void indexesCountFromOneInListOrder() {
        const QString csv = sheetCSV({asset(QStringLiteral("b"), std::nullopt),
                                      asset(QStringLiteral("a"), QStringList{"p"})},
                                     QUrl(QStringLiteral("https://stream.example/")));
        QCOMPARE(csv, QStringLiteral("index,filename,playback_url\n1,b,\n"
                                     "2,a,https://stream.example/p.m3u8\n"));
    }
};

QTEST_GUILESS_MAIN(TestSheetCSV)
#include "tst_sheet_csv.moc"
