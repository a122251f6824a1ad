<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es" sourcelanguage="en">
<context>
    <name>QShell</name>
    <message>
        <source>Open Image</source>
        <translation>Abrir imagen</translation>
    </message>
    <message>
        <source>Image Files (*.img *.iso)</source>
        <translation>Archivos de imagen (*.img *.iso)</translation>
    </message>
</context>
<context>
    <name>vorlix</name>
    <message>
        <source>Usage: %s /mount/point device fs-type
</source>
        <extracomment>Printed on standard error. %s is the program&apos;s name as it was started.</extracomment>
        <translation>Uso: %s /punto/de/montaje dispositivo tipo-fs
</translation>
    </message>
    <message>
        <source>vorlix: cannot open a display: neither DISPLAY nor WAYLAND_DISPLAY is set.
</source>
        <extracomment>Printed on standard error, on one line, when vorlix is started outside a graphical session. DISPLAY and WAYLAND_DISPLAY are environment variables; keep them as they are.</extracomment>
        <translation>vorlix: no se puede abrir una pantalla: no están definidas ni DISPLAY ni WAYLAND_DISPLAY.
</translation>
    </message>
    <message>
        <source>vorlix: cannot open the display given by %s.
</source>
        <extracomment>Printed on standard error, on one line. %s names what chose the display, such as &quot;DISPLAY=:0&quot; or &quot;QT_QPA_PLATFORM=wayland&quot;.</extracomment>
        <translation>vorlix: no se puede abrir la pantalla indicada por %s.
</translation>
    </message>
    <message>
        <source>vorlix: the platform plugin &quot;%s&quot; is missing or cannot be loaded.
</source>
        <extracomment>Printed on standard error, on one line, when the toolkit&apos;s part for the kind of display (its platform plugin) is not installed or does not load. %s is its name, such as &quot;xcb&quot; or &quot;wayland&quot;.</extracomment>
        <translation>vorlix: el complemento de plataforma &quot;%s&quot; falta o no se puede cargar.
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
        <translation>%s no contiene un sistema de archivos reconocido.
Quizá se pueda montar a mano con herramientas fusefs
que aún no están integradas en este sistema.

Si está seguro de que el dispositivo no contiene ninguna
información importante, puede reformatearlo con

    draskel %s fs-type

si lo desea.</translation>
    </message>
    <message>
        <source>Filesystem info</source>
        <extracomment>Button.</extracomment>
        <translation>Información del sistema de archivos</translation>
    </message>
    <message>
        <source>Open file manager</source>
        <extracomment>Button.</extracomment>
        <translation>Abrir gestor de archivos</translation>
    </message>
    <message>
        <source>Reformat %s</source>
        <extracomment>Button; %s is the whole disk, such as /dev/da0. At most 64 bytes are shown.</extracomment>
        <translation>Reformatear %s</translation>
    </message>
    <message>
        <source>Copy disk image to %s</source>
        <extracomment>Button; %s is the whole disk, such as /dev/da0. At most 64 bytes are shown.</extracomment>
        <translation>Copiar imagen de disco en %s</translation>
    </message>
    <message>
        <source>Unmount %s</source>
        <extracomment>Button; %s is the mount point, such as /media/da0s1. At most 64 bytes are shown.</extracomment>
        <translation>Desmontar %s</translation>
    </message>
    <message>
        <source>Use Unmount to unmount and close this window.</source>
        <extracomment>The window cannot be closed; &quot;Unmount&quot; is the button of that name.</extracomment>
        <translation>Use «Desmontar» para desmontar y cerrar esta ventana.</translation>
    </message>
    <message>
        <source>EXFAT (Windows and most Unix)</source>
        <extracomment>Button of the format chooser.</extracomment>
        <translation>EXFAT (Windows y la mayoría de Unix)</translation>
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
        <translation>No se puede obtener la información del sistema de archivos.</translation>
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
        <translation>Punto de montaje:	%s
Sistema de archivos:	%s
Dispositivo:		%s
Total:		%10.2f GB  (%10.2f GiB)
Usado:		%10.2f GB  (%10.2f GiB,  %4.1f%%)
Disponible:		%10.2f GB  (%10.2f GiB,  %4.1f%%)
</translation>
    </message>
    <message>
        <source>Unmount failed for %s.
Was the device improperly removed before unmounting?
Run &quot;pkill vorlix&quot; to force termination.
</source>
        <extracomment>%s is the mount point. &quot;pkill vorlix&quot; is a command.</extracomment>
        <translation>No se pudo desmontar %s.
¿Se retiró el dispositivo sin desmontarlo antes?
Ejecute &quot;pkill vorlix&quot; para forzar el cierre.
</translation>
    </message>
    <message>
        <source>vorlix: unmount failed: %s
</source>
        <extracomment>%s says how the mount helper ended, or the system&apos;s reason.</extracomment>
        <translation>vorlix: error al desmontar: %s
</translation>
    </message>
    <message>
        <source>vorlix: exec failed: %s
