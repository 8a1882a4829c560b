#include "ui/sidebar/CityTableModel.h"

#include "workflow/UploadViewModel.h"

#include <QColor>
#include <QFontDatabase>
#include <QLocale>

namespace clipferry {

CityTableModel::CityTableModel(UploadViewModel& viewModel, QObject* parent)
    : QAbstractTableModel(parent)
    , m_viewModel(viewModel)
    , m_codes(viewModel.cityMap().keys()) {
    connect(&viewModel, &UploadViewModel::cityMapChanged, this, &CityTableModel::reload);
}

int CityTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_codes.size());
}

int CityTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnTotal;
}

QVariant CityTableModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const QString& code = m_codes.at(index.row());
    const auto found = m_viewModel.cityMap().constFind(code);
    if (found == m_viewModel.cityMap().constEnd())
        return {};
    const CityInfo& city = *found;
    switch (index.column()) {
    case codeColumn:
        if (role == Qt::DisplayRole)
            return code;
        if (role == Qt::FontRole)
            return QFontDatabase::systemFont(QFontDatabase::FixedFont);
        break;
    case cityColumn:
        if (role == Qt::DisplayRole)
            return city.name;
        if (role == Qt::DecorationRole) {
            const QColor swatch = QColor::fromString(city.color);
            return swatch.isValid() ? QVariant(swatch) : QVariant();
        }
        if (role == Qt::ToolTipRole)
            return city.color;
        break;
    case screensColumn:
        if (role == Qt::DisplayRole)
            return QLocale().toString(city.requiredPerAnimation);
        if (role == Qt::EditRole)
            return city.requiredPerAnimation;
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        break;
    default:
        break;
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

QVariant CityTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole) {
        switch (section) {
        case codeColumn:
            return tr("Code");
        case cityColumn:
            return tr("City");
        case screensColumn:
            return tr("Screens");
        default:
            return {};
        }
    }
    if (role == Qt::TextAlignmentRole) {
        const Qt::Alignment horizontal = section == screensColumn ? Qt::AlignRight : Qt::AlignLeft;
        return QVariant::fromValue(horizontal | Qt::AlignVCenter);
    }
    return {};
}

Qt::ItemFlags CityTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == screensColumn)
        result |= Qt::ItemIsEditable;
    return result;
}

bool CityTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.column() != screensColumn)
        return false;
    bool ok = false;
    const qint64 count = value.toLongLong(&ok);
    if (!ok)
        return false;
    // The row may outlive its city when the map was replaced meanwhile: drop the edit.
    CityMap map = m_viewModel.cityMap();
    const auto found = map.find(m_codes.at(index.row()));
    if (found == map.end())
        return false;
    found->requiredPerAnimation = count;
    m_viewModel.setCityMap(std::move(map));
    return true;
}

void CityTableModel::reload() {
    const QStringList codes = m_viewModel.cityMap().keys();
    if (codes == m_codes) {
        if (!m_codes.isEmpty())
            Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnTotal - 1));
        return;
    }
    beginResetModel();
    m_codes = codes;
    endResetModel();
}

} // namespace clipferry
