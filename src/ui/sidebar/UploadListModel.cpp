#include "ui/sidebar/UploadListModel.h"

#include "workflow/UploadQueue.h"
#include "workflow/UploadViewModel.h"

namespace clipferry {

UploadListModel::UploadListModel(const UploadViewModel& viewModel, QObject* parent)
    : QAbstractListModel(parent)
    , m_viewModel(viewModel)
    , m_count(static_cast<int>(viewModel.uploads().size())) {
    connect(&viewModel, &UploadViewModel::uploadAppended, this, &UploadListModel::append);
    connect(&viewModel, &UploadViewModel::uploadChanged, this, &UploadListModel::change);
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
    case ActionRole: {
        const auto& queue = m_viewModel.uploadQueue();
        return queue.canCancel(index.row())  ? cancelAction
               : queue.canRetry(index.row()) ? retryAction
                                             : noAction;
    }
    default:
        return {};
    }
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
