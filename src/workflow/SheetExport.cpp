#include "SheetCSV.h"
#include "UploadViewModel.h"

#include <QCoro/QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <memory>

// The sheet gets the playback addresses of the whole service library as CSV, through an
// Apps Script web app that writes the rows.
namespace clipferry {
namespace {

// Plain fields go out as they are; only a field that would shift or split the line is
// quoted, the RFC 4180 way.
QString csvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

struct ReplyDeleter {
    void operator()(QNetworkReply* reply) const { reply->deleteLater(); }
};

tl::unexpected<Error> notListed() {
    return fail(QStringLiteral("GoogleSheet"), 2,
                QStringLiteral("the service library could not be listed"));
}

} // namespace

QString playbackAddress(const MuxAsset& asset, const QString& streamBase) {
    const auto playbackID = asset.firstPlaybackID();
    if (!playbackID || playbackID->isEmpty())
        return {};
    QString base = streamBase;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + QLatin1Char('/') + *playbackID + QStringLiteral(".m3u8");
}

QString sheetCSV(const QList<MuxAsset>& assets, const QString& streamBase) {
    QString csv = QStringLiteral("index,filename,playback_url\n");
    qsizetype index = 0;
    for (const auto& asset : assets) {
        ++index;
        const QString fileName = asset.passthrough.value_or(QStringLiteral("(No Title)"));
        csv += QString::number(index) + QLatin1Char(',') + csvField(fileName) + QLatin1Char(',') +
               csvField(playbackAddress(asset, streamBase)) + QLatin1Char('\n');
    }
    return csv;
}

QString UploadViewModel::buildSheetCSV() const {
    return sheetCSV(m_lastCompleteListing.value_or(QList<MuxAsset>{}),
                    m_options.streamBase.toString());
}

QCoro::Task<Result<void>> UploadViewModel::postSheetCSV(QString csv) {
    const QUrl address = m_options.sheetWebAppUrl;
    if (address.isEmpty() || !address.isValid())
        co_return fail(QStringLiteral("GoogleSheet"), 3,
                       QStringLiteral("no sheet web app address was set for this build "
                                      "(CMake variable CLIPFERRY_SHEET_WEBAPP_URL)"));
    QNetworkRequest request(address);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("text/plain"));
    request.setTransferTimeout(60000);
    // Apps Script answers the POST with a redirect to the result, fetched with GET.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    // Deleted from the event loop: the coroutine ends inside the reply's finished signal.
    const std::unique_ptr<QNetworkReply, ReplyDeleter> reply(m_network.post(request, csv.toUtf8()));
    co_await qCoro(reply.get()).waitForFinished();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        co_return fail(QStringLiteral("Network"), int(reply->error()), reply->errorString());
    const int code = status.toInt();
    if (code < 200 || code > 299)
        co_return fail(
            QStringLiteral("GoogleSheet"), 1,
            QStringLiteral("The operation couldn\u2019t be completed. (GoogleSheet error 1.)"));
    co_return Result<void>{};
}

QCoro::Task<Result<void>> UploadViewModel::exportSheet(bool listWhenLocal) {
    QPointer self(this);
    if (listWhenLocal && m_provider == VideoProvider::localFolder) {
        // A failed listing keeps the last complete one for the export.
        (void)co_await listQuietly();
        if (!self)
            co_return notListed();
    }
    if (!m_lastCompleteListing)
        co_return notListed();
    co_return co_await postSheetCSV(buildSheetCSV());
}

QCoro::Task<> UploadViewModel::exportAfterLibraryChange() {
    QPointer self(this);
    auto exported = co_await exportSheet(true);
    if (!self)
        co_return;
    if (exported)
        appendLog(QStringLiteral("Google Sheet updated."));
    else
        appendLog(QStringLiteral("Google Sheet update failed: ") + exported.error().message);
    Q_EMIT sheetExportFinished(bool(exported));
}

QCoro::Task<> UploadViewModel::updateGoogleSheets() {
    QPointer self(this);
    appendLog(QStringLiteral("Updating Google Sheets..."));
    auto exported = co_await exportSheet(false);
    if (!self)
        co_return;
    if (exported)
        appendLog(QStringLiteral("Google Sheets updated successfully"));
    else
        appendLog(QStringLiteral("Failed to update Google Sheets: ") + exported.error().message);
    Q_EMIT sheetExportFinished(bool(exported));
}

} // namespace clipferry
