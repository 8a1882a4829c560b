#include "SheetExporter.h"

#include "ServiceTransport.h"
#include "SheetCSV.h"

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

} // namespace

QString sheetCSV(const QList<MuxAsset>& assets, const QString& streamBase) {
    QString base = streamBase;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    QString csv = QStringLiteral("index,filename,playback_url\n");
    qsizetype index = 0;
    for (const auto& asset : assets) {
        ++index;
        const QString fileName = asset.passthrough.value_or(QStringLiteral("(No Title)"));
        const auto playbackID = asset.firstPlaybackID();
        const QString address =
            playbackID && !playbackID->isEmpty()
                ? base + QLatin1Char('/') + *playbackID + QStringLiteral(".m3u8")
                : QString();
        csv += QString::number(index) + QLatin1Char(',') + csvField(fileName) + QLatin1Char(',') +
               csvField(address) + QLatin1Char('\n');
    }
    return csv;
}

SheetExporter::SheetExporter(QNetworkAccessManager& network, Options options, ListLibrary list,
                             Log log, QObject* parent)
    : QObject(parent)
    , m_network(network)
    , m_options(std::move(options))
    , m_list(std::move(list))
    , m_log(std::move(log)) {}

QString SheetExporter::buildSheetCSV(const QList<MuxAsset>& assets) const {
    return sheetCSV(assets, m_options.streamBase.toString());
}

QCoro::Task<Result<void>> SheetExporter::postSheetCSV(QString csv) {
    const QUrl address = m_options.webAppUrl;
    if (address.isEmpty() || !address.isValid())
        co_return fail(errorDomain::sheet, noSheetAddressCode,
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
        co_return fail(errorDomain::network, int(reply->error()), reply->errorString());
    const int code = status.toInt();
    if (code < 200 || code > 299)
        co_return fail(
            errorDomain::sheet, sheetRefusedCode,
            QStringLiteral("The operation couldn\u2019t be completed. (GoogleSheet error 1.)"));
    co_return Result<void>{};
}

QCoro::Task<Result<void>> SheetExporter::exportLibrary(bool afterChange) {
    QPointer self(this);
    auto listed = co_await m_list(afterChange);
    if (!self)
        co_return tl::unexpected(ServiceTransport::cancelled());
    if (!listed)
        co_return tl::unexpected(listed.error());
    co_return co_await postSheetCSV(buildSheetCSV(*listed));
}

QCoro::Task<> SheetExporter::exportAfterLibraryChange() {
    QPointer self(this);
    auto exported = co_await exportLibrary(true);
    if (!self)
        co_return;
    if (exported)
        m_log(QStringLiteral("Google Sheet updated."));
    else
        m_log(QStringLiteral("Google Sheet update failed: ") + exported.error().message);
}

QCoro::Task<> SheetExporter::updateGoogleSheets() {
    QPointer self(this);
    m_log(QStringLiteral("Updating Google Sheets..."));
    auto exported = co_await exportLibrary(false);
    if (!self)
        co_return;
    if (exported)
        m_log(QStringLiteral("Google Sheets updated successfully"));
    else
        m_log(QStringLiteral("Failed to update Google Sheets: ") + exported.error().message);
}

} // namespace clipferry
