#pragma once

#include <QAbstractTableModel>
#include <QStringList>

namespace clipferry {

class UploadViewModel;

// The city table of the settings sheet: code, name (with its colour as a swatch) and the
// editable screens count, one row per code in ascending text order. A committed count
// goes straight into the view model's city map, in memory; writing it is Save's job.
class CityTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { codeColumn, cityColumn, screensColumn, columnTotal };

    explicit CityTableModel(UploadViewModel& viewModel, QObject* parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    void reload();

    UploadViewModel& m_viewModel;
    QStringList m_codes;
};

} // namespace clipferry
