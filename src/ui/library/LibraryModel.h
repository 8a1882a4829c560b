#pragma once

#include "ui/library/LibraryCatalog.h"

#include <QAbstractItemModel>
#include <memory>

namespace clipferry {

class UploadViewModel;

// The library as one tree: city -> animation -> video, for the view model's current
// provider and the search text. Rebuilt when a list, the provider or the city table
// changes (the catalog is regrouped only for list changes) and refiltered per search
// text; markers, selection and local metadata update in place.
class LibraryModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Kind { CityKind, AnimationKind, VideoKind };
    enum Role {
        // const LibraryNode*: everything the delegate paints from.
        NodeRole = Qt::UserRole + 1,
        KindRole,
        ExpansionKeyRole,
        // "complete", "count/required" or empty.
        ProgressTextRole,
        IsCompleteRole,
        IsNewRole,
        IsSelectedRole,
        // The seven cell texts of a video row (VideoCells order).
        CellsRole,
        // A video row's Delivery (as int); an animation's clips on the service, -1 unknown.
        DeliveryRole,
        // An animation's clips marked new or modified.
        NewCountRole,
    };

    explicit LibraryModel(UploadViewModel& viewModel, QObject* parent = nullptr);
    ~LibraryModel() override;

    [[nodiscard]] const QString& searchText() const { return m_searchText; }
    void setSearchText(const QString& text);
    // Applies in the Local Folder view only.
    [[nodiscard]] DeliveryFilter deliveryFilter() const { return m_filter; }
    void setDeliveryFilter(DeliveryFilter filter);
    // The local files of the tree, in its order.
    [[nodiscard]] QList<QUrl> shownLocalFiles() const;

    [[nodiscard]] static const LibraryNode* nodeAt(const QModelIndex& index);
    [[nodiscard]] QModelIndex indexOf(const LibraryNode* node) const;
    [[nodiscard]] bool isSelected(const VideoEntry& entry) const;
    // The row of the view model's selected video, when it is in the tree.
    [[nodiscard]] QModelIndex selectedVideoIndex() const;

    [[nodiscard]] QModelIndex index(int row, int column,
                                    const QModelIndex& parent = {}) const override;
    [[nodiscard]] QModelIndex parent(const QModelIndex& child) const override;
    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    // The one column's name, which a screen reader reads out though the header is hidden.
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role = Qt::DisplayRole) const override;
    [[nodiscard]] bool hasChildren(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

private:
    void regroup();
    void rebuild();
    [[nodiscard]] std::unique_ptr<LibraryNode> buildTree() const;
    void updateMarkers();
    void updateSelection();
    void updateVideoRows();
    [[nodiscard]] const LibraryNode* nodeOrRoot(const QModelIndex& index) const;
    template <typename Visit>
    void forEachAnimation(Visit visit) const;

    UploadViewModel& m_viewModel;
    LibraryCatalog m_catalog;
    std::unique_ptr<LibraryNode> m_root;
    QString m_searchText;
    DeliveryFilter m_filter = DeliveryFilter::all;
    const LibraryNode* m_selected = nullptr;
};

} // namespace clipferry

Q_DECLARE_METATYPE(const clipferry::LibraryNode*)
