#include "workflow/DeliveryState.h"

#include "workflow/ChangeTime.h"

#include <algorithm>

namespace clipferry {
namespace {
// File copies and clock skew between the render machines and the service move times a
// little; only a later edit counts as a change.
constexpr double changeSlackSeconds = 60.0;
} // namespace

bool passesFilter(Delivery state, DeliveryFilter filter) {
    switch (filter) {
    case DeliveryFilter::notOnMux:
        return state == Delivery::notOnMux;
    case DeliveryFilter::changed:
        return state == Delivery::changed;
    case DeliveryFilter::all:
        break;
    }
    return true;
}

QString deliveryLabel(Delivery state) {
    switch (state) {
    case Delivery::onMux:
        return QStringLiteral("On Mux");
    case Delivery::notOnMux:
        return QStringLiteral("Not on Mux");
    case Delivery::changed:
        return QStringLiteral("Changed since upload");
    case Delivery::uploading:
        return QStringLiteral("Uploading");
    case Delivery::unknown:
        break;
    }
    return {};
}

QString deliveryToolTip(const DeliveryStatus& status) {
    QString text = deliveryLabel(status.state);
    if (status.copies() > 1)
        text += QLatin1Char('\n') + QStringLiteral("%1 copies on Mux").arg(status.copies());
    return text;
}

DeliveryIndex::DeliveryIndex(const QList<MuxAsset>& listing) {
    for (const MuxAsset& asset : listing) {
        if (!asset.passthrough || asset.passthrough->isEmpty())
            continue;
        m_byName[*asset.passthrough].append(
            Match{asset.id, asset.createdAt ? parseChangeTime(*asset.createdAt) : std::nullopt});
    }
    // Newest first; an asset without a readable creation time is the oldest.
    for (auto& matches : m_byName)
        std::stable_sort(matches.begin(), matches.end(), [](const Match& a, const Match& b) {
            return a.created.value_or(-1.0) > b.created.value_or(-1.0);
        });
}

DeliveryStatus DeliveryIndex::status(const QString& fileName,
                                     std::optional<double> modified) const {
    const auto it = m_byName.constFind(fileName);
    if (it == m_byName.constEnd())
        return {Delivery::notOnMux, {}};
    DeliveryStatus status{Delivery::onMux, {}};
    for (const Match& match : *it)
        status.assetIDs.append(match.id);
    const auto& newest = it->constFirst().created;
    if (modified && newest && *modified > *newest + changeSlackSeconds)
        status.state = Delivery::changed;
    return status;
}

DeliveryStatus deliveryStatus(const DeliveryIndex* index, const QString& fileName,
                              std::optional<double> modified, bool uploading,
                              const QString& deliveredAsset) {
    DeliveryStatus status = index ? index->status(fileName, modified) : DeliveryStatus{};
    if (uploading) {
        status.state = Delivery::uploading;
    } else if (!deliveredAsset.isEmpty()) {
        // Delivered since the listing: the newest copy, made from the file as it is.
        status.state = Delivery::onMux;
        status.assetIDs.removeAll(deliveredAsset);
        status.assetIDs.prepend(deliveredAsset);
    }
    return status;
}

} // namespace clipferry
