// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/updatecheckschedule.h"

#include <QFile>

bool UpdateCheckSchedule::isDue(const QString& timeFilePath, qint64 nowSecs)
{
    QFile file(timeFilePath);
    if (!file.open(QIODevice::ReadOnly))
        return true;
    // The file holds one number; anything longer is not ours.
    const QByteArray text = file.read(64).trimmed();
    bool ok = false;
    const qint64 last = text.toLongLong(&ok);
    if (!ok || last == 0)
        return true;
    // Unsigned 32-bit difference: a time in the future wraps to a huge age,
    // so a clock set back does not silence the check for good.
    const quint32 age = quint32(nowSecs) - quint32(last);
    return age >= kMinInterval;
}
