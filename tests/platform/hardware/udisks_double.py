#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# A stand-in for udisks2 on a private D-Bus: claims org.freedesktop.UDisks2 and
# offers Filesystem.Unmount on block-device objects and Drive.Eject on drives.
#
#   udisks_double.py ADDRESS CALLFILE READYFILE NAME=BEHAVIOUR... drive:NAME=BEHAVIOUR...
#
# NAME=BEHAVIOUR: block device NAME with Filesystem.Unmount; BEHAVIOUR ok
# (unmounts), busy (DeviceBusy), notauth (NotAuthorized).
# drive:NAME=BEHAVIOUR: block device NAME names a drive (Block.Drive) with
# Drive.Eject; BEHAVIOUR ok (ejects), notauth (NotAuthorizedCanObtain),
# failed (Failed).
# Each call appends "Unmount NAME" or "Eject NAME" to CALLFILE; READYFILE
# appears once the objects are on the bus. Runs until terminated.
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
ERRORS = {'busy': ('target is busy', 'DeviceBusy'), 'notauth': ('not authorized', 'NotAuthorizedCanObtain'),
          'failed': ('eject failed', 'Failed')}
blocks = {}


def block(device):
    path = '/org/freedesktop/UDisks2/block_devices/' + device
    if path not in blocks:
        manager.AddObject(path, 'org.freedesktop.UDisks2.Block', {}, [])
        blocks[path] = dbusmock.get_object(path)
    return blocks[path]


def code_for(call, device, behaviour):
    code = f"open({call_file!r}, 'a').write('{call} {device}\\n')\n"
    if behaviour in ERRORS:
        text, error = ERRORS[behaviour]
        if call == 'Unmount' and behaviour == 'notauth':
            error = 'NotAuthorized'
        code += RAISE.format(text=text, error=error)
    return code


for arg in sys.argv[4:]:
    device, behaviour = arg.split('=', 1)
    if device.startswith('drive:'):
        device = device[len('drive:'):]
        drive = '/org/freedesktop/UDisks2/drives/DOUBLE_' + device
        manager.AddObject(drive, 'org.freedesktop.UDisks2.Drive', {}, [('Eject', 'a{sv}', '', code_for('Eject', device, behaviour))])
        block(device).AddProperty('org.freedesktop.UDisks2.Block', 'Drive', dbus.ObjectPath(drive))
    else:
        block(device).AddMethod('org.freedesktop.UDisks2.Filesystem', 'Unmount', 'a{sv}', '',
                                code_for('Unmount', device, behaviour))

with open(ready_file, 'w') as f:
    f.write('ready\n')
GLib.MainLoop().run()
