#include "TempHome.h"
#include "TestFiles.h"
#include "ViewModelFixture.h"
#include "model/StateFolder.h"
#include "ui/ApiKeysDialog.h"
#include "ui/MainWindow.h"
#include "ui/common/AppStyle.h"
#include "ui/common/QuestionDialog.h"
#include "workflow/DeliveryLedger.h"

#include "ui/sidebar/SettingsDialog.h"

#include <QAccessible>
#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QSettings>
#include <QSplitter>
#include <QTest>
#include <QTreeView>

using namespace clipferry;

// The desktop's notification service, on the test's own session bus.
class Notifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList summaries;

public Q_SLOTS:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString&,
                const QStringList&, const QVariantMap&, int) {
        summaries.append(summary);
        return 1;
    }
};

class TestMainWindow : public QObject {
    Q_OBJECT

    // Before any QSettings use: QSettings keeps the first location it sees.
    TempHome m_home;
    AppStyle m_style;

private Q_SLOTS:
    void init() {
        QDir(m_home.stateFolder()).removeRecursively();
        QSettings().clear();
    }

    // A batch that ends while the window is not the active one is announced on the desktop.
    void finishedBatchIsAnnounced() {
        auto bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            QSKIP("needs a session bus");
        Notifications notifications;
        const QString name = "org.freedesktop.Notifications";
        QVERIFY(bus.registerObject("/org/freedesktop/Notifications", &notifications,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(name));
        StandInService service;
        ViewModelFixture fixture(service);
        MainWindow window(*fixture.viewModel, fixture.network); // never activated offscreen
        const QString file = m_home.path() + "/done.mov";
        QVERIFY(writeRandomFile(file, 1000));

        fixture.viewModel->startUploadBatch(
            {QUrl::fromLocalFile(file), QUrl::fromLocalFile(m_home.path() + "/gone.mov")});

        QTRY_COMPARE_WITH_TIMEOUT(notifications.summaries,
                                  QStringList{"Uploads finished: 1 done, 1 failed"}, 30000);
        bus.unregisterService(name);
        bus.unregisterObject("/org/freedesktop/Notifications");
    }

    // What a screen reader hears of each control: its name and its role.
    void controlsHaveNamesAndRoles() {
        ViewModelFixture fixture;
        fixture.viewModel->setShowAPIKeySheet(false);
        MainWindow window(*fixture.viewModel, fixture.network);
        ApiKeysDialog keys(*fixture.viewModel);
        SettingsDialog settings(*fixture.viewModel, m_style, {"mux.com", {}, {}});
        const std::tuple<QWidget*, const char*, QString, QAccessible::Role> controls[] = {
            {&window, "librarySearch", "Search Animations", QAccessible::EditableText},
            {&window, "clearSearch", "Clear search", QAccessible::Button},
            {&window, "refreshButton", "Refresh videos", QAccessible::Button},
            {&window, "libraryView", "Video library", QAccessible::Tree},
            {&window, "segment0", "mux.com", QAccessible::RadioButton},
            {&window, "addFiles", "Add Files\u2026", QAccessible::Button},
            {&window, "log", "Log", QAccessible::EditableText},
            {&window, "uploadList", "Uploads", QAccessible::List},
            {&keys, "tokenID", "Token ID", QAccessible::EditableText},
            {&keys, "tokenSecret", "Token Secret", QAccessible::EditableText},
            {&settings, "sheetKey", "Sheet key", QAccessible::EditableText},
            {&settings, "sheetWebAppUrl", "Google Sheet web app address",
             QAccessible::EditableText},
            {&settings, "cityTable", "Stadium Configuration", QAccessible::Table}};
        for (const auto& [root, objectName, name, role] : controls) {
            auto* widget = root->findChild<QWidget*>(objectName);
            QVERIFY2(widget, objectName);
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            QCOMPARE(accessible->text(QAccessible::Name), name);
            QVERIFY2(accessible->role() == role, objectName);
        }
    }

    // Tab walks the library's bar into the list; the column hands nothing past it.
    void tabReachesEveryLibraryControl() {
        ViewModelFixture fixture;
        MainWindow window(*fixture.viewModel, fixture.network);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTRY_VERIFY(window.findChild<QWidget*>("libraryView")->isEnabled() &&
                    window.findChild<QWidget*>("refreshButton")->isEnabled());
        window.findChild<QWidget*>("librarySearch")->setFocus();
        QStringList order;

        for (int i = 0; i < 8 && !order.contains("libraryView"); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order.append(QApplication::focusWidget()->objectName());
        }

        QVERIFY2(order.mid(order.indexOf("refreshButton")) ==
                     (QStringList{"refreshButton", "libraryView"}),
                 qPrintable(order.join(" ")));
        // The tree's one column is named for what it holds, not "1".
        QCOMPARE(window.findChild<QTreeView*>("libraryView")
                     ->model()
                     ->headerData(0, Qt::Horizontal)
                     .toString(),
                 "Videos");
    }

    // The splitter's sizes survive a restart; a later launch brings the window back, and
    // missing tokens raise the API keys sheet over it.
    void restartAndLaterLaunch() {
        ViewModelFixture fixture;
        QVERIFY(fixture.viewModel->showAPIKeySheet());
        QList<int> chosen;
        {
            MainWindow window(*fixture.viewModel, fixture.network);
            window.resize(1200, 700);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            window.splitter()->setSizes({420, 700});
            chosen = window.splitter()->sizes();
            QVERIFY(window.close());
        }
        MainWindow window(*fixture.viewModel, fixture.network);
        window.showMinimized();

        window.bringToFront();

        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.splitter()->sizes().first(), chosen.first());
        QVERIFY(window.apiKeysDialog());
        QTRY_VERIFY(window.apiKeysDialog()->isVisible());
        fixture.viewModel->setShowAPIKeySheet(false);
        QVERIFY(!window.apiKeysDialog()->isVisible());
    }

