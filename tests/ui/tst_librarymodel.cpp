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
        label += '*';
    if (const auto state = Delivery(index.data(LibraryModel::DeliveryRole).toInt());
        state != Delivery::unknown)
        label += '=' + deliveryLabel(state);
    return label;
}

// "City{Animation progress ·delivered +new[video*, …]; …} …": the whole tree as one line.
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
                text += ' ' + progress;
            if (const int delivered = group.data(LibraryModel::DeliveryRole).toInt();
                delivered >= 0)
                text += QStringLiteral(" \u00B7%1").arg(delivered);
            if (const int marked = group.data(LibraryModel::NewCountRole).toInt(); marked > 0)
                text += QStringLiteral(" +%1").arg(marked);
            QStringList videos;
            for (int v = 0; v < model.rowCount(group); ++v)
                videos.append(videoLabel(model.index(v, 0, group)));
            groups.append(text + '[' + videos.join(',') + ']');
        }
        cities.append(city.data(Qt::DisplayRole).toString() + '{' + groups.join("; ") + '}');
    }
    return cities.join(' ');
}

// Assets a1, a2, … with the given passthroughs, apart by spaces ("-": no passthrough).
QList<MuxAsset> assetsNamed(const QString& passthroughs) {
    QList<MuxAsset> assets;
    for (const QString& name : passthroughs.split(' ', Qt::SkipEmptyParts))
        assets.append(ViewModelFixture::asset("a" + QString::number(assets.size() + 1),
                                              name == "-" ? std::nullopt : std::optional(name)));
    return assets;
}

const QString mixedLibrary = "E1_Opening_lon_M1_a.mov E1_Opening_PAR_M1_b.mov "
                             "E1_Opening_LON_M1_c.mov Opening_PAR - E2_Opening_PAR_M2_d.mov "
                             "E1_Goal_PAR_M2_e.mov E1_Goal_ZER_M1_f.mov E1_Goal_LON_M3_g.mov "
                             "E2_Goal_LON_M3_h.mov";

// A model over a view model with the test cities, in a home of its own.
struct Setup {
    Setup() { vm.setCityMap(ViewModelFixture::cities()); }
    QModelIndex firstVideo() const {
        return model.index(0, 0, model.index(0, 0, model.index(0, 0)));
    }

    TempHome home;
    ViewModelFixture fixture;
    UploadViewModel& vm = *fixture.viewModel;
    LibraryModel model{vm};
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
};

} // namespace

class TestLibraryModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rowsOrderProgressAndMarkers_data() {
        QTest::addColumn<QString>("passthroughs");
        QTest::addColumn<QStringList>("changed");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("expected");

