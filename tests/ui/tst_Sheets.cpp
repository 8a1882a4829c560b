#include "StandInService.h"
#include "TempHome.h"
#include "TestFiles.h"
#include "ViewModelFixture.h"
#include "model/StateFolder.h"
#include "ui/ApiKeysDialog.h"
#include "ui/common/AppStyle.h"
#include "ui/common/ConfirmationDialog.h"
#include "ui/sidebar/CityTableModel.h"
#include "ui/sidebar/SettingsDialog.h"
#include "workflow/SheetExporter.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTest>

using namespace clipferry;

namespace {

// A secret store write that was started lands well within this, even under the sanitizers.
constexpr int storeWriteBound = 1000;

qint64 screensInFile(const QString& code) {
    return QJsonDocument::fromJson(
               readFile(stateFolderPath() + "/CityMap.json"))[code]["requiredPerAnimation"]
        .toInteger(-1);
}

// Stands in for the desktop's browser: records what would have been opened.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};

} // namespace

class TestSheets : public QObject {
    Q_OBJECT

    // Before any QSettings use: QSettings keeps the first location it sees.
    TempHome m_home;
    AppStyle m_style;

private Q_SLOTS:
    void init() {
        QDir(m_home.stateFolder()).removeRecursively();
        QSettings().clear();
    }

    // --- API keys sheet ------------------------------------------------------------

    // However the sheet closes it lowers the flag and what was typed stays in memory; only
    // Save writes the store.
    void apiKeysSheetCloses() {
        if (!ViewModelFixture::hasSecretService())
            QSKIP("needs a Secret Service on the session bus");
        ViewModelFixture fixture;
        QVERIFY(fixture.viewModel->showAPIKeySheet());
        ApiKeysDialog sheet(*fixture.viewModel);
        sheet.open();
        QTest::keyClicks(sheet.tokenIDField(), "id-4821");
        QTest::keyClicks(sheet.tokenSecretField(), "s3cret");
        for (const char* closeBy : {"escape", "cancel", "save"}) {
            fixture.viewModel->setShowAPIKeySheet(true);
            sheet.open();
            if (closeBy == QLatin1StringView("escape"))
                QTest::keyClick(&sheet, Qt::Key_Escape);
            else
                QTest::mouseClick(sheet.findChild<QPushButton*>(closeBy), Qt::LeftButton);
            QVERIFY(!fixture.viewModel->showAPIKeySheet());
            QVERIFY(!sheet.isVisible());
            QCOMPARE(fixture.viewModel->tokenID(), "id-4821");
            // Until a write would have landed, or at once when it does.
            const bool written = QTest::qWaitFor(
                [&] { return fixture.storedSecret(tokenIDAccount).has_value(); }, storeWriteBound);
            QCOMPARE(written, closeBy == QLatin1StringView("save"));
        }
        QCOMPARE(fixture.storedSecret(tokenIDAccount), std::optional<QString>("id-4821"));
        QCOMPARE(fixture.storedSecret(tokenSecretAccount), std::optional<QString>("s3cret"));
    }

    // A failed read says so and offers another; an emptied field asks before it removes
    // the stored token.
    void apiKeysAfterAFailedReadAndWhenEmptied() {
        if (!ViewModelFixture::hasSecretService())
            QSKIP("needs a Secret Service on the session bus");
        ViewModelFixture fixture;
        QVERIFY(QCoro::waitFor(fixture.credentials.saveKeychainString("mux_token_id", "id")));
        QVERIFY(QCoro::waitFor(fixture.credentials.saveKeychainString("mux_token_secret", "s")));
        fixture.credentials.setTimeout(std::chrono::milliseconds(0));
        fixture.viewModel->startLoadSettings();
        QTRY_VERIFY(fixture.viewModel->credentialsReadError());
        ApiKeysDialog sheet(*fixture.viewModel);
        sheet.open();
        auto* failure = sheet.findChild<QLabel*>("readFailure");
        QVERIFY(failure->isVisible());
        QCOMPARE(failure->text(), "Could not read the saved API keys: The secret store did not "
                                  "answer in time.");

        fixture.credentials.setTimeout(std::chrono::seconds(5));
        QTest::mouseClick(sheet.findChild<QPushButton*>("retry"), Qt::LeftButton);
        QTRY_COMPARE(sheet.tokenSecretField()->text(), "s");
        QVERIFY(failure->isHidden());

        // Which answer keeps what is the credentials' table; here the question and its
        // answer reaching the save.
        sheet.tokenIDField()->selectAll();
        QTest::keyClick(sheet.tokenIDField(), Qt::Key_Backspace);
        ConfirmationDialog::setNextAnswer(true);
        QTest::mouseClick(sheet.findChild<QPushButton*>("save"), Qt::LeftButton);
        QVERIFY(ConfirmationDialog::lastQuestion().startsWith("Remove the saved API token?"));
        QTRY_COMPARE(fixture.storedSecret(tokenIDAccount), std::optional<QString>(""));
        QVERIFY(!sheet.isVisible());
    }

