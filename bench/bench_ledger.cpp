// The delivery ledger at the size of a large drop: accepting 1,000 files, then a stage
// change of one of them, against the whole-file JSON rewrite the journal did before it
// (measured in the same run). Prints medians; asserts nothing. Goals: accept ≤ 100 ms,
// a stage change ≤ 2 ms.
#include "model/StateFolder.h"
#include "workflow/DeliveryLedger.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace clipferry;

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

QByteArray journalOf(const QList<UploadRecord>& records) {
    QJsonArray entries;
    for (const auto& record : records)
        entries.append(QJsonObject{{"file", record.filePath},
                                   {"title", record.title},
                                   {"stage", uploadStatusLabel(record.stage)},
                                   {"upload_url", record.uploadURL.toString()}});
    return QJsonDocument(entries).toJson();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    constexpr int files = 1000;
    constexpr int rounds = 9;
    QList<UploadRecord> drop;
    for (int i = 0; i < files; ++i) {
        UploadRecord record;
        record.filePath =
            QStringLiteral("/renders/E1_Opening_PAR_M%1_final.mov").arg(i, 4, 10, QChar('0'));
        record.title = QStringLiteral("E1_Opening_PAR_M%1_final").arg(i, 4, 10, QChar('0'));
        record.uploadURL =
            QUrl(QStringLiteral("https://storage.example/upload/") + QString::number(i) +
                 QStringLiteral("?signature=") + QString(200, QChar('s')));
        drop.append(record);
    }
    std::vector<double> accept, change, rewrite;
    for (int round = 0; round < rounds; ++round) {
        QTemporaryDir dir;
        auto ledger = DeliveryLedger::open(dir.path() + QStringLiteral("/bench.sqlite"));
        if (!ledger) {
            std::fprintf(stderr, "%s\n", qPrintable(ledger.error().message));
            return 1;
        }
        QElapsedTimer timer;
        timer.start();
        auto accepted = (*ledger)->accept(drop);
        accept.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!accepted)
            return 1;
        auto record = (*accepted)[files / 2];
        for (auto stage : {UploadStatus::creatingUpload, UploadStatus::uploading,
                           UploadStatus::waitingAsset, UploadStatus::processingAsset}) {
            record.stage = stage;
            timer.restart();
            if (!(*ledger)->save(record))
                return 1;
            change.push_back(double(timer.nsecsElapsed()) / 1e6);
            timer.restart();
            if (!writeFileAtomically(dir.path() + QStringLiteral("/Uploads.json"),
                                     journalOf(*accepted)))
                return 1;
            rewrite.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
    }
    std::printf("accept %d files:              %8.2f ms (goal <= 100)\n", files, median(accept));
    std::printf("stage change, ledger:          %8.3f ms (goal <= 2)\n", median(change));
    std::printf("stage change, JSON rewrite:    %8.3f ms (the former journal, %d entries)\n",
                median(rewrite), files);
    return 0;
}
