#include "ui/DesktopNotification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace clipferry {

void notifyDesktop(const QString& summary) {
    auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    auto message = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                                  QStringLiteral("/org/freedesktop/Notifications"),
                                                  QStringLiteral("org.freedesktop.Notifications"),
                                                  QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
    message << QStringLiteral("Meridia Companion") << 0U << QStringLiteral("clipferry") << summary
            << QString() << QStringList() << QVariantMap() << -1;
    // Sent without a reply expected: an absent service costs only an error reply.
    message.setAutoStartService(false);
    bus.send(message);
}

} // namespace clipferry