    // --- settings sheet --------------------------------------------------------------

    // The fields follow the view model both ways; Save writes the city map and the store.
    void settingsFieldsBoundAndSaved() {
        if (!ViewModelFixture::hasSecretService())
            QSKIP("needs a Secret Service on the session bus");
        ViewModelFixture fixture;
        QCoreApplication::setApplicationVersion("2.5.0+3.gabc1234");
        SettingsDialog sheet(*fixture.viewModel, m_style, {"mux.com", {}, {}});
        sheet.open();
        QCOMPARE(sheet.findChild<QLabel*>("about")->text(), "Meridia Companion 2.5.0+3.gabc1234");
        auto* tokenID = sheet.findChild<QLineEdit*>("tokenID");
        QTest::keyClicks(tokenID, "new-id");
        QCOMPARE(fixture.viewModel->tokenID(), "new-id");
        QTest::keyClicks(sheet.findChild<QLineEdit*>("tokenSecret"), "new-secret");
        QTest::keyClicks(sheet.findChild<QLineEdit*>("sheetKey"), "shared");
        sheet.findChild<QCheckBox*>("useMaxResolution")->click();
        QVERIFY(fixture.viewModel->useMaxResolution());

        QTest::mouseClick(sheet.findChild<QPushButton*>("save"), Qt::LeftButton);

        QVERIFY(!sheet.isVisible());
        QTRY_COMPARE(fixture.storedSecret(tokenIDAccount), std::optional<QString>("new-id"));
        QCOMPARE(fixture.storedSecret(tokenSecretAccount), std::optional<QString>("new-secret"));
        QTRY_COMPARE(fixture.storedSecret(sheetKeyAccount), std::optional<QString>("shared"));
        fixture.viewModel->setTokenID("from elsewhere");
        QCOMPARE(tokenID->text(), "from elsewhere");
    }

    void cityLinesInCodeOrder() {
        ViewModelFixture fixture;
        CityTableModel model(*fixture.viewModel);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);

        QStringList codes, headers;
        for (int row = 0; row < model.rowCount(); ++row)
            codes.append(model.index(row, CityTableModel::codeColumn).data().toString());
        for (int column = 0; column < model.columnCount(); ++column)
            headers.append(model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
        QCOMPARE(codes, (QStringList{"ATL", "MIAS", "NYNJ", "PHIL"}));
        QCOMPARE(headers, (QStringList{"Code", "City", "Screens"}));
        QCOMPARE(model.index(0, CityTableModel::cityColumn).data().toString(), "ATLANTA");
        QCOMPARE(
            model.index(0, CityTableModel::cityColumn).data(Qt::DecorationRole).value<QColor>(),
            QColor(0xC8, 0x10, 0x2E));

        // A city added elsewhere shows up in its place.
        CityMap map = fixture.viewModel->cityMap();
        map.insert("ABQ", CityInfo{"ALBUQUERQUE", "#000000", 6});
        fixture.viewModel->setCityMap(map);
        QCOMPARE(model.index(0, CityTableModel::codeColumn).data().toString(), "ABQ");
        QCOMPARE(model.rowCount(), 5);

        // An edit of a city another writer removed behind the model's back is dropped.
        const QModelIndex atlanta = model.index(1, CityTableModel::screensColumn);
        map.remove("ATL");
        const QSignalBlocker blocker(fixture.viewModel.get());
        fixture.viewModel->setCityMap(map);
        QVERIFY(!model.setData(atlanta, 3, Qt::EditRole));
        QVERIFY(!fixture.viewModel->cityMap().contains("ATL"));
    }

    // A typed count is in memory once the editor commits it and on disk only after Save;
    // only whole counts commit.
    void screensEdit() {
        for (const bool save : {false, true}) {
            {
                ViewModelFixture fixture;
                SettingsDialog sheet(*fixture.viewModel, m_style, {"mux.com", {}, {}});
                sheet.open();
                QTableView* table = sheet.cityTable();
                table->setFocus();
                // An emptied field keeps the count, a sign and letters are filtered out.
                for (const auto& [typed, committed] :
                     {std::pair{"", 10}, std::pair{"-3x", 3}, std::pair{"7", 7}}) {
                    table->edit(table->model()->index(3, CityTableModel::screensColumn)); // PHIL
                    auto* editor = table->findChild<QLineEdit*>("screensEditor");
                    QVERIFY(editor);
                    editor->clear();
                    QTest::keyClicks(editor, typed);
                    QTest::keyClick(editor, Qt::Key_Return);
                    // The delegate commits from the event loop; a field without a number stays
                    // open.
                    QCoreApplication::processEvents();
                    QCoreApplication::processEvents();
                    QCOMPARE(fixture.viewModel->cityMap().value("PHIL").requiredPerAnimation,
                             committed);
                }
                QCOMPARE(screensInFile("PHIL"), 10);
                QTest::mouseClick(sheet.findChild<QPushButton*>(save ? "save" : "close"),
                                  Qt::LeftButton);
                QVERIFY(!sheet.isVisible());
                QCOMPARE(fixture.viewModel->cityMap().value("PHIL").requiredPerAnimation, 7);
            }
            // The next start reads the file.
            ViewModelFixture restarted;
            QCOMPARE(restarted.viewModel->cityMap().value("PHIL").requiredPerAnimation,
                     save ? 7 : 10);
        }
    }

