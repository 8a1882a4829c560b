#pragma once

#include "model/Result.h"
#include "workflow/DeliveryLedger.h"

#include <QByteArray>
#include <QList>

namespace clipferry {

// The JSON journal of unfinished uploads that came before the delivery ledger; read once,
// when the ledger takes it over.
inline constexpr auto uploadJournalFileName = "Uploads.json";

// Entries that cannot be read are left out; a file that is no journal at all is an error.
[[nodiscard]] Result<QList<UploadRecord>> decodeUploadJournal(const QByteArray& bytes);

} // namespace clipferry
