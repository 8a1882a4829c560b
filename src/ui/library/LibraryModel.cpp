#include "ui/library/LibraryModel.h"

#include "workflow/UploadViewModel.h"

namespace clipferry {
namespace {

template <typename... Fs>
struct Overloaded : Fs... {
    using Fs::operator()...;
};
template <typename... Fs>
Overloaded(Fs...) -> Overloaded<Fs...>;

} // namespace

LibraryModel::LibraryModel(UploadViewModel& viewModel, QObject* parent)
    : QAbstractItemModel(parent)
    , m_viewModel(viewModel)
    , m_root(std::make_unique<LibraryNode>()) {
    const auto isLocal = [this] {
        return m_viewModel.provider() == VideoProvider::localFolder;
    };
    connect(&viewModel, &UploadViewModel::providerChanged, this, &LibraryModel::regroup);
    connect(&viewModel, &UploadViewModel::existingAssetsChanged, this, [this, isLocal] {
        if (!isLocal())
            regroup();
    });
    connect(&viewModel, &UploadViewModel::localVideoURLsChanged, this, [this, isLocal] {
        if (isLocal())
            regroup();
    });
    connect(&viewModel, &UploadViewModel::cityMapChanged, this, &LibraryModel::rebuild);
    // Rare (a listing, an upload starting or ending), and it moves header counts and filter
    // results: a rebuild.
    connect(&viewModel, &UploadViewModel::deliveryStatesChanged, this, [this, isLocal] {
        if (isLocal())
            rebuild();
    });
    connect(&viewModel, &UploadViewModel::changedMuxAssetsChanged, this,
            &LibraryModel::updateMarkers);
    connect(&viewModel, &UploadViewModel::changedLocalVideosChanged, this,
            &LibraryModel::updateMarkers);
    connect(&viewModel, &UploadViewModel::selectedAssetChanged, this,
            &LibraryModel::updateSelection);
    connect(&viewModel, &UploadViewModel::selectedLocalVideoChanged, this,
            &LibraryModel::updateSelection);
    connect(&viewModel, &UploadViewModel::localMetadataChanged, this, [this, isLocal] {
        if (isLocal())
            updateVideoRows();
    });
    regroup();
}

LibraryModel::~LibraryModel() = default;

void LibraryModel::setSearchText(const QString& text) {
    if (text == m_searchText)
        return;
    m_searchText = text;
    rebuild();
}

void LibraryModel::setDeliveryFilter(DeliveryFilter filter) {
    if (filter == m_filter)
        return;
    m_filter = filter;
    rebuild();
}

QList<QUrl> LibraryModel::shownLocalFiles() const {
    QList<QUrl> files;
    forEachAnimation([&](const LibraryNode& animation) {
        for (const auto& child : animation.children)
            if (const auto* video =
                    std::get_if<LocalVideo>(&std::get<VideoEntry>(child->payload).video))
                files.append(video->url);
    });
    return files;
}

std::unique_ptr<LibraryNode> LibraryModel::buildTree() const {
    LibraryCatalog::DeliveryView delivery;
    if (m_viewModel.provider() == VideoProvider::localFolder) {
        delivery.statusOf = [this](const LocalVideo& video) {
            return m_viewModel.deliveryStatus(video.url);
        };
        delivery.filter = m_filter;
    }
    return m_catalog.buildTree(m_viewModel.cityMap(), m_searchText,
                               {&m_viewModel.changedMuxAssets(), &m_viewModel.changedLocalVideos()},
                               delivery);
}

void LibraryModel::regroup() {
    beginResetModel();
    if (m_viewModel.provider() == VideoProvider::localFolder)
        m_catalog.setVideos(m_viewModel.localVideos());
    else if (const auto* grouped = m_viewModel.shownGrouping())
        m_catalog.setGrouping(*grouped);
    else
        m_catalog.setVideos(m_viewModel.shownAssets());
    m_root = buildTree();
    m_selected = nodeAt(selectedVideoIndex());
    endResetModel();
}

void LibraryModel::rebuild() {
    beginResetModel();
    m_root = buildTree();
    m_selected = nodeAt(selectedVideoIndex());
    endResetModel();
}

template <typename Visit>
void LibraryModel::forEachAnimation(Visit visit) const {
    for (const auto& city : m_root->children)
        for (const auto& animation : city->children)
            visit(*animation);
}

void LibraryModel::updateMarkers() {
    const auto& assets = m_viewModel.changedMuxAssets();
    const auto& files = m_viewModel.changedLocalVideos();
    forEachAnimation([&](const LibraryNode& animation) {
        int first = -1;
        int last = -1;
        for (const auto& child : animation.children) {
            auto& entry = std::get<VideoEntry>(child->payload);
            const bool isNew =
                std::visit(Overloaded{
                               [&](const MuxAsset& a) { return assets.contains(a.id); },
                               [&](const LocalVideo& v) { return files.contains(v.url); },
                           },
                           entry.video);
            if (isNew == entry.isNew)
                continue;
            entry.isNew = isNew;
            if (first < 0)
                first = child->row;
            last = child->row;
        }
        if (first >= 0) {
            auto& group = std::get<AnimationGroup>(const_cast<LibraryNode&>(animation).payload);
            group.newCount = std::count_if(
                animation.children.begin(), animation.children.end(),
                [](const auto& child) { return std::get<VideoEntry>(child->payload).isNew; });
            const QModelIndex parentIndex = indexOf(&animation);
            Q_EMIT dataChanged(index(first, 0, parentIndex), index(last, 0, parentIndex),
                               {IsNewRole});
            Q_EMIT dataChanged(parentIndex, parentIndex, {NewCountRole});
        }
    });
}

void LibraryModel::updateSelection() {
    const QModelIndex now = selectedVideoIndex();
    const LibraryNode* selected = nodeAt(now);
    if (selected == m_selected)
        return;
    if (m_selected) {
        const QModelIndex before = indexOf(m_selected);
        Q_EMIT dataChanged(before, before, {IsSelectedRole});
    }
    m_selected = selected;
    if (now.isValid())
        Q_EMIT dataChanged(now, now, {IsSelectedRole});
}

void LibraryModel::updateVideoRows() {
    forEachAnimation([&](const LibraryNode& animation) {
        if (animation.children.empty())
            return;
        const QModelIndex parentIndex = indexOf(&animation);
        Q_EMIT dataChanged(index(0, 0, parentIndex),
                           index(static_cast<int>(animation.children.size()) - 1, 0, parentIndex),
                           {CellsRole});
    });
}

bool LibraryModel::isSelected(const VideoEntry& entry) const {
    return std::visit(Overloaded{
                          [&](const MuxAsset& asset) {
                              const auto& selected = m_viewModel.selectedAsset();
                              return selected && selected->id == asset.id;
                          },
                          [&](const LocalVideo& video) {
                              const auto& selected = m_viewModel.selectedLocalVideo();
                              return selected && *selected == video.url;
                          },
                      },
                      entry.video);
}

QModelIndex LibraryModel::selectedVideoIndex() const {
    const bool local = m_viewModel.provider() == VideoProvider::localFolder;
    if (local ? !m_viewModel.selectedLocalVideo() : !m_viewModel.selectedAsset())
        return {};
    QModelIndex found;
    forEachAnimation([&](const LibraryNode& animation) {
        if (found.isValid())
            return;
        for (const auto& child : animation.children)
            if (isSelected(std::get<VideoEntry>(child->payload))) {
                found = createIndex(child->row, 0, child.get());
                return;
            }
    });
    return found;
}

const LibraryNode* LibraryModel::nodeAt(const QModelIndex& index) {
    return index.isValid() ? static_cast<const LibraryNode*>(index.internalPointer()) : nullptr;
}

const LibraryNode* LibraryModel::nodeOrRoot(const QModelIndex& index) const {
    return index.isValid() ? nodeAt(index) : m_root.get();
}

QModelIndex LibraryModel::indexOf(const LibraryNode* node) const {
    if (!node || node == m_root.get())
        return {};
    return createIndex(node->row, 0, const_cast<LibraryNode*>(node));
}

QModelIndex LibraryModel::index(int row, int column, const QModelIndex& parent) const {
    const LibraryNode* parentNode = nodeOrRoot(parent);
    if (column != 0 || row < 0 || static_cast<std::size_t>(row) >= parentNode->children.size())
        return {};
    return createIndex(row, 0, parentNode->children[static_cast<std::size_t>(row)].get());
}

QModelIndex LibraryModel::parent(const QModelIndex& child) const {
    const LibraryNode* node = nodeAt(child);
    if (!node || !node->parent)
        return {};
    return indexOf(node->parent);
}

int LibraryModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0)
        return 0;
    return static_cast<int>(nodeOrRoot(parent)->children.size());
}

int LibraryModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool LibraryModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

Qt::ItemFlags LibraryModel::flags(const QModelIndex& index) const {
    const LibraryNode* node = nodeAt(index);
    if (!node)
        return Qt::NoItemFlags;
    if (std::holds_alternative<VideoEntry>(node->payload))
        return Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    return Qt::ItemIsEnabled;
}

QVariant LibraryModel::data(const QModelIndex& index, int role) const {
    const LibraryNode* node = nodeAt(index);
    if (!node)
        return {};
    if (role == NodeRole)
        return QVariant::fromValue(node);
    return std::visit(
        Overloaded{
            [](const std::monostate&) -> QVariant { return {}; },
            [&](const CitySection& city) -> QVariant {
                switch (role) {
                case Qt::DisplayRole:
                case Qt::AccessibleTextRole:
                    return city.displayName;
                case KindRole:
                    return CityKind;
                default:
                    return {};
                }
            },
            [&](const AnimationGroup& group) -> QVariant {
                switch (role) {
                case Qt::DisplayRole:
                    return group.animation;
                case Qt::AccessibleTextRole: {
                    const QString progress = progressLabel(group);
                    return progress.isEmpty() ? group.animation
                                              : group.animation + QStringLiteral(", ") + progress;
                }
                case KindRole:
                    return AnimationKind;
                case ExpansionKeyRole:
                    return group.key;
                case ProgressTextRole:
                    return progressLabel(group);
                case IsCompleteRole:
                    return isComplete(group.progress);
                case DeliveryRole:
                    return qlonglong(group.delivered);
                case NewCountRole:
                    return qlonglong(group.newCount);
                default:
                    return {};
                }
            },
            [&](const VideoEntry& entry) -> QVariant {
                switch (role) {
                case Qt::DisplayRole:
                    return videoCells(entry.video).title;
                case Qt::AccessibleTextRole: {
                    // What the row shows beside the name: the marker and, for
                    // a local clip, whether it is on the service.
                    QStringList parts{videoCells(entry.video).title};
                    if (entry.isNew)
                        parts.append(QStringLiteral("New or modified"));
                    if (const QString state = deliveryLabel(entry.delivery.state); !state.isEmpty())
                        parts.append(state);
                    return parts.join(QStringLiteral(", "));
                }
                case KindRole:
                    return VideoKind;
                case IsNewRole:
                    return entry.isNew;
                case IsSelectedRole:
                    return isSelected(entry);
                case CellsRole:
                    return videoCells(entry.video).toList();
                case DeliveryRole:
                    return int(entry.delivery.state);
                case Qt::ToolTipRole: {
                    const QString tip = deliveryToolTip(entry.delivery);
                    return tip.isEmpty() ? QVariant() : QVariant(tip);
                }
                default:
                    return {};
                }
            },
        },
        node->payload);
}

QVariant LibraryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (section == 0 && orientation == Qt::Horizontal &&
        (role == Qt::DisplayRole || role == Qt::AccessibleTextRole))
        return QStringLiteral("Videos");
    return QAbstractItemModel::headerData(section, orientation, role);
}

QHash<int, QByteArray> LibraryModel::roleNames() const {
    auto names = QAbstractItemModel::roleNames();
    names.insert(KindRole, "kind");
    names.insert(ExpansionKeyRole, "expansionKey");
    names.insert(ProgressTextRole, "progressText");
    names.insert(IsCompleteRole, "isComplete");
    names.insert(IsNewRole, "isNew");
    names.insert(IsSelectedRole, "isSelected");
    names.insert(CellsRole, "cells");
    names.insert(DeliveryRole, "delivery");
    names.insert(NewCountRole, "newCount");
    return names;
}

} // namespace clipferry
