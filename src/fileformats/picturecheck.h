// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

namespace picturecheck {

// Whether an image reader opens the bytes as a whole picture: Qt knows the
// format, the picture decodes, and a JPEG runs to its end marker (libjpeg
// decodes a JPEG cut short without an error, its missing part grey). A JPEG
// is decoded at an eighth of its size, which still reads all of its data.
// Costs a decode: meant for the few photos of a file, not for every value.
// Safe to call from any thread.
bool isWholePicture(const QByteArray& bytes);

} // namespace picturecheck
