#pragma once

#include "workflow/WatchDelivery.h"

#include <QObject>
#include <functional>
#include <memory>

namespace clipferry {

class UploadViewModel;

// The window's unattended delivery: runs a `WatchDelivery` of the local folder while the
// view model's "Deliver new clips automatically" is on, and starts it afresh when the
// folder, the subfolder switch or "Replace changed clips" change.
class AutoDelivery : public QObject {
    Q_OBJECT
public:
    // The settle time, in whole seconds, under this key of the application's settings.
    static constexpr auto settleSetting = "watchSettleSeconds";

    // `tweak` adjusts each watcher's options before it starts (tests shorten the waits).
    explicit AutoDelivery(UploadViewModel& viewModel,
                          std::function<void(WatchDelivery::Options&)> tweak = {},
                          QObject* parent = nullptr);
    ~AutoDelivery() override;

    // The running watcher, if any.
    [[nodiscard]] const WatchDelivery* watch() const { return m_watch.get(); }

private:
    void follow();

    UploadViewModel& m_viewModel;
    std::function<void(WatchDelivery::Options&)> m_tweak;
    std::unique_ptr<WatchDelivery> m_watch;
};

} // namespace clipferry
