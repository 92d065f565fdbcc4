<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>Localizable</name>
    <message>
        <source>Staywake is keeping this Mac awake</source>
        <translation>Staywake is keeping this computer awake</translation>
    </message>
    <message>
        <source>Staywake: off</source>
        <translation>Staywake: off</translation>
    </message>
    <message>
        <source>Staywake: on</source>
        <translation>Staywake: on</translation>
    </message>
    <message>
        <source>Staywake: on, timer running</source>
        <translation>Staywake: on, timer running</translation>
    </message>
    <message>
        <source>On · %1 left</source>
        <translation>On · %1 left</translation>
    </message>
    <message>
        <source>On</source>
        <translation>On</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>Staywake, off</source>
        <translation>Staywake, off</translation>
    </message>
    <message>
        <source>Staywake, on</source>
        <translation>Staywake, on</translation>
    </message>
    <message>
        <source>Staywake, on, less than a minute left</source>
        <translation>Staywake, on, less than a minute left</translation>
    </message>
    <message>
        <source>Staywake, on, %1 left</source>
        <translation>Staywake, on, %1 left</translation>
    </message>
    <message>
        <source>Your Mac can sleep as usual.</source>
        <translation>Your computer can sleep as usual.</translation>
    </message>
    <message>
        <source>Your Mac won't fall asleep on its own. Closing the lid still puts it to sleep.</source>
        <translation>Your computer won't fall asleep on its own. Closing the lid still puts it to sleep.</translation>
    </message>
    <message>
        <source>Your Mac won't fall asleep until the session ends. Closing the lid still puts it to sleep.</source>
        <translation>Your computer won't fall asleep until the session ends. Closing the lid still puts it to sleep.</translation>
    </message>
    <message>
        <source>Turn On</source>
        <translation>Turn On</translation>
    </message>
    <message>
        <source>Turn Off</source>
        <translation>Turn Off</translation>
    </message>
    <message>
        <source>Stay awake without a timer</source>
        <translation>Stay awake without a timer</translation>
    </message>
    <message>
        <source>Stay awake for</source>
        <translation>Stay awake for</translation>
    </message>
    <message>
        <source>Don't retry when Staywake opens</source>
        <translation>Don't retry when Staywake opens</translation>
    </message>
    <message>
        <source>Open at Login</source>
        <translation>Open at Login</translation>
    </message>
    <message>
        <source>Staywake isn't in Applications, so it may not open at your next login. Move it to Applications, then turn this back on.</source>
        <translation>Staywake isn't installed in an applications folder, so it may not open at your next login. Install it there, then turn this back on.</translation>
    </message>
    <message>
        <source>Approve Staywake in System Settings.</source>
        <translation>Approve Staywake in your desktop's settings.</translation>
    </message>
    <message>
        <source>Open Login Items…</source>
        <translation>Open Startup Applications…</translation>
    </message>
    <message>
        <source>macOS couldn't keep your Mac awake (IOKit error %1).</source>
        <translation>The system couldn't keep your computer awake (error %1).</translation>
    </message>
</context>
<context>
    <name>NightBrew</name>
    <message>
        <source>Staywake: Night Brew on</source>
        <translation>Staywake: Night Brew on</translation>
    </message>
    <message>
        <source>Staywake: Night Brew on, timer running</source>
        <translation>Staywake: Night Brew on, timer running</translation>
    </message>
    <message>
        <source>Your Mac won't fall asleep, even with the lid closed.</source>
        <translation>Your computer won't fall asleep, even with the lid closed.</translation>
    </message>
    <message>
        <source>Your Mac won't fall asleep until the session ends, even with the lid closed.</source>
        <translation>Your computer won't fall asleep until the session ends, even with the lid closed.</translation>
    </message>
    <message>
        <source>Night Brew</source>
        <translation>Night Brew</translation>
    </message>
    <message>
        <source>Your Mac stays awake with the lid closed.</source>
        <translation>Your computer stays awake with the lid closed.</translation>
    </message>
    <message>
        <source>With the lid shut and no display attached, heat can build up. Keep your Mac out of bags and other enclosed spaces while it is working.</source>
        <translation>With the lid shut and no display attached, heat can build up. Keep your computer out of bags and other enclosed spaces while it is working.</translation>
    </message>
    <message>
        <source>I understand</source>
        <translation>I understand</translation>
    </message>
    <message>
        <source>I understand the heat warning</source>
        <translation>I understand the heat warning</translation>
    </message>
    <message>
        <source>On battery with no display attached. Keep your Mac uncovered so heat can escape.</source>
        <translation>On battery with no display attached. Keep your computer uncovered so heat can escape.</translation>
    </message>
    <message>
        <source>Night Brew can't start because its helper is unavailable.</source>
        <translation>Night Brew can't start because its helper is unavailable.</translation>
    </message>
    <message>
        <source>To use Night Brew, allow Staywake in System Settings, then turn it on again.</source>
        <translation>To use Night Brew, allow Staywake's helper on this system, then turn it on again.</translation>
    </message>
    <message>
        <source>Open Login Items…</source>
        <translation>Allow the Helper…</translation>
    </message>
    <message>
        <source>Night Brew can't start because its helper couldn't read the sleep setting, so nothing was changed (%1).</source>
        <translation>Night Brew can't start because its helper couldn't read the sleep setting, so nothing was changed (%1).</translation>
    </message>
    <message>
        <source>Night Brew can't start because its helper couldn't change the sleep setting (%1).</source>
        <translation>Night Brew can't start because its helper couldn't change the sleep setting (%1).</translation>
    </message>
    <message>
        <source>Your Mac may stay awake with the lid closed. Night Brew's helper couldn't restore the sleep setting and is still trying (%1).</source>
        <translation>Your computer may stay awake with the lid closed. Night Brew's helper couldn't restore the sleep setting and is still trying (%1).</translation>
    </message>
    <message>
        <source>Night Brew can't start because its helper was sent an end time it couldn't read.</source>
        <translation>Night Brew can't start because its helper was sent an end time it couldn't read.</translation>
    </message>
    <message>
        <source>Night Brew can't start because something other than Staywake already keeps your Mac awake with the lid closed. That setting was left as it is.</source>
        <translation>Night Brew can't start because something other than Staywake already keeps your computer awake with the lid closed. That setting was left as it is.</translation>
    </message>
    <message>
        <source>Night Brew stopped because something other than Staywake changed the sleep setting. Closing the lid works as usual again.</source>
        <translation>Night Brew stopped because something other than Staywake changed the sleep setting. Closing the lid works as usual again.</translation>
    </message>
</context>
</TS>