    // What the export sends and its failures are the library's rows; here the button and its
    // busy state.
    void updateGoogleSheetsPosts() {
        StandInService service;
        const QString sheetPath = service.sheetWebAppUrl().path();
        QVERIFY(service.addFault({.method = "POST", .path = sheetPath, .delayMs = 60000}));
        ViewModelFixture fixture(service);
        SettingsDialog sheet(*fixture.viewModel, m_style, {"mux.com", {}, {}});
        sheet.open();

        QTest::mouseClick(sheet.findChild<QPushButton*>("updateGoogleSheets"), Qt::LeftButton);

        // Busy while the post is out.
        QTRY_COMPARE(service.countRequests("POST", sheetPath), 1);
        QVERIFY(sheet.isUpdatingSheet());
        QVERIFY(sheet.findChild<QWidget*>("sheetBusy")->isVisible());
        QVERIFY(service.releaseHangingReplies());
        QTRY_VERIFY(!sheet.isUpdatingSheet());
        QVERIFY(sheet.findChild<QWidget*>("sheetBusy")->isHidden());
    }

    void sheetLinksOpenOnlyRealAddresses_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("opens");
        QTest::newRow("address") << "https://docs.example.test/spreadsheets/d/1" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("not an address") << "not an address" << false;
    }

    void sheetLinksOpenOnlyRealAddresses() {
        QFETCH(QString, address);
        QFETCH(bool, opens);
        UrlRecorder browser;
        QDesktopServices::setUrlHandler("https", &browser, "open");
        ViewModelFixture fixture;
        SettingsDialog sheet(*fixture.viewModel, m_style, {"mux.com", address, {}});

        auto* openAnimations = sheet.findChild<QPushButton*>("openAnimationList");
        QTest::mouseClick(openAnimations, Qt::LeftButton);
        QTest::mouseClick(sheet.findChild<QPushButton*>("openVideoList"), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler("https");

        QCOMPARE(browser.opened, opens ? QList<QUrl>{QUrl(address)} : QList<QUrl>{});
        QCOMPARE(openAnimations->isHidden(), !opens);
    }

    // The web app's address is the user's to set: checked, kept for the next start, and
    // its absence said beside the field.
    void sheetAddressCheckedAndKept() {
        QSettings().remove("sheetWebAppUrl");
        ViewModelFixture fixture;
        SettingsDialog sheet(*fixture.viewModel, m_style, {"mux.com", {}, {}});
        auto* field = sheet.findChild<QLineEdit*>("sheetWebAppUrl");
        auto* notice = sheet.findChild<QLabel*>("sheetNotice");
        QCOMPARE(field->text(), "http://127.0.0.1:1/exec");
        const QString refused = "must be an https:// address";
        const QString https = "https://script.example.test/macros/s/x/exec";
        // What is typed, what the notice then says (empty: hidden), what the next start reads.
        const std::tuple<QString, QString, QString> steps[] = {
            {"http://script.example.test/exec", refused, "http://127.0.0.1:1/exec"},
            {"script", refused, "http://127.0.0.1:1/exec"},
            {"", "No Google Sheet web app address is set", ""},
            {https, "", https}};
        for (const auto& [typed, said, kept] : steps) {
            sheet.open();
            field->selectAll();
            QTest::keyClick(field, Qt::Key_Delete);
            QTest::keyClicks(field, typed);
            QTest::mouseClick(sheet.findChild<QPushButton*>("save"), Qt::LeftButton);
            QCOMPARE(sheet.isVisible(), said == refused);
            QCOMPARE(notice->isHidden(), said.isEmpty());
            QVERIFY2(notice->text().contains(said), qPrintable(notice->text()));
            ViewModelFixture next;
            QCOMPARE(next.viewModel->sheetWebAppUrl().toString(), kept);
        }
    }
};

QTEST_MAIN(TestSheets)
#include "tst_Sheets.moc"
