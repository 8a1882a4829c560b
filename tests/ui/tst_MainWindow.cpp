#include "ApiKeysDialog.h"
#include "MainWindow.h"
#include "TempHome.h"
#include "ViewModelFixture.h"

#include <QDir>
#include <QSettings>
#include <QSplitter>
#include <QTest>

using namespace clipferry;

class TestMainWindow : public QObject {
    Q_OBJECT

    // Before any QSettings use: QSettings keeps the first location it sees.
    TempHome m_home;

private Q_SLOTS:
    void init() {
        QDir(m_home.stateFolder()).removeRecursively();
        QSettings().clear();
    }

    void splitterSizesSurviveARestart() {
        ViewModelFixture fixture;
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
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QCOMPARE(window.splitter()->sizes().first(), chosen.first());
    }

    void missingTokensRaiseTheApiKeysSheet() {
        ViewModelFixture fixture;
        QVERIFY(fixture.viewModel->showAPIKeySheet());
        MainWindow window(*fixture.viewModel, fixture.network);
        window.show();

        QVERIFY(window.apiKeysDialog());
        QTRY_VERIFY(window.apiKeysDialog()->isVisible());
        fixture.viewModel->setShowAPIKeySheet(false);
        QVERIFY(!window.apiKeysDialog()->isVisible());
    }

    void laterLaunchBringsTheWindowBack() {
        ViewModelFixture fixture;
        MainWindow window(*fixture.viewModel, fixture.network);
        window.showMinimized();

        window.bringToFront();

        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
