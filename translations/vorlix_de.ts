<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>QShell</name>
    <message>
        <source>Open Image</source>
        <translation>Abbild öffnen</translation>
    </message>
    <message>
        <source>Image Files (*.img *.iso)</source>
        <translation>Abbilddateien (*.img *.iso)</translation>
    </message>
</context>
<context>
    <name>vorlix</name>
    <message>
        <source>Usage: %s /mount/point device fs-type
</source>
        <extracomment>Printed on standard error. %s is the program&apos;s name as it was started.</extracomment>
        <translation>Aufruf: %s /Einhängepunkt Gerät Dateisystemtyp
</translation>
    </message>
    <message>
        <source>vorlix: cannot open a display: neither DISPLAY nor WAYLAND_DISPLAY is set.
</source>
        <extracomment>Printed on standard error, on one line, when vorlix is started outside a graphical session. DISPLAY and WAYLAND_DISPLAY are environment variables; keep them as they are.</extracomment>
        <translation>vorlix: kann keine Anzeige öffnen: weder DISPLAY noch WAYLAND_DISPLAY ist gesetzt.
</translation>
    </message>
    <message>
        <source>vorlix: cannot open the display given by %s.
</source>
        <extracomment>Printed on standard error, on one line. %s names what chose the display, such as &quot;DISPLAY=:0&quot; or &quot;QT_QPA_PLATFORM=wayland&quot;.</extracomment>
        <translation>vorlix: kann die durch %s bestimmte Anzeige nicht öffnen.
</translation>
    </message>
    <message>
        <source>vorlix: the platform plugin &quot;%s&quot; is missing or cannot be loaded.
</source>
        <extracomment>Printed on standard error, on one line, when the toolkit&apos;s part for the kind of display (its platform plugin) is not installed or does not load. %s is its name, such as &quot;xcb&quot; or &quot;wayland&quot;.</extracomment>
        <translation>vorlix: das Plattform-Plugin &quot;%s&quot; fehlt oder lässt sich nicht laden.
</translation>
    </message>
    <message>
        <source>%s does not contain a recognized filesystem.  It may
be possible to mount manually using fusefs tools that
are not currently integrated into this system.

If you are certain that the device does not contain
any important information, you can reformat it using

    draskel %s fs-type

if you wish.</source>
        <extracomment>The first %s is a device node (/dev/da0s1), the second its whole disk (/dev/da0). &quot;draskel&quot; is a command; keep the command line as it is, on a line of its own. Break the other lines where your language reads well, none longer than the longest English one: a longer line makes the box wrap it.</extracomment>
        <translation>%s enthält kein erkanntes Dateisystem.
Vielleicht lässt es sich von Hand mit fusefs-Werkzeugen
einhängen, die dieses System noch nicht einbindet.

Wenn Sie sicher sind, dass das Gerät keine wichtigen
Daten enthält, können Sie es auf Wunsch mit

    draskel %s fs-type

neu formatieren.</translation>
    </message>
    <message>
        <source>Filesystem info</source>
        <extracomment>Button.</extracomment>
        <translation>Dateisystem-Info</translation>
    </message>
    <message>
        <source>Open file manager</source>
        <extracomment>Button.</extracomment>
        <translation>Dateimanager öffnen</translation>
    </message>
    <message>
        <source>Reformat %s</source>
        <extracomment>Button; %s is the whole disk, such as /dev/da0. At most 64 bytes are shown.</extracomment>
        <translation>Neu formatieren: %s</translation>
    </message>
    <message>
        <source>Copy disk image to %s</source>
        <extracomment>Button; %s is the whole disk, such as /dev/da0. At most 64 bytes are shown.</extracomment>
        <translation>Abbild kopieren auf %s</translation>
    </message>
    <message>
        <source>Unmount %s</source>
        <extracomment>Button; %s is the mount point, such as /media/da0s1. At most 64 bytes are shown.</extracomment>
        <translation>Aushängen: %s</translation>
    </message>
    <message>
        <source>Use Unmount to unmount and close this window.</source>
        <extracomment>The window cannot be closed; &quot;Unmount&quot; is the button of that name.</extracomment>
        <translation>Hängen Sie den Datenträger mit „Aushängen“ aus, um dieses Fenster zu schließen.</translation>
    </message>
    <message>
        <source>EXFAT (Windows and most Unix)</source>
        <extracomment>Button of the format chooser.</extracomment>
        <translation>EXFAT (Windows und die meisten Unix-Systeme)</translation>
    </message>
    <message>
        <source>UFS2 (BSD)</source>
        <extracomment>Button of the format chooser.</extracomment>
        <translation>UFS2 (BSD)</translation>
    </message>
    <message>
        <source>EXT4 (Linux)</source>
        <extracomment>Button of the format chooser.</extracomment>
        <translation>EXT4 (Linux)</translation>
    </message>
    <message>
        <source>Cannot get filesystem info.</source>
        <translation>Die Angaben zum Dateisystem sind nicht abrufbar.</translation>
    </message>
    <message>
        <source>Mount point:	%s