        QTest::newRow("empty library") << QString() << QStringList() << QString() << QString();
        QTest::newRow("cities by code: empty, LON, PAR, lon; unknown cities show no progress")
            << mixedLibrary << QStringList{"a2", "a5"} << QString()
            << "Unsorted{ +1[a5*]; PAR[a4]} London{Goal complete[a9,a10]; Opening 1/2[a3]} "
               "Paris{Goal 1/5[a7]; Opening 2/5 +1[a2*,a6]} Zero{Goal complete[a8]} "
               "lon{Opening[a1]}";
        QTest::newRow("videos keep the list's order")
            << "E1_Opening_PAR_M9_z.mov E1_Opening_PAR_M1_a.mov" << QStringList() << QString()
            << "Paris{Opening 2/5[a1,a2]}";
        QTest::newRow("search narrows videos, progress still counts all")
            << mixedLibrary << QStringList() << "M2"
            << "Paris{Goal 1/5[a7]; Opening 2/5[a6]}";
    }

    void rowsOrderProgressAndMarkers() {
        QFETCH(QString, passthroughs);
        QFETCH(QStringList, changed);
        QFETCH(QString, search);
        QFETCH(QString, expected);
        Setup t;
        t.vm.setFixtureLibrary(assetsNamed(passthroughs),
                               QSet<QString>(changed.begin(), changed.end()));
        t.model.setSearchText(search);
        QCOMPARE(dump(t.model), expected);
    }

    void videoCellsAndProviderSwitch() {
        Setup t;
        const QString name = "E1_Opening_PAR_M03_intro.mov";
        auto asset = ViewModelFixture::asset("a1", name);
        asset.duration = 75.4;
        asset.max_stored_resolution = "HD";
        const QUrl local = QUrl::fromLocalFile("/clips/" + name);
        const QUrl changed = QUrl::fromLocalFile("/clips/E1_Opening_PAR_M1_b.mp4");
        t.vm.setFixtureLibrary({asset}, {});
        t.vm.setFixtureLocalVideos({local, changed}, {changed});
        QCOMPARE(t.firstVideo().data(Qt::DisplayRole).toString(), "intro");
        // A name against the convention is shown and announced whole, not as "".
        t.vm.setFixtureLibrary({ViewModelFixture::asset("a9", "final_v3.mov")}, {});
        QCOMPARE(t.firstVideo().data(Qt::AccessibleTextRole).toString(), "final_v3");
        t.vm.setFixtureLibrary({asset}, {});
        QCOMPARE(t.firstVideo().data(LibraryModel::CellsRole).toStringList(),
                 (QStringList{"intro", name, "E1", "M03", "HD", "1:15", "M3U8"}));

        QSignalSpy resets(&t.model, &QAbstractItemModel::modelReset);
        t.vm.setProvider(VideoProvider::localFolder);
        QCOMPARE(resets.size(), 1);
        QCOMPARE(
            dump(t.model),
            "Paris{Opening 2/5 clips +1[E1_Opening_PAR_M03_intro.mov,E1_Opening_PAR_M1_b.mp4*]}");
        QCOMPARE(t.firstVideo().data(LibraryModel::CellsRole).toStringList().mid(0, 6),
                 (QStringList{"intro", "E1_Opening_PAR_M03_intro", "E1", "M03", "Loading...",
                              "Loading..."}));
        // Service lists changing in local mode leave the tree alone.
        t.vm.setFixtureLibrary({}, {});
        QCOMPARE(resets.size(), 1);
    }

    void searchChangeSetsAndCitiesUpdateTheTree() {
        Setup t;
        t.vm.setFixtureLibrary(assetsNamed(mixedLibrary), {"a2"});
        const QString full = dump(t.model);
        t.model.setSearchText("goal");
        QVERIFY(dump(t.model) != full);
        t.model.setSearchText(QString());
        QCOMPARE(dump(t.model), full);

        // A new change set moves the markers.
        t.vm.setFixtureLibrary(assetsNamed(mixedLibrary), {"a6"});
        QVERIFY(dump(t.model).contains("Opening 2/5 +1[a2,a6*]"));

        // The city table feeds headings and progress.
        auto cities = ViewModelFixture::cities();
        cities["PAR"].requiredPerAnimation = 1;
        cities["PAR"].name = "Paname";
        t.vm.setCityMap(cities);
        QVERIFY(dump(t.model).contains("Paname{Goal complete[a7]; Opening complete +1[a2,a6*]}"));
    }

    void selectionRepaintsOnlyItsRows() {
        Setup t;
        const auto assets = assetsNamed("E1_Opening_PAR_M1_a.mov E1_Opening_PAR_M1_b.mov");
        t.vm.setFixtureLibrary(assets, {});
        const QModelIndex group = t.model.index(0, 0, t.model.index(0, 0));
        QSignalSpy changedRows(&t.model, &QAbstractItemModel::dataChanged);

        t.vm.setSelectedAsset(assets[1]);
        QCOMPARE(changedRows.size(), 1);
        QCOMPARE(changedRows.at(0).at(0).toModelIndex(), t.model.index(1, 0, group));
        QVERIFY(t.model.index(1, 0, group).data(LibraryModel::IsSelectedRole).toBool());
        QVERIFY(!t.model.index(0, 0, group).data(LibraryModel::IsSelectedRole).toBool());
        QCOMPARE(t.model.selectedVideoIndex(), t.model.index(1, 0, group));

        // A selection that is not in the library stays set but selects no row.
        t.vm.setSelectedAsset(ViewModelFixture::asset("gone", {}));
        QCOMPARE(changedRows.size(), 2);
        QCOMPARE(changedRows.at(1).at(0).toModelIndex(), t.model.index(1, 0, group));
        QVERIFY(!t.model.selectedVideoIndex().isValid());
        // When the same id is listed again, its row is selected again.
        t.vm.setFixtureLibrary(
            assets + QList{ViewModelFixture::asset("gone", "E1_Goal_PAR_M1_g.mov")}, {});
        QCOMPARE(t.model.selectedVideoIndex().data(Qt::DisplayRole).toString(), "g");
    }

    void deliveryStatesFilterAndSearch_data() {
        QTest::addColumn<DeliveryFilter>("filter");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("tree");

        const QString london = "London{Goal 1/2 clips \u00B71[E1_Goal_LON_M1_c.mov=On Mux]}";
        const QString a = "E1_Opening_PAR_M1_a.mov=Changed since upload";
        const QString b = "E1_Opening_PAR_M1_b.mp4*=Not on Mux";
        const QString paris = "Paris{Opening 2/5 clips \u00B70%1[%2]}"; // new clips, rows
        QTest::newRow("all") << DeliveryFilter::all << QString()
                             << london + ' ' + paris.arg(" +1", a + ',' + b);
        QTest::newRow("not on mux") << DeliveryFilter::notOnMux << QString() << paris.arg(" +1", b);
        QTest::newRow("changed") << DeliveryFilter::changed << QString() << paris.arg("", a);
        QTest::newRow("search and filter") << DeliveryFilter::changed << "LON" << QString();
        QTest::newRow("search") << DeliveryFilter::all << "LON" << london;
    }

    void deliveryStatesFilterAndSearch() {
        QFETCH(DeliveryFilter, filter);
        QFETCH(QString, search);
        QFETCH(QString, tree);
        Setup t;
        QList<QUrl> files;
        for (const char* name :
             {"E1_Opening_PAR_M1_a.mov", "E1_Opening_PAR_M1_b.mp4", "E1_Goal_LON_M1_c.mov"}) {
            files.append(QUrl::fromLocalFile(t.home.path() + '/' + name));
            QVERIFY(writeFile(files.last().toLocalFile(), {}));
        }
        auto listing =
            assetsNamed("E1_Opening_PAR_M1_a.mov E1_Goal_LON_M1_c.mov E1_Goal_LON_M1_c.mov");
        listing[0].createdAt = "1000"; // long before the file was written
        t.vm.setFixtureLocalVideos(files, {files[1]});
        t.vm.setProvider(VideoProvider::localFolder);
        t.fixture.workspace->library().setLastCompleteListing(listing);
        t.model.setSearchText(search);
        t.model.setDeliveryFilter(filter);

        QCOMPARE(dump(t.model), tree);
        // A screen reader hears the state the row shows beside the name.
        if (tree.startsWith("London")) {
            QCOMPARE(t.firstVideo().data(Qt::ToolTipRole), "On Mux\n2 copies on Mux");
            QCOMPARE(t.firstVideo().data(Qt::AccessibleTextRole), "c, On Mux");
        }
    }
};

QTEST_GUILESS_MAIN(TestLibraryModel)
#include "tst_librarymodel.moc"
