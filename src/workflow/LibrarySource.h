#pragma once

#include "model/Records.h"
#include "service/MuxRecords.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QObject>
#include <optional>

namespace clipferry {

class ActivityLog;
class Credentials;
class DeliveryTracker;
class LibrarySync;
class LocalFolder;
class SheetExporter;

// Which library is on view, the service's or the local folder's, and what a refresh, a
// delete and the end of a batch do to it. Each of them lists the service at most once and
// hands that listing to the sheet, which lists by itself only when nothing was listed.
// The window keeps its choice of source for the next start; a command-line run keeps none.
//   source.setProvider(VideoProvider::localFolder);
//   co_await source.refresh(); // reads the folder again, the service library stays
class LibrarySource : public QObject {
    Q_OBJECT

public:
    struct Peers {
        LibrarySync& library;
        LocalFolder& folder;
        Credentials& credentials;
        SheetExporter& sheet;
        DeliveryTracker& delivery;
        ActivityLog& log;
    };
    // `keepChoice`: the source and the folder are read from and written to the settings.
    LibrarySource(Peers peers, bool keepChoice, QObject* parent = nullptr);

    [[nodiscard]] VideoProvider provider() const { return m_provider; }
    void setProvider(VideoProvider provider);
    // The folder of the local source, kept for the next start.
    void setFolderURL(std::optional<QUrl> folder);
    // The folder chooser's answer: the folder is read and the choice logged after it.
    [[nodiscard]] QCoro::Task<> selectFolder(QUrl folder);

    // Lists the service once the tokens are read; on the local source, reads the folder
    // again and leaves the service library, which the folder does not replace, as it is.
    [[nodiscard]] QCoro::Task<> refresh();
    // After the first tokens are entered: the start-up listing ran without them.
    void refreshIfNeverListed();
    // Reads the stored tokens again, after a failed read, and lists if it never did.
    [[nodiscard]] QCoro::Task<> reloadCredentials();
    // Deletes the asset the user confirmed, then lists the library and updates the sheet
    // with that listing.
    [[nodiscard]] QCoro::Task<> deleteAsset(MuxAsset asset);
    // The library and the sheet after a batch of uploads.
    [[nodiscard]] QCoro::Task<> completeBatch();
    // Every asset and local clip seen now.
    void markAllSeen();

Q_SIGNALS:
    void providerChanged(clipferry::VideoProvider provider);
    // The service deleted the asset and the library was listed again; the sheet follows.
    void assetDeleted(const QString& assetID);

private:
    void keepFolder(const std::optional<QUrl>& folder);
    // The complete service listing, when the service source was refreshed and it came.
    [[nodiscard]] QCoro::Task<std::optional<QList<MuxAsset>>> relist();

    Peers m_peers;
    bool m_keepChoice;
    VideoProvider m_provider = VideoProvider::webMux;
};

} // namespace clipferry
