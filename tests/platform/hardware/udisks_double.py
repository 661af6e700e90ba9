#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# A stand-in for udisks2 on a private D-Bus: claims org.freedesktop.UDisks2 and
# offers Filesystem.Unmount on one block-device object per argument.
#
#   udisks_double.py ADDRESS CALLFILE READYFILE NAME=BEHAVIOUR...
#
# BEHAVIOUR: ok (unmounts), busy (DeviceBusy), notauth (NotAuthorized).
# Each call appends "Unmount NAME" to CALLFILE; READYFILE appears once the
# objects are on the bus. Runs until terminated.
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
import dbusmock
from gi.repository import GLib

address, call_file, ready_file = sys.argv[1:4]
dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(address)
name = dbus.service.BusName('org.freedesktop.UDisks2', bus)
manager = dbusmock.DBusMockObject(name, '/org/freedesktop/UDisks2', 'org.freedesktop.UDisks2.Manager', {})

RAISE = "raise dbus.exceptions.DBusException('{text}', name='org.freedesktop.UDisks2.Error.{error}')"
for arg in sys.argv[4:]:
    device, behaviour = arg.split('=', 1)
    code = f"open({call_file!r}, 'a').write('Unmount {device}\\n')\n"
    if behaviour == 'busy':
        code += RAISE.format(text='target is busy', error='DeviceBusy')
    elif behaviour == 'notauth':
        code += RAISE.format(text='not authorized', error='NotAuthorized')
    manager.AddObject('/org/freedesktop/UDisks2/block_devices/' + device,
                      'org.freedesktop.UDisks2.Filesystem', {}, [('Unmount', 'a{sv}', '', code)])

with open(ready_file, 'w') as f:
    f.write('ready\n')
GLib.MainLoop().run()