Filesystem:	%s
Device:	%s
Total:	%10.2f GB  (%10.2f GiB)
Used:	%10.2f GB  (%10.2f GiB,  %4.1f%%)
Available:	%10.2f GB  (%10.2f GiB,  %4.1f%%)
</source>
        <extracomment>Tabs line the values up: a tab moves on to the next tab stop, and stops are 80 pixels apart. Where a label is too long for the first stop, give the short labels two tabs and the long ones one, so that every value starts at the second stop; keep labels clear of a stop by a few letters. The %s are the mount point, the filesystem type and the device; the numbers are sizes and percentages. Keep every conversion as it is, in this order.</extracomment>
        <translation>Eingehängt unter:	%s
Dateisystemtyp:	%s
Gerät:		%s
Gesamt:		%10.2f GB  (%10.2f GiB)
Belegt:		%10.2f GB  (%10.2f GiB,  %4.1f%%)
Frei:		%10.2f GB  (%10.2f GiB,  %4.1f%%)
</translation>
    </message>
    <message>
        <source>Unmount failed for %s.
Was the device improperly removed before unmounting?
Run &quot;pkill vorlix&quot; to force termination.
</source>
        <extracomment>%s is the mount point. &quot;pkill vorlix&quot; is a command.</extracomment>
        <translation>Aushängen von %s fehlgeschlagen.
Wurde das Gerät entfernt, bevor es ausgehängt war?
Mit &quot;pkill vorlix&quot; lässt sich das Programm zwangsweise beenden.
</translation>
    </message>
    <message>
        <source>vorlix: unmount failed: %s
</source>
        <extracomment>%s says how the mount helper ended, or the system&apos;s reason.</extracomment>
        <translation>vorlix: Aushängen fehlgeschlagen: %s
</translation>
    </message>
    <message>
        <source>vorlix: exec failed: %s
</source>
        <extracomment>%s is the system&apos;s reason.</extracomment>
        <translation>vorlix: Ausführen fehlgeschlagen: %s
</translation>
    </message>
    <message>
        <source>Failed to get home directory.</source>
        <translation>Das Home-Verzeichnis ist nicht zu ermitteln.</translation>
    </message>
    <message>
        <source>.config/vorlix exists, but is empty.</source>
        <extracomment>&quot;.config/vorlix&quot; is a file name.</extracomment>
        <translation>.config/vorlix ist vorhanden, aber leer.</translation>
    </message>
    <message>
        <source>vorlix: File manager error: %s
</source>
        <extracomment>%s says how the file manager ended, or the system&apos;s reason.</extracomment>
        <translation>vorlix: Fehler beim Dateimanager: %s
</translation>
    </message>
    <message>
        <source>Error generating temp file name.</source>
        <translation>Es konnte kein Name für eine temporäre Datei erzeugt werden.</translation>
    </message>
    <message>
        <source>%s: Cannot determine parent device name</source>
        <extracomment>%s is a device node.</extracomment>
        <translation>%s: Der Name des ganzen Datenträgers ist nicht zu ermitteln</translation>
    </message>
    <message>
        <source>Failed to unmount.</source>
        <translation>Aushängen fehlgeschlagen.</translation>
    </message>
    <message>
        <source>exec failed.</source>
        <extracomment>The terminal window for the job could not be started.</extracomment>
        <translation>Ausführen fehlgeschlagen.</translation>
    </message>
    <message>
        <source>Copy complete.  You may need to disconnect and
reconnect the device to mount all new filesystems.</source>
        <translation>Kopieren abgeschlossen.  Eventuell müssen Sie das Gerät trennen
und wieder anschließen, damit alle neuen Dateisysteme eingehängt werden.</translation>
    </message>
    <message>
        <source>Image copy failed.</source>
        <translation>Kopieren des Abbilds fehlgeschlagen.</translation>
    </message>
    <message>
        <source>Format complete.  You may need to disconnect and
