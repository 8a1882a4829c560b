#include "ApiKeysDialog.h"
#include "MainWindow.h"
#include "TempHome.h"
#include "UploadToolsView.h"
#include "ViewModelFixture.h"

#include <QDir>
#include <QLabel>
#include <QSettings>
#include <QSplitter>
#include <QTest>
#include <QToolBar>

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

    void shell() {
        ViewModelFixture fixture;
        MainWindow window(*fixture.viewModel, fixture.network);
        window.show();

        QCOMPARE(window.windowTitle(), "Meridia Companion");
        QVERIFY(window.splitter()->widget(0)->findChild<UploadToolsView*>());
        // The header icon leads the top toolbar, drawn at 20 x 20 in its own colours.
        auto* toolBar = window.findChild<QToolBar*>("headerToolBar");
        QVERIFY(toolBar);
        QCOMPARE(window.toolBarArea(toolBar), Qt::TopToolBarArea);
        auto* icon = toolBar->findChild<QLabel*>("headerIcon");
        QVERIFY(icon);
        const QPixmap picture = icon->pixmap();
        QCOMPARE(picture.deviceIndependentSize().toSize(), QSize(20, 20));
        QVERIFY(picture.toImage().pixelColor(10, 10).alpha() > 0);
        QVERIFY(!window.windowIcon().isNull());
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
