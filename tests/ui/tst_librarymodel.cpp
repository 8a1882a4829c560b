#include "TempHome.h"
#include "TestFiles.h"
#include "ViewModelFixture.h"
#include "ui/library/LibraryModel.h"
#include "workflow/LibrarySync.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace clipferry;

namespace {

QString videoLabel(const QModelIndex& index) {
    const auto& entry = std::get<VideoEntry>(LibraryModel::nodeAt(index)->payload);
    QString label = std::holds_alternative<MuxAsset>(entry.video)
                        ? std::get<MuxAsset>(entry.video).id
                        : std::get<LocalVideo>(entry.video).url.fileName();
    if (index.data(LibraryModel::IsNewRole).toBool())
        label += QLatin1Char('*');
    if (const auto state = Delivery(index.data(LibraryModel::DeliveryRole).toInt());
        state != Delivery::unknown)
        label += QLatin1Char('=') + deliveryLabel(state);
    return label;
}

// "City{Animation progress[video*, …]; …} …": the whole tree as one line.
QString dump(const QAbstractItemModel& model) {
    QStringList cities;
    for (int c = 0; c < model.rowCount(); ++c) {
        const QModelIndex city = model.index(c, 0);
        QStringList groups;
        for (int a = 0; a < model.rowCount(city); ++a) {
            const QModelIndex group = model.index(a, 0, city);
            QString text = group.data(Qt::DisplayRole).toString();
            const QString progress = group.data(LibraryModel::ProgressTextRole).toString();
            if (!progress.isEmpty())
                text += QLatin1Char(' ') + progress;
            if (const int delivered = group.data(LibraryModel::DeliveryRole).toInt();
                delivered >= 0)
                text += QStringLiteral(" \u00B7%1").arg(delivered);
            QStringList videos;
            for (int v = 0; v < model.rowCount(group); ++v)
                videos.append(videoLabel(model.index(v, 0, group)));
            groups.append(text + QLatin1Char('[') + videos.join(QLatin1Char(',')) +
                          QLatin1Char(']'));
        }
        cities.append(city.data(Qt::DisplayRole).toString() + QLatin1Char('{') +
                      groups.join(QStringLiteral("; ")) + QLatin1Char('}'));
    }
    return cities.join(QLatin1Char(' '));
}

// Assets a1, a2, … with the given passthroughs (a null string: no passthrough).
QList<MuxAsset> assetsNamed(const QStringList& passthroughs) {
    QList<MuxAsset> assets;
    for (qsizetype i = 0; i < passthroughs.size(); ++i) {
        const QString& name = passthroughs[i];
        assets.append(
            ViewModelFixture::asset(QStringLiteral("a") + QString::number(i + 1),
                                    name.isNull() ? std::nullopt : std::optional<QString>(name)));
    }
    return assets;
}

const QStringList mixedLibrary{
    QStringLiteral("E1_Opening_lon_M1_a.mov"),
    QStringLiteral("E1_Opening_PAR_M1_b.mov"),
    QStringLiteral("E1_Opening_LON_M1_c.mov"),
    QStringLiteral("Opening_PAR"),
    QString(),
    QStringLiteral("E2_Opening_PAR_M2_d.mov"),
    QStringLiteral("E1_Goal_PAR_M2_e.mov"),
    QStringLiteral("E1_Goal_ZER_M1_f.mov"),
    QStringLiteral("E1_Goal_LON_M3_g.mov"),
    QStringLiteral("E2_Goal_LON_M3_h.mov"),
};

// A model over a view model with the test cities, in a home of its own.
struct Setup {
    Setup() { fixture.viewModel->setCityMap(ViewModelFixture::cities()); }
    UploadViewModel& vm() { return *fixture.viewModel; }

    TempHome home;
    ViewModelFixture fixture;
    LibraryModel model{*fixture.viewModel};
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
};

} // namespace

class TestLibraryModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rowsOrderProgressAndMarkers_data();
    void rowsOrderProgressAndMarkers();
    void videoCells();
    void searchChangeSetsAndCitiesUpdateTheTree();
    void selectionRepaintsOnlyItsRows();
    void providerSwitchShowsLocalFiles();
    void deliveryStatesFilterAndSearch_data();
    void deliveryStatesFilterAndSearch();
};

void TestLibraryModel::rowsOrderProgressAndMarkers_data() {
    QTest::addColumn<QStringList>("passthroughs");
    QTest::addColumn<QStringList>("changed");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty library") << QStringList() << QStringList() << QString() << QString();
    QTest::newRow("cities by code: empty, LON, PAR, lon; unknown cities show no progress")
        << mixedLibrary << QStringList{QStringLiteral("a2"), QStringLiteral("a5")} << QString()
        << QStringLiteral("{[a5*]; PAR[a4]} London{Goal complete[a9,a10]; Opening 1/2[a3]} "
                          "Paris{Goal 1/5[a7]; Opening 2/5[a2*,a6]} Zero{Goal complete[a8]} "
                          "lon{Opening[a1]}");
    QTest::newRow("videos keep the list's order")
        << QStringList{QStringLiteral("E1_Opening_PAR_M9_z.mov"),
                       QStringLiteral("E1_Opening_PAR_M1_a.mov")}
        << QStringList() << QString() << QStringLiteral("Paris{Opening 2/5[a1,a2]}");
    QTest::newRow("search narrows videos, progress still counts all")
        << mixedLibrary << QStringList() << QStringLiteral("M2")
        << QStringLiteral("Paris{Goal 1/5[a7]; Opening 2/5[a6]}");
    QTest::newRow("search by animation")
        << mixedLibrary << QStringList() << QStringLiteral("goal")
        << QStringLiteral("London{Goal complete[a9,a10]} Paris{Goal 1/5[a7]} "
                          "Zero{Goal complete[a8]}");
    QTest::newRow("search by the first playback id")
        << mixedLibrary << QStringList() << QStringLiteral("pb-a5") << QStringLiteral("{[a5]}");
    QTest::newRow("a city's table name shows the city alone")
        << mixedLibrary << QStringList() << QStringLiteral("London") << QStringLiteral("London{}");
}

void TestLibraryModel::rowsOrderProgressAndMarkers() {
    QFETCH(QStringList, passthroughs);
    QFETCH(QStringList, changed);
    QFETCH(QString, search);
    QFETCH(QString, expected);

    Setup t;
    LibraryModel& model = t.model;
    UploadViewModel& vm = t.vm();
    vm.setFixtureLibrary(assetsNamed(passthroughs), QSet<QString>(changed.begin(), changed.end()));
    model.setSearchText(search);
    QCOMPARE(dump(model), expected);
}

void TestLibraryModel::videoCells() {
    Setup t;
    LibraryModel& model = t.model;
    UploadViewModel& vm = t.vm();
    const auto name = QStringLiteral("E1_Opening_PAR_M03_intro.mov");
    auto asset = ViewModelFixture::asset(QStringLiteral("a1"), name);
    vm.setFixtureLibrary({asset}, {});
    const QModelIndex row = model.index(0, 0, model.index(0, 0, model.index(0, 0)));
    QCOMPARE(row.data(Qt::DisplayRole).toString(), QStringLiteral("intro"));
    QCOMPARE(
        row.data(LibraryModel::CellsRole).toStringList(),
        (QStringList{QStringLiteral("intro"), name, QStringLiteral("E1"), QStringLiteral("M03"),
                     asset.resolutionText(), asset.durationText(), QStringLiteral("M3U8")}));

    vm.setFixtureLocalVideos({QUrl::fromLocalFile(QStringLiteral("/clips/") + name)}, {});
    vm.setProvider(VideoProvider::localFolder);
    const QModelIndex local = model.index(0, 0, model.index(0, 0, model.index(0, 0)));
    const QStringList cells = local.data(LibraryModel::CellsRole).toStringList();
    QCOMPARE(cells.mid(0, 4),
             (QStringList{QStringLiteral("intro"), QStringLiteral("E1_Opening_PAR_M03_intro"),
                          QStringLiteral("E1"), QStringLiteral("M03")}));
    QCOMPARE(cells[4], QStringLiteral("Loading..."));
    QCOMPARE(cells[5], QStringLiteral("Loading..."));
}

