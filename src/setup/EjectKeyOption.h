// SPDX-License-Identifier: MIT
#pragma once
// EjectKeyOption: the setup window's "Open with the Eject key" option. Turning
// it on binds the keys in the running desktop (EjectKeyBinding) and keeps
// what was added under "ejectKeyBinding" in the agent's preferences (a key
// the setup program alone uses); turning it off removes exactly that. The
// status line says what happened and how to undo it.
#include "EjectKeyBinding.h"

#include <QObject>

#include <functional>

class QCheckBox;
class QKeySequenceEdit;
class QLabel;
class QNOtherAppDefaults;

class EjectKeyOption : public QObject {
    Q_OBJECT
public:
    EjectKeyOption(QCheckBox* checkBox, QKeySequenceEdit* extraKeyEdit, QLabel* status, QNOtherAppDefaults& store,
                   QObject* parent = nullptr);

    /// Makes the binder for the session (tests give a private bus).
    void setBindingFactory(std::function<EjectKeyBinding()> factory) { _factory = std::move(factory); }

    QCheckBox* checkBox() const { return _checkBox; }
    QKeySequenceEdit* extraKeyEdit() const { return _extraKeyEdit; }
    QLabel* statusLabel() const { return _status; }
    /// What is bound now, as stored ("ejectKeyBinding"); empty when nothing.
    QVariantMap record() const;

private:
    void onToggled(bool on);
    void show(const QString& status);

    QCheckBox* _checkBox;
    QKeySequenceEdit* _extraKeyEdit;
    QLabel* _status;
    QNOtherAppDefaults& _store;
    std::function<EjectKeyBinding()> _factory;
};