reconnect the device to mount all new filesystems.</source>
        <translation>Formatieren abgeschlossen.  Eventuell müssen Sie das Gerät trennen
und wieder anschließen, damit alle neuen Dateisysteme eingehängt werden.</translation>
    </message>
    <message>
        <source>Format failed.</source>
        <translation>Formatieren fehlgeschlagen.</translation>
    </message>
    <message>
        <source>%s exited with status %d</source>
        <extracomment>How a command ended: %s is the command&apos;s name, %d its exit status.</extracomment>
        <translation>%s wurde mit Status %d beendet</translation>
    </message>
    <message>
        <source>%s was killed by signal %d</source>
        <extracomment>How a command ended: %s is the command&apos;s name, %d the signal&apos;s number.</extracomment>
        <translation>%s wurde durch Signal %d beendet</translation>
    </message>
    <message>
        <source>vorlix: %s is on the disk it would overwrite.
</source>
        <extracomment>%s is the image file the user chose, which lies on the very disk that copying it would overwrite; nothing was done.</extracomment>
        <translation>vorlix: %s liegt auf dem Datenträger, der überschrieben würde.
</translation>
    </message>
    <message>
        <source>The terminal for this job, urxvt, needs an X display,
but this Wayland session has none (DISPLAY is not set).
Nothing was unmounted or written.

Turn on XWayland in your desktop and start vorlix with
DISPLAY set, then try again.</source>
        <extracomment>Shown instead of starting a format or image copy. &quot;urxvt&quot; is the terminal program, &quot;DISPLAY&quot; an environment variable and &quot;XWayland&quot; the X server of a Wayland desktop; keep them as they are.</extracomment>
        <translation>Das Terminal für diesen Auftrag, urxvt, braucht eine
X-Anzeige, aber diese Wayland-Sitzung hat keine
(DISPLAY ist nicht gesetzt). Es wurde nichts ausgehängt
und nichts geschrieben.

Schalten Sie XWayland in Ihrer Arbeitsumgebung ein,
starten Sie vorlix mit gesetztem DISPLAY und versuchen
Sie es dann erneut.</translation>
    </message>
    <message>
        <source>vorlix: %s</source>
        <extracomment>Not shown on screen: the name screen readers give the main window. %s is the mount point, such as /media/da0s1.</extracomment>
        <translation>vorlix: %s</translation>
    </message>
    <message>
        <source>vorlix: %s is not responding.
</source>
        <extracomment>%s is a folder or a file of a filesystem that did not answer within 10 seconds: a stick that stopped answering, say.</extracomment>
        <translation>vorlix: %s antwortet nicht.
</translation>
    </message>
    <message>
        <source>%s has been waiting on %s for %d seconds.
A slow stick can take minutes to write back its cache.

Keep waiting, or stop it?</source>
        <extracomment>Asked while a command still runs. The first %s is the command (&quot;kelmo&quot;), the second the folder it works on, %d the seconds waited so far. The buttons are &quot;Keep waiting&quot; and &quot;Stop&quot;.</extracomment>
        <translation>%s wartet auf %s, seit %d Sekunden.
Ein langsamer Stick kann Minuten brauchen, um seinen
Zwischenspeicher zurückzuschreiben.

Weiter warten oder abbrechen?</translation>
    </message>
    <message>
        <source>Keep waiting</source>
        <extracomment>Button: go on waiting for the command.</extracomment>
        <translation>Weiter warten</translation>
    </message>
    <message>
        <source>Stop</source>
        <extracomment>Button: end the command that is still waiting.</extracomment>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>%s was stopped</source>
        <extracomment>How a command ended: %s is the command&apos;s name; the user stopped it.</extracomment>
        <translation>%s wurde abgebrochen</translation>
    </message>
    <message>
        <source>vorlix: %s is still mounted on %s.
</source>
        <extracomment>Why an unmount failed. The first %s is a device (/dev/da0s1) or a disk image file, the second a folder it is still mounted on.</extracomment>
        <translation>vorlix: %s ist noch in %s eingehängt.
</translation>
    </message>
    <message>
        <source>vorlix: %s is still mounted in another mount namespace.
</source>
        <extracomment>Why an unmount failed. %s is a device. A mount namespace is a separate view of the mounts, as a container has.</extracomment>
        <translation>vorlix: %s ist noch in einem anderen Mount-Namensraum eingehängt.
