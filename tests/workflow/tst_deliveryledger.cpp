#include "TempHome.h"
#include "model/StateFolder.h"
#include "workflow/DeliveryLedger.h"
#include "workflow/UploadJournal.h"

#include <QFile>
#include <QTest>

using namespace clipferry;

namespace {

// Written as an earlier version left it: one unfinished upload and one unreadable entry.
const QByteArray oldJournal = "[{\"file\":\"/x.mov\",\"size\":10,\"modified\":5,\"title\":\"x\","
                              "\"stage\":\"Uploading\",\"upload_id\":\"u1\","
                              "\"upload_url\":\"https://storage/u1\",\"asset_id\":\"\"},"
                              "{\"file\":\"\",\"stage\":\"Uploading\"}]";

} // namespace

// Two ledger objects stand for two processes: each claims for itself, and sees the
// other's entries as taken while it lives.
class TestDeliveryLedger : public QObject {
    Q_OBJECT

    TempHome m_home;

    static QStringList filesOf(const Result<QList<UploadRecord>>& records) {
        QStringList files;
        for (const auto& record : records.value_or(QList<UploadRecord>{}))
            files.append(record.filePath + QLatin1Char(':') + uploadStatusLabel(record.stage));
        return files;
    }

    static UploadRecord record(const QString& file) {
        UploadRecord r;
        r.filePath = file;
        return r;
    }

private Q_SLOTS:
    void entriesBelongToTheirLivingOwner() {
        const QString path = m_home.path() + QStringLiteral("/claims.sqlite");
        auto window = DeliveryLedger::open(path);
        QVERIFY(window);
        auto accepted = (*window)->accept({record("/a"), record("/b"), record("/c"), record("/d")});
        QVERIFY(accepted && accepted->size() == 4);
        auto done = (*accepted)[1];
        done.stage = UploadStatus::done;
        done.assetID = QStringLiteral("asset-b");
        QVERIFY((*window)->save(done));
        auto failed = (*accepted)[2];
        failed.stage = UploadStatus::failed;
        failed.error = QStringLiteral("Asset errored");
        QVERIFY((*window)->save(failed));
        QCOMPARE(QFile::permissions(path) & 0x0077, QFileDevice::Permissions());

        auto commandLine = DeliveryLedger::open(path);
        QVERIFY(commandLine);
        QCOMPARE(filesOf((*commandLine)->claimOrphans()), QStringList());
        QCOMPARE((*commandLine)->unfinishedFiles().value_or(QSet<QString>{}).size(), 2);
        // A file in flight is taken once, however many found it free; a delivered one again.
        const auto again = (*commandLine)->accept({record("/a"), record("/b")});
        QVERIFY(again && again->size() == 1 && again->first().filePath == "/b");
        QVERIFY((*commandLine)->remove(again->first().ledgerID));

        // The owner dies: the next one takes what is not delivered, in accepted order, and
        // the delivered entry stays until a listing begun after it makes it history.
        window->reset();
        QCOMPARE(filesOf((*commandLine)->claimOrphans({"/a", "/b", "/c"})),
                 QStringList({"/a:Pending", "/c:Failed"}));
        auto watcher = DeliveryLedger::open(path);
        QCOMPARE(filesOf((*watcher)->claimOrphans()), QStringList({"/d:Pending"}));
        QVERIFY((*watcher)->forgetDeliveredBefore(0));
        QCOMPARE(filesOf((*watcher)->entries()).size(), 4);
        QVERIFY((*watcher)->forgetDeliveredBefore(QDateTime::currentMSecsSinceEpoch() + 1));
        QCOMPARE(filesOf((*watcher)->entries()),
                 QStringList({"/a:Pending", "/c:Failed", "/d:Pending"}));
    }

    // The journal of earlier versions is taken over once, its sessions kept, and kept
    // aside; a second start finds nothing to take.
    void takesOverTheOldJournal() {
        const QString journal = m_home.path() + QStringLiteral("/Uploads.json");
        QVERIFY(writeFileAtomically(journal, oldJournal));
        auto ledger = DeliveryLedger::open(m_home.path() + QStringLiteral("/import.sqlite"));
        QCOMPARE(importUploadJournal(**ledger, journal).value_or(-1), 1);
        QVERIFY(!QFile::exists(journal) && QFile::exists(journal + ".bak"));
        QCOMPARE(importUploadJournal(**ledger, journal).value_or(-1), 0);
        const auto claimed = (*ledger)->claimOrphans();
        QVERIFY(claimed && claimed->size() == 1);
        QCOMPARE(claimed->first().uploadID, QStringLiteral("u1"));
        QCOMPARE(claimed->first().uploadURL, QUrl("https://storage/u1"));
        QCOMPARE(claimed->first().size, 10);
    }
};

QTEST_GUILESS_MAIN(TestDeliveryLedger)
#include "tst_deliveryledger.moc"
