#include "app/cli/Commands.h"
#include "app/cli/Console.h"
#include "app/cli/HeadlessSession.h"
#include "workflow/LibrarySource.h"
#include "workflow/LibrarySync.h"
#include "workflow/SheetCSV.h"
#include "workflow/SheetExporter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

// The subcommands that read the library: `list` and `export-sheet`.
namespace clipferry::cli {
namespace {

QJsonValue optionalText(const std::optional<QString>& text) {
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

QString listingJson(const QList<MuxAsset>& assets, const QUrl& streamBase) {
    QJsonArray array;
    for (const auto& asset : assets) {
        const auto address = playbackAddress(asset, streamBase);
        array.append(QJsonObject{
            {QStringLiteral("id"), asset.id},
            {QStringLiteral("passthrough"), optionalText(asset.passthrough)},
            {QStringLiteral("status"), asset.status},
            {QStringLiteral("playback_url"), address.isEmpty() ? QJsonValue() : address},
        });
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
}

// Tab-separated, so a script can cut the columns even when a file name holds spaces.
QString listingLines(const QList<MuxAsset>& assets, const QUrl& streamBase) {
    QString text;
    for (const auto& asset : assets)
        text += printable(asset.passthrough.value_or(QStringLiteral("(No Title)"))) +
                QLatin1Char('\t') + printable(asset.status) + QLatin1Char('\t') +
                playbackAddress(asset, streamBase) + QLatin1Char('\n');
    return text;
}

} // namespace

QCoro::Task<int> runList(HeadlessSession& session, bool json) {
    if (!co_await session.signIn())
        co_return exitUsage;
    auto& workspace = session.workspace();
    co_await workspace.source().refresh();
    const auto& listing = workspace.library().lastCompleteListing();
    if (!listing)
        co_return exitFailed;
    const auto streamBase = workspace.options().streamBase;
    session.console().out(json ? listingJson(*listing, streamBase)
                               : listingLines(*listing, streamBase));
    co_return exitDone;
}

QCoro::Task<int> runExportSheet(HeadlessSession& session) {
    auto& sheet = session.workspace().sheetExporter();
    // Nothing to send to is the set-up's fault, not the service's: said before signing in.
    if (const auto& problem = sheet.addressProblem()) {
        session.console().error(QStringLiteral("clipferry export-sheet: ") + *problem);
        co_return exitUsage;
    }
    if (!co_await session.signIn())
        co_return exitUsage;
    // The export lists the library by itself; a refresh first would list it twice.
    bool updated = false;
    const auto connection = QObject::connect(&sheet, &SheetExporter::exportFinished, &sheet,
                                             [&updated](bool result) { updated = result; });
    co_await sheet.updateGoogleSheets();
    QObject::disconnect(connection);
    co_return updated ? exitDone : exitFailed;
}

} // namespace clipferry::cli