</source>
        <extracomment>%s is the system&apos;s reason.</extracomment>
        <translation>vorlix: error al ejecutar: %s
</translation>
    </message>
    <message>
        <source>Failed to get home directory.</source>
        <translation>No se pudo obtener la carpeta personal.</translation>
    </message>
    <message>
        <source>.config/vorlix exists, but is empty.</source>
        <extracomment>&quot;.config/vorlix&quot; is a file name.</extracomment>
        <translation>.config/vorlix existe, pero está vacío.</translation>
    </message>
    <message>
        <source>vorlix: File manager error: %s
</source>
        <extracomment>%s says how the file manager ended, or the system&apos;s reason.</extracomment>
        <translation>vorlix: error del gestor de archivos: %s
</translation>
    </message>
    <message>
        <source>Error generating temp file name.</source>
        <translation>Error al generar el nombre del archivo temporal.</translation>
    </message>
    <message>
        <source>%s: Cannot determine parent device name</source>
        <extracomment>%s is a device node.</extracomment>
        <translation>%s: no se puede determinar el nombre del disco completo</translation>
    </message>
    <message>
        <source>Failed to unmount.</source>
        <translation>No se pudo desmontar.</translation>
    </message>
    <message>
        <source>exec failed.</source>
        <extracomment>The terminal window for the job could not be started.</extracomment>
        <translation>Error al ejecutar.</translation>
    </message>
    <message>
        <source>Copy complete.  You may need to disconnect and
reconnect the device to mount all new filesystems.</source>
        <translation>Copia completada.  Puede que tenga que desconectar y volver
a conectar el dispositivo para montar todos los sistemas de archivos nuevos.</translation>
    </message>
    <message>
        <source>Image copy failed.</source>
        <translation>Error al copiar la imagen.</translation>
    </message>
    <message>
        <source>Format complete.  You may need to disconnect and
reconnect the device to mount all new filesystems.</source>
        <translation>Formateo completado.  Puede que tenga que desconectar y volver
a conectar el dispositivo para montar todos los sistemas de archivos nuevos.</translation>
    </message>
    <message>
        <source>Format failed.</source>
        <translation>Error al formatear.</translation>
    </message>
    <message>
        <source>%s exited with status %d</source>
        <extracomment>How a command ended: %s is the command&apos;s name, %d its exit status.</extracomment>
        <translation>%s terminó con el estado %d</translation>
    </message>
    <message>
        <source>%s was killed by signal %d</source>
        <extracomment>How a command ended: %s is the command&apos;s name, %d the signal&apos;s number.</extracomment>
        <translation>%s fue terminado por la señal %d</translation>
    </message>
    <message>
        <source>vorlix: %s is on the disk it would overwrite.
</source>
        <extracomment>%s is the image file the user chose, which lies on the very disk that copying it would overwrite; nothing was done.</extracomment>
        <translation>vorlix: %s está en el disco que se sobrescribiría.
</translation>
    </message>
    <message>
        <source>The terminal for this job, urxvt, needs an X display,
but this Wayland session has none (DISPLAY is not set).
Nothing was unmounted or written.

Turn on XWayland in your desktop and start vorlix with
DISPLAY set, then try again.</source>
        <extracomment>Shown instead of starting a format or image copy. &quot;urxvt&quot; is the terminal program, &quot;DISPLAY&quot; an environment variable and &quot;XWayland&quot; the X server of a Wayland desktop; keep them as they are.</extracomment>
        <translation>El terminal de esta tarea, urxvt, necesita una pantalla X,
pero esta sesión Wayland no tiene ninguna (DISPLAY no
está definida). No se ha desmontado ni escrito nada.

Active XWayland en su escritorio, inicie vorlix con
DISPLAY definida y vuelva a intentarlo.</translation>
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
        <translation>vorlix: %s no responde.
</translation>
    </message>
    <message>
        <source>%s has been waiting on %s for %d seconds.
A slow stick can take minutes to write back its cache.

Keep waiting, or stop it?</source>
        <extracomment>Asked while a command still runs. The first %s is the command (&quot;kelmo&quot;), the second the folder it works on, %d the seconds waited so far. The buttons are &quot;Keep waiting&quot; and &quot;Stop&quot;.</extracomment>
        <translation>%s lleva esperando a %s %d segundos.
Una memoria lenta puede tardar minutos en escribir su caché.

¿Seguir esperando o detenerlo?</translation>
    </message>
    <message>
        <source>Keep waiting</source>
        <extracomment>Button: go on waiting for the command.</extracomment>
        <translation>Seguir esperando</translation>
    </message>
    <message>
        <source>Stop</source>
        <extracomment>Button: end the command that is still waiting.</extracomment>
        <translation>Detener</translation>
    </message>
    <message>
        <source>%s was stopped</source>
        <extracomment>How a command ended: %s is the command&apos;s name; the user stopped it.</extracomment>
        <translation>%s fue detenido</translation>
    </message>
    <message>
        <source>vorlix: %s is still mounted on %s.
