// SPDX-License-Identifier: MIT
#include "EjectKeyOption.h"

#include "QNOtherAppDefaults.h"

#include "strings/LocalizedString.h"

#include <QCheckBox>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

namespace {
const QString kEjectKeyBinding = QStringLiteral("ejectKeyBinding");
}

EjectKeyOption::EjectKeyOption(QCheckBox* checkBox, QKeySequenceEdit* extraKeyEdit, QLabel* status,
                               QNOtherAppDefaults& store, QObject* parent)
    : QObject(parent)
    , _checkBox(checkBox)
    , _extraKeyEdit(extraKeyEdit)
    , _status(status)
    , _store(store)
    , _factory([] { return EjectKeyBinding(EjectKeyBinding::currentDesktop(), EjectKeyBinding::defaultCommand()); })
{
    _checkBox->setText(qn::localizedString("EjectKeyOption"));
    // The edit's own hint is Qt's text, English unless Qt's translations are installed.
    if (auto* field = _extraKeyEdit->findChild<QLineEdit*>())
        field->setPlaceholderText(qn::localizedString("EjectKeyPressKey"));
    _status->setWordWrap(true);
    _status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const QVariantMap bound = record();
    {
        const QSignalBlocker block(_checkBox);
        _checkBox->setChecked(!bound.isEmpty());
    }
    if (!bound.isEmpty()) {
        const QStringList keys = bound.value(QStringLiteral("keys")).toStringList();
        if (keys.size() > 1)
            _extraKeyEdit->setKeySequence(QKeySequence(keys.at(1), QKeySequence::PortableText));
    }
    show({});
    connect(_checkBox, &QCheckBox::toggled, this, &EjectKeyOption::onToggled);
}

QVariantMap EjectKeyOption::record() const
{
    return _store.objectForKey(kEjectKeyBinding).toMap();
}

void EjectKeyOption::onToggled(bool on)
{
    EjectKeyBinding binding = _factory();
    // A record left from before is removed first, so the keys never run the
    // command twice and a changed extra key replaces the old one.
    const QVariantMap old = record();
    EjectKeyBinding::Result result{true, {}, {}};
    if (!old.isEmpty()) {
        result = binding.unbind(old);
        _store.setObjectForKey(result.record.isEmpty() ? QVariant() : QVariant(result.record), kEjectKeyBinding);
    }
    if (on && result.ok) {
        result = binding.bind(_extraKeyEdit->keySequence());
        _store.setObjectForKey(result.record.isEmpty() ? QVariant() : QVariant(result.record), kEjectKeyBinding);
    }
    {
        // The box follows what is bound, not what was asked for.
        const QSignalBlocker block(_checkBox);
        _checkBox->setChecked(!record().isEmpty());
    }
    show(result.status);
}

void EjectKeyOption::show(const QString& status)
{
    _status->setText(status);
    _status->setVisible(!status.isEmpty());
    _extraKeyEdit->setEnabled(!_checkBox->isChecked());
}
