#include "workflow/AutoDelivery.h"

#include "workflow/UploadViewModel.h"

#include <QSettings>

namespace clipferry {

AutoDelivery::AutoDelivery(UploadViewModel& viewModel,
                           std::function<void(WatchDelivery::Options&)> tweak, QObject* parent)
    : QObject(parent)
    , m_viewModel(viewModel)
    , m_tweak(std::move(tweak)) {
    connect(&viewModel, &UploadViewModel::deliverNewClipsChanged, this, &AutoDelivery::follow);
    connect(&viewModel, &UploadViewModel::localFolderChanged, this, &AutoDelivery::follow);
    follow();
}

AutoDelivery::~AutoDelivery() = default;

void AutoDelivery::follow() {
    const auto& folder = m_viewModel.localFolderURL();
    if (!m_viewModel.deliverNewClips() || !folder) {
        if (m_watch)
            m_viewModel.appendLog(QStringLiteral("Stopped delivering new clips from %1.")
                                      .arg(m_watch->options().watch.folder));
        m_watch.reset();
        return;
    }
    WatchDelivery::Options options;
    options.watch.folder = folder->toLocalFile();
    options.watch.recursive = m_viewModel.includeSubfolders();
    options.replaceChanged = m_viewModel.replaceChangedClips();
    options.watch.settle =
        std::chrono::seconds(qMax(1, QSettings().value(QLatin1String(settleSetting), 30).toInt()));
    if (m_tweak)
        m_tweak(options);
    if (m_watch && m_watch->options().watch.folder == options.watch.folder &&
        m_watch->options().watch.recursive == options.watch.recursive &&
        m_watch->options().replaceChanged == options.replaceChanged)
        return;
    // The old watcher gives up its claim before the new one asks for it.
    m_watch.reset();
    m_watch = std::make_unique<WatchDelivery>(m_viewModel, options);
    m_viewModel.appendLog(
        QStringLiteral("Delivering new clips from %1 once each is unchanged for %2 s.")
            .arg(options.watch.folder)
            .arg(std::chrono::duration<double>(options.watch.settle).count()));
    m_watch->start();
}

} // namespace clipferry