</translation>
    </message>
    <message>
        <source>vorlix: %s is still in use by %s (pid %d).
</source>
        <extracomment>Why an unmount failed. The first %s is a device or a file, the second the name of a program, %d its process id.</extracomment>
        <translation>vorlix: %s wird noch von %s (PID %d) benutzt.
</translation>
    </message>
    <message>
        <source>vorlix: %s is still held by %s, which is built on it.
</source>
        <extracomment>Why an unmount failed. The first %s is a device, the second a device made on top of it, such as an encrypted mapping (&quot;dm-0&quot;).</extracomment>
        <translation>vorlix: %s wird noch von %s gehalten, das darauf aufbaut.
</translation>
    </message>
    <message>
        <source>vorlix: %s is still held by the GEOM class %s.
</source>
        <extracomment>Why an unmount failed, on FreeBSD. The first %s is a device, the second the kind of layer that holds it open: ELI (encryption), SWAP, ZFS::VDEV (a ZFS pool). Keep &quot;GEOM&quot; and the kind as they are.</extracomment>
        <translation>vorlix: %s wird noch von der GEOM-Klasse %s gehalten.
</translation>
    </message>
    <message>
        <source>vorlix: %s is still held open by a program through /dev.
</source>
        <extracomment>Why an unmount failed, on FreeBSD. %s is a device that some program has open through its /dev node, and the system does not say which.</extracomment>
        <translation>vorlix: %s wird noch von einem Programm über /dev offen gehalten.
</translation>
    </message>
    <message>
        <source>vorlix: %s is still claimed by the system.
</source>
        <extracomment>Why an unmount failed. %s is a device that the system still claims without saying for what.</extracomment>
        <translation>vorlix: %s wird noch vom System beansprucht.
</translation>
    </message>
    <message>
        <source>vorlix: %s is no longer the disk this job began with; nothing was written.
</source>
        <extracomment>%s is a disk such as /dev/da0. Between the start of a job and the start of its tool the disk was pulled, and another may stand in its place; nothing was written.</extracomment>
        <translation>vorlix: %s ist nicht mehr der Datenträger, mit dem diese Aufgabe begann; nichts wurde geschrieben.
</translation>
    </message>
    <message>
        <source>vorlix: cannot tell which device the FUSE filesystem on %s reads.
</source>
        <extracomment>%s is the folder a FUSE filesystem is mounted on. Which device its program reads cannot be told, so it is taken to be on the disk.</extracomment>
        <translation>vorlix: Welches Gerät das FUSE-Dateisystem in %s liest, lässt sich nicht sagen.
</translation>
    </message>
    <message>
        <source>vorlix: only root may unmount %s, or the user who mounted it, with vfs.usermount=1.
</source>
        <extracomment>Why an unmount failed, on FreeBSD. %s is the folder. Keep &quot;vfs.usermount=1&quot; as it is.</extracomment>
        <translation>vorlix: Nur root darf %s aushängen, oder mit vfs.usermount=1 der Benutzer, der es eingehängt hat.
</translation>
    </message>
    <message>
        <source>vorlix: %s is not a disk vorlix can write: it lies on %s, which is not one whole disk.
</source>
        <extracomment>Shown instead of a format or image copy. The first %s is a device, the second what it lies on: a device that spans several disks, or is none, such as &quot;md0&quot; or &quot;mirror/gm0 (MIRROR)&quot;. Writing one of its disks would break it.</extracomment>
        <translation>vorlix: %s ist kein Datenträger, den vorlix beschreiben kann: er liegt auf %s, das kein einzelner ganzer Datenträger ist.
</translation>
    </message>
    <message>
        <source>vorlix: the system hides which programs hold %s (%s).
</source>
        <extracomment>Why an unmount failed, on FreeBSD. The first %s is a device, the second the settings of the system that hide other users&apos; programs, or every program&apos;s open files, such as &quot;security.bsd.see_other_uids=0&quot;; keep it as it is.</extracomment>
        <translation>vorlix: das System verbirgt, welche Programme %s belegen (%s).
</translation>
    </message>
    <message>
        <source>vorlix: the system did not tell in time which programs hold %s.
</source>
        <extracomment>Why an unmount failed, on FreeBSD. %s is a device. The system&apos;s list of the programs&apos; open files did not come: a filesystem that one of them has open has stopped answering.</extracomment>
        <translation>vorlix: das System hat nicht rechtzeitig gemeldet, welche Programme %s belegen.
</translation>
    </message>
</context>
</TS>
