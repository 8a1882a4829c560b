#pragma once

#include "workflow/UploadQueue.h"

#include <QAbstractListModel>

namespace clipferry {

class UploadViewModel;

// The upload queue as a list model: one row per upload item, in queue order. Rows are
// appended as files arrive and removed when the user takes finished ones off.
class UploadListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        StatusRole = Qt::UserRole + 1, // UploadStatus as int
        StatusLabelRole,
        ProgressRole, // 0.0 to 1.0
        PlaybackURLRole,
        ErrorRole,
        DetailRole,        // bytes, speed and time left while sending
        ActionsRole,       // QList<int> of RowAction: the row's own buttons, rightmost first
        BusyRole,          // a stage whose length is unknown: the bar runs without a value
        BytesFractionRole, // bytes the session has of the file, 0.0 to 1.0
    };
    using RowAction = UploadQueue::RowAction;
    using enum UploadQueue::RowAction;

    // What the row's buttons do, rightmost first, as the queue allows them now.
    [[nodiscard]] QList<int> actionsOf(int row) const;

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
