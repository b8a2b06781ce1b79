// SPDX-License-Identifier: GPL-3.0-or-later
// How long the contact card and the edit dialog take for a contact with one
// long value: a note of 20 kB, 100 kB and 1 MB (one run of letters without
// a break, words on one line, or lines of words), and a name, street and
// company of 10,000 characters without a blank. "card" is showContact until
// the card is laid out and painted; "editor open" is the edit dialog built,
// filled, laid out and painted; "then pause" the longest pause of the event
// loop over the next 300 ms (what the note box lays out in idle steps);
// "apply" is the change list of an unchanged edit. Each figure is the best
// of three. The stall budget of the window is 100 ms.
//   bench_contactcard [case-name-substring]
#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

#include "contactui/contactdisplayer.h"
#include "contactui/editcontactform.h"
#include "model/localdbcombinerule.h"

namespace {

struct Case {
    QString name;
    pim::_Contact contact;
};

pim::Entity entity(const QVariantMap& fields)
{
    pim::Entity e(1, QStringLiteral("1"));
    e.fields = fields;
    return e;
}

// `size` characters of the given shape.
QString longText(qsizetype size, const QString& shape)
{
    QString text;
    text.reserve(size);
    qsizetype word = 0;
    while (text.size() < size) {
        if (shape == QLatin1String("run")) {
            text.append(QChar(char16_t(u'a' + text.size() % 26)));
            continue;
        }
        text.append(QStringLiteral("word%1").arg(word % 1000));
        ++word;
        const bool lineEnd = shape == QLatin1String("lines") && word % 10 == 0;
        text.append(lineEnd ? QLatin1Char('\n') : QLatin1Char(' '));
    }
    text.truncate(size);
    return text;
}

pim::_Contact contactWith(const QString& fullName, int type, const QVariantMap& fields)
{
    pim::_Contact c;
    c.id = 1;
    c.fullName = fullName;
    c.entities[pim::ENTITY_NAME] = { entity({ { "data1", fullName }, { "data2", fullName } }) };
    c.entities[pim::ENTITY_PHONE] = { entity({ { "data1", "+49 30 1234567" }, { "data2", 2 } }) };
    if (type != 0)
        c.entities[type] = { entity(fields) };
    return c;
}

QList<Case> cases()
{
    QList<Case> all;
    const std::pair<const char*, qsizetype> sizes[] = { { "20 kB", 20000 }, { "100 kB", 100000 }, { "1 MB", 1000000 } };
    const std::pair<const char*, const char*> shapes[] = {
        { "no line break", "run" }, { "words, one line", "words" }, { "lines of words", "lines" } };
    for (const auto& [sizeName, size] : sizes) {
        for (const auto& [shapeName, shape] : shapes) {
            all.append({ QStringLiteral("note %1, %2").arg(QLatin1String(sizeName), QLatin1String(shapeName)),
                         contactWith(QStringLiteral("Ann Lee"), pim::ENTITY_NOTES,
                                     { { "data1", longText(size, QLatin1String(shape)) } }) });
        }
    }
    const QString run = longText(10000, QStringLiteral("run"));
    all.append({ QStringLiteral("name of 10,000 characters"), contactWith(run, 0, {}) });
    all.append({ QStringLiteral("street of 10,000 characters"),
                 contactWith(QStringLiteral("Ann Lee"), pim::ENTITY_ADDR,
                             { { "data2", 1 }, { "data4", run }, { "data7", "Springfield" },
                               { "data1", run + QStringLiteral("\nSpringfield") } }) });
    all.append({ QStringLiteral("company of 10,000 characters"),
                 contactWith(QStringLiteral("Ann Lee"), pim::ENTITY_ORG, { { "data1", run }, { "data4", "Engineer" } }) });
    return all;
}

double msSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// Shows the contact on a visible card of the main window's usual size and
// waits until it is laid out and painted.
double showCard(ContactDisplayer& card, const pim::_Contact& contact)
{
    card.clear();
    QApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    card.showContact(&contact);
    QApplication::processEvents();
    card.grab();
    return msSince(timer);
}

double openEditor(const pim::_Contact& contact, double* applyMs, double* laterPauseMs)
{
    QElapsedTimer timer;
    timer.start();
    EditContactForm form(&contact, {});
    form.show();
    QApplication::processEvents();
    form.grab();
    const double openMs = msSince(timer);
    // What the box may still lay out in idle steps: the longest pause of
    // the event loop over the next 300 ms.
    double pauseMs = 0;
    QElapsedTimer idle;
    idle.start();
    while (idle.elapsed() < 300) {
        QElapsedTimer step;
        step.start();
        QApplication::processEvents();
        pauseMs = std::max(pauseMs, msSince(step));
    }
    *laterPauseMs = pauseMs;
    LocalDbCombineRule rule;
    timer.restart();
    const qsizetype changes = form.getChanges(&rule, contact).size();
    *applyMs = msSince(timer);
    if (changes != 0)
        std::fprintf(stderr, "unexpected: %lld changes from an unchanged edit\n", static_cast<long long>(changes));
    return openMs;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();

    ContactDisplayer card;
    card.resize(390, 600);
    card.show();
    QApplication::processEvents();

    QTextStream out(stdout);
    out << QStringLiteral("%1 %2 %3 %4 %5\n").arg(QStringLiteral("case"), -36)
                                             .arg(QStringLiteral("card ms"), 10)
                                             .arg(QStringLiteral("editor open ms"), 15)
                                             .arg(QStringLiteral("then pause ms"), 14)
                                             .arg(QStringLiteral("apply ms"), 9);
    for (const Case& c : cases()) {
        if (!only.isEmpty() && !c.name.contains(only))
            continue;
        // The best of three: the figure of the work, not of the machine's other load.
        double cardMs = 1e12, openMs = 1e12, applyMs = 1e12, pauseMs = 1e12;
        for (int i = 0; i < 3; ++i) {
            cardMs = std::min(cardMs, showCard(card, c.contact));
            double apply = 0, pause = 0;
            openMs = std::min(openMs, openEditor(c.contact, &apply, &pause));
            applyMs = std::min(applyMs, apply);
            pauseMs = std::min(pauseMs, pause);
        }
        out << QStringLiteral("%1 %2 %3 %4 %5\n").arg(c.name, -36).arg(cardMs, 10, 'f', 1).arg(openMs, 15, 'f', 1)
                                                 .arg(pauseMs, 14, 'f', 1).arg(applyMs, 9, 'f', 1);
        out.flush();
    }
    return 0;
}
