#include "WebAppCsv.h"

namespace clipferry::fuzz {

QList<MuxAsset> assetsOfRecords(const QByteArray& bytes) {
    QList<MuxAsset> assets;
    for (const QByteArray& record : bytes.split('\0')) {
        const qsizetype separator = record.indexOf('\x1f');
        MuxAsset asset;
        if (!record.startsWith('\x1e'))
            asset.passthrough = QString::fromUtf8(record.left(separator));
        if (separator >= 0)
            asset.playback_ids = QList<PlaybackID>{{QString::fromUtf8(record.mid(separator + 1))}};
        assets.append(asset);
    }
    return assets;
}

QList<QStringList> webAppParseCsv(const QString& text) {
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool atFieldStart = true;
    bool recordOpen = false;
    const qsizetype n = text.size();
    // charAt past the end is "" in JavaScript, never equal to a character.
    const auto charAt = [&](qsizetype at) {
        return at < n ? text[at] : QChar();
    };
    qsizetype i = n > 0 && text[0].unicode() == 0xfeff ? 1 : 0;

    while (i < n) {
        const QChar c = text[i];
        if (atFieldStart && c == QLatin1Char('"')) {
            i += 1;
            for (;;) {
                const qsizetype q = text.indexOf(QLatin1Char('"'), i);
                if (q < 0) {
                    field += text.mid(i);
                    i = n;
                    break;
                }
                field += text.mid(i, q - i);
                if (q + 1 < n && charAt(q + 1) == QLatin1Char('"')) {
                    field += QLatin1Char('"');
                    i = q + 2;
                } else {
                    i = q + 1;
                    break;
                }
            }
            atFieldStart = false;
            recordOpen = true;
        } else if (c == QLatin1Char(',')) {
            row.append(field);
            field.clear();
            atFieldStart = true;
            recordOpen = true;
            i += 1;
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            row.append(field);
            rows.append(row);
            row.clear();
            field.clear();
            atFieldStart = true;
            recordOpen = false;
            i += c == QLatin1Char('\r') && i + 1 < n && charAt(i + 1) == QLatin1Char('\n') ? 2 : 1;
        } else {
            field += c;
            atFieldStart = false;
            recordOpen = true;
            i += 1;
        }
    }
    if (recordOpen) {
        row.append(field);
        rows.append(row);
    }
    return rows;
}

} // namespace clipferry::fuzz
