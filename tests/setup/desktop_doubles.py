#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# Stand-ins for KDE's kglobalaccel and Xfce's xfconfd on a private D-Bus, with
# the few methods the Eject key binding uses and the state they keep.
#
#   desktop_doubles.py ADDRESS READYFILE
#
# kglobalaccel: doRegister, setForeignShortcut, shortcut, action (who owns a
# key), unregister. xfconfd: PropertyExists, GetProperty, SetProperty,
# ResetProperty, GetAllProperties. READYFILE appears once both names are
# owned. Runs until terminated.
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
import dbusmock
from gi.repository import GLib

address, ready_file = sys.argv[1:3]
dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(address)

kga_name = dbus.service.BusName('org.kde.kglobalaccel', bus)
kga = dbusmock.DBusMockObject(kga_name, '/kglobalaccel', 'org.kde.KGlobalAccel', {})
kga.registered = {}   # (component, action) -> actionId list
kga.keys = {}         # (component, action) -> [key codes]
kga.AddMethods('org.kde.KGlobalAccel', [
    ('doRegister', 'as', '',
     'self.registered[(args[0][0], args[0][1])] = [str(a) for a in args[0]]'),
    ('setForeignShortcut', 'asai', '',
     'key = (args[0][0], args[0][1])\n'
     'if key not in self.registered:\n'
     '    raise dbus.exceptions.DBusException("not registered", name="org.kde.kglobalaccel.NoSuchAction")\n'
     'self.keys[key] = [int(k) for k in args[1]]'),
    ('shortcut', 'as', 'ai', 'ret = dbus.Array(self.keys.get((args[0][0], args[0][1]), []), signature="i")'),
    ('action', 'i', 'as',
     'ret = dbus.Array([], signature="s")\n'
     'for key, codes in self.keys.items():\n'
     '    if int(args[0]) in codes:\n'
     '        ret = dbus.Array(self.registered[key], signature="s")'),
    ('unregister', 'ss', 'b',
     'key = (args[0], args[1])\n'
     'ret = key in self.registered\n'
     'self.registered.pop(key, None)\n'
     'self.keys.pop(key, None)'),
])

xfc_name = dbus.service.BusName('org.xfce.Xfconf', bus)
xfc = dbusmock.DBusMockObject(xfc_name, '/org/xfce/Xfconf', 'org.xfce.Xfconf', {})
xfc.props = {}        # (channel, property) -> value
NOT_FOUND = ('raise dbus.exceptions.DBusException("Property does not exist", '
             'name="org.xfce.Xfconf.Error.PropertyNotFound")')
xfc.AddMethods('org.xfce.Xfconf', [
    ('PropertyExists', 'ss', 'b', 'ret = (args[0], args[1]) in self.props'),
    ('GetProperty', 'ss', 'v',
     'if (args[0], args[1]) not in self.props:\n    ' + NOT_FOUND + '\n'
     'ret = self.props[(args[0], args[1])]'),
    ('SetProperty', 'ssv', '', 'self.props[(args[0], args[1])] = args[2]'),
    # (exec'd code: comprehensions cannot see args/self, so plain loops)
    ('ResetProperty', 'ssb', '',
     'for key in list(self.props):\n'
     '    if key[0] == args[0] and (key[1] == args[1] or (args[2] and key[1].startswith(args[1].rstrip("/") + "/"))):\n'
     '        del self.props[key]'),
    ('GetAllProperties', 'ss', 'a{sv}',
     'ret = dbus.Dictionary({}, signature="sv")\n'
     'for key, value in self.props.items():\n'
     '    if key[0] == args[0] and key[1].startswith(args[1]):\n'
     '        ret[key[1]] = value'),
])

with open(ready_file, 'w') as f:
    f.write('ready\n')
GLib.MainLoop().run()
