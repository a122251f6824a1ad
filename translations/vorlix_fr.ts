<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr" sourcelanguage="en">
<context>
    <name>QShell</name>
    <message>
        <source>Open Image</source>
        <translation>Ouvrir une image</translation>
    </message>
    <message>
        <source>Image Files (*.img *.iso)</source>
        <translation>Fichiers image (*.img *.iso)</translation>
    </message>
</context>
<context>
    <name>vorlix</name>
    <message>
        <source>Usage: %s /mount/point device fs-type
</source>
        <extracomment>Printed on standard error. %s is the program&apos;s name as it was started.</extracomment>
        <translation>Usage : %s /point/de/montage périphérique type-fs
</translation>
    </message>
    <message>
        <source>vorlix: cannot open a display: neither DISPLAY nor WAYLAND_DISPLAY is set.
</source>
        <extracomment>Printed on standard error, on one line, when vorlix is started outside a graphical session. DISPLAY and WAYLAND_DISPLAY are environment variables; keep them as they are.</extracomment>
        <translation>vorlix: impossible d&apos;ouvrir un affichage : ni DISPLAY ni WAYLAND_DISPLAY n&apos;est défini.
</translation>
    </message>
    <message>
        <source>vorlix: cannot open the display given by %s.
</source>
        <extracomment>Printed on standard error, on one line. %s names what chose the display, such as &quot;DISPLAY=:0&quot; or &quot;QT_QPA_PLATFORM=wayland&quot;.</extracomment>
        <translation>vorlix: impossible d&apos;ouvrir l&apos;affichage désigné par %s.
</translation>
    </message>
    <message>
        <source>vorlix: the platform plugin &quot;%s&quot; is missing or cannot be loaded.
</source>
        <extracomment>Printed on standard error, on one line, when the toolkit&apos;s part for the kind of display (its platform plugin) is not installed or does not load. %s is its name, such as &quot;xcb&quot; or &quot;wayland&quot;.</extracomment>
        <translation>vorlix: le module de plateforme « %s » est absent ou ne peut pas être chargé.
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
        <translation>%s ne contient aucun système de fichiers reconnu.
Il est peut-être possible de le monter à la main avec
des outils fusefs pas encore intégrés à ce système.

Si vous êtes certain que le périphérique ne contient aucune
information importante, vous pouvez le reformater avec

    draskel %s fs-type

si vous le souhaitez.</translation>
    </message>
    <message>
        <source>Filesystem info</source>
        <extracomment>Button.</extracomment>
        <translation>Infos sur le système de fichiers</translation>
    </message>
    <message>
        <source>Open file manager</source>
        <extracomment>Button.</extracomment>
        <translation>Ouvrir le gestionnaire de fichiers</translation>
    </message>
    <message>
        <source>Reformat %s</source>
        <extracomment>Button; %s is the whole disk, such as /dev/da0. At most 64 bytes are shown.</extracomment>
        <translation>Reformater %s</translation>
    </message>
    <message>
        <source>Copy disk image to %s</source>
        <extracomment>Button; %s is the whole disk, such as /dev/da0. At most 64 bytes are shown.</extracomment>
        <translation>Copier une image disque sur %s</translation>
    </message>
    <message>
        <source>Unmount %s</source>
        <extracomment>Button; %s is the mount point, such as /media/da0s1. At most 64 bytes are shown.</extracomment>
        <translation>Démonter %s</translation>
    </message>
    <message>
        <source>Use Unmount to unmount and close this window.</source>
        <extracomment>The window cannot be closed; &quot;Unmount&quot; is the button of that name.</extracomment>
        <translation>Utilisez « Démonter » pour démonter et fermer cette fenêtre.</translation>
    </message>
    <message>
        <source>EXFAT (Windows and most Unix)</source>
        <extracomment>Button of the format chooser.</extracomment>
        <translation>EXFAT (Windows et la plupart des Unix)</translation>
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
        <translation>Impossible d&apos;obtenir les informations du système de fichiers.</translation>
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
        <translation>Point de montage :	%s
Système de fichiers :	%s
Nom du périphérique :	%s
Total :		%10.2f Go  (%10.2f Gio)
Utilisé :		%10.2f Go  (%10.2f Gio,  %4.1f %%)
Libre :		%10.2f Go  (%10.2f Gio,  %4.1f %%)
</translation>
    </message>
    <message>
        <source>Unmount failed for %s.
Was the device improperly removed before unmounting?
Run &quot;pkill vorlix&quot; to force termination.
</source>
        <extracomment>%s is the mount point. &quot;pkill vorlix&quot; is a command.</extracomment>
        <translation>Échec du démontage de %s.
Le périphérique a-t-il été retiré avant d&apos;être démonté ?
Lancez &quot;pkill vorlix&quot; pour forcer l&apos;arrêt.
</translation>
    </message>
    <message>
        <source>vorlix: unmount failed: %s
</source>
        <extracomment>%s says how the mount helper ended, or the system&apos;s reason.</extracomment>
        <translation>vorlix: échec du démontage : %s
