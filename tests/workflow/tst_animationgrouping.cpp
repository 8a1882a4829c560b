#include "workflow/AnimationGrouping.h"

#include <QTest>

using namespace clipferry;

namespace {

MuxAsset asset(std::optional<QString> passthrough, std::optional<QList<PlaybackID>> ids = {}) {
    return {.id = "asset-" + passthrough.value_or("none"),
            .playback_ids = std::move(ids),
            .passthrough = std::move(passthrough)};
}

LocalVideo local(const QString& fileName) {
    return LocalVideo{QUrl::fromLocalFile(QStringLiteral("/clips/") + fileName)};
}

CityMap cities() {
    return {{"PAR", {"Paris", "#0055A4", 5}}, {"LON", {"London", "#C8102E", 0}}};
}

// A data row of two texts, kept on one line.
void row(const char* tag, const QString& first, const QString& second) {
    QTest::newRow(tag) << first << second;
}

const QString eAcute = QStringLiteral("\u00C9");           // precomposed É
const QString eCombining = QStringLiteral("E\u0301");      // E + combining acute
const QString grinning = QString::fromUcs4(U"\U0001F600"); // beyond the BMP

} // namespace

class TestAnimationGrouping : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parsesNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("parts"); // element, animation, city, match, fileName
        const auto row = [](const char* tag, const QString& name, const QStringList& parts) {
            QTest::newRow(tag) << name << parts;
        };
        row("two parts", QStringLiteral("Opening_PAR"), {"Opening", "PAR", "", "", ""});
        row("extra parts dropped", QStringLiteral("a_b_c_d_e_f"), {"a", "b", "c", "d", "e"});
        row("empty piece kept", QStringLiteral("a__c"), {"a", "", "c", "", ""});
        row("empty text", QString(), {"", "", "", "", ""});
        row("blanks not trimmed", QStringLiteral(" E1 _ Op "), {" E1 ", " Op ", "", "", ""});
        row("no separator", QStringLiteral("intro"), {"intro", "", "", "", ""});
    }
    void parsesNames() {
        QFETCH(QString, name);
        QFETCH(QStringList, parts);
        const auto parsed = parseVideoName(name);
        QCOMPARE((QStringList{parsed.element, parsed.animation, parsed.city, parsed.match,
                              parsed.fileName}),
                 parts);
    }

    void displayTitles_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("title");
        row("last dot only", "a.b.mov", "a.b");
        row("no dot", "intro", "intro");
        row("empty", "", "");
        row("only an extension", ".mov", ".mov");
        row("trailing slash", "dir/x.mp4/", "x");
    }
    void displayTitles() {
        QFETCH(QString, fileName);
        QFETCH(QString, title);
        QCOMPARE(displayTitle(fileName), title);
    }

    void sortOrder_data() {
        QTest::addColumn<QString>("lower");
        QTest::addColumn<QString>("higher");
        row("B before a", "B", "a");
        row("not numeric", "10", "9");
        row("empty first", "", "A");
        // UTF-16 would put the surrogate pair of U+1F600 before U+FFFD.
        row("scalar values, not UTF-16 units", QStringLiteral("\uFFFD"), grinning);
        // NFC of E + U+0301 is U+00C9, which sorts before U+00CA; the raw form would
        // compare its 'E' against U+00CA and sort before it for the wrong reason, so
        // compare it with 'F' (U+0046), which it must follow.
        row("normalised before comparing", QStringLiteral("F"), eCombining);
    }
    void sortOrder() {
        QFETCH(QString, lower);
        QFETCH(QString, higher);
        QVERIFY(libraryKeyLess(lower, higher));
        QVERIFY(!libraryKeyLess(higher, lower));
    }

    void canonicallyEquivalentKeysAreOneKey() {
        const auto videos = QList{local("E1_Op_" + eAcute + "_M1_a.mov"),
                                  local("E1_Op_" + eCombining + "_M1_b.mov")};
        const auto byCity = groupByCity(videos);
        QCOMPARE(byCity.keys.size(), 1);
        QCOMPARE(visibleVideos(eCombining, QStringLiteral("Op"), byCity, QString()), videos);
    }

    // Rows: search text, then the cities, the animations of PAR and the videos of
    // PAR/Opening that stay visible.
    void search_data() {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("cities");
        QTest::addColumn<QStringList>("parAnimations");
        QTest::addColumn<int>("parOpeningVideos");
        QTest::newRow("inactive") << "" << QStringList{"", "LON", "PAR"}
                                  << QStringList{"Finale", "Opening"} << 2;
        QTest::newRow("code") << "par" << QStringList{"PAR"} << QStringList{"Finale", "Opening"}
                              << 2;
        // The table's name keeps PAR although none of its animations matches.
        QTest::newRow("city table name") << "paris" << QStringList{"PAR"} << QStringList{} << 0;
        QTest::newRow("blanks keep every video")
            << "  " << QStringList{"", "LON", "PAR"} << QStringList{"Finale", "Opening"} << 2;
        // The animation name does not contain " Opening", but the trimmed text is in
        // the videos' names.
        QTest::newRow("leading blank")
            << " Opening" << QStringList{"LON", "PAR"} << QStringList{"Opening"} << 2;
        QTest::newRow("case-insensitive part")
            << "m02" << QStringList{"PAR"} << QStringList{"Opening"} << 1;
        QTest::newRow("accents significant") << "cafe" << QStringList{} << QStringList{} << 0;
        // Searched in its composed form: E and a combining acute find the precomposed letter.
        QTest::newRow("accent matches")
            << "CAF" + eCombining << QStringList{"LON"} << QStringList{} << 0;
        QTest::newRow("playback id of nameless asset")
            << "pb-xyz" << QStringList{""} << QStringList{} << 0;
        QTest::newRow("asset id not searched")
            << "asset-none" << QStringList{} << QStringList{} << 0;
    }
    void search() {
        QFETCH(QString, search);
        QFETCH(QStringList, cities);
        QFETCH(QStringList, parAnimations);
        QFETCH(int, parOpeningVideos);
        const QList<MuxAsset> assets{
            asset("E1_Opening_PAR_M01_a.mov"), asset("E1_Finale_PAR_M01_b.mov"),
            asset("E2_Opening_PAR_M02_c.mov"), asset("E1_Opening_LON_M01_caf\u00E9.mov"),
            asset(std::nullopt, QList<PlaybackID>{{"pb-xyz"}})};
        const auto byCity = groupByCity(assets);
        QCOMPARE(visibleCities(byCity, ::cities(), search), cities);
        if (cities.contains(QStringLiteral("PAR")))
            QCOMPARE(visibleAnimations("PAR", byCity, search), parAnimations);
        QCOMPARE(visibleVideos("PAR", "Opening", byCity, search).size(), parOpeningVideos);
    }

    // An asset's name keeps its extension; a local clip's loses it, also to the search.
    void namesAndTheirExtensions() {
        QCOMPARE(nameText(asset("E1_Opening_PAR_M03_intro.mov")), "E1_Opening_PAR_M03_intro.mov");
        QCOMPARE(nameText(asset(std::nullopt)), QString());
        const auto byCity = groupByCity(QList{local("E1_Opening_PAR_M03_intro.mov")});
        for (const QString search : {"intro", "  ", ".mov"})
            QCOMPARE(visibleVideos("PAR", "Opening", byCity, search).size(),
                     search == ".mov" ? 0 : 1);
        QVERIFY(isSearchActive(QStringLiteral(" ")) && !isSearchActive(QString()));
    }

    // The single questions the lists are made of; a code with no clips still matches by its
    // code or its table entry.
    void searchPredicates() {
        const auto byCity = groupByCity(QList{local("E1_Opening_PAR_M03_intro.mov")});
        QVERIFY(animationMatchesSearch("PAR", "Opening", byCity, "penin"));
        QVERIFY(!animationMatchesSearch("PAR", "Opening", byCity, "Finale"));
        QVERIFY(cityMatchesSearch("PAR", byCity, cities(), "Pari"));
        QVERIFY(!cityMatchesSearch("PAR", byCity, cities(), "Lond"));
        QVERIFY(cityMatchesSearch("LON", byCity, cities(), "Lond"));
        QVERIFY(textContains(QStringLiteral("Caf") + eCombining, QStringLiteral("caf\u00E9")));
        QVERIFY(!textContains(QStringLiteral("abc"), QString()));
    }

    // A grouping without its per-city animations (made by hand) still answers, never reading
    // past the end.
    void groupingWithoutPrecomputedAnimations() {
        auto byCity =
            groupByCity(QList{local("E1_Opening_PAR_M01_a.mov"), local("E1_Finale_PAR_M01_b.mov")});
        byCity.byAnimation.clear();
        QCOMPARE(visibleAnimations("PAR", byCity, QString()), (QStringList{"Finale", "Opening"}));
    }

    void progress_data() {
        QTest::addColumn<QString>("city");
        QTest::addColumn<int>("clips");
        QTest::addColumn<bool>("known");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<QString>("text");
        QTest::newRow("short of clips") << "PAR" << 2 << true << false << "2/5";
        QTest::newRow("exactly enough") << "PAR" << 5 << true << true << "";
        QTest::newRow("more than enough") << "PAR" << 7 << true << true << "";
        QTest::newRow("none required") << "LON" << 1 << true << true << "";
        QTest::newRow("missing city") << "NYC" << 1 << false << false << "";
    }
    void progress() {
        QFETCH(QString, city);
        QFETCH(int, clips);
        QFETCH(bool, known);
        QFETCH(bool, complete);
        QFETCH(QString, text);
        QList<LocalVideo> videos;
        for (int i = 0; i < clips; ++i)
            videos.append(local(QStringLiteral("E%1_Opening_%2_M01_x.mov").arg(i).arg(city)));
        // Another animation in the same city must not count.
        videos.append(local(QStringLiteral("E9_Finale_%1_M01_x.mov").arg(city)));
        const auto byCity = groupByCity(videos);
        const auto progress = animationProgress(city, QStringLiteral("Opening"), byCity, cities());
        QCOMPARE(progress.count, clips);
        QCOMPARE(progress.cityKnown, known);
        QCOMPARE(isComplete(progress), complete);
        QCOMPARE(progressText(progress), text);
    }
};

QTEST_GUILESS_MAIN(TestAnimationGrouping)
#include "tst_animationgrouping.moc"
