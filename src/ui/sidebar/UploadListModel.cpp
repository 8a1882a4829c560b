#include "ui/sidebar/UploadListModel.h"

#include "workflow/UploadViewModel.h"

namespace clipferry {

namespace {

// What a screen reader says of a row: its title, status, progress and error, in words.
QString accessibleText(const UploadItem& item) {
    QStringList parts{item.title, uploadStatusLabel(item.status)};
    if (item.bytesTotal > 0 && item.bytesSent > 0 && item.status != UploadStatus::done)
        parts.append(QStringLiteral("%1 %").arg(item.bytesSent * 100 / item.bytesTotal));
    if (!item.detail.isEmpty())
        parts.append(item.detail.split(QStringLiteral(" \u00b7 ")));
    if (item.error)
        parts.append(*item.error);
    return parts.join(QStringLiteral(", "));
}

// The keys that work on the selected row.
QString actionKeysText(const QList<int>& actions) {
    QStringList keys;
    for (const int action : actions) {
        switch (action) {
        case UploadListModel::cancelAction:
            keys.append(QStringLiteral("Delete cancels"));
            break;
        case UploadListModel::removeAction:
            keys.append(QStringLiteral("Delete removes"));
            break;
        case UploadListModel::pauseAction:
            keys.append(QStringLiteral("Space pauses"));
            break;
        case UploadListModel::resumeAction:
            keys.append(QStringLiteral("Space resumes"));
            break;
        case UploadListModel::retryAction:
            keys.append(QStringLiteral("R retries"));
            break;
        default:
            break;
        }
    }
    return keys.join(QStringLiteral(", "));
}

} // namespace

UploadListModel::UploadListModel(const UploadViewModel& viewModel, QObject* parent)
    : QAbstractListModel(parent)
    , m_viewModel(viewModel)
    , m_count(static_cast<int>(viewModel.uploads().size())) {
    connect(&viewModel, &UploadViewModel::uploadAppended, this, &UploadListModel::append);
    connect(&viewModel, &UploadViewModel::uploadChanged, this, &UploadListModel::change);
    connect(&viewModel, &UploadViewModel::uploadAboutToBeRemoved, this, [this](qsizetype index) {
        if (index < m_count)
            beginRemoveRows({}, static_cast<int>(index), static_cast<int>(index));
    });
    connect(&viewModel, &UploadViewModel::uploadRemoved, this, [this](qsizetype index) {
        if (index < m_count) {
            --m_count;
            endRemoveRows();
        }
    });
}

int UploadListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_count;
}

QVariant UploadListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const UploadItem& item = m_viewModel.uploads().at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return item.title;
    case Qt::AccessibleTextRole:
        return accessibleText(item);
    case Qt::AccessibleDescriptionRole:
        return actionKeysText(actionsOf(index.row()));
    case Qt::ToolTipRole:
        return item.error.value_or(item.fileURL.toLocalFile());
    case StatusRole:
        return static_cast<int>(item.status);
    case StatusLabelRole:
        return uploadStatusLabel(item.status);
    case ProgressRole:
        return item.progress;
    case PlaybackURLRole:
        return item.playbackURL ? QVariant(*item.playbackURL) : QVariant();
    case ErrorRole:
        return item.error ? QVariant(*item.error) : QVariant();
    case DetailRole:
        return item.detail.isEmpty() ? QVariant() : QVariant(item.detail);
    case ActionsRole:
        return QVariant::fromValue(actionsOf(index.row()));
    case BytesFractionRole:
        return item.bytesTotal > 0 ? double(item.bytesSent) / double(item.bytesTotal) : 0.0;
    case BusyRole:
        return item.status == UploadStatus::creatingUpload ||
               item.status == UploadStatus::waitingAsset ||
               item.status == UploadStatus::processingAsset;
    default:
        return {};
    }
}

QList<int> UploadListModel::actionsOf(int row) const {
    QList<int> actions;
    for (const RowAction action : m_viewModel.uploadActions(row))
        actions.append(action);
    return actions;
}

void UploadListModel::append(qsizetype index) {
    const int last = static_cast<int>(qMin(index, m_viewModel.uploads().size() - 1));
    if (last < m_count)
        return;
    beginInsertRows({}, m_count, last);
    m_count = last + 1;
    endInsertRows();
}

void UploadListModel::change(qsizetype index) {
    if (index < 0 || index >= m_count)
        return;
    const QModelIndex changed = createIndex(static_cast<int>(index), 0);
    Q_EMIT dataChanged(changed, changed);
}

} // namespace clipferry
