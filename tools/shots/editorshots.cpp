// SPDX-License-Identifier: GPL-3.0-or-later
#include "samplecontact.h"
#include "shots.h"
#include "shotwriter.h"

#include "contactui/contacteditor.h"
#include "contactui/editcontactform.h"

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
        const pim::_Contact empty;
        EditContactForm form(&empty, nullptr);
        shots.save(QStringLiteral("edit-contact-new"), form);
    }
}
