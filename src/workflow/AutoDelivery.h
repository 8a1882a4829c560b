#pragma once

#include "workflow/WatchDelivery.h"

#include <QObject>
#include <memory>

namespace clipferry {

class LocalFolder;

// The window's unattended delivery: runs a `WatchDelivery` of the local folder while
// "Deliver new clips automatically" is on, and starts it afresh when the folder, the
// subfolder switch or "Replace changed clips" change.
class AutoDelivery : public QObject {
    Q_OBJECT
public:
    // The settle time, in whole seconds, under this key of the application's settings.
    static constexpr auto settleSetting = "watchSettleSeconds";
    using Tweak = WatchDelivery::Tweak;

    // `tweak` adjusts each watcher's options before it starts (tests shorten the waits).
    AutoDelivery(WatchDelivery::Peers peers, LocalFolder& folder, Tweak tweak = {},
                 QObject* parent = nullptr);
    ~AutoDelivery() override;

    [[nodiscard]] bool deliverNewClips() const { return m_deliverNewClips; }
    void setDeliverNewClips(bool deliver);
    [[nodiscard]] bool replaceChangedClips() const { return m_replaceChangedClips; }
    void setReplaceChangedClips(bool replace);
    // The running watcher, if any.
    [[nodiscard]] const WatchDelivery* watch() const { return m_watch.get(); }

Q_SIGNALS:
    // Either switch changed.
    void switchesChanged();

private:
    void setSwitch(bool& value, bool on);
    void follow();

    WatchDelivery::Peers m_peers;
    LocalFolder& m_folder;
    Tweak m_tweak;
    bool m_deliverNewClips = false;
    bool m_replaceChangedClips = false;
    std::unique_ptr<WatchDelivery> m_watch;
};

} // namespace clipferry
