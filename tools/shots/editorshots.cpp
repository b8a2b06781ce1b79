// SPDX-License-Identifier: GPL-3.0-or-later
#include "samplecontact.h"
#include "shots.h"
#include "shotwriter.h"

#include "contactui/contacteditor.h"
#include "contactui/editcontactform.h"

#include <QCoreApplication>
#include <QScrollBar>

void editorShots(ShotWriter& shots)
{
    const pim::_Contact contact = sampleContact();
    {
        EditContactForm form(&contact, nullptr);
        shots.save(QStringLiteral("edit-contact-top"), form);
        auto* editor = form.findChild<ContactEditor*>(QStringLiteral("wdEditContact"));
        editor->verticalScrollBar()->setValue(editor->verticalScrollBar()->maximum());
        shots.save(QStringLiteral("edit-contact-bottom"), form);
    }
    {
        // The whole editor at once, tall enough for every list.
        EditContactForm form(&contact, nullptr);
        form.resize(500, 1320);
        shots.save(QStringLiteral("edit-contact-whole"), form);
    }
    {
        // A contact grown by merging: the end of its shown phones and how
        // many more it keeps.
        pim::_Contact many(3, QString(), QStringLiteral("Many Phones"));
        many.entities[pim::ENTITY_NAME] = {sampleEntity(1, {{"data1", "Many Phones"}, {"data2", "Many"}, {"data3", "Phones"}})};
        for (int i = 0; i < 250; ++i)
            many.entities[pim::ENTITY_PHONE].append(sampleEntity(100 + i, {{"data1", QString::number(5550100 + i)}, {"data2", 2}}));
        EditContactForm form(&many, nullptr);
        auto* editor = form.findChild<ContactEditor*>(QStringLiteral("wdEditContact"));
        auto* more = editor->findChild<QWidget*>(QStringLiteral("lbMoreRows"));
        form.show();
        QCoreApplication::processEvents();
        editor->ensureWidgetVisible(more, 0, 200);
        shots.save(QStringLiteral("edit-contact-many-rows"), form);
    }
    {
        // Long values: a name, a company and a street of 10,000 characters
        // and a note of a megabyte without a line break.
        const QString run = QStringLiteral("Maximiliane").repeated(910);
        pim::_Contact longOne(4, QString(), run + QStringLiteral(" Lee"));
        longOne.entities[pim::ENTITY_NAME] = {sampleEntity(1, {{"data1", run + QStringLiteral(" Lee")}, {"data2", run}, {"data3", "Lee"}})};
        longOne.entities[pim::ENTITY_ORG] = {sampleEntity(2, {{"data1", run}, {"data4", "Engineer"}})};
        longOne.entities[pim::ENTITY_ADDR] = {sampleEntity(3, {{"data2", 1}, {"data4", run}, {"data7", "Bristol"}})};
        longOne.entities[pim::ENTITY_NOTES] = {sampleEntity(4, {{"data1", QStringLiteral("0123456789abcdef").repeated(65536)}})};
        EditContactForm form(&longOne, nullptr);
        shots.save(QStringLiteral("edit-contact-long-values-top"), form);
        auto* editor = form.findChild<ContactEditor*>(QStringLiteral("wdEditContact"));
        editor->verticalScrollBar()->setValue(editor->verticalScrollBar()->maximum());
        shots.save(QStringLiteral("edit-contact-long-values-bottom"), form);
    }
    {
        const pim::_Contact empty;
        EditContactForm form(&empty, nullptr);
        shots.save(QStringLiteral("edit-contact-new"), form);
    }
}