</source>
        <extracomment>Why an unmount failed. The first %s is a device (/dev/da0s1) or a disk image file, the second a folder it is still mounted on.</extracomment>
        <translation>vorlix: %s sigue montado en %s.
</translation>
    </message>
    <message>
        <source>vorlix: %s is still mounted in another mount namespace.
</source>
        <extracomment>Why an unmount failed. %s is a device. A mount namespace is a separate view of the mounts, as a container has.</extracomment>
        <translation>vorlix: %s sigue montado en otro espacio de nombres de montaje.
</translation>
    </message>
    <message>
        <source>vorlix: %s is still in use by %s (pid %d).
</source>
        <extracomment>Why an unmount failed. The first %s is a device or a file, the second the name of a program, %d its process id.</extracomment>
        <translation>vorlix: %s sigue en uso por %s (pid %d).
</translation>
    </message>
    <message>
        <source>vorlix: %s is still held by %s, which is built on it.
</source>
        <extracomment>Why an unmount failed. The first %s is a device, the second a device made on top of it, such as an encrypted mapping (&quot;dm-0&quot;).</extracomment>
        <translation>vorlix: %s sigue retenido por %s, construido sobre él.
</translation>
    </message>
    <message>
        <source>vorlix: %s is still held by the GEOM class %s.
</source>
        <extracomment>Why an unmount failed, on FreeBSD. The first %s is a device, the second the kind of layer that holds it open: ELI (encryption), SWAP, ZFS::VDEV (a ZFS pool). Keep &quot;GEOM&quot; and the kind as they are.</extracomment>
        <translation>vorlix: %s sigue retenido por la clase GEOM %s.
</translation>
    </message>
    <message>
        <source>vorlix: %s is still held open by a program through /dev.
</source>
        <extracomment>Why an unmount failed, on FreeBSD. %s is a device that some program has open through its /dev node, and the system does not say which.</extracomment>
        <translation>vorlix: %s sigue abierto por un programa a través de /dev.
</translation>
    </message>
    <message>
        <source>vorlix: %s is still claimed by the system.
</source>
        <extracomment>Why an unmount failed. %s is a device that the system still claims without saying for what.</extracomment>
        <translation>vorlix: %s sigue reservado por el sistema.
</translation>
    </message>
    <message>
        <source>vorlix: %s is no longer the disk this job began with; nothing was written.
</source>
        <extracomment>%s is a disk such as /dev/da0. Between the start of a job and the start of its tool the disk was pulled, and another may stand in its place; nothing was written.</extracomment>
        <translation>vorlix: %s ya no es el disco con el que empezó esta tarea; no se escribió nada.
</translation>
    </message>
    <message>
        <source>vorlix: cannot tell which device the FUSE filesystem on %s reads.
</source>
        <extracomment>%s is the folder a FUSE filesystem is mounted on. Which device its program reads cannot be told, so it is taken to be on the disk.</extracomment>
        <translation>vorlix: no se puede saber qué dispositivo lee el sistema de archivos FUSE de %s.
</translation>
    </message>
    <message>
        <source>vorlix: only root may unmount %s, or the user who mounted it, with vfs.usermount=1.
</source>
        <extracomment>Why an unmount failed, on FreeBSD. %s is the folder. Keep &quot;vfs.usermount=1&quot; as it is.</extracomment>
        <translation>vorlix: solo root puede desmontar %s, o, con vfs.usermount=1, el usuario que lo montó.
</translation>
    </message>
    <message>
        <source>vorlix: %s is not a disk vorlix can write: it lies on %s, which is not one whole disk.
</source>
        <extracomment>Shown instead of a format or image copy. The first %s is a device, the second what it lies on: a device that spans several disks, or is none, such as &quot;md0&quot; or &quot;mirror/gm0 (MIRROR)&quot;. Writing one of its disks would break it.</extracomment>
        <translation>vorlix: %s no es un disco que vorlix pueda escribir: está sobre %s, que no es un único disco entero.
</translation>
    </message>
    <message>
        <source>vorlix: the system hides which programs hold %s (%s).
</source>
        <extracomment>Why an unmount failed, on FreeBSD. The first %s is a device, the second the settings of the system that hide other users&apos; programs, or every program&apos;s open files, such as &quot;security.bsd.see_other_uids=0&quot;; keep it as it is.</extracomment>
        <translation>vorlix: el sistema oculta qué programas ocupan %s (%s).
</translation>
    </message>
    <message>
        <source>vorlix: the system did not tell in time which programs hold %s.
</source>
        <extracomment>Why an unmount failed, on FreeBSD. %s is a device. The system&apos;s list of the programs&apos; open files did not come: a filesystem that one of them has open has stopped answering.</extracomment>
        <translation>vorlix: el sistema no ha dicho a tiempo qué programas ocupan %s.
</translation>
    </message>
</context>
</TS>
