#include "FuzzCheck.h"
#include "workflow/ChangeTime.h"

#include <QDateTime>
#include <cmath>

// A change time, once read, is a whole second that Qt's own reading of the same internet
// date-time agrees with; digits alone are Unix seconds.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace clipferry;
    const QString text = QString::fromUtf8(fuzz::bytesOf(data, size));
    const auto seconds = parseChangeTime(text);
    if (!seconds)
        return 0;
    fuzz::check(std::isfinite(*seconds) && std::trunc(*seconds) == *seconds,
                "change time is whole seconds");
    const QDateTime qt = QDateTime::fromString(text, Qt::ISODate);
    if (text.contains(QLatin1Char('T')) && qt.isValid())
        fuzz::check(static_cast<double>(qt.toSecsSinceEpoch()) == *seconds,
                    "change time agrees with Qt's ISO reading");
    return 0;
}
