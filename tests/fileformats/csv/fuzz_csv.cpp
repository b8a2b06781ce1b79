// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry: one CSV contact file, read whole as an import reads it:
// encoding and delimiter detection, the header's columns, every row's cells
// and the problems counted on the way; no stored text may hold a control
// character but tab and line breaks. The reader takes a path, so the input
// goes through a file.
#include "../storedtext.h"
#include "fileformats/csv/csvimport.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("input.csv"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            std::abort();
    }
    CSVImport reader;
    try {
        reader.initialize(path);
    } catch (const std::exception&) {
        return 0; // refused in words
    }
    int rows = 0;
    while (reader.hasNext()) {
        const pim::_Contact contact = reader.nextContact();
        // Every row is one contact: the reader never loops nor skips ahead.
        if (++rows > reader.total() || !storedtext::controlCharacterIn(contact).isEmpty())
            std::abort();
    }
    if (rows != reader.total())
        std::abort();
    reader.problems();
    reader.uninitialize();
    return 0;
}
