#pragma once

#include <QUrl>
#include <QWidget>
#include <functional>

class QComboBox;
class QGraphicsOpacityEffect;
class QLineEdit;
class QLabel;
class QProgressBar;
class QPushButton;
class QNetworkAccessManager;
class QNetworkDiskCache;

namespace clipferry {

class LibraryModel;
class LibraryView;
class RefreshButton;
class ThumbnailLoader;
class AppStyle;
class UploadViewModel;

// The main column: the search field and refresh button over the library tree. Carries
// out what the rows ask for (select, open, delete after confirmation) through the view
// model, and starts the first refresh when it is first shown.
class LibraryColumn : public QWidget {
    Q_OBJECT
public:
    struct Options {
        // Origin of the service's still images.
        QUrl imageBase;
        // The still-image disk cache; empty: no disk cache.
        QString imageCacheFolder;
        int maxThumbnailRequests = 6;
    };
    [[nodiscard]] static Options defaultOptions();

    LibraryColumn(UploadViewModel& viewModel, QNetworkAccessManager& network, AppStyle& style,
                  QWidget* parent = nullptr);
    LibraryColumn(UploadViewModel& viewModel, QNetworkAccessManager& network, AppStyle& style,
                  Options options, QWidget* parent = nullptr);
    ~LibraryColumn() override;

    [[nodiscard]] LibraryModel& model() const { return *m_model; }
    [[nodiscard]] LibraryView& view() const { return *m_view; }
    [[nodiscard]] QLineEdit& searchField() const { return *m_search; }
    [[nodiscard]] RefreshButton& refreshButton() const { return *m_refresh; }
    [[nodiscard]] QComboBox& deliveryFilter() const { return *m_filter; }
    [[nodiscard]] QPushButton& uploadShownButton() const { return *m_uploadShown; }
    [[nodiscard]] ThumbnailLoader& remoteThumbnails() const { return *m_remoteThumbnails; }
    [[nodiscard]] ThumbnailLoader& localThumbnails() const { return *m_localThumbnails; }

    // How addresses and files are opened; QDesktopServices::openUrl unless replaced.
    void setUrlOpener(std::function<void(const QUrl&)> opener) { m_openUrl = std::move(opener); }

    // As wide as the widest row and the scroll bar, so that no row scrolls sideways.
    [[nodiscard]] QSize sizeHint() const override;

    void refresh();
    void openSelected();
    void deleteSelected();
    // The selected row's playback address (a local clip's path) on the clipboard.
    void copySelected();
    // "Upload N": the shown clips not on the service or changed, as one batch.
    void uploadShown();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void clickVideo(const QModelIndex& video);
    void selectVideo(const QModelIndex& video);
    void openVideo(const QModelIndex& video);
    void showVideoMenu(const QModelIndex& video, const QPoint& globalPosition);
    void showCachedListing(bool cached);
    void showListingNotice();
    void updateDeliveryControls();
    void updateEmptyText();

    UploadViewModel& m_viewModel;
    QNetworkDiskCache* m_imageCache = nullptr;
    ThumbnailLoader* m_remoteThumbnails;
    ThumbnailLoader* m_localThumbnails;
    LibraryModel* m_model;
    QLineEdit* m_search;
    RefreshButton* m_refresh;
    QComboBox* m_filter;
    QPushButton* m_uploadShown;
    LibraryView* m_view;
    // Shown, and the rows dimmed, while the rows are the previous run's listing.
    QProgressBar* m_listingBar;
    // Why the rows are not fresh: the service could not be reached, and when it last listed.
    QLabel* m_notice;
    QGraphicsOpacityEffect* m_dimmer;
    std::function<void(const QUrl&)> m_openUrl;
    bool m_shown = false;
    bool m_painted = false;
};

} // namespace clipferry
