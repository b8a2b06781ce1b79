// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "../storedtext.h"
#include "model/contact.h"
#include "fileformats/vcard/syntax/vcardparser.h"
#include "fileformats/vcard/mapping/vcardcardmapper.h"

#include <QByteArray>
#include <QRandomGenerator>

// Shared by the fuzz smoke test, the golden runner and the libFuzzer target:
// what one input goes through, and a generator of hostile inputs built from
// vCard syntax.
namespace vcardfuzz {

inline QByteArray dumpContact(const pim::_Contact& contact)
{
    QByteArray out = contact.fullName.toUtf8() + '\n';
    for (auto type = contact.entities.constBegin(); type != contact.entities.constEnd(); ++type) {
        for (const pim::Entity& entity : type.value()) {
            out += QByteArray::number(type.key());
            for (auto f = entity.fields.constBegin(); f != entity.fields.constEnd(); ++f)
                out += ' ' + f.key().toLatin1() + '=' + f.value().toByteArray().toHex();
            out += '\n';
        }
    }
    return out;
}

// Parses and maps every card; returns a dump of the contacts. controlAt:
// where the first stored text that holds a control character stands
// (storedtext::controlCharacterIn()), left as it is when none does.
inline QByteArray parseAndMap(const QByteArray& data, qsizetype chunk, int* skipped = nullptr,
                              QString* controlAt = nullptr)
{
    QVCardParser::ParseStats stats;
    const auto cards = QVCardParser::parseChunked(data, chunk, &stats);
    if (skipped)
        *skipped = stats.skippedLines;
    // As the file reader does, the Western code page of the text that names
    // no charset is chosen over all cards first.
    legacytext::WesternGuess guess;
    VCardCardText cardText;
    for (const auto& card : cards)
        cardText.addWesternText(card, guess);
    VCardCardMapper mapper;
    mapper.setFileWesternSet([&guess] { return guess.choice(); });
    QByteArray out;
    for (const auto& card : cards) {
        const pim::_Contact contact = mapper.toContact(card);
        if (controlAt && controlAt->isEmpty())
            *controlAt = storedtext::controlCharacterIn(contact);
        out += "--\n" + dumpContact(contact);
    }
    return out;
}

// Pieces of vCard syntax, the characters the tokenizer treats specially and
// a few whole lines; glued at random they reach deep into every state.
inline QByteArray syntaxSoup(QRandomGenerator& rng, int pieces)
{
    static const char* const parts[] = {
        "BEGIN:VCARD\r\n", "END:VCARD\r\n", "VERSION:2.1\r\n", "VERSION:3.0\r\n", "begin:vcard\n",
        "N:", "FN:", "TEL", "EMAIL", "ADR", "ORG", "PHOTO", "NOTE", "BDAY", "X-IM", "X-REL", "URL",
        "CATEGORIES", "IMPP", "X-SKYPE", "X-ABRELATEDNAMES", "RELATED", "X-MS-SPOUSE", "ANNIVERSARY", "TITLE",
        "item1.X-ABLabel:", "_$!<Spouse>!$_", ";X-SERVICE-TYPE=", "xmpp:", "item1.", ";", ":", "=", "\\", "\"", ",", " ", "\t", "\r", "\n", "\r\n", "\r\n ",
        ";TYPE=", "cell", "home,voice", ";ENCODING=QUOTED-PRINTABLE", ";ENCODING=b", ";BASE64", ";CHARSET=",
        "UTF-8", "GBK", "X-NONE", "=C3=A9", "=\r\n", "= \r\n", "=D0=\r\n =B2", "=4G", "QUJD", "QU==", "@@", "data:image/png;base64,",
        "\xC3", "\xA9", "\xEF\xBB\xBF", "\xFF\xFE", "1980-01-15", "19800115T103000Z", "--0415", "a\\nb",
        "X-PHONETIC-FIRST-NAME", "X-PHONETIC-LAST-NAME:", "SOUND", ";X-IRMC-N",
        // Lines that decide where a card ends, an agent's card, a list, a
        // phone's data row.
        "END:\r\n", "AGENT:BEGIN:VCARD\r\n", "AGENT:\r\nBEGIN:VCARD\r\n", "BEGIN:VLIST\r\n", "END:VLIST\r", "TYPE=;",
        "X-ANDROID-CUSTOM:vnd.android.cursor.item/relation;",
        // Empty parameters, base64 lines that are not indented, and two
        // lines cut at one fixed width inside words.
        "TEL;WORK;:", ";;", "PHOTO;ENCODING=BASE64;TYPE=JPEG:\r\nQUJD\r\nQUJDRA==\r\n\r\n", "\r\nQUJD",
        ("NOTE:Fixed width cut inside words by a desktop address book, then more o\r\n"
         " f the same note cut again at exactly the same width as the line before;\r\n t\r\n"),
    };
    constexpr int count = int(sizeof parts / sizeof parts[0]);
    QByteArray out;
    for (int i = 0; i < pieces; ++i) {
        if (rng.bounded(10) == 0)
            out += char(rng.bounded(256));
        else
            out += parts[rng.bounded(count)];
    }
    return out;
}

} // namespace vcardfuzz
