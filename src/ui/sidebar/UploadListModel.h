#pragma once

#include <QAbstractListModel>

namespace clipferry {

class UploadViewModel;

// The upload queue as a list model: one row per upload item, in queue order. Rows are
// only ever appended, as the queue never loses or reorders items.
class UploadListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        StatusRole = Qt::UserRole + 1, // UploadStatus as int
        StatusLabelRole,
        ProgressRole, // 0.0 to 1.0
        PlaybackURLRole,
        ErrorRole,
        DetailRole, // bytes, speed and time left while sending
        ActionRole, // RowAction as int: what the row's own button does
    };
    enum RowAction { noAction, cancelAction, retryAction };

    explicit UploadListModel(const UploadViewModel& viewModel, QObject* parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;

private:
    void append(qsizetype index);
    void change(qsizetype index);

    const UploadViewModel& m_viewModel;
    // Rows announced so far; the queue itself has already grown when its signal arrives.
    int m_count = 0;
};

} // namespace clipferry
