#pragma once

#include <QString>
#include <QUuid>

namespace clipferry {

struct LogEntry {
    QUuid id;
    QString message;
};

enum class VideoProvider {
    webMux,
    localFolder,
};

// The capability set the running application was built with; the views consult it.
class PlatformConfigProtocol {
public:
    virtual ~PlatformConfigProtocol() = default;
    [[nodiscard]] virtual bool canUpload() const = 0;
    [[nodiscard]] virtual bool canDelete() const = 0;
    [[nodiscard]] virtual bool canChooseFolder() const = 0;
    [[nodiscard]] virtual bool supportsLocalProvider() const = 0;
    [[nodiscard]] virtual bool supportsMuxProvider() const = 0;
    [[nodiscard]] virtual bool isViewerOnly() const = 0;
};

class PlatformConfig final : public PlatformConfigProtocol {
public:
    // The desktop application's set: everything on, not a viewer.
    PlatformConfig() = default;
    PlatformConfig(bool canUpload, bool canDelete, bool canChooseFolder, bool supportsLocalProvider,
                   bool supportsMuxProvider, bool isViewerOnly)
        : m_canUpload(canUpload)
        , m_canDelete(canDelete)
        , m_canChooseFolder(canChooseFolder)
        , m_supportsLocalProvider(supportsLocalProvider)
        , m_supportsMuxProvider(supportsMuxProvider)
        , m_isViewerOnly(isViewerOnly) {}

    bool canUpload() const override { return m_canUpload; }
    bool canDelete() const override { return m_canDelete; }
    bool canChooseFolder() const override { return m_canChooseFolder; }
    bool supportsLocalProvider() const override { return m_supportsLocalProvider; }
    bool supportsMuxProvider() const override { return m_supportsMuxProvider; }
    bool isViewerOnly() const override { return m_isViewerOnly; }

private:
    bool m_canUpload = true;
    bool m_canDelete = true;
    bool m_canChooseFolder = true;
    bool m_supportsLocalProvider = true;
    bool m_supportsMuxProvider = true;
    bool m_isViewerOnly = false;
};

} // namespace clipferry