</translation>
    </message>
    <message>
        <source>vorlix: exec failed: %s
</source>
        <extracomment>%s is the system&apos;s reason.</extracomment>
        <translation>vorlix: échec de l&apos;exécution : %s
</translation>
    </message>
    <message>
        <source>Failed to get home directory.</source>
        <translation>Impossible de trouver le dossier personnel.</translation>
    </message>
    <message>
        <source>.config/vorlix exists, but is empty.</source>
        <extracomment>&quot;.config/vorlix&quot; is a file name.</extracomment>
        <translation>.config/vorlix existe, mais il est vide.</translation>
    </message>
    <message>
        <source>vorlix: File manager error: %s
</source>
        <extracomment>%s says how the file manager ended, or the system&apos;s reason.</extracomment>
        <translation>vorlix: erreur du gestionnaire de fichiers : %s
</translation>
    </message>
    <message>
        <source>Error generating temp file name.</source>
        <translation>Impossible de créer un nom de fichier temporaire.</translation>
    </message>
    <message>
        <source>%s: Cannot determine parent device name</source>
        <extracomment>%s is a device node.</extracomment>
        <translation>%s : impossible de déterminer le nom du disque entier</translation>
    </message>
    <message>
        <source>Failed to unmount.</source>
        <translation>Échec du démontage.</translation>
    </message>
    <message>
        <source>exec failed.</source>
        <extracomment>The terminal window for the job could not be started.</extracomment>
        <translation>Échec de l&apos;exécution.</translation>
    </message>
    <message>
        <source>Copy complete.  You may need to disconnect and
reconnect the device to mount all new filesystems.</source>
        <translation>Copie terminée.  Il faudra peut-être débrancher puis
rebrancher le périphérique pour monter tous les nouveaux systèmes de fichiers.</translation>
    </message>
    <message>
        <source>Image copy failed.</source>
        <translation>Échec de la copie de l&apos;image.</translation>
    </message>
    <message>
        <source>Format complete.  You may need to disconnect and
reconnect the device to mount all new filesystems.</source>
        <translation>Formatage terminé.  Il faudra peut-être débrancher puis
rebrancher le périphérique pour monter tous les nouveaux systèmes de fichiers.</translation>
    </message>
    <message>
        <source>Format failed.</source>
        <translation>Échec du formatage.</translation>
    </message>
    <message>
        <source>%s exited with status %d</source>
        <extracomment>How a command ended: %s is the command&apos;s name, %d its exit status.</extracomment>
        <translation>%s s&apos;est terminé avec le code %d</translation>
    </message>
    <message>
        <source>%s was killed by signal %d</source>
        <extracomment>How a command ended: %s is the command&apos;s name, %d the signal&apos;s number.</extracomment>
        <translation>%s a été tué par le signal %d</translation>
    </message>
    <message>
        <source>vorlix: %s is on the disk it would overwrite.
</source>
        <extracomment>%s is the image file the user chose, which lies on the very disk that copying it would overwrite; nothing was done.</extracomment>
        <translation>vorlix: %s se trouve sur le disque qui serait écrasé.
</translation>
    </message>
    <message>
        <source>The terminal for this job, urxvt, needs an X display,
but this Wayland session has none (DISPLAY is not set).
Nothing was unmounted or written.

Turn on XWayland in your desktop and start vorlix with
DISPLAY set, then try again.</source>
        <extracomment>Shown instead of starting a format or image copy. &quot;urxvt&quot; is the terminal program, &quot;DISPLAY&quot; an environment variable and &quot;XWayland&quot; the X server of a Wayland desktop; keep them as they are.</extracomment>
        <translation>Le terminal de cette tâche, urxvt, a besoin d&apos;un
affichage X, mais cette session Wayland n&apos;en a pas
(DISPLAY n&apos;est pas défini). Rien n&apos;a été démonté
ni écrit.

Activez XWayland dans votre bureau, lancez vorlix
avec DISPLAY défini, puis réessayez.</translation>
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
        <translation>vorlix: %s ne répond pas.
</translation>
    </message>
    <message>
        <source>%s has been waiting on %s for %d seconds.
A slow stick can take minutes to write back its cache.

Keep waiting, or stop it?</source>
        <extracomment>Asked while a command still runs. The first %s is the command (&quot;kelmo&quot;), the second the folder it works on, %d the seconds waited so far. The buttons are &quot;Keep waiting&quot; and &quot;Stop&quot;.</extracomment>
        <translation>%s attend %s depuis %d secondes.
Une clé lente peut mettre des minutes à écrire son cache.

Continuer d&apos;attendre, ou l&apos;arrêter ?</translation>
    </message>
    <message>
        <source>Keep waiting</source>
        <extracomment>Button: go on waiting for the command.</extracomment>
        <translation>Continuer d&apos;attendre</translation>
    </message>
    <message>
        <source>Stop</source>
        <extracomment>Button: end the command that is still waiting.</extracomment>
        <translation>Arrêter</translation>
    </message>
    <message>
        <source>%s was stopped</source>
        <extracomment>How a command ended: %s is the command&apos;s name; the user stopped it.</extracomment>
        <translation>%s a été arrêté</translation>
    </message>
    <message>
        <source>vorlix: %s is still mounted on %s.
