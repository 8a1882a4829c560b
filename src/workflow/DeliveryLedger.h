#pragma once

#include "model/Result.h"
#include "model/UploadItem.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <memory>

namespace clipferry {

inline constexpr auto deliveryLedgerFileName = "Deliveries.sqlite";

// One accepted file on its way to the service: enough to go on after a crash from the
// stage reached, with the IDs the service gave, and to tell whether the file is still
// the one that was being sent.
struct UploadRecord {
    // The ledger's key, in the order files were accepted; 0 until the ledger holds it.
    qint64 ledgerID = 0;
    QString filePath;
    // Taken when the session is created; 0 while queued.
    qint64 size = 0;
    qint64 modifiedMs = 0;
    QString title;
    // The furthest stage begun: pending (accepted, nothing sent yet), creatingUpload,
    // uploading, waitingAsset or processingAsset (the title is set once processing
    // begins), done (the asset is known), failed (it never can succeed: `error` says why).
    UploadStatus stage = UploadStatus::pending;
    QString uploadID;
    QUrl uploadURL;
    QString assetID;
    QString error;
};

// The shared record of every file handed to the app until its asset is known, kept
// where the window, a command-line run and a folder watcher all see it. A file is
// written here the moment it is accepted, so a crash cannot lose it; each entry is
// claimed by the process that runs it, so no two processes ever send the same file, and
// a dead process's entries are taken over by the next one that looks.
//
//     auto ledger = DeliveryLedger::open(stateFileURL(deliveryLedgerFileName));
//     auto accepted = ledger->accept({"/clips/a.mov"}); // queued, claimed by this process
//     record.stage = UploadStatus::uploading; ledger->save(record);
class DeliveryLedger {
public:
    // Opens (creating when missing) the ledger at `path`; an empty path keeps it in
    // memory, for this process alone.
    [[nodiscard]] static Result<std::unique_ptr<DeliveryLedger>> open(const QString& path);
    ~DeliveryLedger();
    DeliveryLedger(const DeliveryLedger&) = delete;
    DeliveryLedger& operator=(const DeliveryLedger&) = delete;

    [[nodiscard]] const QString& path() const { return m_path; }

    // New entries, queued and claimed by this process, in the order given, in one
    // transaction. A file with an unfinished entry is left out: it is in flight already.
    [[nodiscard]] Result<QList<UploadRecord>> accept(const QList<UploadRecord>& records);
    [[nodiscard]] Result<void> save(const UploadRecord& record);
    [[nodiscard]] Result<void> remove(qint64 ledgerID);

    // Entries no living process runs, delivered ones aside, claimed for this one in the
    // order they were accepted; with `paths`, only those of these files. Failed entries
    // are among them, for the new owner to show.
    [[nodiscard]] Result<QList<UploadRecord>> claimOrphans(const QStringList& paths = {});
    // Every entry: the in-flight ones, the delivered ones not yet seen in a listing, and
    // the failed ones the user has not removed.
    [[nodiscard]] Result<QList<UploadRecord>> entries() const;
    // The files of the entries not yet delivered or failed, whoever runs them.
    [[nodiscard]] Result<QSet<QString>> unfinishedFiles() const;
    // Delivered entries finished before `listingStartedMs`: the listing is their record now.
    [[nodiscard]] Result<void> forgetDeliveredBefore(qint64 listingStartedMs);

    // Entries handed over from elsewhere as they stand, owned by no process, so the next
    // `claimOrphans` takes them; one already here (same file and upload) is not added again.
    [[nodiscard]] Result<void> adopt(const QList<UploadRecord>& records);

private:
    DeliveryLedger(QString path, QString connection, QString owner);
    [[nodiscard]] Result<void> prepare();

    QString m_path;
    QString m_connection;
    // This process and ledger object, as other processes see it in the owner column.
    QString m_owner;
};

} // namespace clipferry