    // Quitting with an upload, a listing and a sheet export on the wire: nothing resumes
    // into freed objects when their replies come, and the journal still holds the upload
    // for the next start.
    void closingWithWorkInFlight() {
        StandInService service;
        using Fault = StandInService::Fault;
        QVERIFY(service.addFault(
            Fault{.method = "PUT", .path = "/_upload/*", .hang = true, .dropAfterBytes = 300000}));
        QVERIFY(service.addFault(Fault{.method = "GET", .path = "/video/v1/assets", .hang = true}));
        QVERIFY(service.addFault(
            Fault{.method = "POST", .path = service.sheetWebAppUrl().path(), .hang = true}));
        const QString file = m_home.path() + "/inflight.mov";
        QVERIFY(writeRandomFile(file, 1000000));
        auto fixture = std::make_unique<ViewModelFixture>(service);
        auto window = std::make_unique<MainWindow>(*fixture->viewModel, fixture->network);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));

        fixture->viewModel->startUploadBatch({QUrl::fromLocalFile(file)});
        fixture->viewModel->startRefreshLibrary();
        fixture->viewModel->startUpdateGoogleSheets();
        QTRY_VERIFY(service.countRequests("PUT", "/_upload/*") == 1 &&
                    service.countRequests("GET", "/video/v1/assets") >= 1);
        // It asks first; quitting is safe, as the upload resumes at the next start.
        QuestionDialog::setNextAnswer(0);
        QVERIFY(!window->close());
        QCOMPARE(QuestionDialog::lastQuestion(),
                 "1 upload is running. Quit and resume it at the next start?");
        QTRY_VERIFY(!window->isVisible());
        window.reset();
        fixture.reset();
        QVERIFY(service.releaseHangingReplies());
        // What the closed window left queued (its replies' deferred deletes, a resumption)
        // runs now instead of within a guessed pause.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();

        const auto journal =
            DeliveryLedger::open(stateFileURL(QString::fromLatin1(deliveryLedgerFileName)))
                .and_then([](const auto& ledger) { return ledger->entries(); });
        QVERIFY2(journal, qPrintable(journal ? QString() : journal.error().message));
        QCOMPARE(journal->size(), 1);
        QCOMPARE(journal->first().filePath, file);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