</source>
        <extracomment>Why an unmount failed. The first %s is a device (/dev/da0s1) or a disk image file, the second a folder it is still mounted on.</extracomment>
        <translation>vorlix: %s est encore monté sur %s.
</translation>
    </message>
    <message>
        <source>vorlix: %s is still mounted in another mount namespace.
</source>
        <extracomment>Why an unmount failed. %s is a device. A mount namespace is a separate view of the mounts, as a container has.</extracomment>
        <translation>vorlix: %s est encore monté dans un autre espace de noms de montage.
</translation>
    </message>
    <message>
        <source>vorlix: %s is still in use by %s (pid %d).
</source>
        <extracomment>Why an unmount failed. The first %s is a device or a file, the second the name of a program, %d its process id.</extracomment>
        <translation>vorlix: %s est encore utilisé par %s (pid %d).
</translation>
    </message>
    <message>
        <source>vorlix: %s is still held by %s, which is built on it.
</source>
        <extracomment>Why an unmount failed. The first %s is a device, the second a device made on top of it, such as an encrypted mapping (&quot;dm-0&quot;).</extracomment>
        <translation>vorlix: %s est encore tenu par %s, qui est construit dessus.
</translation>
    </message>
    <message>
        <source>vorlix: %s is still held by the GEOM class %s.
</source>
        <extracomment>Why an unmount failed, on FreeBSD. The first %s is a device, the second the kind of layer that holds it open: ELI (encryption), SWAP, ZFS::VDEV (a ZFS pool). Keep &quot;GEOM&quot; and the kind as they are.</extracomment>
        <translation>vorlix: %s est encore tenu par la classe GEOM %s.
</translation>
    </message>
    <message>
        <source>vorlix: %s is still held open by a program through /dev.
</source>
        <extracomment>Why an unmount failed, on FreeBSD. %s is a device that some program has open through its /dev node, and the system does not say which.</extracomment>
        <translation>vorlix: %s est encore ouvert par un programme via /dev.
</translation>
    </message>
    <message>
        <source>vorlix: %s is still claimed by the system.
</source>
        <extracomment>Why an unmount failed. %s is a device that the system still claims without saying for what.</extracomment>
        <translation>vorlix: %s est encore réservé par le système.
</translation>
    </message>
    <message>
        <source>vorlix: %s is no longer the disk this job began with; nothing was written.
</source>
        <extracomment>%s is a disk such as /dev/da0. Between the start of a job and the start of its tool the disk was pulled, and another may stand in its place; nothing was written.</extracomment>
        <translation>vorlix: %s n&apos;est plus le disque avec lequel cette tâche a commencé ; rien n&apos;a été écrit.
</translation>
    </message>
    <message>
        <source>vorlix: cannot tell which device the FUSE filesystem on %s reads.
</source>
        <extracomment>%s is the folder a FUSE filesystem is mounted on. Which device its program reads cannot be told, so it is taken to be on the disk.</extracomment>
        <translation>vorlix: impossible de savoir quel périphérique lit le système de fichiers FUSE monté sur %s.
</translation>
    </message>
    <message>
        <source>vorlix: only root may unmount %s, or the user who mounted it, with vfs.usermount=1.
</source>
        <extracomment>Why an unmount failed, on FreeBSD. %s is the folder. Keep &quot;vfs.usermount=1&quot; as it is.</extracomment>
        <translation>vorlix: seul root peut démonter %s, ou, avec vfs.usermount=1, l&apos;utilisateur qui l&apos;a monté.
</translation>
    </message>
    <message>
        <source>vorlix: %s is not a disk vorlix can write: it lies on %s, which is not one whole disk.
</source>
        <extracomment>Shown instead of a format or image copy. The first %s is a device, the second what it lies on: a device that spans several disks, or is none, such as &quot;md0&quot; or &quot;mirror/gm0 (MIRROR)&quot;. Writing one of its disks would break it.</extracomment>
        <translation>vorlix: %s n&apos;est pas un disque que vorlix peut écrire : il repose sur %s, qui n&apos;est pas un disque entier unique.
</translation>
    </message>
    <message>
        <source>vorlix: the system hides which programs hold %s (%s).
</source>
        <extracomment>Why an unmount failed, on FreeBSD. The first %s is a device, the second the settings of the system that hide other users&apos; programs, or every program&apos;s open files, such as &quot;security.bsd.see_other_uids=0&quot;; keep it as it is.</extracomment>
        <translation>vorlix: le système cache quels programmes occupent %s (%s).
</translation>
    </message>
    <message>
        <source>vorlix: the system did not tell in time which programs hold %s.
</source>
        <extracomment>Why an unmount failed, on FreeBSD. %s is a device. The system&apos;s list of the programs&apos; open files did not come: a filesystem that one of them has open has stopped answering.</extracomment>
        <translation>vorlix: le système n&apos;a pas dit à temps quels programmes occupent %s.
</translation>
    </message>
</context>
</TS>
