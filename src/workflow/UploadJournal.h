#pragma once

#include "model/Result.h"
#include "workflow/DeliveryLedger.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace clipferry {

// The JSON journal of unfinished uploads that came before the delivery ledger; read once,
// when the ledger takes it over.
inline constexpr auto uploadJournalFileName = "Uploads.json";

// Entries that cannot be read are left out; a file that is no journal at all is an error.
[[nodiscard]] Result<QList<UploadRecord>> decodeUploadJournal(const QByteArray& bytes);

// Hands the entries of the journal at `journalPath` to `ledger` once, keeping the journal as
// "<file>.bak"; the number of entries taken, 0 when there is no journal.
[[nodiscard]] Result<int> importUploadJournal(DeliveryLedger& ledger, const QString& journalPath);

} // namespace clipferry