void TestLibraryModel::searchChangeSetsAndCitiesUpdateTheTree() {
    Setup t;
    LibraryModel& model = t.model;
    t.vm().setFixtureLibrary(assetsNamed(mixedLibrary), {QStringLiteral("a2")});
    const QString full = dump(model);
    model.setSearchText(QStringLiteral("goal"));
    QVERIFY(dump(model) != full);
    model.setSearchText(QString());
    QCOMPARE(dump(model), full);

    // A new change set moves the markers.
    t.vm().setFixtureLibrary(assetsNamed(mixedLibrary), {QStringLiteral("a6")});
    QVERIFY(dump(model).contains(QStringLiteral("Opening 2/5[a2,a6*]")));

    // The city table feeds headings and progress.
    auto cities = ViewModelFixture::cities();
    cities[QStringLiteral("PAR")].requiredPerAnimation = 1;
    cities[QStringLiteral("PAR")].name = QStringLiteral("Paname");
    t.vm().setCityMap(cities);
    QVERIFY(dump(model).contains(
        QStringLiteral("Paname{Goal complete[a7]; Opening complete[a2,a6*]}")));
}

void TestLibraryModel::selectionRepaintsOnlyItsRows() {
    Setup t;
    LibraryModel& model = t.model;
    UploadViewModel& vm = t.vm();
    const auto assets = assetsNamed(
        {QStringLiteral("E1_Opening_PAR_M1_a.mov"), QStringLiteral("E1_Opening_PAR_M1_b.mov")});
    vm.setFixtureLibrary(assets, {});
    const QModelIndex group = model.index(0, 0, model.index(0, 0));
    QSignalSpy changedRows(&model, &QAbstractItemModel::dataChanged);

    vm.setSelectedAsset(assets[1]);
    QCOMPARE(changedRows.size(), 1);
    QCOMPARE(changedRows.at(0).at(0).toModelIndex(), model.index(1, 0, group));
    QVERIFY(model.index(1, 0, group).data(LibraryModel::IsSelectedRole).toBool());
    QVERIFY(!model.index(0, 0, group).data(LibraryModel::IsSelectedRole).toBool());
    QCOMPARE(model.selectedVideoIndex(), model.index(1, 0, group));

    // A selection that is not in the library stays set but selects no row.
    vm.setSelectedAsset(ViewModelFixture::asset(QStringLiteral("gone"), {}));
    QCOMPARE(changedRows.size(), 2);
    QCOMPARE(changedRows.at(1).at(0).toModelIndex(), model.index(1, 0, group));
    QVERIFY(!model.selectedVideoIndex().isValid());
    // When the same id is listed again, its row is selected again.
    auto back = assets;
    back.append(
        ViewModelFixture::asset(QStringLiteral("gone"), QStringLiteral("E1_Goal_PAR_M1_g.mov")));
    vm.setFixtureLibrary(back, {});
    QVERIFY(model.selectedVideoIndex().isValid());
    QCOMPARE(model.selectedVideoIndex().data(Qt::DisplayRole).toString(), QStringLiteral("g"));
}

