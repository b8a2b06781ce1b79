// SPDX-License-Identifier: GPL-3.0-or-later
#include "vcardimport.h"

#include "fileformatslog.h"
#include "qvcardparser.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>

#include <stdexcept>

namespace {

constexpr qint64 kReadChunk = 1024 * 1024;
// A UTF-16 file is transcoded in memory; beyond this it is refused rather
// than exhausting memory.
constexpr qint64 kMaxUtf16File = qint64(512) * 1024 * 1024;

[[noreturn]] void throwDeviceError(const QIODevice& device)
{
    throw std::runtime_error(device.errorString().toUtf8().toStdString());
}

// Feeds bytes [begin, end) of the device to the parser in chunks.
void feedRange(QIODevice& device, qint64 begin, qint64 end, VCardStreamParser& parser)
{
    if (!device.seek(begin))
        throwDeviceError(device);
    QByteArray buffer(int(qMin(kReadChunk, qMax<qint64>(end - begin, 1))), Qt::Uninitialized);
    qint64 at = begin;
    while (at < end) {
        const qint64 want = qMin<qint64>(buffer.size(), end - at);
        const qint64 got = device.read(buffer.data(), want);
        if (got < 0)
            throwDeviceError(device);
        if (got == 0)
            break; // the file became shorter: what is there is read
        parser.feed(buffer.constData(), got);
        at += got;
    }
    parser.finish();
}

} // namespace

VCardImport::VCardImport() = default;
VCardImport::~VCardImport() = default;

void VCardImport::initialize(QString path)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        throwDeviceError(*file);

    std::unique_ptr<QIODevice> source;
    const QByteArray head = file->peek(4);
    qint64 origin = 0;
    if (QVCardParser::hasUtf16Bom(head)) {
        if (file->size() > kMaxUtf16File)
            throw std::runtime_error(
                QCoreApplication::translate("VCardImport", "The file is too large to read as UTF-16.")
                    .toUtf8()
                    .toStdString());
        const QByteArray all = file->readAll();
        if (all.size() != file->size())
            throwDeviceError(*file);
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(QVCardParser::utf16ToUtf8(all));
        buffer->open(QIODevice::ReadOnly);
        source = std::move(buffer);
    } else {
        origin = QVCardParser::utf8BomLength(head);
        source = std::move(file);
    }

    VCardStreamParser scanner(VCardStreamParser::RangesOnly);
    scanner.setOrigin(origin, 1);
    feedRange(*source, origin, source->size(), scanner);

    m_source = std::move(source);
    m_ranges = scanner.ranges();
    m_cursor = 0;
    m_skipped = 0;
    m_skippedLines.clear();
    qCDebug(lcVCard) << path << "holds" << m_ranges.size() << "cards";
}

int VCardImport::total()
{
    return int(m_ranges.size());
}

bool VCardImport::hasNext()
{
    return m_cursor < m_ranges.size();
}

pim::_Contact VCardImport::nextContact()
{
    Q_ASSERT(hasNext());
    const VCardStreamParser::CardRange range = m_ranges.at(m_cursor++);
    VCardStreamParser parser(VCardStreamParser::Cards);
    parser.setOrigin(range.begin, range.line);
    feedRange(*m_source, range.begin, range.end, parser);
    m_skipped += parser.skippedLines();
    for (const qint64 line : parser.skippedLineNumbers()) {
        if (m_skippedLines.size() >= 1000)
            break;
        m_skippedLines.append(line);
    }
    const QList<QList<VCardProperty>> cards = parser.takeCards();
    if (cards.isEmpty())
        return pim::_Contact();
    return m_mapper.toContact(cards.first());
}

void VCardImport::uninitialize()
{
}
