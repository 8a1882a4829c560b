#include "workflow/SheetExporter.h"

#include "service/ServiceTransport.h"
#include "workflow/ActivityLog.h"
#include "workflow/Credentials.h"
#include "workflow/SheetCSV.h"

#include "service/LoopbackGuard.h"
#include "service/RequestPacer.h"
#include "service/ServiceAddresses.h"

#include <QNetworkRequest>
#include <QPointer>
#include <QSettings>

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

const auto webAppUrlSetting = QStringLiteral("sheetWebAppUrl");

// Enough of an unexpected answer to tell an error text from a sign-in page.
constexpr qsizetype sheetAnswerShown = 200;

} // namespace

QString playbackAddress(const MuxAsset& asset, const QUrl& streamBase) {
    const auto playbackID = asset.firstPlaybackID();
    if (!playbackID || playbackID->isEmpty())
        return {};
    return service::streamLocation(streamBase, *playbackID).toString(QUrl::FullyEncoded);
}

QString sheetCSV(const QList<MuxAsset>& assets, const QUrl& streamBase) {
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

SheetExporter::SheetExporter(QNetworkAccessManager& network, Credentials& credentials,
                             ActivityLog& log, Options options, ListLibrary list, QObject* parent)
    : QObject(parent)
    , m_credentials(credentials)
    , m_log(log)
    , m_options(std::move(options))
    , m_list(std::move(list))
    , m_pacer(std::make_unique<RequestPacer>(RequestPacer::Rates{0, 0}, m_options.clock)) {
    auto retry = m_options.retry;
    retry.retryDroppedPosts = true;
    m_transport =
        std::make_unique<ServiceTransport>(network, *m_pacer, retry, m_options.transferTimeout);
    const QVariant saved = QSettings().value(webAppUrlSetting);
    takeWebAppUrl(m_options.fixedWebAppUrl ? *m_options.fixedWebAppUrl
                  : saved.isValid()        ? saved.toString()
                                           : m_options.webAppUrl.toString());
}

Result<QUrl> SheetExporter::checkedWebAppUrl(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return QUrl();
    const QUrl url(trimmed, QUrl::StrictMode);
    const bool https = url.scheme() == QLatin1String("https");
    if (url.isValid() && !url.host().isEmpty() &&
        (https || (url.scheme() == QLatin1String("http") && service::allowsPlainHttp(url))))
        return url;
    return fail(errorDomain::sheet, badSheetAddressCode,
                QStringLiteral("The Google Sheet web app address must be an https:// address, "
                               "not \u201c%1\u201d.")
                    .arg(trimmed));
}

void SheetExporter::takeWebAppUrl(const QString& text) {
    auto checked = checkedWebAppUrl(text);
    m_webAppUrl = checked.value_or(QUrl());
    if (!checked)
        m_addressProblem = checked.error().message;
    else if (m_webAppUrl.isEmpty())
        m_addressProblem = QStringLiteral(
            "No Google Sheet web app address is set, so the sheet is not updated. Paste the web "
            "app's address under Google Sheets in the settings (CLIPFERRY_SHEET_URL for the "
            "command line).");
    else
        m_addressProblem.reset();
    m_addressProblemLogged = false;
}

Result<void> SheetExporter::setWebAppUrl(const QString& text) {
    auto checked = checkedWebAppUrl(text);
    if (!checked)
        return tl::unexpected(checked.error());
    QSettings().setValue(webAppUrlSetting, checked->toString());
    takeWebAppUrl(checked->toString());
    Q_EMIT webAppUrlChanged();
    return {};
}

SheetExporter::~SheetExporter() = default;

QString SheetExporter::buildSheetCSV(const QList<MuxAsset>& assets) const {
    return sheetCSV(assets, m_options.streamBase);
}

QCoro::Task<Result<void>> SheetExporter::postSheetCSV(QString csv) {
    if (m_addressProblem)
        co_return fail(errorDomain::sheet, noSheetAddressCode, *m_addressProblem);
    QUrl address = m_webAppUrl;
    QPointer self(this);
    const auto key = co_await m_credentials.sheetKey();
    if (!self)
        co_return tl::unexpected(ServiceTransport::cancelled());
    if (!key)
        co_return tl::unexpected(key.error());
    if (*key) {
        QString query = address.query(QUrl::FullyEncoded);
        if (!query.isEmpty())
            query += QLatin1Char('&');
        query += QStringLiteral("key=") + QString::fromLatin1(QUrl::toPercentEncoding(**key));
        address.setQuery(query, QUrl::StrictMode);
    }

    QNetworkRequest request(address);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("text/plain"));
    // Apps Script answers the POST with a redirect to the result on another host, fetched
    // with GET; nothing secret rides on the request but the key, which stays behind.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    auto reply = co_await m_transport->send(QByteArrayLiteral("POST"), request, csv.toUtf8());
    if (!reply)
        co_return tl::unexpected(reply.error());
    if (!reply->status || *reply->status < 200 || *reply->status > 299)
        co_return fail(
            errorDomain::sheet, sheetRefusedCode,
            QStringLiteral("The operation couldn\u2019t be completed. (GoogleSheet error 1.)"));
    // The web app answers 200 whatever happened, and a mis-deployed one answers with a
    // sign-in page: only its own confirmation counts.
    if (!reply->body.startsWith("OK "))
        co_return fail(errorDomain::sheet, sheetUnconfirmedCode,
                       QStringLiteral("the web app answered: ") +
                           QString::fromUtf8(reply->body).left(sheetAnswerShown));
    co_return Result<void>{};
}

QCoro::Task<Result<void>> SheetExporter::exportLibrary(std::optional<QList<MuxAsset>> listed) {
    if (m_addressProblem)
        co_return fail(errorDomain::sheet, noSheetAddressCode, *m_addressProblem);
    if (!listed) {
        QPointer self(this);
        auto own = co_await m_list();
        if (!self)
            co_return tl::unexpected(ServiceTransport::cancelled());
        if (!own)
            co_return fail(errorDomain::sheet, libraryNotListedCode,
                           QStringLiteral("the service library could not be listed: ") +
                               own.error().message);
        listed = std::move(*own);
    }
    co_return co_await postSheetCSV(buildSheetCSV(*listed));
}

QCoro::Task<> SheetExporter::exportAfterLibraryChange(std::optional<QList<MuxAsset>> listed) {
    // Not a failure of each batch: the user has not set the sheet up (yet).
    if (m_addressProblem) {
        if (!std::exchange(m_addressProblemLogged, true))
            m_log.append(*m_addressProblem);
        Q_EMIT exportFinished(true);
        co_return;
    }
    QPointer self(this);
    auto exported = co_await exportLibrary(std::move(listed));
    if (!self)
        co_return;
    if (exported)
        m_log.append(QStringLiteral("Google Sheet updated."));
    else
        m_log.append(QStringLiteral("Google Sheet update failed: ") + exported.error().message);
    Q_EMIT exportFinished(bool(exported));
}

QCoro::Task<> SheetExporter::updateGoogleSheets() {
    QPointer self(this);
    m_log.append(QStringLiteral("Updating Google Sheets..."));
    std::optional<QList<MuxAsset>> unlisted;
    auto exported = co_await exportLibrary(std::move(unlisted));
    if (!self)
        co_return;
    if (exported)
        m_log.append(QStringLiteral("Google Sheets updated successfully"));
    else
        m_log.append(QStringLiteral("Failed to update Google Sheets: ") + exported.error().message);
    Q_EMIT exportFinished(bool(exported));
}

} // namespace clipferry