void TestLibraryModel::providerSwitchShowsLocalFiles() {
    Setup t;
    LibraryModel& model = t.model;
    UploadViewModel& vm = t.vm();
    const QUrl a = QUrl::fromLocalFile(QStringLiteral("/clips/E1_Opening_PAR_M1_a.mov"));
    const QUrl b = QUrl::fromLocalFile(QStringLiteral("/clips/E1_Opening_PAR_M1_b.mp4"));
    vm.setFixtureLibrary(assetsNamed({QStringLiteral("E1_Goal_LON_M1_x.mov")}), {});
    vm.setFixtureLocalVideos({a, b}, {b});
    QCOMPARE(dump(model), QStringLiteral("London{Goal 1/2[a1]}"));

    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    vm.setProvider(VideoProvider::localFolder);
    QCOMPARE(resets.size(), 1);
    QCOMPARE(
        dump(model),
        QStringLiteral("Paris{Opening 2/5[E1_Opening_PAR_M1_a.mov,E1_Opening_PAR_M1_b.mp4*]}"));
    // Service lists changing in local mode leave the tree alone.
    vm.setFixtureLibrary({}, {});
    QCOMPARE(resets.size(), 1);
}

void TestLibraryModel::deliveryStatesFilterAndSearch_data() {
    QTest::addColumn<DeliveryFilter>("filter");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("tree");
    QTest::addColumn<int>("newClips"); // on the animation headers shown

    const QString london = QStringLiteral("London{Goal 1/2 \u00B71[E1_Goal_LON_M1_c.mov=On Mux]}");
    const QString a = QStringLiteral("E1_Opening_PAR_M1_a.mov=Changed since upload");
    const QString b = QStringLiteral("E1_Opening_PAR_M1_b.mp4*=Not on Mux");
    const QString paris = QStringLiteral("Paris{Opening 2/5 \u00B70[%1]}");
    QTest::newRow("all") << DeliveryFilter::all << QString()
                         << london + ' ' + paris.arg(a + ',' + b) << 1;
    QTest::newRow("not on mux") << DeliveryFilter::notOnMux << QString() << paris.arg(b) << 1;
    QTest::newRow("changed") << DeliveryFilter::changed << QString() << paris.arg(a) << 0;
    QTest::newRow("search and filter") << DeliveryFilter::changed << "LON" << QString() << 0;
    QTest::newRow("search") << DeliveryFilter::all << "LON" << london << 0;
}

void TestLibraryModel::deliveryStatesFilterAndSearch() {
    QFETCH(DeliveryFilter, filter);
    QFETCH(QString, search);
    QFETCH(QString, tree);
    QFETCH(int, newClips);
    Setup t;
    LibraryModel& model = t.model;
    UploadViewModel& vm = t.vm();
    QList<QUrl> files;
    for (const char* name :
         {"E1_Opening_PAR_M1_a.mov", "E1_Opening_PAR_M1_b.mp4", "E1_Goal_LON_M1_c.mov"}) {
        files.append(QUrl::fromLocalFile(t.home.path() + QLatin1Char('/') + QLatin1String(name)));
        QVERIFY(writeFile(files.last().toLocalFile(), {}));
    }
    auto listing = assetsNamed({QStringLiteral("E1_Opening_PAR_M1_a.mov"),
                                QStringLiteral("E1_Goal_LON_M1_c.mov"),
                                QStringLiteral("E1_Goal_LON_M1_c.mov")});
    listing[0].createdAt = QStringLiteral("1000"); // long before the file was written
    vm.setFixtureLocalVideos(files, {files[1]});
    vm.setProvider(VideoProvider::localFolder);
    vm.library().setLastCompleteListing(listing);
    model.setSearchText(search);
    model.setDeliveryFilter(filter);

    QCOMPARE(dump(model), tree);
    int shownNew = 0;
    for (int c = 0; c < model.rowCount(); ++c)
        for (int g = 0; g < model.rowCount(model.index(c, 0)); ++g)
            shownNew +=
                model.index(g, 0, model.index(c, 0)).data(LibraryModel::NewCountRole).toInt();
    QCOMPARE(shownNew, newClips);
    if (tree.startsWith(QStringLiteral("London")))
        QCOMPARE(model.index(0, 0, model.index(0, 0, model.index(0, 0))).data(Qt::ToolTipRole),
                 QStringLiteral("On Mux\n2 copies on Mux"));
}

QTEST_GUILESS_MAIN(TestLibraryModel)
#include "tst_librarymodel.moc"
