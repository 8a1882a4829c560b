#include "WebAppCsv.h"
#include "workflow/SheetCSV.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

// For each sheet_csv corpus file given: the CSV the desktop posts for its assets and the
// rows the fuzz target's port of the web app's reader gets back, as one JSON array.
// webapp/test/csv-port.test.js reads the same text with Code.gs itself, so the port that
// the fuzz target trusts cannot drift from the reader the sheet really runs.
int main(int argc, char** argv) {
    using namespace clipferry;
    QJsonArray out;
    for (int i = 1; i < argc; ++i) {
        QFile file(QString::fromLocal8Bit(argv[i]));
        if (!file.open(QIODevice::ReadOnly))
            return 2;
        const auto assets = fuzz::assetsOfRecords(file.readAll());
        const QString text = QString::fromUtf8(
            sheetCSV(assets, QUrl(QStringLiteral("https://stream.example"))).toUtf8());
        QJsonArray rows;
        for (const QStringList& row : fuzz::webAppParseCsv(text))
            rows.append(QJsonArray::fromStringList(row));
        out.append(QJsonObject{{QStringLiteral("file"), file.fileName()},
                               {QStringLiteral("text"), text},
                               {QStringLiteral("rows"), rows}});
    }
    const QByteArray json = QJsonDocument(out).toJson(QJsonDocument::Compact);
    return std::fwrite(json.constData(), 1, size_t(json.size()), stdout) == size_t(json.size()) ? 0
                                                                                                : 1;
}
