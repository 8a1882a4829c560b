#include "workflow/DeliveryLedger.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QVariant>
#include <array>
#include <cerrno>
#include <csignal>
#include <utility>

namespace clipferry {
namespace {

constexpr int schemaVersion = 1;
// A writer holding the ledger (another process's transaction) is waited for this long.
constexpr int busyTimeoutMs = 10000;

// Stage names as stored; they outlive any renaming in the code.
constexpr std::array<std::pair<UploadStatus, const char*>, 9> stageKeys{{
    {UploadStatus::pending, "queued"},
    {UploadStatus::creatingUpload, "creating"},
    {UploadStatus::uploading, "uploading"},
    {UploadStatus::waitingAsset, "waiting-asset"},
    {UploadStatus::processingAsset, "processing"},
    {UploadStatus::done, "done"},
    {UploadStatus::failed, "failed"},
    // A transfer that completed and was then cancelled: its asset is still to be removed.
    {UploadStatus::cancelled, "cancelled"},
    // Held by the user: it comes back paused, and a resume derives its stage from its IDs.
    {UploadStatus::paused, "paused"},
}};

QString stageKey(UploadStatus stage) {
    for (const auto& [status, key] : stageKeys)
        if (status == stage)
            return QString::fromLatin1(key);
    return QStringLiteral("queued");
}

std::optional<UploadStatus> stageOf(const QString& key) {
    for (const auto& [status, name] : stageKeys)
        if (key == QLatin1StringView(name))
            return status;
    return std::nullopt;
}

Error sqlError(const QSqlError& error, const QString& path) {
    return Error{errorDomain::file, 0,
                 QStringLiteral("The delivery ledger %1 cannot be used: %2")
                     .arg(path, error.text().trimmed())};
}

// --- owners ----------------------------------------------------------------------------
// An owner is "<host>|<pid>|<process start>|<ledger object>": the process start tells a
// living owner from a later process that reuses its id, the object number tells two
// ledgers of one process apart (a restart within one test process).

QMutex liveObjectsLock;
QSet<quint64> liveObjects;
QAtomicInteger<quint64> objectCounter;

// The process's start in clock ticks since boot, where the system says; empty elsewhere.
QByteArray processStart(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = stat.readAll();
    // The command name may hold spaces and parentheses: count fields after the last ')'.
    const auto fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    constexpr int startField = 22 - 3;
    return fields.size() > startField ? fields[startField] : QByteArray();
}

QString hostName() {
    return QSysInfo::machineHostName();
}

bool ownerIsAlive(const QString& owner) {
    const auto parts = owner.split(QLatin1Char('|'));
    if (parts.size() != 4)
        return false;
    // Another machine's process cannot be checked from here: it keeps what it claimed.
    if (parts[0] != hostName())
        return true;
    bool ok = false;
    const qint64 pid = parts[1].toLongLong(&ok);
    if (!ok || pid <= 0)
        return false;
    if (pid == QCoreApplication::applicationPid()) {
        const QMutexLocker locker(&liveObjectsLock);
        return liveObjects.contains(parts[3].toULongLong());
    }
#ifdef Q_OS_UNIX
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM)
        return false;
#endif
    const QByteArray start = processStart(pid);
    return start.isEmpty() || start == parts[2].toLatin1();
}

UploadRecord recordOf(const QSqlQuery& query) {
    UploadRecord record;
    record.ledgerID = query.value(0).toLongLong();
    record.filePath = query.value(1).toString();
    record.size = query.value(2).toLongLong();
    record.modifiedMs = query.value(3).toLongLong();
    record.title = query.value(4).toString();
    record.stage = stageOf(query.value(5).toString()).value_or(UploadStatus::pending);
    record.uploadID = query.value(6).toString();
    record.uploadURL = QUrl(query.value(7).toString());
    record.assetID = query.value(8).toString();
    record.error = query.value(9).toString();
    return record;
}

constexpr auto selectColumns = "SELECT id, file, size, modified, title, stage, upload_id, "
                               "upload_url, asset_id, error, owner FROM deliveries";

// A null text would bind as SQL NULL, which the columns refuse.
QString text(const QString& value) {
    return value.isNull() ? QStringLiteral("") : value;
}

// The columns a stage change writes, in the order both statements name them: size,
// modified, title, stage, upload_id, upload_url, asset_id.
void bindProgress(QSqlQuery& query, const UploadRecord& record) {
    query.addBindValue(record.size);
    query.addBindValue(record.modifiedMs);
    query.addBindValue(text(record.title));
    query.addBindValue(stageKey(record.stage));
    query.addBindValue(text(record.uploadID));
    query.addBindValue(text(record.uploadURL.toString()));
    query.addBindValue(text(record.assetID));
}

bool isUnfinished(UploadStatus stage) {
    return stage != UploadStatus::done && stage != UploadStatus::failed;
}

// Runs `work` in a transaction that holds the write lock from its start, so a check and
// the write that depends on it see no other process's write in between.
template <typename Work>
auto writeTransaction(const QSqlDatabase& db, const QString& path, Work work) -> decltype(work()) {
    QSqlQuery begin(db);
    if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return tl::unexpected(sqlError(begin.lastError(), path));
    auto result = work();
    QSqlQuery end(db);
    if (!end.exec(result ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK")) && result)
        return tl::unexpected(sqlError(end.lastError(), path));
    return result;
}

} // namespace

Result<std::unique_ptr<DeliveryLedger>> DeliveryLedger::open(const QString& path) {
    const quint64 object = ++objectCounter;
    const QString owner =
        QStringLiteral("%1|%2|%3|%4")
            .arg(hostName())
            .arg(QCoreApplication::applicationPid())
            .arg(QString::fromLatin1(processStart(QCoreApplication::applicationPid())))
            .arg(object);
    // It holds signed upload addresses: readable by the user alone from its first byte.
    if (!path.isEmpty() && !QFileInfo::exists(path)) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            file.close();
        (void)file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    std::unique_ptr<DeliveryLedger> ledger(
        new DeliveryLedger(path, QStringLiteral("clipferry-ledger-%1").arg(object), owner));
    if (auto prepared = ledger->prepare(); !prepared)
        return tl::unexpected(prepared.error());
    const QMutexLocker locker(&liveObjectsLock);
    liveObjects.insert(object);
    return ledger;
}

DeliveryLedger::DeliveryLedger(QString path, QString connection, QString owner)
    : m_path(std::move(path))
    , m_connection(std::move(connection))
    , m_owner(std::move(owner)) {
    auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path.isEmpty() ? QStringLiteral(":memory:") : m_path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
}

DeliveryLedger::~DeliveryLedger() {
    {
        const QMutexLocker locker(&liveObjectsLock);
        liveObjects.remove(m_owner.section(QLatin1Char('|'), 3).toULongLong());
    }
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

Result<void> DeliveryLedger::prepare() {
    auto db = QSqlDatabase::database(m_connection, false);
    if (!db.open())
        return tl::unexpected(sqlError(db.lastError(), m_path));
    QSqlQuery query(db);
    // Several processes write it; WAL lets readers on while one writes, and a change
    // needs one sync at most.
    for (const char* statement : {
             "PRAGMA journal_mode=WAL",
             "PRAGMA synchronous=NORMAL",
             "CREATE TABLE IF NOT EXISTS deliveries ("
             " id INTEGER PRIMARY KEY AUTOINCREMENT,"
             " file TEXT NOT NULL, size INTEGER NOT NULL DEFAULT 0,"
             " modified INTEGER NOT NULL DEFAULT 0, title TEXT NOT NULL DEFAULT '',"
             " stage TEXT NOT NULL, upload_id TEXT NOT NULL DEFAULT '',"
             " upload_url TEXT NOT NULL DEFAULT '', asset_id TEXT NOT NULL DEFAULT '',"
             " error TEXT NOT NULL DEFAULT '', owner TEXT NOT NULL DEFAULT '',"
             " finished INTEGER NOT NULL DEFAULT 0)",
             "CREATE INDEX IF NOT EXISTS deliveries_file ON deliveries(file)",
         }) {
        if (!query.exec(QString::fromLatin1(statement)))
            return tl::unexpected(sqlError(query.lastError(), m_path));
    }
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return tl::unexpected(sqlError(query.lastError(), m_path));
    if (const int version = query.value(0).toInt(); version > schemaVersion)
        return fail(
            errorDomain::file, 0,
            QStringLiteral("The delivery ledger %1 was written by a newer version.").arg(m_path));
    if (!query.exec(QStringLiteral("PRAGMA user_version=%1").arg(schemaVersion)))
        return tl::unexpected(sqlError(query.lastError(), m_path));
    return {};
}

Result<QList<UploadRecord>> DeliveryLedger::accept(const QList<UploadRecord>& records) {
    const auto db = QSqlDatabase::database(m_connection, false);
    return writeTransaction(db, m_path, [&]() -> Result<QList<UploadRecord>> {
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral(
            "INSERT INTO deliveries (file, title, stage, owner) VALUES (?, ?, ?, ?)"));
        // Checked under the write lock: two processes that both found a file free (two
        // watchers of one folder) cannot both take it.
        QSqlQuery taken(db);
        taken.prepare(QStringLiteral(
            "SELECT 1 FROM deliveries WHERE file = ? AND stage NOT IN ('done', 'failed')"));
        QList<UploadRecord> accepted;
        accepted.reserve(records.size());
        for (auto record : records) {
            taken.addBindValue(text(record.filePath));
            if (!taken.exec())
                return tl::unexpected(sqlError(taken.lastError(), m_path));
            const bool inFlight = taken.next();
            taken.finish();
            if (inFlight)
                continue;
            record.stage = UploadStatus::pending;
            insert.addBindValue(text(record.filePath));
            insert.addBindValue(text(record.title));
            insert.addBindValue(stageKey(record.stage));
            insert.addBindValue(m_owner);
            if (!insert.exec())
                return tl::unexpected(sqlError(insert.lastError(), m_path));
            record.ledgerID = insert.lastInsertId().toLongLong();
            accepted.append(std::move(record));
        }
        return accepted;
    });
}

Result<void> DeliveryLedger::save(const UploadRecord& record) {
    QSqlQuery update(QSqlDatabase::database(m_connection, false));
    update.prepare(QStringLiteral(
        "UPDATE deliveries SET size = ?, modified = ?, title = ?, stage = ?, upload_id = ?,"
        " upload_url = ?, asset_id = ?, error = ?, finished = ? WHERE id = ?"));
    bindProgress(update, record);
    update.addBindValue(text(record.error));
    update.addBindValue(isUnfinished(record.stage) ? 0 : QDateTime::currentMSecsSinceEpoch());
    update.addBindValue(record.ledgerID);
    if (!update.exec())
        return tl::unexpected(sqlError(update.lastError(), m_path));
    return {};
}

Result<void> DeliveryLedger::remove(qint64 ledgerID) {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("DELETE FROM deliveries WHERE id = ?"));
    query.addBindValue(ledgerID);
    if (!query.exec())
        return tl::unexpected(sqlError(query.lastError(), m_path));
    return {};
}

Result<QList<UploadRecord>> DeliveryLedger::claimOrphans(const QStringList& paths) {
    const auto db = QSqlDatabase::database(m_connection, false);
    const QSet<QString> wanted(paths.cbegin(), paths.cend());
    return writeTransaction(db, m_path, [&]() -> Result<QList<UploadRecord>> {
        QSqlQuery select(db);
        if (!select.exec(QString::fromLatin1(selectColumns) +
                         QStringLiteral(" WHERE stage != 'done' ORDER BY id")))
            return tl::unexpected(sqlError(select.lastError(), m_path));
        QList<UploadRecord> claimed;
        QHash<QString, bool> alive;
        while (select.next()) {
            auto record = recordOf(select);
            if (!wanted.isEmpty() && !wanted.contains(record.filePath))
                continue;
            const QString owner = select.value(10).toString();
            if (!alive.contains(owner))
                alive.insert(owner, owner != m_owner && ownerIsAlive(owner));
            if (alive.value(owner) || owner == m_owner)
                continue;
            claimed.append(std::move(record));
        }
        QSqlQuery update(db);
        update.prepare(QStringLiteral("UPDATE deliveries SET owner = ? WHERE id = ?"));
        for (const auto& record : claimed) {
            update.addBindValue(m_owner);
            update.addBindValue(record.ledgerID);
            if (!update.exec())
                return tl::unexpected(sqlError(update.lastError(), m_path));
        }
        return claimed;
    });
}

Result<QList<UploadRecord>> DeliveryLedger::entries() const {
    QSqlQuery select(QSqlDatabase::database(m_connection, false));
    if (!select.exec(QString::fromLatin1(selectColumns) + QStringLiteral(" ORDER BY id")))
        return tl::unexpected(sqlError(select.lastError(), m_path));
    QList<UploadRecord> all;
    while (select.next())
        all.append(recordOf(select));
    return all;
}

Result<QSet<QString>> DeliveryLedger::unfinishedFiles() const {
    QSqlQuery select(QSqlDatabase::database(m_connection, false));
    if (!select.exec(
            QStringLiteral("SELECT file FROM deliveries WHERE stage NOT IN ('done', 'failed')")))
        return tl::unexpected(sqlError(select.lastError(), m_path));
    QSet<QString> files;
    while (select.next())
        files.insert(select.value(0).toString());
    return files;
}

Result<void> DeliveryLedger::forgetDeliveredBefore(qint64 listingStartedMs) {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("DELETE FROM deliveries WHERE stage = 'done' AND finished < ?"));
    query.addBindValue(listingStartedMs);
    if (!query.exec())
        return tl::unexpected(sqlError(query.lastError(), m_path));
    return {};
}

Result<void> DeliveryLedger::adopt(const QList<UploadRecord>& records) {
    const auto db = QSqlDatabase::database(m_connection, false);
    return writeTransaction(db, m_path, [&]() -> Result<void> {
        QSqlQuery insert(db);
        // A hand-over a crash cut short left its entries in; they are not taken twice.
        insert.prepare(QStringLiteral(
            "INSERT INTO deliveries (file, size, modified, title, stage, upload_id,"
            " upload_url, asset_id, owner) SELECT ?, ?, ?, ?, ?, ?, ?, ?, '' WHERE NOT EXISTS"
            " (SELECT 1 FROM deliveries WHERE file = ? AND upload_id = ?)"));
        for (const auto& record : records) {
            insert.addBindValue(text(record.filePath));
            bindProgress(insert, record);
            insert.addBindValue(text(record.filePath));
            insert.addBindValue(text(record.uploadID));
            if (!insert.exec())
                return tl::unexpected(sqlError(insert.lastError(), m_path));
        }
        return {};
    });
}

} // namespace clipferry
